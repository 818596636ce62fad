#ifndef SETTINGSAPP_H
#define SETTINGSAPP_H

#include <QObject>
#include <QPointer>

#include <memory>

namespace Ovrin {
class BluetoothAdapter;
class BluetoothDevice;
} // namespace Ovrin
class DemoPage;

// The handset's settings application, Bluetooth part: the Bluetooth settings
// page leads to the page of the handset itself (its name) and to the device
// list, whose paired devices open their own page.
class SettingsApp : public QObject
{
    Q_OBJECT

public:
    explicit SettingsApp(QObject *parent = nullptr);
    ~SettingsApp() override;

    void open();

private:
    void openMyDevice();
    void openDeviceList();
    void openPairedDevice(const Ovrin::BluetoothDevice &device);

    std::unique_ptr<Ovrin::BluetoothAdapter> m_adapter;
    QPointer<DemoPage> m_settingsPage;
};

#endif // SETTINGSAPP_H
