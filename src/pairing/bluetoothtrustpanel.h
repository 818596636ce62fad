#ifndef OVRIN_BLUETOOTHTRUSTPANEL_H
#define OVRIN_BLUETOOTHTRUSTPANEL_H

#include "ovringlobal.h"

#include "orvelstylablewidget.h"

namespace Ovrin {

class BluetoothTrustPanelPrivate;

/// A titled switch saying whether a paired device may connect without asking.
/// Disabling the panel keeps the switch's look but freezes it: each tap then
/// tells the user that pairing is ongoing.
class OVRIN_EXPORT BluetoothTrustPanel : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(bool trusted READ isTrusted WRITE setTrusted)
public:
    /// A panel with the switch off.
    explicit BluetoothTrustPanel(QGraphicsItem *parent = nullptr);
    /// A panel with the switch set to trusted.
    explicit BluetoothTrustPanel(bool trusted, QGraphicsItem *parent = nullptr);
    ~BluetoothTrustPanel() override;

    /// Turns the switch on (trusted) or off.
    void setTrusted(bool trusted);
    /// Whether the switch is on: the device is to be trusted.
    bool isTrusted() const;

    /// Hides QGraphicsItem::setEnabled on purpose: the switch stays enabled.
    void setEnabled(bool enabled);

    /// Swallows taps on the frozen switch and shows the "pairing ongoing" note.
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    /// The switch was toggled, by the user or by setTrusted().
    void valueChanged();

private:
    void initPanel();

    BluetoothTrustPanelPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHTRUSTPANEL_H
