#ifndef OVRIN_BLUETOOTHDEVICE_P_H
#define OVRIN_BLUETOOTHDEVICE_P_H

#include "bluetoothdevice.h"

#include <QDBusVariant>
#include <QHash>
#include <QList>

class BluezDeviceProxy;

namespace Ovrin {

class BluetoothDevicePrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothDevicePrivate();
    explicit BluetoothDevicePrivate(const QDBusObjectPath &path);
    explicit BluetoothDevicePrivate(const QVariantMap &properties);
    ~BluetoothDevicePrivate() override;

    // Fills the cache from BlueZ unless it is already authoritative.
    void getProperties() const;
    void setProperty(const QString &name, const QVariant &value);
    QString resolveAddress() const;
    void addParent(BluetoothDevice *handle);
    void removeParent(BluetoothDevice *handle);

    static int rssi(const QString &address);
    static void setRssi(const QString &address, int rssi);

    mutable bool propertiesFetched = false;
    mutable QVariantMap properties;
    BluezDeviceProxy *device = nullptr;
    // Usually one or two handles: a list is cheaper than a set to make.
    QList<BluetoothDevice *> parents;

    static QHash<QString, int> rssiTable;
    static int deviceCount;

public Q_SLOTS:
    void propertyChanged(const QString &property, const QDBusVariant &value);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICE_P_H
