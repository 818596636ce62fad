#include "simadapter.h"

#include "bluezerrors.h"
#include "bluezservice.h"
#include "devicecreation.h"
#include "discoverycycle.h"
#include "simdevice.h"

#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter");

const QStringList capabilities { QString(),
                                 QStringLiteral("DisplayOnly"),
                                 QStringLiteral("DisplayYesNo"),
                                 QStringLiteral("KeyboardOnly"),
                                 QStringLiteral("NoInputNoOutput"),
                                 QStringLiteral("KeyboardDisplay") };

QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

QString modeName(SimAdapter::Mode mode)
{
    return mode == SimAdapter::Mode::Discoverable ? QStringLiteral("discoverable")
                                                  : QStringLiteral("connectable");
}

} // namespace

SimAdapter::SimAdapter(BluezService *service, World &world, const QString &path)
    : SimObject(path), m_service(service), m_world(world)
{
    const AdapterSpec &spec = m_world.adapter;
    m_onMode = spec.discoverable ? Mode::Discoverable : Mode::Connectable;
    m_mode = spec.powered ? m_onMode : Mode::Off;
    m_world.adapter.discoverable = m_mode == Mode::Discoverable;
    for (auto &[address, device] : m_world.devices) {
        if (device.hasObject()) {
            device.connected = device.connected && isPowered();
            m_devices.insert(address,
                             std::make_unique<SimDevice>(this, device, devicePath(address)));
        } else {
            device.connected = false;
        }
    }

    m_discoverableTimer.setSingleShot(true);
    connect(&m_discoverableTimer, &QTimer::timeout, this, [this]() {
        requestMode(Mode::Connectable, [this]() { m_onMode = Mode::Connectable; });
    });
    m_pairableTimer.setSingleShot(true);
    connect(&m_pairableTimer, &QTimer::timeout, this, [this]() {
        if (!m_world.adapter.pairable)
            return;
        m_world.adapter.pairable = false;
        emitAdapterProperty(QStringLiteral("Pairable"), false);
    });
    restartTimers();

    auto add = [this](const char *member, const char *signature, void (SimAdapter::*handler)(const SimCall &)) {
        addMethod(adapterInterface, QLatin1String(member), QLatin1String(signature),
                  [this, handler](const SimCall &call) { (this->*handler)(call); });
    };
    add("GetProperties", "", &SimAdapter::getProperties);
    add("SetProperty", "sv", &SimAdapter::setProperty);
    add("RequestSession", "", &SimAdapter::requestSession);
    add("ReleaseSession", "", &SimAdapter::releaseSession);
    add("StartDiscovery", "", &SimAdapter::startDiscovery);
    add("StopDiscovery", "", &SimAdapter::stopDiscovery);
    add("FindDevice", "s", &SimAdapter::findDevice);
    add("ListDevices", "", &SimAdapter::listDevices);
    add("CreateDevice", "s", &SimAdapter::createDevice);
    add("CreatePairedDevice", "sos", &SimAdapter::createPairedDevice);
    add("CancelDeviceCreation", "s", &SimAdapter::cancelDeviceCreation);
    add("RemoveDevice", "o", &SimAdapter::removeDevice);
    add("RegisterAgent", "os", &SimAdapter::registerAgent);
    add("UnregisterAgent", "o", &SimAdapter::unregisterAgent);
}

SimAdapter::~SimAdapter()
{
    // Creations refer to devices; end them first, quietly.
    qDeleteAll(m_creations);
    m_creations.clear();
    delete m_discovery;
    m_devices.clear();
}

AgentClient *SimAdapter::agents() const
{
    return m_service->agents();
}

QList<QDBusObjectPath> SimAdapter::devicePaths() const
{
    QList<QDBusObjectPath> paths;
    for (const SimDevice *device : m_devices.all())
        paths.append(QDBusObjectPath(device->path()));
    return paths;
}

