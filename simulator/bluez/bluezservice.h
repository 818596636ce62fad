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

    QJsonObject state() const override;

    void load(const Scenario &scenario);
    World &world() { return m_world; }
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

protected:
    void started(const QDBusConnection &connection) override;
    void stopped() override;

private:
    void buildObjects();
    void destroyObjects();
    void setAdapterPresent(bool present);
    bool needsRunningAdapter(QString *error) const;

    World m_world;
    std::unique_ptr<SimManager> m_manager;
    std::unique_ptr<SimAdapter> m_adapter;
};

#endif // BLUEZSERVICE_H
