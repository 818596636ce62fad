#ifndef OVRIN_BLUETOOTHDEVICE_P_H
#define OVRIN_BLUETOOTHDEVICE_P_H

#include "bluetoothdevice.h"

#include <QDBusError>
#include <QDBusVariant>
#include <QHash>
#include <QList>

#include <functional>

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
    // Asks BlueZ for the properties of handle's object without blocking; the
    // answer fills the cache. done runs with the call's error (none when it
    // succeeded), unless context is gone by then.
    using Fetched = std::function<void(const BluetoothDevice &, const QDBusError &)>;
    static void fetchProperties(const BluetoothDevice &handle, QObject *context,
                                const Fetched &done);
    // Fills the caches of many handles with one round of calls.
    static void fetchAll(const QList<BluetoothDevice> &handles);

    bool setProperty(const QString &name, const QVariant &value);
    QString resolveAddress() const;
    void addParent(BluetoothDevice *handle);
    void removeParent(BluetoothDevice *handle);

    static int rssi(const QString &address);
    static void setRssi(const QString &address, int rssi);

    mutable bool propertiesFetched = false;
    mutable QVariantMap properties;
    // Until the event loop has handed over the reports that BlueZ sent before
    // the first fetch (this marker), a report that the cache already holds is
    // one of them. 0 before the first fetch.
    mutable quint64 firstFetchMarker = 0;
    // The BlueZ object; empty for a device BlueZ does not know.
    QString objectPath;
    // Followed from the start: BlueZ ran when the handle was made.
    bool followed = false;
    // Usually one or two handles: a list is cheaper than a set to make.
    QList<BluetoothDevice *> parents;

    static QHash<QString, int> rssiTable;
    // Handles made from the same BlueZ object share one cache: one
    // GetProperties per device, however many parts of the process ask.
    static QHash<QString, BluetoothDevicePrivate *> byPath;
    static int deviceCount;

private:
    // The cache now holds what BlueZ answered.
    void noteFetched() const;

public Q_SLOTS:
    void propertyChanged(const QString &property, const QVariant &value);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICE_P_H
