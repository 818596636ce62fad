#ifndef DEVICELISTPAGE_H
#define DEVICELISTPAGE_H

#include "demopage.h"

#include <QPointer>

namespace Ovrin {
class BluetoothAdapter;
class BluetoothDevice;
class BluetoothDeviceList;
class BluetoothDeviceModel;
class BluetoothPairingProcess;
} // namespace Ovrin

// The settings application's device list: known and nearby devices, searched
// for while the page is on screen. A tap on a paired device asks for its page;
// a tap on any other device pairs it, with the row marked meanwhile.
class DeviceListPage : public DemoPage
{
    Q_OBJECT

public:
    explicit DeviceListPage(Ovrin::BluetoothAdapter *adapter);
    ~DeviceListPage() override;

    Ovrin::BluetoothDeviceList *list() const { return m_list; }

Q_SIGNALS:
    void pairedDeviceChosen(const Ovrin::BluetoothDevice &device);

private:
    void deviceTapped(const Ovrin::BluetoothDevice &device);
    void pair(const Ovrin::BluetoothDevice &device);
    void pairingFinished();
    void updateDiscovery();

    QPointer<Ovrin::BluetoothAdapter> m_adapter;
    Ovrin::BluetoothDeviceModel *m_model;
    Ovrin::BluetoothDeviceList *m_list;
    // One process serves every attempt made from the page.
    Ovrin::BluetoothPairingProcess *m_pairing;
    bool m_searching = false;
};

#endif // DEVICELISTPAGE_H