QVariantMap SimAdapter::properties() const
{
    const AdapterSpec &spec = m_world.adapter;
    QVariantMap map { { QStringLiteral("Address"), spec.address },
                      { QStringLiteral("Name"), spec.name },
                      { QStringLiteral("Class"), spec.deviceClass },
                      { QStringLiteral("Powered"), isPowered() },
                      { QStringLiteral("Discoverable"), m_mode == Mode::Discoverable },
                      { QStringLiteral("Pairable"), spec.pairable },
                      { QStringLiteral("PairableTimeout"), spec.pairableTimeout },
                      { QStringLiteral("DiscoverableTimeout"), spec.discoverableTimeout },
                      { QStringLiteral("Discovering"), m_discovering },
                      { QStringLiteral("Devices"), QVariant::fromValue(devicePaths()) },
                      { QStringLiteral("UUIDs"), spec.uuids } };
    applyRaw(spec.rawProperties, &map);
    return map;
}

SimDevice *SimAdapter::device(const QString &address) const
{
    return m_devices.find(address);
}

QList<SimDevice *> SimAdapter::devices() const
{
    return m_devices.all();
}

SimDevice *SimAdapter::deviceByPath(const QString &path) const
{
    return m_devices.byPath(path);
}

QString SimAdapter::devicePath(const QString &address) const
{
    return DeviceObjects<SimDevice>::pathOf(path(), address);
}

SimDevice *SimAdapter::createDeviceObject(const QString &address)
{
    DeviceSpec *spec = m_world.device(address);
    if (!spec)
        return nullptr;
    if (SimDevice *existing = device(address))
        return existing;
    auto object = std::make_unique<SimDevice>(this, *spec, devicePath(address));
    SimDevice *created = object.get();
    created->setTemporary(true);
    m_devices.insert(address, std::move(object));
    m_service->tree()->add(created);
    emitSignal(adapterInterface, QStringLiteral("DeviceCreated"), { objectPath(created->path()) });
    emitDevicesChanged();
    return created;
}

void SimAdapter::removeDeviceObject(const QString &address)
{
    removeDeviceObjectNow(address, true);
}

void SimAdapter::removeDeviceObjectNow(const QString &address, bool announce)
{
    SimDevice *object = m_devices.release(address);
    if (!object)
        return;
    m_service->tree()->remove(object);
    object->deleteLater();
    // The stored pairing goes with the object.
    object->spec().forgetStored();
    object->retire();
    if (announce) {
        emitDevicesChanged();
        emitSignal(adapterInterface, QStringLiteral("DeviceRemoved"), { objectPath(object->path()) });
    }
}

bool SimAdapter::isCreating(const QString &address) const
{
    return creationFor(address) != nullptr;
}

DeviceCreation *SimAdapter::creationFor(const QString &address) const
{
    for (DeviceCreation *creation : m_creations) {
        if (creation->address() == address)
            return creation;
    }
    return nullptr;
}

void SimAdapter::creationFinished(DeviceCreation *creation)
{
    m_creations.removeAll(creation);
    creation->deleteLater();
}

void SimAdapter::emitDeviceFound(const DeviceSpec &spec, bool withName)
{
    emitSignal(adapterInterface, QStringLiteral("DeviceFound"),
               { spec.address, SimDevice::foundValues(spec, withName) });
}

void SimAdapter::emitAdapterProperty(const QString &name, const QVariant &value)
{
    emitPropertyChanged(adapterInterface, name, value);
}

void SimAdapter::emitDevicesChanged()
{
    emitAdapterProperty(QStringLiteral("Devices"), properties().value(QStringLiteral("Devices")));
}

void SimAdapter::ensureSpec(const QString &address)
{
    // An address nobody answers to is paged in vain.
    if (!m_world.device(address)) {
        DeviceSpec nobody;
        nobody.address = address;
        nobody.inRange = false;
        m_world.devices.emplace(address, nobody);
    }
}

bool SimAdapter::watchCaller(const SimCall &call)
{
    m_service->peers()->watch(call.sender());
    return true;
}

// --- properties -------------------------------------------------------------

void SimAdapter::getProperties(const SimCall &call)
{
    call.reply({ properties() });
}

