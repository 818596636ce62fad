#include "bluezdevicesignals.h"

#include "bluetoothdevice_p.h"
#include "bluezdaemon.h"

namespace Ovrin {

BluezDeviceSignals *BluezDeviceSignals::s_instance = nullptr;

BluezDeviceSignals::BluezDeviceSignals()
{
    BluezDaemon *daemon = BluezDaemon::instance();
    connect(daemon, &BluezDaemon::devicePropertyChanged, this,
            &BluezDeviceSignals::propertyChanged);
    connect(daemon, &BluezDaemon::deviceObjectRemoved, this, &BluetoothDevicePrivate::forgetPath);
}

void BluezDeviceSignals::follow(const QString &path, BluetoothDevicePrivate *device)
{
    if (!s_instance) {
        s_instance = new BluezDeviceSignals;
        // The dialect subscribes for every device when it is first asked for.
        BluezDaemon::instance()->dialect();
    }
    s_instance->m_devices.insert(path, device);
}

void BluezDeviceSignals::unfollow(const QString &path, BluetoothDevicePrivate *device)
{
    if (s_instance)
        s_instance->m_devices.remove(path, device);
}

void BluezDeviceSignals::propertyChanged(const QString &path, const QString &property,
                                         const QVariant &value)
{
    const QList<BluetoothDevicePrivate *> followers = m_devices.values(path);
    for (BluetoothDevicePrivate *device : followers) {
        // A receiver may have let go of another follower meanwhile.
        if (!m_devices.contains(path, device))
            continue;
        device->propertyChanged(property, value);
    }
}

} // namespace Ovrin
