#ifndef OVRIN_BLUETOOTHADAPTER_P_H
#define OVRIN_BLUETOOTHADAPTER_P_H

#include "bluetoothadapter.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

class BluezAdapterProxy;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;

namespace Ovrin {

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
    bool setProperty(const QString &name, const QVariant &value);
    QList<BluetoothDevice> listDevices();
    BluetoothDevice deviceForAddress(const QString &address);
    bool savedDiscoverableStatus() const;
    void setSavedDiscoverableStatus(bool visible);
    void powerOff();
    void disconnectAll();
    void disconnectAndPowerOff();
    void connectDeviceFound();
    void disconnectDeviceFound();
    // Lets go of the daemon's adapter object, and of its DeviceFound signal:
    // a daemon that comes back has a new adapter to listen to.
    void releaseAdapter();
    // Sends method to the adapter asynchronously; the watcher's parent is handle.
    QDBusPendingCallWatcher *callAsync(BluetoothAdapter *handle, const QString &method,
                                       const QVariantList &args);
    // Takes a watcher whose answer has come over from its handle.
    void releaseFinished(QDBusPendingCallWatcher *watcher);
    // Emits a signal on every live handle, in order of creation. A receiver
    // may delete any handle, the last one included: a handle deleted meanwhile
    // hears nothing more, and this object outlives the emission (leave()).
    template<typename Emit>
    void emitOnHandles(Emit emitOn)
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
    BluezAdapterProxy *adapter = nullptr;
    RadioState *radioState = nullptr;
    QDBusServiceWatcher *serviceWatcher = nullptr;
    QTimer *retryTimer = nullptr;
    int retryCount = 0;
    bool restorePending = false;
    QList<BluetoothDevice *> pendingDisconnects;
    bool discoverableSync = false;
    QList<BluetoothAdapter *> handles;
    bool deviceFoundConnected = false;
    // Emissions under way: the object that runs them is not deleted under them.
    int emitting = 0;

Q_SIGNALS:
    void discoverableStateInconsistent();

public Q_SLOTS:
    void propertyChanged(const QString &property, const QDBusVariant &value);
    void deviceFound(const QString &address, const QVariantMap &value);
    void deviceCreated(const QDBusObjectPath &path);
    void deviceRemoved(const QDBusObjectPath &path);
    // What BlueZ announces: only objects of this adapter that exist are passed on.
    void deviceCreatedSignal(const QDBusObjectPath &path);
    void deviceRemovedSignal(const QDBusObjectPath &path);
    void deviceCreationFinished(QDBusPendingCallWatcher *watcher);
    void sessionRequestReply(QDBusPendingCallWatcher *watcher);
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