void SimAdapter::setProperty(const SimCall &call)
{
    const QString name = call.argument(0).toString();
    const QVariant value = call.argument(1).value<QDBusVariant>().variant();
    const int type = value.userType();
    if (name == QLatin1String("Name") && type == QMetaType::QString) {
        setName(call, value);
    } else if ((name == QLatin1String("Powered") || name == QLatin1String("Discoverable"))
               && type == QMetaType::Bool) {
        // A mode set by hand is not undone when the last session goes.
        m_sessionRestoreMode.reset();
        Mode target;
        if (name == QLatin1String("Powered")) {
            target = value.toBool() ? m_onMode : Mode::Off;
        } else {
            // Also when off: bluetoothd powers up in the mode asked for.
            target = value.toBool() ? Mode::Discoverable : Mode::Connectable;
            m_onMode = target;
        }
        requestMode(target, [call]() { call.reply(); });
    } else if (name == QLatin1String("Pairable") && type == QMetaType::Bool) {
        setPairable(call, value);
    } else if ((name == QLatin1String("DiscoverableTimeout") || name == QLatin1String("PairableTimeout"))
               && type == QMetaType::UInt) {
        setTimeout(call, name, value);
    } else {
        replyError(call, BluezError::InvalidArguments);
    }
}

void SimAdapter::setName(const SimCall &call, const QVariant &value)
{
    AdapterSpec &spec = m_world.adapter;
    if (!spec.nameChangeAllowed) {
        call.replyError(BluezError::failed(), QStringLiteral("Operation not permitted"));
        return;
    }
    const QString name = value.toString();
    const bool changed = name != spec.name;
    spec.name = name;
    call.reply();
    // Only a running controller confirms the name, after the reply.
    if (changed && isPowered()) {
        // The controller confirms a moment later (a link round trip).
        QTimer::singleShot(timing().linkMs, this, [this]() {
            emitAdapterProperty(QStringLiteral("Name"), m_world.adapter.name);
        });
    }
}

void SimAdapter::setPairable(const SimCall &call, const QVariant &value)
{
    if (!isPowered()) {
        replyError(call, BluezError::NotReady);
        return;
    }
    AdapterSpec &spec = m_world.adapter;
    if (spec.pairable != value.toBool()) {
        spec.pairable = value.toBool();
        emitAdapterProperty(QStringLiteral("Pairable"), spec.pairable);
    }
    restartTimers();
    call.reply();
}

void SimAdapter::setTimeout(const SimCall &call, const QString &name, const QVariant &value)
{
    AdapterSpec &spec = m_world.adapter;
    uint &field = name == QLatin1String("DiscoverableTimeout") ? spec.discoverableTimeout
                                                               : spec.pairableTimeout;
    if (field != value.toUInt()) {
        field = value.toUInt();
        emitAdapterProperty(name, field);
    }
    restartTimers();
    call.reply();
}

void SimAdapter::restartTimers()
{
    const AdapterSpec &spec = m_world.adapter;
    m_discoverableTimer.stop();
    m_pairableTimer.stop();
    if (m_mode == Mode::Discoverable && spec.discoverableTimeout > 0)
        m_discoverableTimer.start(int(spec.discoverableTimeout) * 1000);
    if (isPowered() && spec.pairable && spec.pairableTimeout > 0)
        m_pairableTimer.start(int(spec.pairableTimeout) * 1000);
}

// --- modes ------------------------------------------------------------------

void SimAdapter::requestMode(Mode target, std::function<void()> done)
{
    m_modeQueue.append({ target, std::move(done) });
    if (!m_switching)
        runNextModeSwitch();
}

