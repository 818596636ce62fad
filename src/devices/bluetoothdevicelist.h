#ifndef OVRIN_BLUETOOTHDEVICELIST_H
#define OVRIN_BLUETOOTHDEVICELIST_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include "orvellist.h"

namespace Ovrin {

class BluetoothDeviceModel;
class BluetoothDeviceListPrivate;

/// The remote devices of a device model, grouped (paired, other or in range,
/// blocked), each drawn with its class icon, its name and a trusted lock or a
/// pairing spinner. A tap chooses a device; a long tap offers connecting,
/// disconnecting, removing the pairing, trust and blocking.
class OVRIN_EXPORT BluetoothDeviceList : public OrvelList
{
    Q_OBJECT
    Q_PROPERTY(bool immediateSelectionEnabled READ immediateSelectionEnabled WRITE
                   setImmediateSelectionEnabled)
public:
    /// An empty list; it shows devices once setBluetoothDeviceModel() is called.
    explicit BluetoothDeviceList(QGraphicsItem *parent = nullptr);
    ~BluetoothDeviceList() override;

    /// The list shows model (not owned) from now on.
    void setBluetoothDeviceModel(BluetoothDeviceModel *model);
    /// The model of setBluetoothDeviceModel(), or null.
    BluetoothDeviceModel *bluetoothDeviceModel() const;

    /// With it on, connected devices are marked; off, the device last tapped
    /// is. Takes effect at the next setBluetoothDeviceModel().
    bool immediateSelectionEnabled() const;
    /// See immediateSelectionEnabled().
    void setImmediateSelectionEnabled(bool enabled);

    /// The device last tapped; an invalid device before the first tap.
    BluetoothDevice selectedBluetoothDevice() const;

    /// Never shows the blocked group; needs a model set first.
    void hideBlockedDevices(bool hide);
    /// Whether discovery has ended, which decides the empty group's text;
    /// needs a model set first.
    void setScanFinished(bool finished);

Q_SIGNALS:
    /// The user tapped a device.
    void bluetoothdeviceSelected(const Ovrin::BluetoothDevice &device);
    /// The user chose "connect" for a device; connectingStopped() follows.
    void connectingStarted();
    /// A connect or disconnect chosen from the list has ended, either way.
    void connectingStopped();

private:
    friend class BluetoothDeviceListPrivate;
    friend class BluetoothDeviceListCellCreator;
    BluetoothDeviceListPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceList)
    Q_DISABLE_COPY(BluetoothDeviceList)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICELIST_H
