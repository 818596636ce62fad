#ifndef OVRIN_BLUETOOTHMYDEVICEPANEL_H
#define OVRIN_BLUETOOTHMYDEVICEPANEL_H

#include "ovringlobal.h"

#include "simpleframe.h"

namespace Ovrin {

class BluetoothAdapter;
class BluetoothMyDevicePanelPrivate;

/// The handset's own device on the settings page: its name, which leads to
/// the page that renames it, and the switch that makes it visible to others.
class OVRIN_EXPORT BluetoothMyDevicePanel : public SimpleFrame
{
    Q_OBJECT
public:
    /// The adapter is not owned and may be null.
    explicit BluetoothMyDevicePanel(BluetoothAdapter *adapter);
    ~BluetoothMyDevicePanel() override;

Q_SIGNALS:
    /// The user tapped the name: open the page that renames the device.
    void deviceNameChangeRequested();

private:
    friend class BluetoothMyDevicePanelPrivate;
    BluetoothMyDevicePanelPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothMyDevicePanel)
    Q_DISABLE_COPY(BluetoothMyDevicePanel)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHMYDEVICEPANEL_H