void SimAdapter::runNextModeSwitch()
{
    if (m_modeQueue.isEmpty()) {
        m_switching = false;
        return;
    }
    m_switching = true;
    const ModeSwitch next = m_modeQueue.takeFirst();
    auto finish = [this, next]() {
        m_world.adapter.powered = isPowered();
        m_world.adapter.discoverable = m_mode == Mode::Discoverable;
        restartTimers();
        if (next.done)
            next.done();
        runNextModeSwitch();
    };
    if (next.target == m_mode) {
        finish();
        return;
    }
    // The controller takes a moment; the reply waits for it.
    QTimer::singleShot(timing().powerMs, this, [this, next, finish]() {
        if (m_mode == Mode::Off)
            powerOn(next.target);
        else if (next.target == Mode::Off)
            powerOff();
        else
            changeVisibility(next.target);
        finish();
    });
}

void SimAdapter::powerOn(Mode target)
{
    m_mode = target;
    emitAdapterProperty(QStringLiteral("Powered"), true);
    emitAdapterProperty(QStringLiteral("Pairable"), m_world.adapter.pairable);
    emitAdapterProperty(QStringLiteral("Discoverable"), target == Mode::Discoverable);
}

void SimAdapter::powerOff()
{
    const bool wasDiscoverable = m_mode == Mode::Discoverable;
    const bool wasDiscovering = m_discovering;
    // Every pairing ends with the radio, also one the remote side started:
    // its device object is about to go.
    const QList<DeviceCreation *> creations = m_creations;
    for (DeviceCreation *creation : creations)
        creation->abort();
    m_discoverySessions.clear();
    delete m_discovery;
    m_discovery = nullptr;
    m_discovering = false;
    QStringList temporary;
    for (SimDevice *device : m_devices.all()) {
        device->dropLink();
        if (device->isTemporary())
            temporary.append(device->spec().address);
    }
    for (const QString &address : std::as_const(temporary))
        removeDeviceObject(address);
    m_mode = Mode::Off;
    if (wasDiscoverable)
        emitAdapterProperty(QStringLiteral("Discoverable"), false);
    // Only the signal says false; the stored value stays for the next power on.
    if (m_world.adapter.pairable)
        emitAdapterProperty(QStringLiteral("Pairable"), false);
    if (wasDiscovering)
        emitAdapterProperty(QStringLiteral("Discovering"), false);
    emitAdapterProperty(QStringLiteral("Powered"), false);
}

void SimAdapter::changeVisibility(Mode target)
{
    m_mode = target;
    emitAdapterProperty(QStringLiteral("Discoverable"), target == Mode::Discoverable);
}

// --- sessions ---------------------------------------------------------------

void SimAdapter::requestSession(const SimCall &call)
{
    if (!m_defaultAgent.isValid()) {
        replyError(call, BluezError::AgentNotAvailable);
        return;
    }
    watchCaller(call);
    const QString owner = call.sender();
    if (m_mode >= m_onMode) {
        ++m_sessions[owner];
        call.reply();
        return;
    }
    // Switching the radio on for a session needs the user's consent.
    agents()->request(m_defaultAgent, QStringLiteral("ConfirmModeChange"), { modeName(m_onMode) },
                      [this, call, owner](const QDBusMessage &reply) {
                          if (reply.type() == QDBusMessage::ErrorMessage) {
                              call.replyError(reply.errorName(), reply.errorMessage());
                              return;
                          }
                          if (!m_sessionRestoreMode)
                              m_sessionRestoreMode = m_mode;
                          ++m_sessions[owner];
                          requestMode(m_onMode, [call]() { call.reply(); });
                      });
}

void SimAdapter::releaseSession(const SimCall &call)
{
    if (!m_sessions.contains(call.sender())) {
        call.replyError(BluezError::failed(), QStringLiteral("Invalid Session"));
        return;
    }
    call.reply();
    dropSession(call.sender(), 1);
}

void SimAdapter::dropSession(const QString &owner, int count)
{
    auto it = m_sessions.find(owner);
    if (it == m_sessions.end())
        return;
    *it -= count;
    if (*it <= 0)
        m_sessions.erase(it);
    if (m_sessions.isEmpty() && m_sessionRestoreMode) {
        const Mode restore = *m_sessionRestoreMode;
        m_sessionRestoreMode.reset();
        requestMode(restore, {});
    }
}

// --- discovery --------------------------------------------------------------

