#ifndef BLUEZSERVICE_H
#define BLUEZSERVICE_H

#include "agentclient.h"
#include "bluetoothservice.h"
#include "objecttree.h"
#include "peerwatcher.h"

#include <memory>

class CallLog;
class FaultPlan;
class SimAdapter;
class SimManager;

// bluetoothd 4: "org.bluez" on the system bus with the manager, the adapter
// (whose path holds the daemon's pid) and the device objects.
class BluezService : public BluetoothService
{
    Q_OBJECT
public:
    BluezService(const QString &busAddress, CallLog *log, FaultPlan *faults,
                 QObject *parent = nullptr);
    ~BluezService() override;

    int dialect() const override { return 4; }
    QString adapterObjectPath() const override;
    QStringList deviceObjectPaths() const override;
    SimAdapter *adapter() const { return m_adapter.get(); }
    QString pathPrefix() const;

protected:
    void started(const QDBusConnection &connection) override;
    void stopped() override;
    ControlledAdapter *controlled() const override;
    void buildObjects() override;
    void destroyObjects() override;
    void setAdapterPresent(bool present) override;
    void addObjectState(QJsonObject *json) const override;
    void announceRaw(const QString &address, const QString &name, const QVariant &value) override;
    void announceEverything() override;

private:
    std::unique_ptr<SimManager> m_manager;
    std::unique_ptr<SimAdapter> m_adapter;
};

#endif // BLUEZSERVICE_H
