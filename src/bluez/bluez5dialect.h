#ifndef OVRIN_BLUEZ5DIALECT_H
#define OVRIN_BLUEZ5DIALECT_H

#include "bluezdialect.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QSet>

class QTimer;

namespace Ovrin {

class RfkillMonitor;

// bluetoothd 5: every object and property from one "GetManagedObjects",
// kept current by the object manager's and the objects' signals, so reads
// cost no call. What BlueZ 4 called known devices are the device objects
// that are paired, trusted or blocked, or that this process created; the
// others are what discovery found, reported as BlueZ 4's "DeviceFound"
// while this process discovers.
class Bluez5Dialect : public BluezDialect
{
    Q_OBJECT
public:
    Bluez5Dialect(const QDBusConnection &bus, QObject *parent);
    ~Bluez5Dialect() override;

    // Reads every object; an error means the daemon is not BlueZ 5. Listens
    // from before the call, so that nothing said meanwhile is lost.
    QDBusError load();

    QString name() const override { return QStringLiteral("BlueZ 5"); }

    QString findAdapter() override;
    QString adapterPath() const override { return m_adapterPath; }
    bool adapterProperties(QVariantMap *properties, QDBusError *error) override;
    bool setAdapterProperty(const QString &name, const QVariant &value) override;
    void powerOnRefused(const QString &errorName) override;
    bool listDevices(QList<QDBusObjectPath> *devices) override;
    QDBusObjectPath findDevice(const QString &address, QDBusError *error) override;
    bool startDiscovery() override;
    bool stopDiscovery() override;
    void requestSession(QObject *context, const CallDone &done) override;
    bool releaseSession() override;
    bool registerAgent(const QString &agentPath) override;
    bool unregisterAgent(const QString &agentPath) override;

    void createDevice(const QString &address, QObject *context, const CreationDone &done) override;
    void createPairedDevice(const QString &address, const QString &agentPath, QObject *context,
                            const CreationDone &done) override;
    bool triesOwnPins(quint32 classOfDevice) const override;
    // The kernel forgot the key of a device whose cancel came too late.
    void cancelCameLate(const QString &devicePath);
    void cancelDeviceCreation(const QString &address) override;
    bool removeDevice(const QString &devicePath) override;
    bool deviceProperties(const QString &devicePath, QVariantMap *properties,
                          QDBusError *error) override;
    QList<QVariantMap> devicePropertiesOf(const QStringList &devicePaths) override;
    bool describedAdapter() const override { return !m_adapterPath.isEmpty(); }
    void fetchDeviceProperties(const QString &devicePath, QObject *context,
                               const PropertiesDone &done) override;
    bool setDeviceProperty(const QString &devicePath, const QString &name,
                           const QVariant &value) override;
    QDBusPendingCall disconnectDevice(const QString &devicePath) override;
    bool isAudioConnected(const QString &devicePath, QDBusError *error) override;
    QDBusPendingCall connectAudio(const QString &devicePath) override;

private Q_SLOTS:
    void onInterfacesAdded(const QDBusMessage &message);
    void onInterfacesRemoved(const QDBusMessage &message);
    void onPropertiesChanged(const QDBusMessage &message);

private:
    using Interfaces = QMap<QString, QVariantMap>;
    struct Device
    {
        QVariantMap properties;
        bool createdHere = false;
        // The link is up for a pairing of this process only: no profile on it,
        // unless it outlives the pairing by more than an idle link does.
        bool pairingLink = false;
        QElapsedTimer pairingAnswered;
    };
    // A creation waiting for its device to be found first.
    struct Lookup
    {
        QString address;
        std::function<void(const QDBusError &error)> found;
        QTimer *timeLimit;
    };