void SimAdapter::startDiscovery(const SimCall &call)
{
    if (!isPowered()) {
        replyError(call, BluezError::NotReady);
        return;
    }
    watchCaller(call);
    ++m_discoverySessions[call.sender()];
    call.reply();
    if (!m_discovery) {
        m_discovery = new DiscoveryCycle(this, this);
        m_discovery->start();
    }
}

void SimAdapter::stopDiscovery(const SimCall &call)
{
    if (!isPowered()) {
        replyError(call, BluezError::NotReady);
        return;
    }
    auto it = m_discoverySessions.find(call.sender());
    if (it == m_discoverySessions.end()) {
        call.replyError(BluezError::failed(), QStringLiteral("Invalid discovery session"));
        return;
    }
    if (--*it <= 0)
        m_discoverySessions.erase(it);
    call.reply();
    if (m_discoverySessions.isEmpty())
        stopDiscoveryNow();
}

void SimAdapter::stopDiscoveryNow()
{
    if (!m_discovery)
        return;
    delete m_discovery;
    m_discovery = nullptr;
    // The controller is still discovering until it has stopped; a new
    // session in between simply goes on with it.
    QTimer::singleShot(timing().stopDiscoveryMs, this, [this]() {
        if (!m_discovery)
            setDiscovering(false);
    });
}

void SimAdapter::setDiscovering(bool discovering)
{
    if (m_discovering == discovering)
        return;
    m_discovering = discovering;
    emitAdapterProperty(QStringLiteral("Discovering"), discovering);
}

void SimAdapter::cycleEnded(const QStringList &disappeared)
{
    setDiscovering(false);
    for (const QString &address : disappeared)
        emitSignal(adapterInterface, QStringLiteral("DeviceDisappeared"), { address });
}

void SimAdapter::reportDeviceFound(const QString &address)
{
    if (m_discovery) {
        m_discovery->report(address);
    } else if (const DeviceSpec *spec = m_world.device(address)) {
        emitDeviceFound(*spec, !spec->name.isEmpty());
    }
}

// --- devices ----------------------------------------------------------------

void SimAdapter::findDevice(const SimCall &call)
{
    const QString address = normalizedAddress(call.argument(0).toString());
    if (address.isEmpty()) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    SimDevice *found = device(address);
    if (!found) {
        replyError(call, BluezError::DoesNotExist);
        return;
    }
    call.reply({ objectPath(found->path()) });
}

void SimAdapter::listDevices(const SimCall &call)
{
    // A raw "Devices" makes this reply lie too; left out, it does not.
    const QVariant raw = m_world.adapter.rawProperties.value(QStringLiteral("Devices"));
    call.reply({ raw.isValid() ? raw : QVariant::fromValue(devicePaths()) });
}

void SimAdapter::createDevice(const SimCall &call)
{
    const QString address = normalizedAddress(call.argument(0).toString());
    if (address.isEmpty()) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    if (!isPowered()) {
        replyError(call, BluezError::NotReady);
        return;
    }
    if (device(address)) {
        // Also while it is still being created: the object exists already.
        replyError(call, BluezError::AlreadyExists);
        return;
    }
    ensureSpec(address);
    watchCaller(call);
    createDeviceObject(address);
    auto *creation = new DeviceCreation(this, DeviceCreation::Kind::Create, address, call, {}, {});
    m_creations.append(creation);
    creation->start();
}

void SimAdapter::createPairedDevice(const SimCall &call)
{
    const QString address = normalizedAddress(call.argument(0).toString());
    const QString agentPath = call.argument(1).value<QDBusObjectPath>().path();
    const QString capability = call.argument(2).toString();
    const AgentClient::Target agent { call.sender(), agentPath };
    if (address.isEmpty() || !capabilities.contains(capability) || agent == m_defaultAgent) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    if (!isPowered()) {
        replyError(call, BluezError::NotReady);
        return;
    }
    for (DeviceCreation *creation : std::as_const(m_creations)) {
        if (creation->kind() != DeviceCreation::Kind::Create) {
            replyError(call, BluezError::InProgress);
            return;
        }
    }
    if (isCreating(address)) {
        replyError(call, BluezError::InProgress);
        return;
    }
    ensureSpec(address);
    if (m_world.device(address)->paired && device(address)) {
        replyError(call, BluezError::AlreadyExists);
        return;
    }
    watchCaller(call);
    createDeviceObject(address);
    auto *creation = new DeviceCreation(this, DeviceCreation::Kind::CreatePaired, address, call,
                                        agent, capability);
    m_creations.append(creation);
    creation->start();
}

