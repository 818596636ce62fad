#ifndef OVRIN_BLUETOOTHDEVICELIST_H
#define OVRIN_BLUETOOTHDEVICELIST_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include "orvellist.h"

namespace Ovrin {

class BluetoothDeviceModel;
class BluetoothDeviceListPrivate;

// The remote devices of a device model, grouped (paired, other or in range,
// blocked), each drawn with its class icon, its name and a trusted lock or a
// pairing spinner. A tap chooses a device; a long tap offers connecting,
// disconnecting, removing the pairing, trust and blocking.
class OVRIN_EXPORT BluetoothDeviceList : public OrvelList
{
    Q_OBJECT
    Q_PROPERTY(bool immediateSelectionEnabled READ immediateSelectionEnabled WRITE
                   setImmediateSelectionEnabled)
public:
    explicit BluetoothDeviceList(QGraphicsItem *parent = nullptr);
    ~BluetoothDeviceList() override;

    // The list shows model (not owned) from now on.
    void setBluetoothDeviceModel(BluetoothDeviceModel *model);
    BluetoothDeviceModel *bluetoothDeviceModel() const;

    // With it on, connected devices are marked; off, the device last tapped
    // is. Takes effect at the next setBluetoothDeviceModel().
    bool immediateSelectionEnabled() const;
    void setImmediateSelectionEnabled(bool enabled);

    // The device last tapped; an invalid device before the first tap.
    BluetoothDevice selectedBluetoothDevice() const;

    // Both need a model set first.
    void hideBlockedDevices(bool hide);
    void setScanFinished(bool finished);

Q_SIGNALS:
    void bluetoothdeviceSelected(const Ovrin::BluetoothDevice &device);
    void connectingStarted();
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
