#ifndef OVRIN_BLUETOOTHTRUSTPANEL_H
#define OVRIN_BLUETOOTHTRUSTPANEL_H

#include "ovringlobal.h"

#include "orvelstylablewidget.h"

namespace Ovrin {

class BluetoothTrustPanelPrivate;

// A titled switch saying whether a paired device may connect without asking.
// Disabling the panel keeps the switch's look but freezes it: each tap then
// tells the user that pairing is ongoing.
class OVRIN_EXPORT BluetoothTrustPanel : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(bool trusted READ isTrusted WRITE setTrusted)
public:
    explicit BluetoothTrustPanel(QGraphicsItem *parent = nullptr);
    explicit BluetoothTrustPanel(bool trusted, QGraphicsItem *parent = nullptr);
    ~BluetoothTrustPanel() override;

    void setTrusted(bool trusted);
    bool isTrusted() const;

    // Hides QGraphicsItem::setEnabled on purpose: the switch stays enabled.
    void setEnabled(bool enabled);

    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void valueChanged();

private:
    void initPanel();

    BluetoothTrustPanelPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHTRUSTPANEL_H
