#include "bluez5adapter.h"

#include "agentmanager.h"
#include "bluez5device.h"
#include "bluez5errors.h"
#include "bluez5pairing.h"
#include "bluez5service.h"
#include "discoverycycle.h"
#include "objectmanager.h"
#include "peerwatcher.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

const QString adapter1 = QStringLiteral("org.bluez.Adapter1");
// bluetoothd's own name for the adapter when no pretty hostname is set;
// the scenario's name is the alias the controller reports.
const QString systemName = QStringLiteral("BlueZ 5.66");

QString aliasOf(const AdapterSpec &spec)
{
    return spec.name.isEmpty() ? systemName : spec.name;
}

QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

} // namespace

Bluez5Adapter::Bluez5Adapter(Bluez5Service *service, const QString &path, World &world)
    : PropertyObject(path, adapter1, service->batcher())
    , m_service(service)
    , m_world(world)
    , m_powered(m_world.adapter.powered && !m_world.adapter.rfkillBlocked)
{
    m_poweredBeforeBlock = m_world.adapter.powered && m_world.adapter.rfkillBlocked;
    m_world.adapter.powered = m_powered;
    m_discoverableTimer.setSingleShot(true);
    connect(&m_discoverableTimer, &QTimer::timeout, this, [this]() {
        m_world.adapter.discoverable = false;
        changed(QStringLiteral("Discoverable"));
        Q_EMIT radioChanged();
    });
    m_pairableTimer.setSingleShot(true);
    connect(&m_pairableTimer, &QTimer::timeout, this, [this]() {
        m_world.adapter.pairable = false;
        changed(QStringLiteral("Pairable"));
    });
    restartTimers();

    auto add = [this](const char *member, const char *signature,
                      void (Bluez5Adapter::*handler)(const SimCall &)) {
        addMethod(adapter1, QLatin1String(member), QLatin1String(signature),
                  [this, handler](const SimCall &call) { (this->*handler)(call); });
    };
    add("StartDiscovery", "", &Bluez5Adapter::startDiscovery);
    add("StopDiscovery", "", &Bluez5Adapter::stopDiscovery);
    add("SetDiscoveryFilter", "a{sv}", &Bluez5Adapter::setDiscoveryFilter);
    add("RemoveDevice", "o", &Bluez5Adapter::removeDevice);
    addMethod(adapter1, QStringLiteral("GetDiscoveryFilters"), QString(), [](const SimCall &call) {
        call.reply({ QStringList { "UUIDs", "RSSI", "Pathloss", "Transport", "DuplicateData",
                                   "Discoverable", "Pattern" } });
    });

    addWritable(QStringLiteral("Alias"), QMetaType::QString,
                [this](const SimCall &call, const QVariant &value) { setAlias(call, value); });
    addWritable(QStringLiteral("Powered"), QMetaType::Bool,
                [this](const SimCall &call, const QVariant &value) { setPowered(call, value); });
    for (const QString &name : { QStringLiteral("Discoverable"), QStringLiteral("Pairable") }) {
        addWritable(name, QMetaType::Bool,
                    [this, name](const SimCall &call, const QVariant &value) {
                        setMode(call, name, value.toBool());
                    });
    }
    for (const QString &name :
         { QStringLiteral("DiscoverableTimeout"), QStringLiteral("PairableTimeout") }) {
        addWritable(name, QMetaType::UInt,
                    [this, name](const SimCall &call, const QVariant &value) {
                        setTimeout(call, name, value);
                    });
    }
}

Bluez5Adapter::~Bluez5Adapter()
{
    for (const SimCall &call : std::as_const(m_waiting)) {
        if (!call.isAnswered())
            call.replyError(BluezError::failed(), QStringLiteral("Simulator reset"));
    }
    delete m_discovery;
    m_devices.clear();
}

void Bluez5Adapter::answerLater(int ms, const SimCall &call, const std::function<void()> &answer)
{
    m_waiting.removeIf([](const SimCall &waiting) { return waiting.isAnswered(); });
    m_waiting.append(call);
    QTimer::singleShot(ms, this, answer);
}

