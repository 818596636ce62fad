#include "devicelistpage.h"

#include "bluetoothadapter.h"
#include "bluetoothdevice.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothpairingprocess.h"

using namespace Ovrin;

DeviceListPage::DeviceListPage(BluetoothAdapter *adapter)
    : DemoPage(QStringLiteral("Devices"), new BluetoothDeviceList)
    , m_adapter(adapter)
    , m_model(new BluetoothDeviceModel(adapter, this))
    , m_list(static_cast<BluetoothDeviceList *>(content()))
    , m_pairing(new BluetoothPairingProcess(this))
{
    connect(m_pairing, &BluetoothPairingProcess::finished, this, &DeviceListPage::pairingFinished);
    m_list->setImmediateSelectionEnabled(true);
    m_list->setBluetoothDeviceModel(m_model);
    connect(m_list, &BluetoothDeviceList::bluetoothdeviceSelected, this,
            &DeviceListPage::deviceTapped);
    connect(this, &OrvelSceneWindow::appeared, this, &DeviceListPage::updateDiscovery);
    connect(this, &OrvelSceneWindow::disappeared, this, &DeviceListPage::updateDiscovery);
    connect(adapter, &BluetoothAdapter::propertyChanged, this, [this](const QString &property) {
        if (property == QLatin1String("powered"))
            updateDiscovery();
        else if (property == QLatin1String("discovering"))
            m_list->setScanFinished(!m_adapter->isDiscovering());
    });
}

DeviceListPage::~DeviceListPage()
{
    // The radio does not go on searching for a page that is gone.
    if (m_searching && m_adapter && m_adapter->isPowered())
        m_adapter->stopDiscovery();
}

void DeviceListPage::deviceTapped(const BluetoothDevice &device)
{
    if (device.isPaired())
        Q_EMIT pairedDeviceChosen(device);
    else if (!device.isBlocked())
        pair(device);
}

void DeviceListPage::pair(const BluetoothDevice &device)
{
    if (m_pairing->isPairing())
        return;
    m_model->setPairingDevice(&device);
    m_pairing->start(device);
}

void DeviceListPage::pairingFinished()
{
    m_model->setPairingDevice(nullptr);
}

void DeviceListPage::updateDiscovery()
{
    const bool wanted = m_adapter && m_adapter->isPowered() && sceneWindowState() == Appeared;
    if (wanted == m_searching)
        return;
    m_searching = wanted;
    if (wanted)
        m_adapter->startDiscovery();
    else if (m_adapter && m_adapter->isPowered())
        m_adapter->stopDiscovery();
}
