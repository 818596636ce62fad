#ifndef OVRIN_BLUETOOTHADAPTER_P_H
#define OVRIN_BLUETOOTHADAPTER_P_H

#include "bluetoothadapter.h"

#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

class QTimer;

namespace Ovrin {

class BluezDialect;
class RadioState;

// Shared by every BluetoothAdapter of the process; lives from the first
// handle to the last.
class BluetoothAdapterPrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothAdapterPrivate();
    ~BluetoothAdapterPrivate() override;

    static BluetoothAdapterPrivate *globalInstance;
    static int refCount;
    static BluetoothAdapterPrivate *join(BluetoothAdapter *handle);
    static void leave(BluetoothAdapter *handle);
    // Deletes the shared object when no handle holds it and it emits nothing.
    static void deleteUnused();

    bool isValid() const;
    void getProperties();
    // After BlueZ returned: the cache is read again, and what differs told.
    void refreshProperties();
    // Tells the handles that property changed from old to what the cache holds.
    void announceChange(const QString &property, const QVariant &old);
    bool setProperty(const QString &name, const QVariant &value);
    QList<BluetoothDevice> listDevices();
    BluetoothDevice deviceForAddress(const QString &address);
    bool savedDiscoverableStatus() const;
    void setSavedDiscoverableStatus(bool visible);
    void powerOff();
    void disconnectAll();
    void disconnectAndPowerOff();
    // The daemon's dialect while it has the adapter; null otherwise.
    BluezDialect *dialect() const;
    // Lets go of the daemon's adapter: a daemon that comes back has a new one.
    void releaseAdapter();
    // Emits a signal on every live handle, in order of creation. A receiver
    // may delete any handle, the last one included: a handle deleted meanwhile
    // hears nothing more, and this object outlives the emission (leave()).
    template<typename Emit> void emitOnHandles(Emit emitOn)
    {
        ++emitting;
        const QList<BluetoothAdapter *> current = handles;
        for (BluetoothAdapter *handle : current) {
            if (handles.contains(handle))
                emitOn(handle);
        }
        --emitting;
    }

    bool propertiesFetched = false;
    QVariantMap properties;
    QString adapterPath;
    RadioState *radioState = nullptr;
    QTimer *retryTimer = nullptr;
    int retryCount = 0;
    bool restorePending = false;
    QList<BluetoothDevice *> pendingDisconnects;
    bool discoverableSync = false;
    QList<BluetoothAdapter *> handles;
    // Emissions under way: the object that runs them is not deleted under them.
    int emitting = 0;

Q_SIGNALS:
    void discoverableStateInconsistent();

public Q_SLOTS:
    void propertyChanged(const QString &property, const QVariant &value);
    void deviceFound(const QString &address, const QVariantMap &value);
    void deviceCreated(const QDBusObjectPath &path);
    // A creation's end: path or error; address is the device asked for.
    void deviceCreationFinished(const QDBusObjectPath &path, const QDBusError &error,
                                const QString &address);
    void deviceRemoved(const QDBusObjectPath &path);
    // What BlueZ announces: only objects of this adapter that exist are passed on.
    void deviceCreatedSignal(const QDBusObjectPath &path);
    void deviceRemovedSignal(const QDBusObjectPath &path);
    void sessionRequestReply(const QDBusError &error);
    void serviceRegistered();
    void serviceUnregistered();
    void getBluezAdapter();
    void restoreVisibility();
    void deviceDisconnected(const QString &property);

private:
    // "<adapter>/dev_00_11_22_AA_BB_CC"; anything else is logged once per
    // signal or call.
    bool isDevicePath(const QString &path, const char *signal) const;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHADAPTER_P_H
