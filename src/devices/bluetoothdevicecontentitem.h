#ifndef OVRIN_BLUETOOTHDEVICECONTENTITEM_H
#define OVRIN_BLUETOOTHDEVICECONTENTITEM_H

#include "ovringlobal.h"

#include "orvelcontentitem.h"

class OrvelImageWidget;
class OrvelLabel;
class OrvelLinearLayoutPolicy;
class OrvelProgressIndicator;

namespace Ovrin {

/// One row of the device list. Its kind, fixed at construction, decides its
/// parts: "TextCell" (label only), "NormalCell" (class icon and label),
/// "TrustedCell" (adds a lock) and "ProgressCell" (adds a spinner).
class OVRIN_EXPORT BluetoothDeviceContentItem : public OrvelContentItem
{
    Q_OBJECT
public:
    /// A "TextCell" row.
    explicit BluetoothDeviceContentItem(QGraphicsItem *parent = nullptr);
    /// A row of the given kind.
    BluetoothDeviceContentItem(const QString &kind, QGraphicsItem *parent = nullptr);
    ~BluetoothDeviceContentItem() override;

    /// The kind given at construction.
    QString kind() const;
    /// The row's text: a device name or a placeholder.
    QString label() const;
    /// Also becomes the object name, so a row can be found by its text.
    void setLabel(const QString &text);
    /// The icon id shown for the device class; empty for a "TextCell".
    QString classIconId() const;
    /// Shows the icon of the class of device cod (no effect on a "TextCell").
    void setClassOfDevice(unsigned int cod);

private:
    void build(const QString &kind);

    OrvelLinearLayoutPolicy *m_layout = nullptr;
    OrvelLabel *m_label = nullptr;
    OrvelImageWidget *m_classIcon = nullptr;
    OrvelImageWidget *m_lockIcon = nullptr;
    OrvelProgressIndicator *m_spinner = nullptr;
    QString m_kind;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICECONTENTITEM_H
