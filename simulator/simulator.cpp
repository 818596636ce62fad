#include "simulator.h"

#include "bluezservice.h"
#include "scenario.h"
#include "simcontrol.h"

Simulator::Simulator(const QString &systemBusAddress, const QString &sessionBusAddress,
                     QObject *parent)
    : QObject(parent)
    , m_sessionBusAddress(sessionBusAddress)
    , m_bluez(new BluezService(systemBusAddress, &m_log, &m_faults, this))
{
    m_services.append(m_bluez);
}

Simulator::~Simulator()
{
    for (SimService *service : std::as_const(m_services))
        service->stop();
}

bool Simulator::start(const Scenario &scenario, QString *error)
{
    load(scenario);
    for (SimService *service : std::as_const(m_services)) {
        if (!service->start(error))
            return false;
    }
    QDBusConnection session = QDBusConnection::connectToBus(m_sessionBusAddress,
                                                            QStringLiteral("btsim-control"));
    if (!session.isConnected()) {
        *error = QStringLiteral("cannot connect to the session bus %1").arg(m_sessionBusAddress);
        return false;
    }
    m_control = new SimControl(this, session, this);
    if (!m_control->publish(error))
        return false;
    return true;
}

void Simulator::load(const Scenario &scenario)
{
    m_bluez->load(scenario);
}

SimService *Simulator::service(const QString &name) const
{
    for (SimService *service : m_services) {
        if (service->serviceName() == name)
            return service;
    }
    return nullptr;
}

QJsonArray Simulator::agentAnswers() const
{
    return m_bluez->agents()->answersToJson();
}

QJsonArray Simulator::pendingAgentCalls() const
{
    return m_bluez->agents()->pendingToJson();
}
