#ifndef OVRIN_BLUEZDIALECT_H
#define OVRIN_BLUEZDIALECT_H

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace Ovrin {

// What the library asks of "org.bluez", whichever generation of bluetoothd
// owns the name. Everything above speaks BlueZ 4's terms: the adapter's
// "Name", devices that BlueZ knows (has created) against devices an inquiry
// found, and "DeviceFound" reports while this process discovers. Each
// implementation maps its daemon onto them; BluezDaemon picks one.
//
// Blocking calls log their failure ("<method> returned error ...", with the
// daemon's own method name) and return false.
class BluezDialect : public QObject
{
    Q_OBJECT
public:
    // A creation's end: the device object, or the daemon's error.
    using CreationDone
        = std::function<void(const QDBusObjectPath &device, const QDBusError &error)>;
    using CallDone = std::function<void(const QDBusError &error)>;

    // The error a bus gives for a call to an object or method that is not there.
    static bool isNoSuchObject(const QDBusError &error);

    // "BlueZ 4" or "BlueZ 5", for logs and the demo.
    virtual QString name() const = 0;

    // --- the adapter ---------------------------------------------------------
    // Looks for the adapter (blocking where the daemon must be asked); ""
    // when it has none yet. Its signals reach this object's signals from then on.
    virtual QString findAdapter() = 0;
    virtual QString adapterPath() const = 0;
    // Reads go to the daemon or, where it tells every change, to what it told.
    // BlueZ 4's properties, plus "RadioBlocked" (bool) from a daemon that
    // tells when the kernel's rfkill switch keeps the radio off.
    virtual bool adapterProperties(QVariantMap *properties, QDBusError *error) = 0;
    virtual bool setAdapterProperty(const QString &name, const QVariant &value) = 0;
    // The radio switch could not power the adapter on: errorName is the daemon's.
    virtual void powerOnRefused(const QString &errorName) { Q_UNUSED(errorName) }
    // The devices the daemon knows.
    virtual bool listDevices(QList<QDBusObjectPath> *devices) = 0;
    virtual QDBusObjectPath findDevice(const QString &address, QDBusError *error) = 0;
    // While this process discovers, found devices arrive as deviceFound().
    virtual bool startDiscovery() = 0;
    virtual bool stopDiscovery() = 0;
    virtual void requestSession(QObject *context, const CallDone &done) = 0;
    virtual bool releaseSession() = 0;
    virtual bool registerAgent(const QString &agentPath) = 0;
    virtual bool unregisterAgent(const QString &agentPath) = 0;

    // --- devices -------------------------------------------------------------
    // The device becomes known, paired or not; done runs unless context has
    // gone. A device known already is an "org.bluez.Error.AlreadyExists".
    virtual void createDevice(const QString &address, QObject *context, const CreationDone &done)
        = 0;
    virtual void createPairedDevice(const QString &address, const QString &agentPath,
                                    QObject *context, const CreationDone &done)
        = 0;
    // Whether the daemon tries fixed PINs of its own on a legacy device of
    // this class before it asks the pairing's agent for one.
    virtual bool triesOwnPins(quint32 classOfDevice) const
    {
        Q_UNUSED(classOfDevice)
        return false;
    }
    // The creation then fails; the answer to this call is not looked at.
    virtual void cancelDeviceCreation(const QString &address) = 0;
    // True once asked; where the daemon answers later (BlueZ 5 waits for
    // a connected device's link to go), a refusal comes as deviceRemovalFailed().
    virtual bool removeDevice(const QString &devicePath) = 0;
    virtual bool deviceProperties(const QString &devicePath, QVariantMap *properties,
                                  QDBusError *error)
        = 0;
    // Whether the daemon described its adapter as it appeared (BlueZ 5 does;
    // BlueZ 4 is asked, once its adapter is ready).
    virtual bool describedAdapter() const { return false; }
    // The properties of many devices at once, in order (an empty map for one
    // whose answer failed).
    virtual QList<QVariantMap> devicePropertiesOf(const QStringList &devicePaths) = 0;
    // The same without blocking; done runs unless context goes first.
    using PropertiesDone
        = std::function<void(const QVariantMap &properties, const QDBusError &error)>;
    virtual void fetchDeviceProperties(const QString &devicePath, QObject *context,
                                       const PropertiesDone &done)
        = 0;
    virtual bool setDeviceProperty(const QString &devicePath, const QString &name,
                                   const QVariant &value)
        = 0;
    virtual QDBusPendingCall disconnectDevice(const QString &devicePath) = 0;

    // --- audio ---------------------------------------------------------------
    // Whether the device's audio link is up (blocking where the daemon must be asked).
    virtual bool isAudioConnected(const QString &devicePath, QDBusError *error) = 0;
    virtual QDBusPendingCall connectAudio(const QString &devicePath) = 0;

Q_SIGNALS:
    void adapterPropertyChanged(const QString &name, const QVariant &value);
    // An adapter came, or went, with the daemon still there (BlueZ 5 only).
    void adapterAdded();
    void adapterRemoved();
    // A known device's property; name and value as BlueZ 4 has them.
    void devicePropertyChanged(const QString &devicePath, const QString &name,
                               const QVariant &value);
    // properties are checked already (BluezPropertyTypes::device()).
    void deviceFound(const QString &address, const QVariantMap &properties);
    void deviceCreated(const QDBusObjectPath &devicePath);
    void deviceRemoved(const QDBusObjectPath &devicePath);
    // A removal that removeDevice() asked for and BlueZ answered later refused it.
    void deviceRemovalFailed(const QString &devicePath, const QDBusError &error);
    // Any device object went, known or found: handles made from now on start
    // afresh, even if an object at the same path comes again.
    void deviceObjectRemoved(const QString &devicePath);

protected:
    using QObject::QObject;

    // How long an answer that waits for the radio or the user may take.
    static constexpr int slowCallTimeoutMs = 120000;
    // Runs done with the answer to call, unless context goes first; done may
    // delete context.
    static void whenAnswered(const QDBusPendingCall &call, QObject *context,
                             const std::function<void(const QDBusMessage &answer)> &done);
    // Waits for call's one value; false with the error when it failed or
    // the answer was of another type.
    template<typename T>
    static bool await(const QDBusPendingCall &call, T *value, QDBusError *error)
    {
        QDBusPendingReply<T> reply = call;
        reply.waitForFinished();
        if (reply.isError()) {
            if (error)
                *error = reply.error();
            return false;
        }
        *value = reply.value();
        return true;
    }
    // "org.bluez.Error.<name>", as the daemon would answer it.
    static QDBusError bluezError(const char *name, const QString &message);
    // The failure of what was under way when the daemon left.
    static QDBusError daemonGone();
    // The object path an answer holds; empty for another answer.
    static QDBusObjectPath pathIn(const QDBusMessage &answer);
};

} // namespace Ovrin

#endif // OVRIN_BLUEZDIALECT_H
