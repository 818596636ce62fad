#include "simservice.h"

#include "agentclient.h"
#include "objecttree.h"
#include "peerwatcher.h"

SimService::SimService(const Identity &identity, CallLog *log, FaultPlan *faults, QObject *parent)
    : QObject(parent)
    , m_identity(identity)
    , m_tree(new ObjectTree(identity.bus, identity.serviceName, log, faults, this))
    , m_agents(new AgentClient(identity.agentInterface, this))
    , m_peers(new PeerWatcher(this))
{
    m_agents->setService(identity.serviceName);
}

bool SimService::start(QString *error)
{
    if (m_running)
        return true;
    m_connectionName = QStringLiteral("btsim-%1-%2").arg(m_identity.connectionTag).arg(m_restarts);
    QDBusConnection connection
        = QDBusConnection::connectToBus(m_identity.busAddress, m_connectionName);
    if (!connection.isConnected()) {
        *error = QStringLiteral("cannot connect to %1: %2")
                     .arg(m_identity.busAddress, connection.lastError().message());
        return false;
    }
    m_agents->setConnection(connection);
    m_peers->setConnection(connection);
    m_tree->attachTo(connection);
    started(connection);
    if (!connection.registerService(serviceName())) {
        *error = QStringLiteral("cannot own %1: %2")
                     .arg(serviceName(), connection.lastError().message());
        stop();
        return false;
    }
    m_running = true;
    return true;
}

void SimService::stop()
{
    if (m_connectionName.isEmpty())
        return;
    // Whatever the daemon still owed its agents is failed by the bus, not answered.
    m_agents->forgetAll();
    stopping();
    m_tree->detach();
    // Only the last reference closes the connection.
    const QDBusConnection none { QString() };
    m_agents->setConnection(none);
    m_peers->setConnection(none);
    QDBusConnection(m_connectionName).unregisterService(serviceName());
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName.clear();
    stopped();
    m_running = false;
    ++m_restarts;
}

bool SimService::activate(QString *error)
{
    if (!m_activatable) {
        *error = QStringLiteral("%1 cannot be activated").arg(serviceName());
        return false;
    }
    if (isRunning())
        return true;
    ++m_activations;
    return start(error);
}
