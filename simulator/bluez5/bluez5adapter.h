#ifndef BLUEZ5ADAPTER_H
#define BLUEZ5ADAPTER_H

#include "agentclient.h"
#include "controlledadapter.h"
#include "deviceobjects.h"
#include "discoveryhost.h"
#include "propertyobject.h"
#include "world.h"

#include <QSet>
#include <QTimer>

#include <map>
#include <memory>

class AgentManager;
class Bluez5Device;
class Bluez5Pairing;
class Bluez5Service;
class DiscoveryCycle;
class PropertiesBatcher;

// org.bluez.Adapter1 of bluetoothd 5 at "/org/bluez/hci0": power and
// visibility set through Properties.Set (the reply first, the change after,
// as the kernel acknowledges), one discovery session per bus name, the device
// objects discovery makes and RemoveDevice.
class Bluez5Adapter : public PropertyObject, public DiscoveryHost, public ControlledAdapter
{
    Q_OBJECT
public:
    // world: what this controller knows and has around it (each controller its own).
    Bluez5Adapter(Bluez5Service *service, const QString &path, World &world);
    ~Bluez5Adapter() override;

    QVariantMap properties() const override;
    World &world() override { return m_world; }
    QString address() const { return m_world.adapter.address; }
    // The name other devices get when they ask for it.
    QString alias() const;
    PropertiesBatcher *batcher() const;
    AgentClient *agents() const;
    AgentManager *agentManager() const;
    void watch(const QString &name);

    bool isPowered() const override { return m_powered; }
    // The kernel pages in only devices it knows (paired ones) while the
    // adapter is hidden: an unknown device's page times out.
    bool takesConnectionFrom(const QString &address) const override;
    bool isDiscovering() const { return m_discovery != nullptr; }
    Bluez5Device *device(const QString &address) const;
    QList<Bluez5Device *> devices() const;
    // The stored devices come on the bus after the adapter.
    void addStoredDevices();
    // The daemon stops or the world is reloaded: the objects go, the world stays.
    void forgetDevices(bool announce);
    // A temporary device's time is up.
    void expire(Bluez5Device *device);
    void rawChanged(const QString &name) { changed(name); }
    // Pairable follows the agents (main.conf's AlwaysPairable=false): on with
    // the first one, off when the last one goes.
    void setAnyAgent(bool any);

    // DiscoveryHost: "Discovering" stays true through the cycles; found
    // devices become objects or refresh theirs.
    bool knowsName(const QString &address) const override;
    void cycleStarted() override { }
    void cycleEnded(const QStringList &) override { }
    void deviceFound(const DeviceSpec &spec, bool withName) override;
    void deviceSeen(const QString &address) override;
    // bluetoothd 5.66 tells a new RSSI only 8 dBm or more from the last one
    // told, unless a client set a discovery filter.
    int rssiThreshold() const override { return m_filteredOwners.isEmpty() ? 8 : 1; }
    int idleMs() const override { return m_world.timing.discoveryIdleMs; }

    // ControlledAdapter
    void deviceAdded(const QString &address) override;
    void deviceChanged(const QString &address, const DeviceSpec &before) override;
    void deviceRemoved(const QString &address) override;
    void adapterChanged(const AdapterSpec &before) override;
    void reportDeviceFound(const QString &address) override;
    void requestAuthorization(const QString &address, const QString &uuid, Done done) override;
    void startIncomingPairing(const QString &address, Done done) override;
    void peerLeft(const QString &name) override;

Q_SIGNALS:
    // Power, visibility, name or class changed: what others within reach see of it.
    void radioChanged();
    // The link or the bond with the device at address changed.
    void linkChanged(const QString &address);
    // A pairing we started is about to ask the users: the remote at address
    // may have one of its own (told synchronously).
    void pairingReachesRemote(const QString &address, Bluez5Pairing *pairing);

private:
    // "PowerState" is told only by a bluetoothd started with -E.
    void powerStateChanged();
    QVariantMap propertiesOf(const AdapterSpec &spec) const;
    // A temporary object appears as found, its name known if the report had one.
    Bluez5Device *createDeviceObject(const QString &address, bool temporary, bool withName = true);
    void removeDeviceObject(const QString &address);

    void setAlias(const SimCall &call, const QVariant &value);
    void setPowered(const SimCall &call, const QVariant &value);
    // Discoverable and Pairable: the kernel acknowledges, then the change is told.
    void setMode(const SimCall &call, const QString &name, bool value);
    void setTimeout(const SimCall &call, const QString &name, const QVariant &value);
    bool checkNotPending(const SimCall &call, const QString &setting);
    void powerOn();
    void prepareForPowerOff();
    void powerOff();
    void restartTimers();

    void startDiscovery(const SimCall &call);
    void stopDiscovery(const SimCall &call);
    void setDiscoveryFilter(const SimCall &call);
    void startScan();
    void stopScan();
    void removeDevice(const SimCall &call);

    Bluez5Service *m_service;
    World &m_world;
    bool m_powered;
    // "off-enabling" or "on-disabling" while the kernel switches.
    QString m_powerTransition;
    // Powered was on when rfkill blocked it: unblocking switches it back on.
    bool m_poweredBeforeBlock = false;
    QSet<QString> m_pendingSettings;
    // Calls answered once the kernel would have acted; whatever is still
    // waiting when the adapter goes (a reloaded world) is answered then.
    void answerLater(int ms, const SimCall &call, const std::function<void()> &answer);
    QList<SimCall> m_waiting;
    DeviceObjects<Bluez5Device> m_devices;
    QSet<QString> m_sessions;
    QSet<QString> m_pendingDiscovery;
    // Clients that set a discovery filter.
    QSet<QString> m_filteredOwners;
    DiscoveryCycle *m_discovery = nullptr;
    bool m_discovering = false;
    QTimer m_discoverableTimer;
    QTimer m_pairableTimer;
};

#endif // BLUEZ5ADAPTER_H
