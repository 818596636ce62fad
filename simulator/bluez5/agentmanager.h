#ifndef AGENTMANAGER_H
#define AGENTMANAGER_H

#include "agentclient.h"
#include "simobject.h"

#include <QList>

#include <functional>

class PeerWatcher;

// org.bluez.AgentManager1 at "/org/bluez": one agent per bus name. The first
// agent registered while there is no default becomes the default; the others
// queue behind it and the next one takes over when the default goes.
class AgentManager : public SimObject
{
public:
    struct Agent
    {
        AgentClient::Target target;
        QString capability;
    };

    AgentManager(AgentClient *agents, PeerWatcher *peers);
    QStringList interfaces() const override;
    // Told with true when the first agent comes, false when the last one goes.
    void setOnAnyAgent(std::function<void(bool any)> onAnyAgent)
    {
        m_onAnyAgent = std::move(onAnyAgent);
    }

    // The front of the queue; invalid when nobody registered.
    Agent defaultAgent() const;
    // The agent a Pair of owner's goes through: its own, else the default.
    Agent agentFor(const QString &owner) const;
    void peerLeft(const QString &owner);
    // The daemon stops: Release to every agent, the only time it is sent.
    void releaseAll();

private:
    void registerAgent(const SimCall &call);
    void unregisterAgent(const SimCall &call);
    void requestDefaultAgent(const SimCall &call);
    int indexOf(const QString &owner) const;
    // The caller's agent at the path of the call's first argument, or -1 (answered).
    int callersAgent(const SimCall &call);
    void remove(int index);

    AgentClient *m_agents;
    PeerWatcher *m_peers;
    QList<Agent> m_queue;
    std::function<void(bool any)> m_onAnyAgent;
};

#endif // AGENTMANAGER_H
