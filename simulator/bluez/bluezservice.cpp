#include "bluezservice.h"

#include "simadapter.h"
#include "simdevice.h"
#include "simmanager.h"

#include <QDBusConnectionInterface>
#include <QJsonArray>

#include <unistd.h>

BluezService::BluezService(const QString &busAddress, CallLog *log, FaultPlan *faults,
                           QObject *parent)
    : BluetoothService(busAddress, QStringLiteral("org.bluez.Agent"), log, faults, parent)
{
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

ControlledAdapter *BluezService::controlled() const
{
    return m_adapter.get();
}

void BluezService::addObjectState(QJsonObject *json) const
{
    json->insert(QStringLiteral("adapterPath"), m_adapter->path());
    QJsonObject agent { { "owner", m_adapter->defaultAgent().owner },
                        { "path", m_adapter->defaultAgent().path } };
    json->insert(QStringLiteral("defaultAgent"), agent);
    QJsonArray objects;
    for (SimDevice *device : m_adapter->devices())
        objects.append(device->path());
    json->insert(QStringLiteral("deviceObjects"), objects);
}

void BluezService::announceRaw(const QString &address, const QString &name, const QVariant &value)
{
    if (address.isEmpty())
        m_adapter->emitAdapterProperty(name, value);
    else if (SimDevice *device = m_adapter->device(address))
        device->emitPropertyChanged(QStringLiteral("org.bluez.Device"), name, value);
}

void BluezService::announceEverything()
{
    const QVariantMap adapter = m_adapter->properties();
    for (auto it = adapter.begin(); it != adapter.end(); ++it)
        m_adapter->emitAdapterProperty(it.key(), it.value());
    for (SimDevice *device : m_adapter->devices()) {
        const QVariantMap properties = device->properties();
        for (auto it = properties.begin(); it != properties.end(); ++it)
            device->emitPropertyChanged(QStringLiteral("org.bluez.Device"), it.key(), it.value());
    }
}

QString BluezService::adapterObjectPath() const
{
    return m_adapter ? m_adapter->path() : QString();
}

QStringList BluezService::deviceObjectPaths() const
{
    QStringList paths;
    if (m_adapter) {
        for (SimDevice *device : m_adapter->devices())
            paths << device->path();
    }
    return paths;
}
