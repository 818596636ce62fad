#ifndef SIMADAPTER_H
#define SIMADAPTER_H

#include "agentclient.h"
#include "controlledadapter.h"
#include "deviceobjects.h"
#include "discoveryhost.h"
#include "simobject.h"
#include "world.h"

#include <QHash>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class BluezService;
class DeviceCreation;
class DiscoveryCycle;
class SimDevice;

// "org.bluez.Adapter": power and visibility modes, sessions, discovery,
// device objects, device creation and pairing, and the default agent.
class SimAdapter : public QObject, public SimObject, public DiscoveryHost, public ControlledAdapter
{
    Q_OBJECT
public:
    enum class Mode { Off, Connectable, Discoverable };
    using Done = std::function<void(const QString &errorName)>;

    SimAdapter(BluezService *service, World &world, const QString &path);
    ~SimAdapter() override;

    QStringList interfaces() const override { return { QStringLiteral("org.bluez.Adapter") }; }
    QVariantMap properties() const;
    QList<QDBusObjectPath> devicePaths() const;

    World &world() override { return m_world; }
    const Timing &timing() const { return m_world.timing; }
    AgentClient *agents() const;
    AgentClient::Target defaultAgent() const { return m_defaultAgent; }
    bool isPowered() const override { return m_mode != Mode::Off; }
    bool isDiscovering() const { return m_discovering; }
    // What the controller reports: signalled on every change.
    void setDiscovering(bool discovering);

    SimDevice *device(const QString &address) const;
    QList<SimDevice *> devices() const;
    SimDevice *deviceByPath(const QString &path) const;
    QString devicePath(const QString &address) const;
    // New objects start temporary; both announce themselves on the bus.
    SimDevice *createDeviceObject(const QString &address);
    void removeDeviceObject(const QString &address);
    bool isCreating(const QString &address) const;
    void creationFinished(DeviceCreation *creation);

    void emitDeviceFound(const DeviceSpec &spec, bool withName);
    // DiscoveryHost: every cycle switches "Discovering" and reports its results as signals.
    bool knowsName(const QString &address) const override { return device(address) != nullptr; }
    void cycleStarted() override { setDiscovering(true); }
    void cycleEnded(const QStringList &disappeared) override;
    void deviceFound(const DeviceSpec &spec, bool withName) override
    {
        emitDeviceFound(spec, withName);
    }
    void emitAdapterProperty(const QString &name, const QVariant &value);

    // Control side: the world changed under the adapter.
    void deviceAdded(const QString &address) override;
    void deviceChanged(const QString &address, const DeviceSpec &before) override;
    void deviceRemoved(const QString &address) override;
    void adapterChanged(const AdapterSpec &before) override;
    void reportDeviceFound(const QString &address) override;
    void requestAuthorization(const QString &address, const QString &uuid, Done done) override;
    void startIncomingPairing(const QString &address, Done done) override;
    void peerLeft(const QString &name) override;

private:
    void getProperties(const SimCall &call);
    void setProperty(const SimCall &call);
    void requestSession(const SimCall &call);
    void releaseSession(const SimCall &call);
    void startDiscovery(const SimCall &call);
    void stopDiscovery(const SimCall &call);
    void findDevice(const SimCall &call);
    void listDevices(const SimCall &call);
    void createDevice(const SimCall &call);
    void createPairedDevice(const SimCall &call);
    void cancelDeviceCreation(const SimCall &call);
    void removeDevice(const SimCall &call);
    void registerAgent(const SimCall &call);
    void unregisterAgent(const SimCall &call);

    void setName(const SimCall &call, const QVariant &value);
    void setPairable(const SimCall &call, const QVariant &value);
    void setTimeout(const SimCall &call, const QString &name, const QVariant &value);

    // Mode switches run one after another, each ending with its callback.
    void requestMode(Mode target, std::function<void()> done);
    void runNextModeSwitch();
    void powerOn(Mode target);
    void powerOff();
    void changeVisibility(Mode target);
    void restartTimers();
    void dropSession(const QString &owner, int count);
    void stopDiscoveryNow();
    void emitDevicesChanged();
    void removeDeviceObjectNow(const QString &address, bool announce);
    DeviceCreation *creationFor(const QString &address) const;
    bool watchCaller(const SimCall &call);
    void ensureSpec(const QString &address);

    BluezService *m_service;
    World &m_world;
    Mode m_mode = Mode::Off;
    Mode m_onMode = Mode::Connectable;
    DeviceObjects<SimDevice> m_devices;
    QList<DeviceCreation *> m_creations;

    struct ModeSwitch
    {
        Mode target;
        std::function<void()> done;
    };
    QList<ModeSwitch> m_modeQueue;
    bool m_switching = false;

    QHash<QString, int> m_sessions;
    std::optional<Mode> m_sessionRestoreMode;
    QHash<QString, int> m_discoverySessions;
    DiscoveryCycle *m_discovery = nullptr;
    bool m_discovering = false;
    bool m_stoppingDiscovery = false;

    AgentClient::Target m_defaultAgent;
    QString m_defaultAgentCapability;
    QTimer m_discoverableTimer;
    QTimer m_pairableTimer;
};

#endif // SIMADAPTER_H
