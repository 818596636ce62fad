#ifndef SIMSERVICE_H
#define SIMSERVICE_H

#include <QDBusConnection>
#include <QJsonObject>
#include <QObject>

class AgentClient;
class CallLog;
class FaultPlan;
class ObjectTree;
class PeerWatcher;

// A simulated daemon: owns one well-known name on one bus, with its object
// tree, the agents it calls and the peers it watches. Stopping it is the
// daemon dying (its connection closes, so its callers get errors at once);
// starting it again is a restart under a new unique name.
class SimService : public QObject
{
    Q_OBJECT
public:
    struct Identity
    {
        QString serviceName; // "org.bluez"
        QString bus; // "system" or "session", as the call log names it
        QString busAddress;
        QString agentInterface; // what the daemon calls its agents on
        QString connectionTag; // names the daemon's connection, e.g. "bluez"
    };

    SimService(const Identity &identity, CallLog *log, FaultPlan *faults, QObject *parent);

    QString serviceName() const { return m_identity.serviceName; }
    bool start(QString *error);
    void stop();
    bool isRunning() const { return m_running; }
    virtual QJsonObject state() const = 0;

    ObjectTree *tree() const { return m_tree; }
    AgentClient *agents() const { return m_agents; }
    PeerWatcher *peers() const { return m_peers; }

    // Whether the bus may start the daemon on demand (a D-Bus service file on
    // the session bus): an activation request from the bus restarts it.
    bool isActivatable() const { return m_activatable; }
    void setActivatable(bool activatable) { m_activatable = activatable; }
    int activations() const { return m_activations; }
    bool activate(QString *error);

protected:
    // The daemon is on the bus, its name not yet claimed: its objects go up.
    virtual void started(const QDBusConnection &connection) = 0;
    // The daemon dies: its agent calls are forgotten, its connection still open.
    virtual void stopping() { }
    // The daemon's connection is closed.
    virtual void stopped() = 0;
    int restarts() const { return m_restarts; }

private:
    Identity m_identity;
    ObjectTree *m_tree;
    AgentClient *m_agents;
    PeerWatcher *m_peers;
    QString m_connectionName;
    bool m_running = false;
    int m_restarts = 0;
    bool m_activatable = false;
    int m_activations = 0;
};

#endif // SIMSERVICE_H
