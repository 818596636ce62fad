#include "agentmanager.h"

#include "bluez5errors.h"
#include "peerwatcher.h"

#include <QDBusObjectPath>

namespace {

const QString agentManagerInterface = QStringLiteral("org.bluez.AgentManager1");

// "" means KeyboardDisplay; anything else unknown is refused.
QString capabilityOf(const QString &requested)
{
    static const QStringList known { QStringLiteral("DisplayOnly"), QStringLiteral("DisplayYesNo"),
                                     QStringLiteral("KeyboardOnly"),
                                     QStringLiteral("NoInputNoOutput"),
                                     QStringLiteral("KeyboardDisplay") };
    if (requested.isEmpty())
        return QStringLiteral("KeyboardDisplay");
    return known.contains(requested) ? requested : QString();
}

} // namespace

AgentManager::AgentManager(AgentClient *agents, PeerWatcher *peers)
    : SimObject(QStringLiteral("/org/bluez"))
    , m_agents(agents)
    , m_peers(peers)
{
    addMethod(agentManagerInterface, QStringLiteral("RegisterAgent"), QStringLiteral("os"),
              [this](const SimCall &call) { registerAgent(call); });
    addMethod(agentManagerInterface, QStringLiteral("UnregisterAgent"), QStringLiteral("o"),
              [this](const SimCall &call) { unregisterAgent(call); });
    addMethod(agentManagerInterface, QStringLiteral("RequestDefaultAgent"), QStringLiteral("o"),
              [this](const SimCall &call) { requestDefaultAgent(call); });
}

QStringList AgentManager::interfaces() const
{
    return { agentManagerInterface };
}

AgentManager::Agent AgentManager::defaultAgent() const
{
    return m_queue.isEmpty() ? Agent() : m_queue.first();
}

AgentManager::Agent AgentManager::agentFor(const QString &owner) const
{
    const int own = indexOf(owner);
    return own >= 0 ? m_queue.at(own) : defaultAgent();
}

int AgentManager::indexOf(const QString &owner) const
{
    for (int i = 0; i < m_queue.size(); ++i) {
        if (m_queue.at(i).target.owner == owner)
            return i;
    }
    return -1;
}

int AgentManager::callersAgent(const SimCall &call)
{
    const int index = indexOf(call.sender());
    const QString path = call.argument(0).value<QDBusObjectPath>().path();
    if (index < 0 || m_queue.at(index).target.path != path) {
        replyError(call, BluezError::DoesNotExist);
        return -1;
    }
    return index;
}

void AgentManager::registerAgent(const SimCall &call)
{
    const QString capability = capabilityOf(call.argument(1).toString());
    if (capability.isEmpty()) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    if (indexOf(call.sender()) >= 0) {
        replyError(call, BluezError::AlreadyExists);
        return;
    }
    m_peers->watch(call.sender());
    m_queue.append(
        { { call.sender(), call.argument(0).value<QDBusObjectPath>().path() }, capability });
    call.reply();
    if (m_queue.size() == 1 && m_onAnyAgent)
        m_onAnyAgent(true);
}

void AgentManager::unregisterAgent(const SimCall &call)
{
    // Dropped silently: bluetoothd sends Release only when it stops.
    const int index = callersAgent(call);
    if (index < 0)
        return;
    remove(index);
    call.reply();
}

void AgentManager::remove(int index)
{
    m_queue.removeAt(index);
    if (m_queue.isEmpty() && m_onAnyAgent)
        m_onAnyAgent(false);
}

void AgentManager::requestDefaultAgent(const SimCall &call)
{
    const int index = callersAgent(call);
    if (index < 0)
        return;
    m_queue.move(index, 0);
    call.reply();
}

void AgentManager::peerLeft(const QString &owner)
{
    const int index = indexOf(owner);
    if (index >= 0)
        remove(index);
}

void AgentManager::releaseAll()
{
    for (const Agent &agent : std::as_const(m_queue))
        m_agents->notify(agent.target, QStringLiteral("Release"));
    m_queue.clear();
}
