#include "settingsapp.h"

#include "bluetoothadapter.h"
#include "bluetoothdevice.h"
#include "bluetoothsettingsview.h"
#include "demopage.h"
#include "devicelistpage.h"
#include "mydevicesettingsview.h"
#include "paireddevicesettingsview.h"

using namespace Ovrin;

SettingsApp::SettingsApp(QObject *parent)
    : QObject(parent)
    , m_adapter(BluetoothAdapter::defaultAdapter())
{
}

SettingsApp::~SettingsApp() = default;

void SettingsApp::open()
{
    if (isShown(m_settingsPage))
        return;
    auto *view = new BluetoothSettingsView(m_adapter.get());
    m_settingsPage = new DemoPage(QStringLiteral("Bluetooth"), view);
    connect(view, &BluetoothSettingsView::myDeviceSelected, this, &SettingsApp::openMyDevice);
    connect(view, &BluetoothSettingsView::deviceListSelected, this, &SettingsApp::openDeviceList);
    m_settingsPage->open();
}

void SettingsApp::openMyDevice()
{
    auto *view = new MyDeviceSettingsView(*m_adapter);
    auto *page = new DemoPage(QStringLiteral("My device"), view);
    page->setSaver(QStringLiteral("Save"), [view] { return view->save(); });
    connect(view, &MyDeviceSettingsView::mandatoryValuesProvided, page,
            &DemoPage::setAcceptEnabled);
    page->open();
}

void SettingsApp::openDeviceList()
{
    auto *page = new DeviceListPage(m_adapter.get());
    connect(page, &DeviceListPage::pairedDeviceChosen, this, &SettingsApp::openPairedDevice);
    page->open();
}

void SettingsApp::openPairedDevice(const BluetoothDevice &device)
{
    auto *view = new PairedDeviceSettingsView(device, m_adapter.get());
    auto *page = new DemoPage(device.name(), view);
    page->setSaver(QStringLiteral("Save"), [view] { return view->save(); });
    connect(view, &PairedDeviceSettingsView::mandatoryValuesProvided, page,
            &DemoPage::setAcceptEnabled);
    // Nothing left to show once the pairing is gone.
    connect(view, &PairedDeviceSettingsView::pairingRemoved, page, &DemoPage::reject);
    page->open();
}
