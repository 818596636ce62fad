#include "simulator.h"

#include "bluez5service.h"
#include "bluezservice.h"
#include "obex5client.h"
#include "obex5service.h"
#include "obexclientservice.h"
#include "obexserverservice.h"
#include "scenario.h"
#include "simcontrol.h"

namespace {

BluetoothService *makeBluez(int dialect, const QString &busAddress, CallLog *log, FaultPlan *faults,
                            QObject *parent)
{
    if (dialect == 5)
        return new Bluez5Service(busAddress, log, faults, parent);
    return new BluezService(busAddress, log, faults, parent);
}

} // namespace

Simulator::Simulator(const QString &systemBusAddress, const QString &sessionBusAddress, int dialect,
                     int obexd, QObject *parent)
    : QObject(parent)
    , m_sessionBusAddress(sessionBusAddress)
    , m_bluez(makeBluez(dialect, systemBusAddress, &m_log, &m_faults, this))
{
    // obexd 5 is one daemon with both halves; 0.45 is two.
    if (obexd == 5) {
        auto *obexd5 = new Obex5Service(sessionBusAddress, m_bluez, &m_log, &m_faults, this);
        m_obexServer = obexd5;
        m_obexClient = obexd5->client();
        m_services = { m_bluez, m_obexServer };
    } else {
        m_obexServer = new ObexServerService(sessionBusAddress, &m_log, &m_faults, this);
        m_obexClient = new ObexClientService(sessionBusAddress, systemBusAddress, m_bluez, &m_log,
                                             &m_faults, this);
        m_services = { m_bluez, m_obexServer, m_obexClient };
    }
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
    QDBusConnection session
        = QDBusConnection::connectToBus(m_sessionBusAddress, QStringLiteral("btsim-control"));
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
    m_obexServer->load(scenario.obex);
    m_obexClient->load(scenario.obex);
}

void Simulator::setObexOptions(const QJsonObject &changes)
{
    const ObexSpec options = ObexSpec::fromJson(changes, m_obexServer->options());
    m_obexServer->options() = options;
    m_obexClient->options() = options;
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
    QJsonArray answers = m_bluez->agents()->answersToJson();
    for (const AgentClient *agents : { m_obexServer->agents(), m_obexClient->agents() }) {
        for (const QJsonValue &answer : agents->answersToJson())
            answers.append(answer);
    }
    return answers;
}

void Simulator::clearAgentAnswers()
{
    for (AgentClient *agents :
         { m_bluez->agents(), m_obexServer->agents(), m_obexClient->agents() })
        agents->clearAnswers();
}

QJsonArray Simulator::pendingAgentCalls() const
{
    QJsonArray calls = m_bluez->agents()->pendingToJson();
    for (const AgentClient *agents : { m_obexServer->agents(), m_obexClient->agents() }) {
        for (const QJsonValue &call : agents->pendingToJson())
            calls.append(call);
    }
    return calls;
}