    static bool holdsBluez5Objects(const QList<std::pair<QString, Interfaces>> &objects);
    QDBusError readObjects(QList<std::pair<QString, Interfaces>> *described) const;
    // Takes the first controller by number as the adapter, then every object.
    void takeObjects(const QList<std::pair<QString, Interfaces>> &described);
    static QString firstByNumber(const QStringList &adapterPaths);
    // The adapter went while another controller is there: that one serves.
    void moveToAnotherAdapter();
    void addObject(const QString &path, const Interfaces &interfaces);
    void addAdapter(const QString &path, const QVariantMap &properties);
    // Removes from cache what reported held and checked left out.
    static void forgetWrongValues(QVariantMap *cache, const QVariantMap &reported,
                                  const QVariantMap &checked);
    // Whether path is the object of the device whose properties these are.
    bool isDeviceObject(const QString &path, const QVariantMap &properties) const;
    void addDevice(const QString &path, const QVariantMap &announced);
    void removeObject(const QString &path, const QStringList &interfaces);
    void adapterChanged(const QVariantMap &changed);
    void discoveryDropped();
    // rfkill keeps the radio off: the kernel's switch says so, or "PowerState"
    // does, or a power-on was refused as blocked.
    bool isRadioBlockedNow() const;
    // Announces "RadioBlocked" when it differs from what was told last.
    void tellRadioBlocked();
    void rfkillChanged();
    void deviceChanged(const QString &path, const QVariantMap &changed,
                       const QStringList &invalidated);
    bool isKnown(const Device &device) const;
    void reportFound(const Device &device);
    void becameKnown(const QString &path, const Device &before);
    QString devicePathFor(const QString &address) const;

    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &args = {}) const;
    bool blockingCall(const char *method, const QDBusMessage &call, QDBusError *error = nullptr);
    bool setProperty(const QString &path, const QString &interface, const QString &name,
                     const QVariant &value);
    bool joinDiscovery(QDBusError *error = nullptr);
    void leaveDiscovery();
    // StartDiscovery asked again while the controller's earlier inquiry runs.
    void retryDiscovery();
    // Runs found once the device at address has an object, starting
    // discovery for it when it has none.
    void lookFor(const QString &address, QObject *context,
                 const std::function<void(const QDBusError &error)> &found);
    void endLookup(const QString &address, const QDBusError &error);
    void pair(const QString &devicePath, const QString &agentPath, QObject *context,
              const CreationDone &done);
    // The connection a pairing answered by agentPath is sent on, its route set.
    QDBusConnection busForAttempt(const QString &devicePath, const QString &agentPath);
    // A pairing of ours succeeded: the device is known from now on.
    void notePaired(const QString &devicePath);
    // The process's one agent object (see BluezAgentRoutes), registered while used.
    bool registerRouter();
    void unregisterUnusedRouter();

    QDBusConnection m_bus;
    QString m_adapterPath;
    QVariantMap m_adapter;
    // The other controllers' objects, not followed.
    QSet<QString> m_otherAdapters;
    QMap<QString, Device> m_devices;
    // Removed here, BlueZ's signal still to come: whether each was known.
    QHash<QString, bool> m_removedHere;
    // Devices whose Pair of this process runs; of those, the ones whose
    // cancel came after their bonding, and the answers to tell as cancelled.
    QSet<QString> m_pairsRunning;
    QSet<QString> m_forgetAfterPair;
    QSet<QString> m_pairsCancelledLate;
    int m_discoveryUsers = 0;
    QTimer *m_discoveryRetry;
    int m_discoveryRetriesLeft = 0;
    int m_sessions = 0;
    bool m_poweredForSessions = false;
    bool m_powerRefusedAsBlocked = false;
    bool m_toldRadioBlocked = false;
    RfkillMonitor *m_rfkill = nullptr;
    QDBusPendingCall m_sessionPowerOn = QDBusPendingCall::fromCompletedCall(QDBusMessage());
    bool m_agentRegistered = false;
    QList<Lookup> m_lookups;
};

} // namespace Ovrin

#endif // OVRIN_BLUEZ5DIALECT_H