void SimAdapter::cancelDeviceCreation(const SimCall &call)
{
    const QString address = normalizedAddress(call.argument(0).toString());
    if (address.isEmpty()) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    DeviceCreation *creation = creationFor(address);
    if (!creation || creation->kind() == DeviceCreation::Kind::Incoming) {
        replyError(call, BluezError::DoesNotExist);
        return;
    }
    if (creation->creator() != call.sender()) {
        replyError(call, BluezError::NotAuthorized);
        return;
    }
    creation->cancel(call);
}

void SimAdapter::removeDevice(const SimCall &call)
{
    SimDevice *target = deviceByPath(call.argument(0).value<QDBusObjectPath>().path());
    if (!target) {
        replyError(call, BluezError::DoesNotExist);
        return;
    }
    const QString address = target->spec().address;
    // A device already on its way out (a temporary one) counts as busy.
    if (isCreating(address) || target->isTemporary()) {
        call.replyError(BluezError::DoesNotExist.qname(), QStringLiteral("Device creation in progress"));
        return;
    }
    if (!target->spec().connected) {
        removeDeviceObject(address);
        call.reply();
        return;
    }
    target->setTemporary(true);
    target->emitSignal(QStringLiteral("org.bluez.Device"), QStringLiteral("DisconnectRequested"), {});
    QTimer::singleShot(timing().disconnectMs, this, [this, call, address]() {
        call.reply();
        // The link may have dropped meanwhile, and the object with it.
        if (SimDevice *object = device(address)) {
            object->dropLink();
            removeDeviceObject(address);
        }
    });
}

// --- agents -----------------------------------------------------------------

void SimAdapter::registerAgent(const SimCall &call)
{
    const QString path = call.argument(0).value<QDBusObjectPath>().path();
    const QString capability = call.argument(1).toString();
    if (!capabilities.contains(capability)) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    if (m_defaultAgent.isValid()) {
        replyError(call, BluezError::AlreadyExists);
        return;
    }
    watchCaller(call);
    m_defaultAgent = { call.sender(), path };
    m_defaultAgentCapability = capability.isEmpty() ? QStringLiteral("DisplayYesNo") : capability;
    call.reply();
}

void SimAdapter::unregisterAgent(const SimCall &call)
{
    const AgentClient::Target agent { call.sender(), call.argument(0).value<QDBusObjectPath>().path() };
    if (!m_defaultAgent.isValid() || !(agent == m_defaultAgent)) {
        replyError(call, BluezError::DoesNotExist);
        return;
    }
    m_defaultAgent = {};
    agents()->notify(agent, QStringLiteral("Release"));
    call.reply();
}

// --- control side -----------------------------------------------------------

void SimAdapter::deviceAdded(const QString &address)
{
    DeviceSpec *spec = m_world.device(address);
    if (!spec || !spec->hasObject() || device(address))
        return;
    SimDevice *created = createDeviceObject(address);
    created->setTemporary(false);
}

void SimAdapter::deviceChanged(const QString &address, const DeviceSpec &before)
{
    DeviceSpec *spec = m_world.device(address);
    if (!spec)
        return;
    SimDevice *object = device(address);
    if (!object) {
        if (spec->hasObject())
            deviceAdded(address);
        return;
    }
    object->publishChanges(before);
    if (!spec->connected && before.connected && object->isTemporary())
        removeDeviceObject(address);
}

void SimAdapter::deviceRemoved(const QString &address)
{
    if (DeviceCreation *creation = creationFor(address))
        creation->abort();
    // The device is gone from the world: its link goes first.
    if (SimDevice *object = device(address))
        object->dropLink();
    removeDeviceObject(address);
}

