#include "bluez5service.h"

#include "agentmanager.h"
#include "bluez5adapter.h"
#include "bluez5device.h"
#include "controllerlink.h"
#include "objectmanager.h"
#include "objecttree.h"
#include "peerwatcher.h"
#include "propertiesbatcher.h"
#include "sendhook.h"

#include <QJsonArray>

Bluez5Service::Bluez5Service(const QString &busAddress, CallLog *log, FaultPlan *faults,
                             QObject *parent)
    : BluetoothService(busAddress, QStringLiteral("org.bluez.Agent1"), log, faults, parent)
    , m_batcher(new PropertiesBatcher(this))
{
    // Introspect answers from the XML in bluez5/interfaces.
    for (const char *interface :
         { "org.bluez.Adapter1", "org.bluez.Device1", "org.bluez.AgentManager1",
           "org.freedesktop.DBus.ObjectManager", "org.freedesktop.DBus.Properties" })
        tree()->setInterfaceFile(QLatin1String(interface),
                                 QStringLiteral("bluez5/") + QLatin1String(interface));
    // hci0 hears of it through the base class.
    connect(peers(), &PeerWatcher::peerLeft, this, [this](const QString &name) {
        if (m_remoteAdapter)
            m_remoteAdapter->peerLeft(name);
    });
}

Bluez5Service::~Bluez5Service()
{
    stop();
}

void Bluez5Service::started(const QDBusConnection &connection)
{
    // Nothing leaves the daemon before the property changes queued ahead of it.
    m_connectionName = connection.name();
    SendHook::set(m_connectionName, [this]() { m_batcher->flush(); });
    agents()->setTimeout(m_world.timing.agentTimeoutMs);
    buildObjects();
}

void Bluez5Service::stopping()
{
    // The only time bluetoothd sends Release: it is going away.
    if (m_agentManager)
        m_agentManager->releaseAll();
}

void Bluez5Service::stopped()
{
    SendHook::clear(m_connectionName);
    m_batcher->clear();
    // An inquiry lasts at most 10.24 s, however long btsim's phases are.
    const int inquiryLeftMs = qMin(m_world.timing.inquiryMs, 10240);
    for (Bluez5Adapter *adapter : { m_adapter.get(), m_remoteAdapter.get() }) {
        if (adapter && adapter->isDiscovering())
            adapter->world().kernelScanUntil.setRemainingTime(inquiryLeftMs);
    }
    // Links drop, temporary devices and sessions vanish.
    destroyObjects();
    for (World *world : { &m_world, m_remoteWorld.get() }) {
        if (!world)
            continue;
        for (auto &[address, device] : world->devices) {
            device.connected = false;
            device.audioState = QStringLiteral("disconnected");
        }
    }
}

void Bluez5Service::loaded(const Scenario &scenario)
{
    m_remoteWorld.reset();
    if (!scenario.remoteAdapter)
        return;
    Scenario remote;
    remote.adapter = *scenario.remoteAdapter;
    remote.timing = scenario.timing;
    remote.experimental = scenario.experimental;
    m_remoteWorld = std::make_unique<World>();
    m_remoteWorld->load(remote);
}

QMap<quint32, bool> Bluez5Service::rfkillStates() const
{
    QMap<quint32, bool> states = BluetoothService::rfkillStates();
    if (m_remoteWorld)
        states.insert(1, m_remoteWorld->adapter.rfkillBlocked);
    return states;
}

bool Bluez5Service::changeOtherController(const QString &controller, const QJsonObject &json,
                                          QString *error)
{
    if (controller != QLatin1String("hci1") || !m_remoteWorld)
        return BluetoothService::changeOtherController(controller, json, error);
    const AdapterSpec before = m_remoteWorld->adapter;
    m_remoteWorld->adapter = AdapterSpec::fromJson(json, before);
    // The second controller stays: only its settings and rfkill switch change.
    m_remoteWorld->adapter.present = before.present;
    if (m_remoteAdapter)
        m_remoteAdapter->adapterChanged(before);
    return true;
}

void Bluez5Service::timingChanged()
{
    if (m_remoteWorld)
        m_remoteWorld->timing = m_world.timing;
}

ControlledAdapter *Bluez5Service::controlled() const
{
    return m_adapter.get();
}

void Bluez5Service::buildObjects()
{
    m_objectManager = std::make_unique<ObjectManager>(tree(), m_batcher);
    tree()->add(m_objectManager.get());
    m_agentManager = std::make_unique<AgentManager>(agents(), peers());
    m_agentManager->setOnAnyAgent([this](bool any) {
        for (Bluez5Adapter *adapter : { m_adapter.get(), m_remoteAdapter.get() }) {
            if (adapter)
                adapter->setAnyAgent(any);
        }
    });
    m_objectManager->add(m_agentManager.get());
    setAdapterPresent(m_world.adapter.present);
    addRemoteAdapter();
}

