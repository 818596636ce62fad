#ifndef BLUEZSERVICE_H
#define BLUEZSERVICE_H

#include "agentclient.h"
#include "objecttree.h"
#include "peerwatcher.h"
#include "simservice.h"
#include "world.h"

#include <functional>
#include <memory>

class CallLog;
class FaultPlan;
class SimAdapter;
class SimManager;

// bluetoothd: "org.bluez" on the system bus with the manager, the adapter
// (whose path holds the daemon's pid) and the device objects.
class BluezService : public SimService
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &errorName)>;

    BluezService(const QString &busAddress, CallLog *log, FaultPlan *faults,
                 QObject *parent = nullptr);
    ~BluezService() override;

    QString serviceName() const override { return QStringLiteral("org.bluez"); }
    bool start(QString *error) override;
    void stop() override;
    bool isRunning() const override { return m_running; }
    QJsonObject state() const override;

    void load(const Scenario &scenario);
    World &world() { return m_world; }
    ObjectTree *tree() const { return m_tree; }
    AgentClient *agents() const { return m_agents; }
    PeerWatcher *peers() const { return m_peers; }
    SimAdapter *adapter() const { return m_adapter.get(); }
    QString pathPrefix() const;

    // What a test changes in the world; each returns false with a reason.
    bool addDevice(const QJsonObject &json, QString *error);
    bool changeDevice(const QString &address, const QJsonObject &json, QString *error);
    bool removeDevice(const QString &address, QString *error);
    bool changeAdapter(const QJsonObject &json, QString *error);
    bool setRawProperty(const QString &target, const QString &name, const QVariant &value,
                        QString *error);
    bool reportDeviceFound(const QString &address, QString *error);
    void setTiming(const QJsonObject &json);
    bool requestAuthorization(const QString &address, const QString &uuid, Done done,
                              QString *error);
    bool incomingPairing(const QString &address, Done done, QString *error);

private:
    void buildObjects();
    void destroyObjects();
    void setAdapterPresent(bool present);
    bool needsRunningAdapter(QString *error) const;

    QString m_busAddress;
    World m_world;
    ObjectTree *m_tree;
    AgentClient *m_agents;
    PeerWatcher *m_peers;
    std::unique_ptr<SimManager> m_manager;
    std::unique_ptr<SimAdapter> m_adapter;
    QString m_connectionName;
    bool m_running = false;
    int m_restarts = 0;
};

#endif // BLUEZSERVICE_H
