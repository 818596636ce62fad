#ifndef OVRIN_BLUETOOTHDEVICE_P_H
#define OVRIN_BLUETOOTHDEVICE_P_H

#include "bluetoothdevice.h"

#include <QDBusError>
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

    // The shared object of the live handles of the BlueZ object at path; a
    // new one when there is none.
    static BluetoothDevicePrivate *forPath(const QDBusObjectPath &path);
    // BlueZ removed the object at path: handles made from now on start afresh,
    // even if BlueZ makes an object at the same path again.
    static void forgetPath(const QString &path);
    void leavePath();

    // Fills the cache from BlueZ unless it is already authoritative. A failed
    // call is logged, or handed over through error when given.
    bool getProperties(QDBusError *error = nullptr) const;
    // Whether BlueZ has the object behind handle: a daemon may announce one
    // that is not there. Asks quietly, and the answer fills the cache.
    static bool isKnownToBluez(const BluetoothDevice &handle);

    bool setProperty(const QString &name, const QVariant &value);
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
    // Handles made from the same BlueZ object share one cache: one
    // GetProperties per device, however many parts of the process ask.
    static QHash<QString, BluetoothDevicePrivate *> byPath;
    static int deviceCount;

public Q_SLOTS:
    void propertyChanged(const QString &property, const QDBusVariant &value);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICE_P_H
