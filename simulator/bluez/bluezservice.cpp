#include "bluezservice.h"

#include "simadapter.h"
#include "simdevice.h"
#include "simmanager.h"

#include <QDBusConnectionInterface>
#include <QJsonArray>

#include <unistd.h>

BluezService::BluezService(const QString &busAddress, CallLog *log, FaultPlan *faults,
                           QObject *parent)
    : SimService({ QStringLiteral("org.bluez"), QStringLiteral("system"), busAddress,
                   QStringLiteral("org.bluez.Agent"), QStringLiteral("bluez") },
                 log, faults, parent)
{
    connect(peers(), &PeerWatcher::peerLeft, this, [this](const QString &name) {
        if (m_adapter)
            m_adapter->peerLeft(name);
    });
}

BluezService::~BluezService()
{
    stop();
}

QString BluezService::pathPrefix() const
{
    // A restarted daemon has another pid, so its adapter has another path.
    return QStringLiteral("/org/bluez/%1").arg(::getpid() + restarts());
}

void BluezService::started(const QDBusConnection &)
{
    agents()->setTimeout(m_world.timing.agentTimeoutMs);
    buildObjects();
}

void BluezService::stopped()
{
    // Links drop, temporary devices and sessions vanish.
    destroyObjects();
    for (auto &[address, device] : m_world.devices) {
        device.connected = false;
        device.audioState = QStringLiteral("disconnected");
    }
}

void BluezService::load(const Scenario &scenario)
{
    destroyObjects();
    agents()->forgetAll();
    m_world.load(scenario);
    agents()->setTimeout(m_world.timing.agentTimeoutMs);
    if (tree()->isAttached())
        buildObjects();
}

void BluezService::buildObjects()
{
    m_manager = std::make_unique<SimManager>(this);
    tree()->add(m_manager.get());
    setAdapterPresent(m_world.adapter.present);
}

void BluezService::destroyObjects()
{
    m_adapter.reset();
    m_manager.reset();
}

void BluezService::setAdapterPresent(bool present)
{
    if (present && !m_adapter) {
        m_world.adapter.present = true;
        m_adapter
            = std::make_unique<SimAdapter>(this, m_world, pathPrefix() + QStringLiteral("/hci0"));
        tree()->add(m_adapter.get());
        for (SimDevice *device : m_adapter->devices())
            tree()->add(device);
        if (isRunning())
            m_manager->adapterAdded(m_adapter->path());
    } else if (!present && m_adapter) {
        m_world.adapter.present = false;
        const QString path = m_adapter->path();
        const AgentClient::Target agent = m_adapter->defaultAgent();
        if (agent.isValid())
            agents()->notify(agent, QStringLiteral("Release"));
        m_adapter.reset();
        m_manager->adapterRemoved(path);
    }
}

QJsonObject BluezService::state() const
{
    Scenario snapshot;
    snapshot.adapter = m_world.adapter;
    snapshot.timing = m_world.timing;
    for (const auto &[address, device] : m_world.devices)
        snapshot.devices.append(device);
    QJsonObject json = snapshot.toJson();
    json.remove(QStringLiteral("obex")); // the obexd services report their own
    json.insert(QStringLiteral("running"), isRunning());
    if (m_adapter) {
        json.insert(QStringLiteral("adapterPath"), m_adapter->path());
        QJsonObject agent { { "owner", m_adapter->defaultAgent().owner },
                            { "path", m_adapter->defaultAgent().path } };
        json.insert(QStringLiteral("defaultAgent"), agent);
        QJsonArray objects;
        for (SimDevice *device : m_adapter->devices())
            objects.append(device->path());
        json.insert(QStringLiteral("deviceObjects"), objects);
    }
    return json;
}

bool BluezService::needsRunningAdapter(QString *error) const
{
    if (!m_adapter) {
        *error = QStringLiteral("no adapter");
        return false;
    }
    return true;
}

bool BluezService::addDevice(const QJsonObject &json, QString *error)
{
    auto spec = DeviceSpec::fromJson(json, error);
    if (!spec)
        return false;
    if (m_world.device(spec->address)) {
        *error = QStringLiteral("device %1 exists already").arg(spec->address);
        return false;
    }
    m_world.devices.emplace(spec->address, *spec);
    if (m_adapter)
        m_adapter->deviceAdded(spec->address);
    return true;
}

bool BluezService::changeDevice(const QString &address, const QJsonObject &json, QString *error)
{
    DeviceSpec *spec = m_world.device(normalizedAddress(address));
    if (!spec) {
        *error = QStringLiteral("no device %1").arg(address);
        return false;
    }
    const DeviceSpec before = *spec;
    DeviceSpec changed = *spec;
    if (!changed.merge(json, error))
        return false;
    *spec = changed;
    if (m_adapter)
        m_adapter->deviceChanged(spec->address, before);
    return true;
}

bool BluezService::removeDevice(const QString &address, QString *error)
{
    const QString normalized = normalizedAddress(address);
    if (!m_world.device(normalized)) {
        *error = QStringLiteral("no device %1").arg(address);
        return false;
    }
    if (m_adapter)
        m_adapter->deviceRemoved(normalized);
    m_world.devices.erase(normalized);
    return true;
}

bool BluezService::changeAdapter(const QJsonObject &json, QString *error)
{
    Q_UNUSED(error)
    const AdapterSpec before = m_world.adapter;
    m_world.adapter = AdapterSpec::fromJson(json, before);
    if (m_world.adapter.present != before.present) {
        const bool present = m_world.adapter.present;
        m_world.adapter.present = before.present;
        setAdapterPresent(present);
    }
    if (m_adapter && before.present)
        m_adapter->adapterChanged(before);
    return true;
}

bool BluezService::setRawProperty(const QString &target, const QString &name, const QVariant &value,
                                  QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    if (target == QLatin1String("adapter")) {
        m_world.adapter.rawProperties.insert(name, value);
        m_adapter->emitAdapterProperty(name, value);
        return true;
    }
    const QString address = normalizedAddress(target);
    DeviceSpec *spec = m_world.device(address);
    if (!spec) {
        *error = QStringLiteral("no device %1").arg(target);
        return false;
    }
    spec->rawProperties.insert(name, value);
    if (SimDevice *device = m_adapter->device(address))
        device->emitPropertyChanged(QStringLiteral("org.bluez.Device"), name, value);
    return true;
}

bool BluezService::reportDeviceFound(const QString &address, QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    const QString normalized = normalizedAddress(address);
    if (!m_world.device(normalized)) {
        *error = QStringLiteral("no device %1").arg(address);
        return false;
    }
    m_adapter->reportDeviceFound(normalized);
    return true;
}

void BluezService::setTiming(const QJsonObject &json)
{
    m_world.timing = Timing::fromJson(json, m_world.timing);
    agents()->setTimeout(m_world.timing.agentTimeoutMs);
}

bool BluezService::requestAuthorization(const QString &address, const QString &uuid, Done done,
                                        QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    m_adapter->requestAuthorization(normalizedAddress(address), uuid.toLower(), std::move(done));
    return true;
}

bool BluezService::incomingPairing(const QString &address, Done done, QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    m_adapter->startIncomingPairing(normalizedAddress(address), std::move(done));
    return true;
}
