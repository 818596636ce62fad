#include "simcontrol.h"

#include "bluetoothservice.h"
#include "clienttransfer.h"
#include "obexclientservice.h"
#include "obexpush.h"
#include "obexserverservice.h"
#include "scenario.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>

namespace {
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
}

SimControl::SimControl(Simulator *simulator, const QDBusConnection &connection, QObject *parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_connection(connection)
    , m_liar(simulator)
{
}

bool SimControl::publish(QString *error)
{
    if (!m_connection.registerObject(QStringLiteral("/com/brivo/BtSim"), this,
                                     QDBusConnection::ExportAllSlots
                                         | QDBusConnection::ExportAllSignals)
        || !m_connection.registerService(QStringLiteral("com.brivo.BtSim"))) {
        *error = QStringLiteral("cannot publish com.brivo.BtSim: %1")
                     .arg(m_connection.lastError().message());
        return false;
    }
    return true;
}

bool SimControl::check(bool ok, const QString &error)
{
    if (!ok)
        sendErrorReply(invalidArgs, error);
    return ok;
}

std::optional<QJsonObject> SimControl::parseObject(const QString &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parseError);
    if (!document.isObject()) {
        sendErrorReply(invalidArgs,
                       QStringLiteral("not a JSON object: %1").arg(parseError.errorString()));
        return std::nullopt;
    }
    return document.object();
}

void SimControl::LoadScenario(const QString &json)
{
    QString error;
    auto scenario = Scenario::fromJson(json.toUtf8(), &error);
    if (check(bool(scenario), error))
        m_simulator->load(*scenario);
}

void SimControl::LoadScenarioFile(const QString &fileName)
{
    QString error;
    auto scenario = Scenario::fromFile(fileName, &error);
    if (check(bool(scenario), error))
        m_simulator->load(*scenario);
}

QString SimControl::State()
{
    QJsonObject state;
    for (SimService *service : m_simulator->services())
        state.insert(service->serviceName(), service->state());
    return QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
}

void SimControl::AddDevice(const QString &json)
{
    QString error;
    if (auto object = parseObject(json))
        check(m_simulator->bluez()->addDevice(*object, &error), error);
}

void SimControl::ChangeDevice(const QString &address, const QString &json)
{
    QString error;
    if (auto object = parseObject(json))
        check(m_simulator->bluez()->changeDevice(address, *object, &error), error);
}

void SimControl::RemoveDevice(const QString &address)
{
    QString error;
    check(m_simulator->bluez()->removeDevice(address, &error), error);
}

void SimControl::ChangeAdapter(const QString &json)
{
    QString error;
    if (auto object = parseObject(json))
        check(m_simulator->bluez()->changeAdapter(*object, &error), error);
}

void SimControl::SetTiming(const QString &json)
{
    if (auto object = parseObject(json))
        m_simulator->bluez()->setTiming(*object);
}

void SimControl::SetRawProperty(const QString &target, const QString &name,
                                const QDBusVariant &value)
{
    QString error;
    check(m_simulator->bluez()->setRawProperty(target, name, value.variant(), &error), error);
}

void SimControl::ReportDeviceFound(const QString &address)
{
    QString error;
    check(m_simulator->bluez()->reportDeviceFound(address, &error), error);
}

void SimControl::FailNext(const QString &method, const QString &errorName, const QString &errorText)
{
    m_simulator->faults().add(method, { FaultPlan::Kind::Fail, errorName, errorText, 0 });
}

void SimControl::NeverAnswerNext(const QString &method)
{
    m_simulator->faults().add(method, { FaultPlan::Kind::NeverAnswer, {}, {}, 0 });
}

void SimControl::IgnoreNext(const QString &method, bool answer)
{
    const auto kind = answer ? FaultPlan::Kind::AnswerAndIgnore : FaultPlan::Kind::Ignore;
    m_simulator->faults().add(method, { kind, {}, {}, 0 });
}

void SimControl::DelayNext(const QString &method, int msecs)
{
    m_simulator->faults().add(method, { FaultPlan::Kind::Delay, {}, {}, msecs });
}

void SimControl::ClearFaults()
{
    m_simulator->faults().clear();
}

void SimControl::DropService(const QString &name)
{
    SimService *service = m_simulator->service(name);
    if (check(service != nullptr, QStringLiteral("no service %1").arg(name)))
        service->stop();
}

void SimControl::RestoreService(const QString &name)
{
    SimService *service = m_simulator->service(name);
    if (!check(service != nullptr, QStringLiteral("no service %1").arg(name)))
        return;
    QString error;
    check(service->start(&error), error);
}

QString SimControl::CallLog()
{
    return QString::fromUtf8(
        QJsonDocument(m_simulator->log().toJson()).toJson(QJsonDocument::Compact));
}

void SimControl::ClearCallLog()
{
    m_simulator->log().clear();
    m_simulator->clearAgentAnswers();
}

QString SimControl::PendingAgentCalls()
{
    return QString::fromUtf8(
        QJsonDocument(m_simulator->pendingAgentCalls()).toJson(QJsonDocument::Compact));
}

QString SimControl::AgentAnswers()
{
    return QString::fromUtf8(
        QJsonDocument(m_simulator->agentAnswers()).toJson(QJsonDocument::Compact));
}

