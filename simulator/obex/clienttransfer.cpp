#include "clienttransfer.h"

#include "bluetoothservice.h"
#include "datapump.h"
#include "obexerrors.h"
#include "obexpush.h"
#include "obexserverservice.h"
#include "sendsession.h"

#include <QDBusObjectPath>
#include <QFileInfo>
#include <QPointer>

namespace {
const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString timedOut = QStringLiteral("Timed out waiting for response");
const QString operationCanceled = QStringLiteral("Operation canceled");
} // namespace

ClientTransfer::ClientTransfer(SendSession *session, const QString &path, const QString &fileName,
                               std::unique_ptr<QFile> file)
    : SimObject(path)
    , m_session(session)
    , m_fileName(fileName)
    , m_name(QFileInfo(fileName).fileName())
    // 0.43+: the size is known as soon as the object exists.
    , m_size(file->size())
    , m_file(std::move(file))
{
    addMethod(transferInterface, QStringLiteral("GetProperties"), QString(),
              [this](const SimCall &call) { getProperties(call); });
    addMethod(transferInterface, QStringLiteral("Cancel"), QString(),
              [this](const SimCall &call) { cancel(call); });
    m_responseTimer.setSingleShot(true);
    connect(&m_responseTimer, &QTimer::timeout, this, [this]() { failWith(timedOut); });
}

ClientTransfer::~ClientTransfer()
{
    if (m_requestCall)
        m_session->service()->agents()->forget(m_requestCall);
}

QString ClientTransfer::stateName() const
{
    switch (m_state) {
    case State::Queued:
        return QStringLiteral("queued");
    case State::Requesting:
        return QStringLiteral("requesting");
    case State::Sending:
        return m_pump && m_pump->isStalled() ? QStringLiteral("stalled")
                                             : QStringLiteral("sending");
    case State::Ended:
        break;
    }
    return QStringLiteral("ended");
}

QJsonObject ClientTransfer::toJson() const
{
    const ObexSpec &options = m_session->service()->options();
    return { { "path", path() },
             { "filename", m_fileName },
             { "name", m_name },
             { "size", m_size },
             { "state", stateName() },
             { "transferred", m_pump ? m_pump->done() : 0 },
             { "speed", m_speed >= 0 ? m_speed : options.speed } };
}

void ClientTransfer::getProperties(const SimCall &call)
{
    call.reply({ QVariantMap { { QStringLiteral("Name"), m_name },
                               { QStringLiteral("Size"), quint64(m_size) },
                               { QStringLiteral("Filename"), m_fileName } } });
}

qint64 ClientTransfer::sent() const
{
    if (m_localPush)
        return m_localPush->transferred();
    return m_pump ? m_pump->done() : 0;
}

void ClientTransfer::notifyAgent(const QString &member, const QVariantList &args)
{
    const AgentClient::Target agent = m_session->agent();
    if (agent.isValid())
        m_session->service()->agents()->notify(agent, member, args);
}

void ClientTransfer::begin()
{
    const AgentClient::Target agent = m_session->agent();
    if (!agent.isValid()) {
        send();
        return;
    }
    m_state = State::Requesting;
    // A pause before the question leaves a window between two files.
    const int delay = m_session->service()->options().requestDelayMs;
    if (delay > 0)
        QTimer::singleShot(delay, this, [this]() { request(); });
    else
        request();
}

void ClientTransfer::request()
{
    if (m_state != State::Requesting)
        return;
    const AgentClient::Target agent = m_session->agent();
    AgentClient *agents = m_session->service()->agents();
    agents->setTimeout(m_session->service()->options().requestTimeoutMs);
    QPointer<ClientTransfer> self(this);
    m_requestCall = agents->request(agent, QStringLiteral("Request"),
                                    { QVariant::fromValue(QDBusObjectPath(path())) },
                                    [self](const QDBusMessage &reply) {
                                        if (!self || self->m_state != State::Requesting)
                                            return;
                                        self->m_requestCall = 0;
                                        // A refusal (or no answer in time) drops this one file
                                        // quietly.
                                        if (reply.type() == QDBusMessage::ErrorMessage) {
                                            self->end(QStringLiteral("refused"), reply.errorName());
                                            return;
                                        }
                                        const QString name = reply.arguments().value(0).toString();
                                        if (!name.isEmpty())
                                            self->m_name = name;
                                        self->send();
                                    });
}