PropertiesBatcher *Bluez5Adapter::batcher() const
{
    return m_service->batcher();
}

AgentClient *Bluez5Adapter::agents() const
{
    return m_service->agents();
}

AgentManager *Bluez5Adapter::agentManager() const
{
    return m_service->agentManager();
}

void Bluez5Adapter::watch(const QString &name)
{
    m_service->peers()->watch(name);
}

// --- properties -------------------------------------------------------------

QVariantMap Bluez5Adapter::propertiesOf(const AdapterSpec &spec) const
{
    QString powerState = m_powered ? QStringLiteral("on") : QStringLiteral("off");
    if (!m_powerTransition.isEmpty())
        powerState = m_powerTransition;
    else if (!m_powered && spec.rfkillBlocked)
        powerState = QStringLiteral("off-blocked");
    QVariantMap map { { QStringLiteral("Address"), spec.address },
                      { QStringLiteral("AddressType"), QStringLiteral("public") },
                      { QStringLiteral("Name"), systemName },
                      { QStringLiteral("Alias"), aliasOf(spec) },
                      // An adapter switched off reports no class.
                      { QStringLiteral("Class"), m_powered ? spec.deviceClass : 0u },
                      { QStringLiteral("Powered"), m_powered },
                      { QStringLiteral("PowerState"), powerState },
                      { QStringLiteral("Discoverable"), spec.discoverable },
                      { QStringLiteral("DiscoverableTimeout"), spec.discoverableTimeout },
                      { QStringLiteral("Pairable"), spec.pairable },
                      { QStringLiteral("PairableTimeout"), spec.pairableTimeout },
                      { QStringLiteral("Discovering"), m_discovering },
                      { QStringLiteral("UUIDs"), spec.uuids },
                      { QStringLiteral("Modalias"), QStringLiteral("usb:v1D6Bp0246d0542") } };
    // An experimental property: a bluetoothd started without -E has none.
    if (!m_world.experimental)
        map.remove(QStringLiteral("PowerState"));
    applyRaw(spec.rawProperties, &map);
    return map;
}

QString Bluez5Adapter::alias() const
{
    return aliasOf(m_world.adapter);
}

QVariantMap Bluez5Adapter::properties() const
{
    return propertiesOf(m_world.adapter);
}

void Bluez5Adapter::setAlias(const SimCall &call, const QVariant &value)
{
    AdapterSpec &spec = m_world.adapter;
    if (!spec.nameChangeAllowed) {
        call.replyError(BluezError::failed(), QStringLiteral("Operation not permitted"));
        return;
    }
    const QString alias = value.toString();
    // "" with nothing stored, or the same value: success, nothing told.
    if (alias.isEmpty() || alias == spec.name) {
        call.reply();
        return;
    }
    spec.name = alias;
    call.reply();
    Q_EMIT radioChanged();
    // The kernel confirms the new local name after the reply.
    QTimer::singleShot(m_world.timing.linkMs, this, [this]() { changed(QStringLiteral("Alias")); });
}

void Bluez5Adapter::setAnyAgent(bool any)
{
    if (m_world.adapter.pairable == any)
        return;
    m_world.adapter.pairable = any;
    changed(QStringLiteral("Pairable"));
    restartTimers();
}

bool Bluez5Adapter::checkNotPending(const SimCall &call, const QString &setting)
{
    if (!m_pendingSettings.contains(setting))
        return true;
    replyError(call, Bluez5Error::Busy);
    return false;
}

void Bluez5Adapter::setPowered(const SimCall &call, const QVariant &value)
{
    const bool on = value.toBool();
    if (on == m_powered) {
        call.reply();
        return;
    }
    if (!checkNotPending(call, QStringLiteral("Powered")))
        return;
    if (on && m_world.adapter.rfkillBlocked) {
        powerStateChanged();
        replyError(call, Bluez5Error::Blocked);
        return;
    }
    m_pendingSettings.insert(QStringLiteral("Powered"));
    m_powerTransition = on ? QStringLiteral("off-enabling") : QStringLiteral("on-disabling");
    powerStateChanged();
    if (!on)
        prepareForPowerOff();
    answerLater(m_world.timing.powerMs, call, [this, call, on]() {
        m_pendingSettings.remove(QStringLiteral("Powered"));
        m_powerTransition.clear();
        // The reply first; the kernel's news follows it.
        call.reply();
        if (on)
            powerOn();
        else
            powerOff();
    });
}