void Bluez5Service::addRemoteAdapter()
{
    if (!m_remoteWorld)
        return;
    m_remoteAdapter
        = std::make_unique<Bluez5Adapter>(this, QStringLiteral("/org/bluez/hci1"), *m_remoteWorld);
    m_objectManager->add(m_remoteAdapter.get());
    m_remoteAdapter->addStoredDevices();
    linkControllers();
}

void Bluez5Service::linkControllers()
{
    m_link.reset();
    if (m_adapter && m_remoteAdapter)
        m_link = std::make_unique<ControllerLink>(m_adapter.get(), m_remoteAdapter.get());
}

void Bluez5Service::destroyObjects()
{
    // A reloaded world is told as objects going; a stopped daemon says nothing.
    const bool announce = isRunning() && tree()->isAttached();
    m_link.reset();
    for (Bluez5Adapter *adapter : { m_adapter.get(), m_remoteAdapter.get() }) {
        if (!adapter)
            continue;
        adapter->forgetDevices(announce);
        if (announce)
            m_objectManager->remove(adapter);
    }
    if (m_objectManager)
        m_objectManager->forgetAll();
    m_adapter.reset();
    m_remoteAdapter.reset();
    m_agentManager.reset();
    m_objectManager.reset();
    m_batcher->clear();
}

void Bluez5Service::setAdapterPresent(bool present)
{
    if (present && !m_adapter) {
        m_world.adapter.present = true;
        m_adapter
            = std::make_unique<Bluez5Adapter>(this, QStringLiteral("/org/bluez/hci0"), m_world);
        // The adapter first, its stored devices after it.
        m_objectManager->add(m_adapter.get());
        m_adapter->addStoredDevices();
        linkControllers();
    } else if (!present && m_adapter) {
        m_world.adapter.present = false;
        m_link.reset();
        // On index removal the devices go before the adapter.
        m_adapter->forgetDevices(true);
        m_objectManager->remove(m_adapter.get());
        m_adapter.reset();
    }
}

void Bluez5Service::addObjectState(QJsonObject *json) const
{
    json->insert(QStringLiteral("adapterPath"), m_adapter->path());
    const AgentManager::Agent agent = m_agentManager->defaultAgent();
    json->insert(QStringLiteral("defaultAgent"),
                 QJsonObject { { "owner", agent.target.owner }, { "path", agent.target.path } });
    QJsonArray objects;
    for (Bluez5Device *device : m_adapter->devices())
        objects.append(device->path());
    json->insert(QStringLiteral("deviceObjects"), objects);
    if (m_remoteAdapter)
        json->insert(QStringLiteral("remoteAdapter"), m_remoteWorld->adapter.toJson());
}

Bluez5Adapter *Bluez5Service::controller(const QString &address) const
{
    for (Bluez5Adapter *adapter : { m_adapter.get(), m_remoteAdapter.get() }) {
        if (adapter && adapter->address().compare(address, Qt::CaseInsensitive) == 0)
            return adapter;
    }
    return nullptr;
}

World *Bluez5Service::worldOf(const QString &address)
{
    if (m_remoteWorld && address.compare(m_remoteWorld->adapter.address, Qt::CaseInsensitive) == 0)
        return m_remoteWorld.get();
    return BluetoothService::worldOf(address);
}

bool Bluez5Service::isPowered(const QString &address) const
{
    if (address.isEmpty())
        return isPowered();
    const Bluez5Adapter *adapter = controller(address);
    return adapter && adapter->isPowered();
}

bool Bluez5Service::isOwnController(const QString &address) const
{
    return controller(address) != nullptr;
}

bool Bluez5Service::takesConnection(const QString &from, const QString &to) const
{
    const Bluez5Adapter *receiver = to.isEmpty() ? m_adapter.get() : controller(to);
    return receiver && receiver->isPowered()
        && receiver->takesConnectionFrom(normalizedAddress(from));
}

void Bluez5Service::secureLink(const QString &from, const QString &to, Done done)
{
    Bluez5Adapter *sender = from.isEmpty() ? m_adapter.get() : controller(from);
    Bluez5Adapter *receiver = controller(to);
    if (!m_link || !sender || !receiver || sender == receiver) {
        done(QString());
        return;
    }
    m_link->secure(sender, receiver, std::move(done));
}

void Bluez5Service::announceRaw(const QString &address, const QString &name, const QVariant &)
{
    // The batcher reads the value when it sends.
    if (address.isEmpty())
        m_adapter->rawChanged(name);
    else if (Bluez5Device *device = m_adapter->device(address))
        device->rawChanged(name);
}

void Bluez5Service::announceEverything()
{
    // The batcher sends each object's names as one PropertiesChanged.
    for (const QString &name : m_adapter->properties().keys())
        m_adapter->rawChanged(name);
    for (Bluez5Device *device : m_adapter->devices()) {
        for (const QString &name : device->properties().keys())
            device->rawChanged(name);
    }
}

QString Bluez5Service::adapterObjectPath() const
{
    return m_adapter ? m_adapter->path() : QString();
}

QStringList Bluez5Service::deviceObjectPaths() const
{
    QStringList paths;
    if (m_adapter) {
        for (Bluez5Device *device : m_adapter->devices())
            paths << device->path();
    }
    return paths;
}
