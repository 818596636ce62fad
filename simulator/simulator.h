#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "calllog.h"
#include "faultplan.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QObject>

class BluezService;
class SimControl;
class SimService;
struct Scenario;

// The whole simulator: the daemons it plays and the control interface on the
// session bus. Further daemons (obexd) join the list of services.
class Simulator : public QObject
{
    Q_OBJECT
public:
    Simulator(const QString &systemBusAddress, const QString &sessionBusAddress,
              QObject *parent = nullptr);
    ~Simulator() override;

    bool start(const Scenario &scenario, QString *error);
    void load(const Scenario &scenario);

    CallLog &log() { return m_log; }
    FaultPlan &faults() { return m_faults; }
    BluezService *bluez() const { return m_bluez; }
    SimService *service(const QString &name) const;
    QList<SimService *> services() const { return m_services; }
    QJsonArray pendingAgentCalls() const;
    QJsonArray agentAnswers() const;

private:
    QString m_sessionBusAddress;
    CallLog m_log;
    FaultPlan m_faults;
    BluezService *m_bluez;
    QList<SimService *> m_services;
    SimControl *m_control = nullptr;
};

#endif // SIMULATOR_H