void Bluez5Adapter::powerStateChanged()
{
    if (m_world.experimental)
        changed(QStringLiteral("PowerState"));
}

void Bluez5Adapter::powerOn()
{
    m_powered = m_world.adapter.powered = true;
    changed({ QStringLiteral("Powered"), QStringLiteral("Class") });
    powerStateChanged();
    restartTimers();
    Q_EMIT radioChanged();
}

void Bluez5Adapter::prepareForPowerOff()
{
    // Before the command: temporary devices go, a timed visibility ends.
    for (Bluez5Device *device : devices()) {
        if (device->isTemporary())
            removeDeviceObject(device->spec().address);
    }
    if (m_world.adapter.discoverable && m_world.adapter.discoverableTimeout > 0) {
        m_world.adapter.discoverable = false;
        changed(QStringLiteral("Discoverable"));
    }
}

void Bluez5Adapter::powerOff()
{
    // Switched off by other means than Set (rfkill, the control): the same preparation.
    prepareForPowerOff();
    // A Pair still running fails as the kernel's HCI status is misread.
    for (Bluez5Device *device : devices())
        device->abortPairing(Bluez5Error::AlreadyPaired);
    m_sessions.clear();
    m_pendingDiscovery.clear();
    stopScan();
    // Told even when it was false already.
    changed(QStringLiteral("Discovering"));
    m_powered = m_world.adapter.powered = false;
    changed({ QStringLiteral("Powered"), QStringLiteral("Class") });
    powerStateChanged();
    for (Bluez5Device *device : devices())
        device->dropLink();
    restartTimers();
    Q_EMIT radioChanged();
}

void Bluez5Adapter::setMode(const SimCall &call, const QString &name, bool value)
{
    AdapterSpec &spec = m_world.adapter;
    bool &field = name == QLatin1String("Discoverable") ? spec.discoverable : spec.pairable;
    if (field == value) {
        call.reply();
        return;
    }
    if (!checkNotPending(call, name))
        return;
    if (name == QLatin1String("Discoverable") && value && !m_powered
        && spec.discoverableTimeout > 0) {
        replyError(call, Bluez5Error::NotPowered);
        return;
    }
    m_pendingSettings.insert(name);
    // The kernel acknowledges in a moment; the reply goes before the change.
    answerLater(0, call, [this, call, name, value]() {
        m_pendingSettings.remove(name);
        call.reply();
        AdapterSpec &spec = m_world.adapter;
        (name == QLatin1String("Discoverable") ? spec.discoverable : spec.pairable) = value;
        changed(name);
        restartTimers();
        Q_EMIT radioChanged();
    });
}

void Bluez5Adapter::setTimeout(const SimCall &call, const QString &name, const QVariant &value)
{
    AdapterSpec &spec = m_world.adapter;
    (name == QLatin1String("DiscoverableTimeout") ? spec.discoverableTimeout : spec.pairableTimeout)
        = value.toUInt();
    call.reply();
    // Told even when unchanged, and the countdown starts again.
    changed(name);
    restartTimers();
}

void Bluez5Adapter::restartTimers()
{
    const AdapterSpec &spec = m_world.adapter;
    m_discoverableTimer.stop();
    m_pairableTimer.stop();
    if (spec.discoverable && spec.discoverableTimeout > 0)
        m_discoverableTimer.start(int(spec.discoverableTimeout) * 1000);
    if (spec.pairable && spec.pairableTimeout > 0)
        m_pairableTimer.start(int(spec.pairableTimeout) * 1000);
}

// --- discovery --------------------------------------------------------------