void ClientTransfer::send()
{
    m_state = State::Sending;
    ObexClientService *service = m_session->service();
    const ObexSpec &options = service->options();
    // 0.43+: the first report carries 0, each later one the count before the
    // chunk just read.
    notifyAgent(QStringLiteral("Progress"),
                { QVariant::fromValue(QDBusObjectPath(path())), quint64(0) });
    if (ObexServerService *receiver = service->receiverFor(m_session->destination())) {
        deliverLocally(receiver);
        return;
    }
    const SendOutcome outcome = m_planned ? *m_planned : service->takeOutcome(m_fileName);
    m_planned.reset();

    m_pump = new DataPump(m_size, m_speed >= 0 ? m_speed : options.speed, options.packetSize, this);
    std::optional<QString> refusal;
    if (outcome.kind == SendOutcome::Kind::Refuse)
        refusal = service->refusalText(outcome.response);
    else if (outcome.kind == SendOutcome::Kind::Message)
        refusal = outcome.message;
    if (outcome.kind == SendOutcome::Kind::Stall || outcome.kind == SendOutcome::Kind::Timeout
        || m_stallRequested)
        m_pump->stallAt(0);
    m_stallRequested = false;
    m_pump->setStallHandler([this](bool stalled) { stallChanged(stalled); });
    const bool disconnect = outcome.kind == SendOutcome::Kind::Disconnect;
    m_pump->setPacketHandler([this, refusal, disconnect](qint64 offset, qint64 length) {
        // The remote answers the first packet with its refusal.
        if (refusal) {
            failWith(*refusal);
            return false;
        }
        if (disconnect) {
            m_session->remoteDisconnected(this);
            return false;
        }
        return packetArrived(offset, length);
    });
    m_pump->setFinishedHandler([this]() { completed(); });
    m_pump->start();
}

void ClientTransfer::deliverLocally(ObexServerService *receiver)
{
    ObexPush::Object object;
    object.name = m_name;
    object.contents = m_file->readAll();
    object.announced = object.contents.size();
    m_hash.addData(object.contents);
    BluetoothService *bluez = m_session->service()->bluez();
    const QString source
        = m_session->source().isEmpty() ? bluez->world().adapter.address : m_session->source();
    QPointer<ClientTransfer> self(this);
    QString error;
    m_localPush = receiver->push(
        normalizedAddress(source), normalizedAddress(m_session->destination()), { object }, m_speed,
        [self](const QString &outcome) {
            if (self)
                self->localPushEnded(outcome);
        },
        &error);
    if (!m_localPush)
        failWith(QStringLiteral("Transport got disconnected"));
}

void ClientTransfer::localPushEnded(const QString &outcome)
{
    if (m_state == State::Ended)
        return;
    if (!outcome.isEmpty()) {
        // Refused or broken off at the other end; obexd logs why, D-Bus sees "error".
        failWith(outcome);
        return;
    }
    m_delivered = m_size;
    completed();
}

void ClientTransfer::abortLocalPush()
{
    if (!m_localPush)
        return;
    QString ignored;
    m_localPush->fail(QStringLiteral("abort"), &ignored);
    m_localPush.clear();
}

bool ClientTransfer::packetArrived(qint64 offset, qint64 length)
{
    if (length > 0) {
        const QByteArray bytes = m_file->read(length);
        m_hash.addData(bytes);
        m_delivered += bytes.size();
    }
    if (offset + length < m_size)
        notifyAgent(QStringLiteral("Progress"),
                    { QVariant::fromValue(QDBusObjectPath(path())), quint64(offset + length) });
    return true;
}