void SimAdapter::adapterChanged(const AdapterSpec &before)
{
    const AdapterSpec &spec = m_world.adapter;
    if (before.name != spec.name && isPowered())
        emitAdapterProperty(QStringLiteral("Name"), spec.name);
    if (before.deviceClass != spec.deviceClass)
        emitAdapterProperty(QStringLiteral("Class"), spec.deviceClass);
    if (before.uuids != spec.uuids)
        emitAdapterProperty(QStringLiteral("UUIDs"), spec.uuids);
    if (before.pairable != spec.pairable)
        emitAdapterProperty(QStringLiteral("Pairable"), spec.pairable);
    if (before.discoverableTimeout != spec.discoverableTimeout)
        emitAdapterProperty(QStringLiteral("DiscoverableTimeout"), spec.discoverableTimeout);
    if (before.pairableTimeout != spec.pairableTimeout)
        emitAdapterProperty(QStringLiteral("PairableTimeout"), spec.pairableTimeout);
    if (before.powered != spec.powered || before.discoverable != spec.discoverable) {
        // Someone switched the radio outside our clients (a hardware key, rfkill).
        m_sessionRestoreMode.reset();
        if (spec.discoverable)
            m_onMode = Mode::Discoverable;
        const Mode target = !spec.powered ? Mode::Off : spec.discoverable ? Mode::Discoverable
                                                                          : Mode::Connectable;
        m_world.adapter.powered = before.powered;
        m_world.adapter.discoverable = before.discoverable;
        requestMode(target, {});
    }
    restartTimers();
}

void SimAdapter::requestAuthorization(const QString &address, const QString &uuid, Done done)
{
    DeviceSpec *spec = m_world.device(address);
    if (!spec) {
        done(BluezError::DoesNotExist.qname());
        return;
    }
    SimDevice *object = createDeviceObject(address);
    if (spec->trusted) {
        done(QString());
        return;
    }
    DeviceCreation *creation = creationFor(address);
    const AgentClient::Target agent = creation && creation->agent().isValid() ? creation->agent()
                                                                              : m_defaultAgent;
    if (!agent.isValid()) {
        done(BluezError::AgentNotAvailable.qname());
        return;
    }
    // An agent busy with another request cannot be asked; the connection is refused.
    if (agents()->hasPendingRequest(agent)) {
        done(BluezError::InProgress.qname());
        return;
    }
    agents()->request(agent, QStringLiteral("Authorize"), { objectPath(object->path()), uuid },
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

void SimAdapter::startIncomingPairing(const QString &address, Done done)
{
    DeviceSpec *spec = m_world.device(address);
    if (!spec) {
        done(BluezError::DoesNotExist.qname());
        return;
    }
    if (!isPowered()) {
        done(BluezError::NotReady.qname());
        return;
    }
    if (isCreating(address)) {
        done(BluezError::InProgress.qname());
        return;
    }
    // A non-pairable adapter turns legacy requests away without asking anyone.
    if (!m_world.adapter.pairable || !m_defaultAgent.isValid()) {
        done(BluezError::AuthenticationRejected.qname());
        return;
    }
    createDeviceObject(address);
    auto *creation = new DeviceCreation(this, DeviceCreation::Kind::Incoming, address, SimCall(),
                                        m_defaultAgent, m_defaultAgentCapability, std::move(done));
    m_creations.append(creation);
    creation->start();
}

void SimAdapter::peerLeft(const QString &name)
{
    if (m_defaultAgent.owner == name)
        m_defaultAgent = {};
    const QList<DeviceCreation *> creations = m_creations;
    for (DeviceCreation *creation : creations) {
        if (creation->creator() == name)
            creation->creatorLeft();
    }
    if (m_discoverySessions.remove(name) && m_discoverySessions.isEmpty())
        stopDiscoveryNow();
    if (m_sessions.contains(name))
        dropSession(name, m_sessions.value(name));
}
