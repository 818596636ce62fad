#include "bluezdevicesignals.h"

#include "bluetoothdevice_p.h"
#include "bluezlogging.h"

#include <QDBusConnection>

namespace Ovrin {

namespace {
const QString bluezService = QStringLiteral("org.bluez");
const QString deviceInterface = QStringLiteral("org.bluez.Device");
const QString propertyChangedSignal = QStringLiteral("PropertyChanged");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString deviceRemovedSignal = QStringLiteral("DeviceRemoved");
} // namespace

BluezDeviceSignals *BluezDeviceSignals::s_instance = nullptr;

void BluezDeviceSignals::follow(const QString &path, BluetoothDevicePrivate *device)
{
    // Subscribed once for the process: devices come and go all the time, and
    // each new subscription would cost calls to the bus daemon again.
    if (!s_instance) {
        s_instance = new BluezDeviceSignals;
        if (!s_instance->subscribe())
            qCWarning(lcBluez, "Unable to follow the changes of BlueZ devices");
    }
    s_instance->m_devices.insert(path, device);
}

void BluezDeviceSignals::unfollow(const QString &path, BluetoothDevicePrivate *device)
{
    if (s_instance)
        s_instance->m_devices.remove(path, device);
}

bool BluezDeviceSignals::subscribe()
{
    // QtDBus finds the slots by their types' names, which a process knows
    // only once the types are registered.
    qRegisterMetaType<QDBusVariant>();
    qRegisterMetaType<QDBusObjectPath>();
    qRegisterMetaType<QDBusMessage>();
    // Every path: the sender is still only BlueZ (QtDBus checks its owner).
    QDBusConnection bus = QDBusConnection::systemBus();
    return bus.connect(bluezService, QString(), deviceInterface, propertyChangedSignal, this,
                       SLOT(propertyChanged(QString, QDBusVariant, QDBusMessage)))
        && bus.connect(bluezService, QString(), adapterInterface, deviceRemovedSignal, this,
                       SLOT(deviceRemoved(QDBusObjectPath)));
}

void BluezDeviceSignals::deviceRemoved(const QDBusObjectPath &path)
{
    BluetoothDevicePrivate::forgetPath(path.path());
}

void BluezDeviceSignals::propertyChanged(const QString &property, const QDBusVariant &value,
                                         const QDBusMessage &message)
{
    const QString path = message.path();
    const QList<BluetoothDevicePrivate *> followers = m_devices.values(path);
    for (BluetoothDevicePrivate *device : followers) {
        // A receiver may have let go of another follower meanwhile.
        if (!m_devices.contains(path, device))
            continue;
        device->propertyChanged(property, value);
    }
}

} // namespace Ovrin