void Bluez5Adapter::startDiscovery(const SimCall &call)
{
    if (!m_powered) {
        replyError(call, Bluez5Error::NotReady);
        return;
    }
    const QString owner = call.sender();
    if (m_sessions.contains(owner) || m_pendingDiscovery.contains(owner)
        || (!m_discovery && m_world.kernelScanning())) {
        replyError(call, Bluez5Error::DiscoveryInProgress);
        return;
    }
    watch(owner);
    if (m_discovery) {
        // The scan runs already: joined at once, nothing told.
        m_sessions.insert(owner);
        call.reply();
        return;
    }
    m_pendingDiscovery.insert(owner);
    // The reply waits for the kernel; Discovering=true follows it.
    answerLater(0, call, [this, call, owner]() {
        if (!m_pendingDiscovery.remove(owner)) {
            replyError(call, Bluez5Error::NotReady); // powered off meanwhile
            return;
        }
        m_sessions.insert(owner);
        call.reply();
        startScan();
    });
}

void Bluez5Adapter::startScan()
{
    if (m_discovery)
        return;
    m_discovering = true;
    changed(QStringLiteral("Discovering"));
    m_discovery = new DiscoveryCycle(this, this);
    m_discovery->start();
}

void Bluez5Adapter::stopDiscovery(const SimCall &call)
{
    if (!m_powered) {
        replyError(call, Bluez5Error::NotReady);
        return;
    }
    const QString owner = call.sender();
    if (m_pendingDiscovery.contains(owner)) {
        replyError(call, Bluez5Error::DiscoveryInProgress);
        return;
    }
    // Sessions belong to bus names: another client's scan cannot be stopped.
    if (!m_sessions.remove(owner)) {
        replyError(call, Bluez5Error::NoDiscovery);
        return;
    }
    if (!m_sessions.isEmpty()) {
        call.reply();
        return;
    }
    // Between two scans there is no kernel scan to stop: Discovering=false
    // goes out at once, ahead of the reply.
    if (m_discovery && m_discovery->isIdle()) {
        stopScan();
        call.reply();
        return;
    }
    m_pendingDiscovery.insert(owner);
    answerLater(m_world.timing.stopDiscoveryMs, call, [this, call, owner]() {
        m_pendingDiscovery.remove(owner);
        call.reply();
        // A session begun meanwhile keeps the scan.
        if (m_sessions.isEmpty())
            stopScan();
    });
}

void Bluez5Adapter::stopScan()
{
    if (!m_discovery)
        return;
    delete m_discovery;
    m_discovery = nullptr;
    m_discovering = false;
    changed(QStringLiteral("Discovering"));
    for (Bluez5Device *device : devices())
        device->invalidateRssi();
}

void Bluez5Adapter::setDiscoveryFilter(const SimCall &call)
{
    const QVariantMap filter = qdbus_cast<QVariantMap>(call.argument(0));
    static const QHash<QString, int> types {
        { QStringLiteral("UUIDs"), QMetaType::QStringList },
        { QStringLiteral("RSSI"), QMetaType::Short },
        { QStringLiteral("Pathloss"), QMetaType::UShort },
        { QStringLiteral("Transport"), QMetaType::QString },
        { QStringLiteral("DuplicateData"), QMetaType::Bool },
        { QStringLiteral("Discoverable"), QMetaType::Bool },
        { QStringLiteral("Pattern"), QMetaType::QString },
    };
    for (auto it = filter.constBegin(); it != filter.constEnd(); ++it) {
        if (types.value(it.key(), QMetaType::UnknownType) != it.value().metaType().id()) {
            replyError(call, BluezError::InvalidArguments);
            return;
        }
    }
    const QVariant rssi = filter.value(QStringLiteral("RSSI"));
    const bool rssiOutOfRange = rssi.isValid() && (rssi.toInt() < -127 || rssi.toInt() > 20);
    if (rssiOutOfRange || (rssi.isValid() && filter.contains(QStringLiteral("Pathloss")))) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    // The simulated neighbourhood answers every inquiry alike: only whether
    // a filter is set is kept, for how often RSSI is told.
    if (filter.isEmpty())
        m_filteredOwners.remove(call.sender());
    else
        m_filteredOwners.insert(call.sender());
    call.reply();
}

