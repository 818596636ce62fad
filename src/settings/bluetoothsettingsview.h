#ifndef OVRIN_BLUETOOTHSETTINGSVIEW_H
#define OVRIN_BLUETOOTHSETTINGSVIEW_H

#include "ovringlobal.h"

#include "orvelwidget.h"

namespace Ovrin {

class BluetoothAdapter;
class BluetoothSettingsViewPrivate;

/// The main Bluetooth settings page: the on/off switch, the handset's own
/// device (name and visibility), the way to the device list and whether
/// Bluetooth shows in the status menu. The page does not navigate: the
/// embedding application opens the pages its signals ask for.
class OVRIN_EXPORT BluetoothSettingsView : public OrvelWidget
{
    Q_OBJECT
public:
    /// The adapter is not owned and may be null.
    explicit BluetoothSettingsView(BluetoothAdapter *adapter, QGraphicsItem *parent = nullptr);
    ~BluetoothSettingsView() override;

Q_SIGNALS:
    /// The user tapped the handset's name: open MyDeviceSettingsView.
    void myDeviceSelected();
    /// The user tapped the device list entry: open the device list.
    void deviceListSelected();

protected:
    /// Enables the device list entry when there is a list to show.
    void enterDisplayEvent() override;

private:
    friend class BluetoothSettingsViewPrivate;
    BluetoothSettingsViewPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothSettingsView)
    Q_DISABLE_COPY(BluetoothSettingsView)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHSETTINGSVIEW_H
