#ifndef BLUEZ5SERVICE_H
#define BLUEZ5SERVICE_H

#include "bluetoothservice.h"

#include <memory>

class AgentManager;
class Bluez5Adapter;
class ControllerLink;
class ObjectManager;
class PropertiesBatcher;

// bluetoothd 5.66: "org.bluez" on the system bus with the object manager at
// "/", the agent manager at "/org/bluez", the adapter "/org/bluez/hci0" and
// its device objects, from the same world as BlueZ 4. A scenario's
// "remoteAdapter" adds "/org/bluez/hci1" with a world of its own, within
// reach of hci0: the remote phone, played by the same daemon.
class Bluez5Service : public BluetoothService
{
    Q_OBJECT
public:
    Bluez5Service(const QString &busAddress, CallLog *log, FaultPlan *faults,
                  QObject *parent = nullptr);
    ~Bluez5Service() override;

    int dialect() const override { return 5; }
    QString adapterObjectPath() const override;
    QStringList deviceObjectPaths() const override;
    PropertiesBatcher *batcher() const { return m_batcher; }
    ObjectManager *objectManager() const { return m_objectManager.get(); }
    AgentManager *agentManager() const { return m_agentManager.get(); }
    Bluez5Adapter *adapter() const { return m_adapter.get(); }
    Bluez5Adapter *remoteAdapter() const { return m_remoteAdapter.get(); }

    World *worldOf(const QString &address) override;
    using BluetoothService::isPowered;
    bool isPowered(const QString &address) const override;
    bool isOwnController(const QString &address) const override;
    bool takesConnection(const QString &from, const QString &to) const override;
    void secureLink(const QString &from, const QString &to, Done done) override;

protected:
    void started(const QDBusConnection &connection) override;
    void stopping() override;
    void stopped() override;
    ControlledAdapter *controlled() const override;
    void buildObjects() override;
    void destroyObjects() override;
    void setAdapterPresent(bool present) override;
    void addObjectState(QJsonObject *json) const override;
    void announceRaw(const QString &address, const QString &name, const QVariant &value) override;
    void announceEverything() override;
    void loaded(const Scenario &scenario) override;
    void timingChanged() override;
    QMap<quint32, bool> rfkillStates() const override;
    bool changeOtherController(const QString &controller, const QJsonObject &json,
                               QString *error) override;

private:
    Bluez5Adapter *controller(const QString &address) const;
    void addRemoteAdapter();
    void linkControllers();
    PropertiesBatcher *m_batcher;
    QString m_connectionName;
    std::unique_ptr<ObjectManager> m_objectManager;
    std::unique_ptr<AgentManager> m_agentManager;
    std::unique_ptr<Bluez5Adapter> m_adapter;
    // The second controller's world outlives its object, as hci0's does.
    std::unique_ptr<World> m_remoteWorld;
    std::unique_ptr<Bluez5Adapter> m_remoteAdapter;
    std::unique_ptr<ControllerLink> m_link;
};

#endif // BLUEZ5SERVICE_H
