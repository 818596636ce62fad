#include "simulatorclient.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QThread>
#include <QTimer>

namespace {
const QString service = QStringLiteral("com.brivo.BtSim");
const QString path = QStringLiteral("/com/brivo/BtSim");
const QString interface = QStringLiteral("com.brivo.BtSim");
} // namespace

SimulatorClient::SimulatorClient(const QDBusConnection &session, QObject *parent)
    : QObject(parent), m_connection(session)
{
    m_connection.connect(service, path, interface, QStringLiteral("RequestFinished"), this,
                         SLOT(onRequestFinished(uint, QString)));
}

bool SimulatorClient::isAvailable() const
{
    return m_connection.interface()->isServiceRegistered(service);
}

bool SimulatorClient::waitForService(int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!isAvailable()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString SimulatorClient::json(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QDBusMessage SimulatorClient::call(const QString &method, const QVariantList &args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        m_lastError = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return reply;
}

bool SimulatorClient::callOk(const QString &method, const QVariantList &args)
{
    return call(method, args).type() == QDBusMessage::ReplyMessage;
}

bool SimulatorClient::loadScenario(const QJsonObject &scenario)
{
    return callOk(QStringLiteral("LoadScenario"), { json(scenario) });
}

bool SimulatorClient::loadScenarioFile(const QString &fileName)
{
    return callOk(QStringLiteral("LoadScenarioFile"), { fileName });
}

QJsonObject SimulatorClient::state()
{
    const QDBusMessage reply = call(QStringLiteral("State"));
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
}

QJsonObject SimulatorClient::device(const QString &address)
{
    const QJsonArray devices = state().value(QLatin1String("org.bluez")).toObject().value(QLatin1String("devices")).toArray();
    for (const QJsonValue &device : devices) {
        if (device.toObject().value(QLatin1String("address")).toString().compare(address, Qt::CaseInsensitive) == 0)
            return device.toObject();
    }
    return {};
}

bool SimulatorClient::addDevice(const QJsonObject &device)
{
    return callOk(QStringLiteral("AddDevice"), { json(device) });
}

bool SimulatorClient::changeDevice(const QString &address, const QJsonObject &changes)
{
    return callOk(QStringLiteral("ChangeDevice"), { address, json(changes) });
}

bool SimulatorClient::removeDevice(const QString &address)
{
    return callOk(QStringLiteral("RemoveDevice"), { address });
}

bool SimulatorClient::changeAdapter(const QJsonObject &changes)
{
    return callOk(QStringLiteral("ChangeAdapter"), { json(changes) });
}

bool SimulatorClient::setTiming(const QJsonObject &timing)
{
    return callOk(QStringLiteral("SetTiming"), { json(timing) });
}

bool SimulatorClient::setRawProperty(const QString &target, const QString &name, const QVariant &value)
{
    return callOk(QStringLiteral("SetRawProperty"), { target, name, QVariant::fromValue(QDBusVariant(value)) });
}

QJsonObject SimulatorClient::tellLies(int count, quint32 seed)
{
    const QDBusMessage reply = call(QStringLiteral("TellLies"), { uint(count), uint(seed) });
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).object();
}

bool SimulatorClient::lieInReplies(bool lying, quint32 seed)
{
    return callOk(QStringLiteral("LieInReplies"), { lying, uint(seed) });
}

bool SimulatorClient::reportDeviceFound(const QString &address)
{
    return callOk(QStringLiteral("ReportDeviceFound"), { address });
}

bool SimulatorClient::failNext(const QString &method, const QString &errorName, const QString &errorText)
{
    return callOk(QStringLiteral("FailNext"), { method, errorName, errorText });
}

bool SimulatorClient::neverAnswerNext(const QString &method)
{
    return callOk(QStringLiteral("NeverAnswerNext"), { method });
}

bool SimulatorClient::ignoreNext(const QString &method, bool answer)
{
    return callOk(QStringLiteral("IgnoreNext"), { method, answer });
}

bool SimulatorClient::delayNext(const QString &method, int msecs)
{
    return callOk(QStringLiteral("DelayNext"), { method, msecs });
}

bool SimulatorClient::clearFaults()
{
    return callOk(QStringLiteral("ClearFaults"));
}

bool SimulatorClient::dropService(const QString &name)
{
    return callOk(QStringLiteral("DropService"), { name });
}

bool SimulatorClient::restoreService(const QString &name)
{
    return callOk(QStringLiteral("RestoreService"), { name });
}

QList<SimulatorClient::Call> SimulatorClient::callLog()
{
    const QDBusMessage reply = call(QStringLiteral("CallLog"));
    QList<Call> calls;
    const QJsonArray list = QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
    for (const QJsonValue &item : list) {
        const QJsonObject o = item.toObject();
        calls.append({ o.value(QLatin1String("bus")).toString(), o.value(QLatin1String("sender")).toString(),
                       o.value(QLatin1String("destination")).toString(), o.value(QLatin1String("path")).toString(),
                       o.value(QLatin1String("interface")).toString(), o.value(QLatin1String("member")).toString(),
                       o.value(QLatin1String("signature")).toString(),
                       qint64(o.value(QLatin1String("msecs")).toDouble()) });
    }
    return calls;
}

bool SimulatorClient::clearCallLog()
{
    return callOk(QStringLiteral("ClearCallLog"));
}

int SimulatorClient::countCalls(const QString &member, const QString &interface)
{
    int count = 0;
    for (const Call &c : callLog()) {
        if (c.member == member && (interface.isEmpty() || c.interface == interface))
            ++count;
    }
    return count;
}

QJsonArray SimulatorClient::pendingAgentCalls()
{
    const QDBusMessage reply = call(QStringLiteral("PendingAgentCalls"));
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
}

QJsonArray SimulatorClient::agentAnswers()
{
    const QDBusMessage reply = call(QStringLiteral("AgentAnswers"));
    return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
}

uint SimulatorClient::requestAuthorization(const QString &address, const QString &uuid)
{
    return call(QStringLiteral("RequestAuthorization"), { address, uuid }).arguments().value(0).toUInt();
}

uint SimulatorClient::incomingPairing(const QString &address)
{
    return call(QStringLiteral("IncomingPairing"), { address }).arguments().value(0).toUInt();
}

std::optional<QString> SimulatorClient::waitForRequest(uint ticket, int timeoutMs)
{
    if (ticket == 0)
        return std::nullopt;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &SimulatorClient::requestFinished, &loop, [&loop, ticket](uint finished) {
        if (finished == ticket)
            loop.quit();
    });
    if (!m_finished.contains(ticket)) {
        timeout.start(timeoutMs);
        loop.exec();
    }
    if (!m_finished.contains(ticket))
        return std::nullopt;
    return m_finished.take(ticket);
}

