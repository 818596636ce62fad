#include "bluetoothservice.h"

#include "agentclient.h"
#include "objecttree.h"
#include "peerwatcher.h"
#include "rfkillswitches.h"

BluetoothService::BluetoothService(const QString &busAddress, const QString &agentInterface,
                                   CallLog *log, FaultPlan *faults, QObject *parent)
    : SimService({ QStringLiteral("org.bluez"), QStringLiteral("system"), busAddress,
                   agentInterface, QStringLiteral("bluez") },
                 log, faults, parent)
{
    connect(peers(), &PeerWatcher::peerLeft, this, [this](const QString &name) {
        if (ControlledAdapter *adapter = controlled())
            adapter->peerLeft(name);
    });
    const QString rfkillPath = qEnvironmentVariable("OVRIN_RFKILL_DEVICE");
    if (!rfkillPath.isEmpty()) {
        m_rfkill = new RfkillSwitches(rfkillPath, [this]() { return rfkillStates(); }, this);
        if (!m_rfkill->isListening())
            qWarning("btsim: cannot serve rfkill events at %s", qPrintable(rfkillPath));
    }
}

bool BluetoothService::isPowered() const
{
    const ControlledAdapter *adapter = controlled();
    return adapter && adapter->isPowered();
}

World *BluetoothService::worldOf(const QString &address)
{
    return address.isEmpty() || address.compare(m_world.adapter.address, Qt::CaseInsensitive) == 0
        ? &m_world
        : nullptr;
}

bool BluetoothService::isPowered(const QString &address) const
{
    return (address.isEmpty() || address.compare(m_world.adapter.address, Qt::CaseInsensitive) == 0)
        && isPowered();
}

bool BluetoothService::takesConnection(const QString &from, const QString &to) const
{
    const ControlledAdapter *adapter = controlled();
    return adapter && isPowered(to) && adapter->takesConnectionFrom(normalizedAddress(from));
}

namespace {

// bluetoothd 5.66 hides the adapter again after three minutes unless told otherwise.
constexpr uint bluetoothdDiscoverableTimeout = 180;

} // namespace

void BluetoothService::load(const Scenario &scenario)
{
    destroyObjects();
    agents()->forgetAll();
    m_world.load(scenario);
    if (dialect() == 5 && !scenario.discoverableTimeoutGiven)
        m_world.adapter.discoverableTimeout = bluetoothdDiscoverableTimeout;
    loaded(scenario);
    agents()->setTimeout(m_world.timing.agentTimeoutMs);
    if (tree()->isAttached())
        buildObjects();
    syncRfkill();
}

bool BluetoothService::changeOtherController(const QString &controller, const QJsonObject &json,
                                             QString *error)
{
    Q_UNUSED(json)
    *error = QStringLiteral("no controller %1").arg(controller);
    return false;
}

void BluetoothService::syncRfkill()
{
    if (m_rfkill)
        m_rfkill->sync();
}

QMap<quint32, bool> BluetoothService::rfkillStates() const
{
    QMap<quint32, bool> states;
    if (m_world.adapter.present)
        states.insert(0, m_world.adapter.rfkillBlocked);
    return states;
}

QJsonObject BluetoothService::state() const
{
    Scenario snapshot;
    snapshot.bluez = dialect();
    snapshot.adapter = m_world.adapter;
    snapshot.timing = m_world.timing;
    for (const auto &[address, device] : m_world.devices)
        snapshot.devices.append(device);
    QJsonObject json = snapshot.toJson();
    json.remove(QStringLiteral("obex")); // the obexd services report their own
    json.insert(QStringLiteral("running"), isRunning());
    if (controlled())
        addObjectState(&json);
    return json;
}

bool BluetoothService::needsRunningAdapter(QString *error) const
{
    if (!controlled()) {
        *error = QStringLiteral("no adapter");
        return false;
    }
    return true;
}

