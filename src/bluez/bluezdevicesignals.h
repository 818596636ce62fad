#ifndef OVRIN_BLUEZDEVICESIGNALS_H
#define OVRIN_BLUEZDEVICESIGNALS_H

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMultiHash>
#include <QObject>

namespace Ovrin {

class BluetoothDevicePrivate;

// Hands BlueZ's "PropertyChanged" of every device object to the shared
// objects that follow that device, through one subscription for them all:
// one match rule in the bus daemon, however many devices there are (the bus
// refuses a connection more than a few hundred rules, and each costs a call).
// Hears "DeviceRemoved" too: a path BlueZ lets go of is never joined again.
class BluezDeviceSignals : public QObject
{
    Q_OBJECT
public:
    static void follow(const QString &path, BluetoothDevicePrivate *device);
    static void unfollow(const QString &path, BluetoothDevicePrivate *device);

private Q_SLOTS:
    void propertyChanged(const QString &property, const QDBusVariant &value,
                         const QDBusMessage &message);
    void deviceRemoved(const QDBusObjectPath &path);

private:
    BluezDeviceSignals() = default;
    bool subscribe();

    static BluezDeviceSignals *s_instance;
    QMultiHash<QString, BluetoothDevicePrivate *> m_devices;
};

} // namespace Ovrin

#endif // OVRIN_BLUEZDEVICESIGNALS_H