bool Bluez5Adapter::knowsName(const QString &address) const
{
    const Bluez5Device *known = device(address);
    return known && !known->isTemporary();
}

void Bluez5Adapter::deviceFound(const DeviceSpec &spec, bool withName)
{
    if (Bluez5Device *known = device(spec.address)) {
        known->seen(withName);
        return;
    }
    createDeviceObject(spec.address, true, withName);
}

void Bluez5Adapter::deviceSeen(const QString &address)
{
    // Each inquiry result restarts a found device's time, announced or not.
    if (Bluez5Device *known = device(address))
        known->restartExpiry();
}

void Bluez5Adapter::reportDeviceFound(const QString &address)
{
    const DeviceSpec *spec = m_world.device(address);
    if (m_discovery)
        m_discovery->report(address);
    else if (spec)
        deviceFound(*spec, !spec->name.isEmpty());
}

// --- device objects ---------------------------------------------------------

Bluez5Device *Bluez5Adapter::device(const QString &address) const
{
    return m_devices.find(address);
}

QList<Bluez5Device *> Bluez5Adapter::devices() const
{
    return m_devices.all();
}

void Bluez5Adapter::addStoredDevices()
{
    for (auto &[address, spec] : m_world.devices) {
        if (!spec.hasObject()) {
            spec.connected = false;
            continue;
        }
        spec.connected = spec.connected && m_powered;
        createDeviceObject(address, false);
    }
}

Bluez5Device *Bluez5Adapter::createDeviceObject(const QString &address, bool temporary,
                                                bool withName)
{
    DeviceSpec *spec = m_world.device(address);
    if (!spec)
        return nullptr;
    if (Bluez5Device *existing = device(address))
        return existing;
    auto object = std::make_unique<Bluez5Device>(
        this, *spec, DeviceObjects<Bluez5Device>::pathOf(path(), address), temporary);
    Bluez5Device *created = object.get();
    // A found device appears with everything its first report said.
    if (temporary)
        created->seen(withName, false);
    m_devices.insert(address, std::move(object));
    m_service->objectManager()->add(created);
    return created;
}

void Bluez5Adapter::removeDeviceObject(const QString &address)
{
    Bluez5Device *object = m_devices.release(address);
    if (!object)
        return;
    // A pairing still running ends first, told before the object goes.
    object->abortPairing(BluezError::AuthenticationCanceled);
    m_service->objectManager()->remove(object);
    object->spec().forgetStored();
    object->retire();
    object->deleteLater();
}

void Bluez5Adapter::forgetDevices(bool announce)
{
    if (announce) {
        for (Bluez5Device *device : m_devices.all())
            m_service->objectManager()->remove(device);
    }
    m_devices.clear();
}

void Bluez5Adapter::expire(Bluez5Device *device)
{
    removeDeviceObject(device->spec().address);
}

void Bluez5Adapter::removeDevice(const SimCall &call)
{
    Bluez5Device *target = m_devices.byPath(call.argument(0).value<QDBusObjectPath>().path());
    if (!target) {
        replyError(call, BluezError::DoesNotExist);
        return;
    }
    if (!m_powered) {
        replyError(call, Bluez5Error::NotReady);
        return;
    }
    const QString address = target->spec().address;
    // A running Pair is answered first.
    target->abortPairing(BluezError::AuthenticationCanceled);
    if (!target->spec().connected) {
        // InterfacesRemoved, then the reply.
        removeDeviceObject(address);
        call.reply();
        return;
    }
    // Connected: the reply when the link is down, then Connected=false, then the removal.
    answerLater(m_world.timing.disconnectMs, call, [this, call, address]() {
        call.reply();
        if (Bluez5Device *object = device(address)) {
            object->setConnected(false);
            removeDeviceObject(address);
        }
    });
}

// --- control side -----------------------------------------------------------

void Bluez5Adapter::deviceAdded(const QString &address)
{
    const DeviceSpec *spec = m_world.device(address);
    if (spec && spec->hasObject())
        createDeviceObject(address, false);
}

