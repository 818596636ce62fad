#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "calllog.h"
#include "faultplan.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QObject>

class BluetoothService;
class ObexClientService;
class ObexServerService;
class SimControl;
class SimService;
struct Scenario;

// The whole simulator: the daemons it plays and the control interface on the
// session bus: bluetoothd (4 or 5) on the system bus, obexd and obex-client on the
// session bus.
class Simulator : public QObject
{
    Q_OBJECT
public:
    // dialect: 4 or 5, the bluetoothd played on the system bus; obexd: 4 plays
    // "org.openobex" and "org.openobex.client", 5 plays "org.bluez.obex".
    Simulator(const QString &systemBusAddress, const QString &sessionBusAddress, int dialect,
              int obexd = 4, QObject *parent = nullptr);
    ~Simulator() override;

    bool start(const Scenario &scenario, QString *error);
    void load(const Scenario &scenario);

    CallLog &log() { return m_log; }
    FaultPlan &faults() { return m_faults; }
    BluetoothService *bluez() const { return m_bluez; }
    ObexServerService *obexServer() const { return m_obexServer; }
    ObexClientService *obexClient() const { return m_obexClient; }
    // Both obex daemons share their options (the scenario's "obex" section).
    void setObexOptions(const QJsonObject &changes);
    SimService *service(const QString &name) const;
    QList<SimService *> services() const { return m_services; }
    QJsonArray pendingAgentCalls() const;
    QJsonArray agentAnswers() const;
    void clearAgentAnswers();

private:
    QString m_sessionBusAddress;
    CallLog m_log;
    FaultPlan m_faults;
    BluetoothService *m_bluez;
    ObexServerService *m_obexServer;
    ObexClientService *m_obexClient;
    QList<SimService *> m_services;
    SimControl *m_control = nullptr;
};

#endif // SIMULATOR_H