void ClientTransfer::completed()
{
    const QVariant transfer = QVariant::fromValue(QDBusObjectPath(path()));
    if (m_size > 0)
        notifyAgent(QStringLiteral("Progress"), { transfer, quint64(m_size) });
    notifyAgent(QStringLiteral("Complete"), { transfer });
    end(QStringLiteral("complete"), QString());
}

void ClientTransfer::failWith(const QString &message)
{
    if (m_state == State::Ended)
        return;
    if (m_pump)
        m_pump->stop();
    m_responseTimer.stop();
    notifyAgent(QStringLiteral("Error"), { QVariant::fromValue(QDBusObjectPath(path())), message });
    end(QStringLiteral("error"), message);
}

void ClientTransfer::stallChanged(bool stalled)
{
    if (!stalled) {
        m_responseTimer.stop();
        return;
    }
    // gobex waits 60 s for the remote's first answer and 10 s for later ones.
    const ObexSpec &options = m_session->service()->options();
    const int timeout
        = m_pump->done() == 0 ? options.firstResponseTimeoutMs : options.responseTimeoutMs;
    if (timeout > 0)
        m_responseTimer.start(timeout);
}

void ClientTransfer::cancel(const SimCall &call)
{
    if (!m_session->service()->mayCancel(call, m_session))
        return;
    // The abort is reported to the agent before Cancel returns.
    notifyAgent(QStringLiteral("Error"),
                { QVariant::fromValue(QDBusObjectPath(path())), operationCanceled });
    call.reply();
    end(QStringLiteral("canceled"), operationCanceled);
}

void ClientTransfer::end(const QString &outcome, const QString &message)
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_outcome = outcome;
    abortLocalPush();
    if (m_pump)
        m_pump->stop();
    m_responseTimer.stop();
    if (m_requestCall) {
        m_session->service()->agents()->forget(m_requestCall);
        m_requestCall = 0;
    }
    m_session->service()->recordSent({ { "transfer", path() },
                                       { "destination", m_session->destination() },
                                       { "filename", m_fileName },
                                       { "name", m_name },
                                       { "size", m_size },
                                       { "delivered", m_delivered },
                                       { "sha1", QString::fromLatin1(m_hash.result().toHex()) },
                                       { "outcome", outcome },
                                       { "message", message } });
    m_session->transferEnded(this);
}

void ClientTransfer::dropQuietly()
{
    m_state = State::Ended;
    abortLocalPush();
    if (m_pump)
        m_pump->stop();
    m_responseTimer.stop();
    if (m_requestCall) {
        m_session->service()->agents()->forget(m_requestCall);
        m_requestCall = 0;
    }
}

void ClientTransfer::stall()
{
    if (m_state == State::Sending && m_pump)
        m_pump->stall();
    else
        m_stallRequested = true;
}

void ClientTransfer::resume()
{
    m_stallRequested = false;
    if (m_pump)
        m_pump->resume();
}

bool ClientTransfer::fail(const QString &text, QString *error)
{
    const std::optional<SendOutcome> outcome = SendOutcome::parse(text, error);
    if (!outcome)
        return false;
    if (m_state != State::Sending) {
        // Not sending yet: this is what the remote will do with it.
        m_planned = outcome;
        return true;
    }
    switch (outcome->kind) {
    case SendOutcome::Kind::Ok:
        resume();
        break;
    case SendOutcome::Kind::Stall:
        stall();
        break;
    case SendOutcome::Kind::Timeout:
        failWith(timedOut);
        break;
    case SendOutcome::Kind::Refuse:
        failWith(m_session->service()->refusalText(outcome->response));
        break;
    case SendOutcome::Kind::Message:
        failWith(outcome->message);
        break;
    case SendOutcome::Kind::Disconnect:
        m_session->remoteDisconnected(this);
        break;
    }
    return true;
}

void ClientTransfer::linkLost()
{
    failWith(QStringLiteral("Transport got disconnected"));
}

void ClientTransfer::setSpeed(int bytesPerSecond)
{
    m_speed = bytesPerSecond;
    if (m_pump)
        m_pump->setSpeed(bytesPerSecond);
}