void Bluez5Adapter::deviceChanged(const QString &address, const DeviceSpec &before)
{
    Bluez5Device *object = device(address);
    if (!object) {
        deviceAdded(address);
        return;
    }
    if (object->isTemporary() && object->spec().hasObject())
        object->setTemporary(false);
    object->publishChanges(before);
}

void Bluez5Adapter::deviceRemoved(const QString &address)
{
    if (Bluez5Device *object = device(address))
        object->dropLink();
    removeDeviceObject(address);
}

void Bluez5Adapter::adapterChanged(const AdapterSpec &before)
{
    AdapterSpec &spec = m_world.adapter;
    const QVariantMap told = propertiesOf(before);
    const bool wantPowered = spec.powered;
    spec.powered = m_powered;
    if (spec.rfkillBlocked && !before.rfkillBlocked) {
        // rfkill switches the radio off; unblocking brings it back.
        m_poweredBeforeBlock = m_powered || wantPowered;
        if (m_powered)
            powerOff();
    } else if (!spec.rfkillBlocked && before.rfkillBlocked) {
        if (m_poweredBeforeBlock || wantPowered)
            powerOn();
    } else if (wantPowered != m_powered && !spec.rfkillBlocked) {
        // Someone switched the radio outside our clients.
        if (wantPowered)
            powerOn();
        else
            powerOff();
    }
    changedBetween(told, properties());
    restartTimers();
    Q_EMIT radioChanged();
}

bool Bluez5Adapter::takesConnectionFrom(const QString &address) const
{
    const DeviceSpec *spec = m_world.device(address);
    return m_powered && (m_world.adapter.discoverable || (spec && spec->paired));
}

void Bluez5Adapter::requestAuthorization(const QString &address, const QString &uuid, Done done)
{
    if (!m_world.device(address)) {
        done(BluezError::DoesNotExist.qname());
        return;
    }
    if (!takesConnectionFrom(address)) {
        done(BluezError::ConnectionAttemptFailed.qname());
        return;
    }
    Bluez5Device *object = createDeviceObject(address, true);
    // Trusted devices skip AuthorizeService.
    if (object->spec().trusted) {
        done(QString());
        return;
    }
    const AgentClient::Target agent = agentManager()->defaultAgent().target;
    if (!agent.isValid() || agents()->hasPendingRequest(agent)) {
        done(Bluez5Error::Rejected.qname());
        return;
    }
    agents()->request(
        agent, QStringLiteral("AuthorizeService"), { objectPath(object->path()), uuid },
        [this, agent, done](const QDBusMessage &reply) {
            if (reply.type() != QDBusMessage::ErrorMessage) {
                done(QString());
                return;
            }
            if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
                agents()->notify(agent, QStringLiteral("Cancel"));
            done(reply.errorName());
        });
}

void Bluez5Adapter::startIncomingPairing(const QString &address, Done done)
{
    if (!m_world.device(address)) {
        done(BluezError::DoesNotExist.qname());
        return;
    }
    if (!m_powered) {
        done(Bluez5Error::NotReady.qname());
        return;
    }
    if (!takesConnectionFrom(address)) {
        done(BluezError::ConnectionAttemptFailed.qname());
        return;
    }
    const Bluez5Device *existing = device(address);
    if (existing && existing->pairing()) {
        done(BluezError::InProgress.qname());
        return;
    }
    // Incoming requests go to the default agent; with none they are refused.
    const AgentManager::Agent agent = agentManager()->defaultAgent();
    if (!m_world.adapter.pairable || !agent.target.isValid()) {
        done(BluezError::AuthenticationRejected.qname());
        return;
    }
    Bluez5Device *object = createDeviceObject(address, true);
    object->startIncomingPairing(agent.target, agent.capability, std::move(done));
}

void Bluez5Adapter::peerLeft(const QString &name)
{
    agentManager()->peerLeft(name);
    m_filteredOwners.remove(name);
    for (Bluez5Device *device : devices())
        device->callerLeft(name);
    if (m_sessions.remove(name) && m_sessions.isEmpty())
        stopScan();
}
