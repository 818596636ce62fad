#ifndef OVRIN_BLUEZDEVICESIGNALS_H
#define OVRIN_BLUEZDEVICESIGNALS_H

#include <QMultiHash>
#include <QObject>

namespace Ovrin {

class BluetoothDevicePrivate;

// Hands what BlueZ reports of every device object to the shared objects
// that follow that device; the daemon's dialect subscribes once for them
// all. An object BlueZ lets go of is never joined again.
class BluezDeviceSignals : public QObject
{
    Q_OBJECT
public:
    static void follow(const QString &path, BluetoothDevicePrivate *device);
    static void unfollow(const QString &path, BluetoothDevicePrivate *device);

private:
    BluezDeviceSignals();
    void propertyChanged(const QString &path, const QString &property, const QVariant &value);

    static BluezDeviceSignals *s_instance;
    QMultiHash<QString, BluetoothDevicePrivate *> m_devices;
};

} // namespace Ovrin

#endif // OVRIN_BLUEZDEVICESIGNALS_H