uint SimControl::finishLater(
    const std::function<bool(std::function<void(const QString &)>, QString *)> &start)
{
    const uint ticket = m_nextTicket++;
    QPointer<SimControl> self(this);
    auto report = [self, ticket](const QString &errorName) {
        // Never before our own reply has gone out.
        QTimer::singleShot(0, self, [self, ticket, errorName]() {
            if (self)
                Q_EMIT self->RequestFinished(ticket, errorName);
        });
    };
    QString error;
    if (!check(start(report, &error), error))
        return 0;
    return ticket;
}

uint SimControl::RequestAuthorization(const QString &address, const QString &uuid)
{
    return finishLater([this, address, uuid](auto report, QString *error) {
        return m_simulator->bluez()->requestAuthorization(address, uuid, report, error);
    });
}

uint SimControl::IncomingPairing(const QString &address)
{
    return finishLater([this, address](auto report, QString *error) {
        return m_simulator->bluez()->incomingPairing(address, report, error);
    });
}

void SimControl::SetObexOptions(const QString &json)
{
    if (auto object = parseObject(json))
        m_simulator->setObexOptions(*object);
}

uint SimControl::PushFile(const QString &json, QString &transfer)
{
    auto object = parseObject(json);
    if (!object)
        return 0;
    return finishLater([this, &transfer, object](auto report, QString *error) {
        // The sender's page must be answered first.
        const QString from = object->value(QLatin1String("address")).toString();
        BluetoothService *bluez = m_simulator->bluez();
        if (!from.isEmpty() && bluez && !bluez->takesConnection(from, QString())) {
            report(QStringLiteral("org.bluez.Error.ConnectionAttemptFailed"));
            return true;
        }
        return m_simulator->obexServer()->push(*object, report, &transfer, error);
    });
}

namespace {

// "next" (or "") stands for the next file obex-client sends.
bool isNext(const QString &transfer)
{
    return transfer.isEmpty() || transfer == QLatin1String("next");
}

} // namespace

bool SimControl::withTransfer(const QString &transfer, const std::function<void(ObexPush *)> &push,
                              const std::function<void(ClientTransfer *)> &send)
{
    if (ObexPush *p = m_simulator->obexServer()->transfer(transfer)) {
        push(p);
        return true;
    }
    if (ClientTransfer *c = m_simulator->obexClient()->transfer(transfer)) {
        send(c);
        return true;
    }
    sendErrorReply(invalidArgs, QStringLiteral("no transfer %1").arg(transfer));
    return false;
}

void SimControl::StallTransfer(const QString &transfer)
{
    QString error;
    if (isNext(transfer)) {
        check(m_simulator->obexClient()->setSendOutcome(QString(), QStringLiteral("stall"), &error),
              error);
        return;
    }
    withTransfer(
        transfer, [](ObexPush *p) { p->stall(); }, [](ClientTransfer *c) { c->stall(); });
}

void SimControl::ResumeTransfer(const QString &transfer)
{
    withTransfer(
        transfer, [](ObexPush *p) { p->resume(); }, [](ClientTransfer *c) { c->resume(); });
}

void SimControl::FailTransfer(const QString &transfer, const QString &error)
{
    QString reason;
    if (isNext(transfer)) {
        check(m_simulator->obexClient()->setSendOutcome(
                  QString(), error.isEmpty() ? QStringLiteral("forbidden") : error, &reason),
              reason);
        return;
    }
    bool ok = true;
    withTransfer(
        transfer, [&](ObexPush *p) { ok = p->fail(error, &reason); },
        [&](ClientTransfer *c) {
            ok = c->fail(error.isEmpty() ? QStringLiteral("forbidden") : error, &reason);
        });
    check(ok, reason);
}

void SimControl::SetTransferSpeed(const QString &transfer, int bytesPerSecond)
{
    withTransfer(
        transfer, [bytesPerSecond](ObexPush *p) { p->setSpeed(bytesPerSecond); },
        [bytesPerSecond](ClientTransfer *c) { c->setSpeed(bytesPerSecond); });
}

void SimControl::SetSendOutcome(const QString &file, const QString &outcome)
{
    QString error;
    check(m_simulator->obexClient()->setSendOutcome(file, outcome, &error), error);
}

void SimControl::ActivateService(const QString &name)
{
    SimService *service = m_simulator->service(name);
    if (!check(service != nullptr, QStringLiteral("no service %1").arg(name)))
        return;
    QString error;
    check(service->activate(&error), error);
}

void SimControl::SetActivatable(const QString &name, bool activatable)
{
    SimService *service = m_simulator->service(name);
    if (!check(service != nullptr, QStringLiteral("no service %1").arg(name)))
        return;
    service->setActivatable(activatable);
}

QString SimControl::TellLies(uint count, uint seed)
{
    const QJsonObject told = m_liar.tell(int(count), seed);
    return QString::fromUtf8(QJsonDocument(told).toJson(QJsonDocument::Compact));
}

void SimControl::LieInReplies(bool lying, uint seed)
{
    m_liar.lieInReplies(lying, seed);
}

void SimControl::Quit()
{
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}