bool BluetoothService::addDevice(const QJsonObject &json, QString *error)
{
    auto spec = DeviceSpec::fromJson(json, error);
    if (!spec)
        return false;
    if (m_world.device(spec->address)) {
        *error = QStringLiteral("device %1 exists already").arg(spec->address);
        return false;
    }
    m_world.devices.emplace(spec->address, *spec);
    if (ControlledAdapter *adapter = controlled())
        adapter->deviceAdded(spec->address);
    return true;
}

bool BluetoothService::changeDevice(const QString &address, const QJsonObject &json, QString *error)
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
    if (ControlledAdapter *adapter = controlled())
        adapter->deviceChanged(spec->address, before);
    return true;
}

bool BluetoothService::removeDevice(const QString &address, QString *error)
{
    const QString normalized = normalizedAddress(address);
    if (!m_world.device(normalized)) {
        *error = QStringLiteral("no device %1").arg(address);
        return false;
    }
    if (ControlledAdapter *adapter = controlled())
        adapter->deviceRemoved(normalized);
    m_world.devices.erase(normalized);
    return true;
}

bool BluetoothService::changeAdapter(const QJsonObject &json, QString *error)
{
    const QString controller = json.value(QLatin1String("controller")).toString();
    if (!controller.isEmpty() && controller != QLatin1String("hci0")) {
        if (!changeOtherController(controller, json, error))
            return false;
        syncRfkill();
        return true;
    }
    const AdapterSpec before = m_world.adapter;
    m_world.adapter = AdapterSpec::fromJson(json, before);
    if (m_world.adapter.present != before.present) {
        const bool present = m_world.adapter.present;
        m_world.adapter.present = before.present;
        setAdapterPresent(present);
    }
    if (before.present) {
        if (ControlledAdapter *adapter = controlled())
            adapter->adapterChanged(before);
    }
    syncRfkill();
    return true;
}

bool BluetoothService::setRawProperty(const QString &target, const QString &name,
                                      const QVariant &value, QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    if (target == QLatin1String("adapter")) {
        m_world.adapter.rawProperties.insert(name, value);
        announceRaw(QString(), name, value);
        return true;
    }
    const QString address = normalizedAddress(target);
    DeviceSpec *spec = m_world.device(address);
    if (!spec) {
        *error = QStringLiteral("no device %1").arg(target);
        return false;
    }
    spec->rawProperties.insert(name, value);
    announceRaw(address, name, value);
    return true;
}

void BluetoothService::lieInReplies(const std::function<QVariantMap()> &adapterLies,
                                    const std::function<QVariantMap()> &deviceLies)
{
    m_world.adapter.rawProperties = adapterLies();
    for (auto &[address, device] : m_world.devices)
        device.rawProperties = deviceLies();
}

void BluetoothService::tellTruth()
{
    m_world.adapter.rawProperties.clear();
    for (auto &[address, device] : m_world.devices)
        device.rawProperties.clear();
    if (controlled())
        announceEverything();
}

bool BluetoothService::reportDeviceFound(const QString &address, QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    const QString normalized = normalizedAddress(address);
    if (!m_world.device(normalized)) {
        *error = QStringLiteral("no device %1").arg(address);
        return false;
    }
    controlled()->reportDeviceFound(normalized);
    return true;
}

void BluetoothService::setTiming(const QJsonObject &json)
{
    m_world.timing = Timing::fromJson(json, m_world.timing);
    agents()->setTimeout(m_world.timing.agentTimeoutMs);
    timingChanged();
}

bool BluetoothService::requestAuthorization(const QString &address, const QString &uuid, Done done,
                                            QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    controlled()->requestAuthorization(normalizedAddress(address), uuid.toLower(), std::move(done));
    return true;
}

bool BluetoothService::incomingPairing(const QString &address, Done done, QString *error)
{
    if (!needsRunningAdapter(error))
        return false;
    controlled()->startIncomingPairing(normalizedAddress(address), std::move(done));
    return true;
}