bool SimulatorClient::setObexOptions(const QJsonObject &options)
{
    return callOk(QStringLiteral("SetObexOptions"), { json(options) });
}

uint SimulatorClient::pushFile(const QString &address, const QString &name, const QString &mimeType,
                               const QByteArray &contents, int bytesPerSecond, QString *transfer)
{
    QJsonObject push { { "address", address },
                       { "name", name },
                       { "type", mimeType },
                       { "contentsBase64", QString::fromLatin1(contents.toBase64()) } };
    if (bytesPerSecond >= 0)
        push.insert(QStringLiteral("speed"), bytesPerSecond);
    return pushFiles(push, transfer);
}

uint SimulatorClient::pushFiles(const QJsonObject &push, QString *transfer)
{
    const QDBusMessage reply = call(QStringLiteral("PushFile"), { json(push) });
    if (transfer)
        *transfer = reply.arguments().value(1).toString();
    return reply.arguments().value(0).toUInt();
}

bool SimulatorClient::stallTransfer(const QString &transfer)
{
    return callOk(QStringLiteral("StallTransfer"), { transfer });
}

bool SimulatorClient::resumeTransfer(const QString &transfer)
{
    return callOk(QStringLiteral("ResumeTransfer"), { transfer });
}

bool SimulatorClient::failTransfer(const QString &transfer, const QString &error)
{
    return callOk(QStringLiteral("FailTransfer"), { transfer, error });
}

bool SimulatorClient::setTransferSpeed(const QString &transfer, int bytesPerSecond)
{
    return callOk(QStringLiteral("SetTransferSpeed"), { transfer, bytesPerSecond });
}

bool SimulatorClient::setSendOutcome(const QString &file, const QString &outcome)
{
    return callOk(QStringLiteral("SetSendOutcome"), { file, outcome });
}

bool SimulatorClient::setActivatable(const QString &service, bool activatable)
{
    return callOk(QStringLiteral("SetActivatable"), { service, activatable });
}

bool SimulatorClient::quit()
{
    return callOk(QStringLiteral("Quit"));
}

void SimulatorClient::onRequestFinished(uint ticket, const QString &errorName)
{
    m_finished.insert(ticket, errorName);
    Q_EMIT requestFinished(ticket, errorName);
}
