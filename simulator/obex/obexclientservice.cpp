#include "obexclientservice.h"

#include "bluetoothservice.h"
#include "clienttransfer.h"
#include "obexerrors.h"
#include "sendsession.h"
#include "simobject.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QTimer>

namespace {

const QString clientInterface = QStringLiteral("org.openobex.Client");

struct Response
{
    const char *name; // as SetSendOutcome takes it
    int code; // OBEX response code without the final bit
    const char *text; // OpenOBEX's OBEX_ResponseToString (0.3x)
};

const Response responses[] = {
    { "badrequest", 0x40, "Bad Request" },
    { "unauthorized", 0x41, "Unauthorized" },
    { "paymentrequired", 0x42, "Payment required" },
    { "forbidden", 0x43, "Forbidden" },
    { "notfound", 0x44, "Not found" },
    { "methodnotallowed", 0x45, "Method not allowed" },
    { "notacceptable", 0x46, "Not Acceptable" },
    { "proxyauthenticationrequired", 0x47, "Proxy Authentication required" },
    { "requesttimeout", 0x48, "Request Time Out" },
    { "conflict", 0x49, "Conflict" },
    { "gone", 0x4a, "Gone" },
    { "lengthrequired", 0x4b, "Length required" },
    { "preconditionfailed", 0x4c, "Precondition failed" },
    { "entitytoolarge", 0x4d, "Requested entity too large" },
    { "urltoolarge", 0x4e, "Request URL too large" },
    { "unsupportedmediatype", 0x4f, "Unsupported Media Type" },
    { "internalservererror", 0x50, "Internal server error" },
    { "notimplemented", 0x51, "Not implemented" },
    { "badgateway", 0x52, "Bad Gateway" },
    { "serviceunavailable", 0x53, "Service Unavailable" },
    { "gatewaytimeout", 0x54, "Gateway Timeout" },
    { "versionnotsupported", 0x55, "HTTP version not supported" },
    { "databasefull", 0x60, "Database Full" },
    { "databaselocked", 0x61, "Database Locked" },
};

// A string entry of the device dictionary; keys of other types are ignored.
QString stringEntry(const QVariantMap &device, const char *key, bool *present = nullptr)
{
    const QVariant value = device.value(QLatin1String(key));
    const bool isString = value.metaType().id() == QMetaType::QString;
    if (present)
        *present = isString;
    return isString ? value.toString() : QString();
}

} // namespace

std::optional<SendOutcome> SendOutcome::parse(const QString &text, QString *error)
{
    SendOutcome outcome;
    const QString lower = text.trimmed().toLower();
    if (lower.isEmpty() || lower == QLatin1String("ok"))
        return outcome;
    if (lower == QLatin1String("stall")) {
        outcome.kind = Kind::Stall;
        return outcome;
    }
    if (lower == QLatin1String("timeout")) {
        outcome.kind = Kind::Timeout;
        return outcome;
    }
    if (lower == QLatin1String("disconnect")) {
        outcome.kind = Kind::Disconnect;
        return outcome;
    }
    if (text.startsWith(QLatin1String("message:"))) {
        outcome.kind = Kind::Message;
        outcome.message = text.mid(int(qstrlen("message:")));
        return outcome;
    }
    if (lower.startsWith(QLatin1String("0x"))) {
        bool ok = false;
        const int code = lower.mid(2).toInt(&ok, 16) & 0x7f;
        if (ok && code >= 0x40) {
            outcome.kind = Kind::Refuse;
            outcome.response = code;
            return outcome;
        }
    }
    for (const Response &response : responses) {
        if (lower == QLatin1String(response.name)) {
            outcome.kind = Kind::Refuse;
            outcome.response = response.code;
            return outcome;
        }
    }
    *error = QStringLiteral(
                 "unknown outcome \"%1\": use ok, stall, timeout, an OBEX response name "
                 "(forbidden, unauthorized, notfound, ...), a code (0x43) or message:<text>")
                 .arg(text);
    return std::nullopt;
}

// "org.openobex.Client" at "/".
class ObexClientManager : public SimObject
{
public:
    explicit ObexClientManager(ObexClientService *service)
        : SimObject(QStringLiteral("/"))
    {
        addMethod(clientInterface, QStringLiteral("SendFiles"), QStringLiteral("a{sv}aso"),
                  [service](const SimCall &call) { service->sendFiles(call); });
        // Never implemented in any 0.x release.
        addMethod(clientInterface, QStringLiteral("ExchangeBusinessCards"),
                  QStringLiteral("a{sv}ss"),
                  [](const SimCall &call) { ObexError::clientFailed(call); });
        // No SendFiles session is exported, and btsim makes no other sessions.
        addMethod(clientInterface, QStringLiteral("RemoveSession"), QStringLiteral("o"),
                  [](const SimCall &call) { ObexError::clientInvalidArguments(call); });
        const QString notSimulated = QStringLiteral("Not simulated by btsim");
        for (const auto &[member, signature] :
             { std::pair { "PullBusinessCard", "a{sv}s" }, std::pair { "CreateSession", "a{sv}" },
               std::pair { "GetCapabilities", "a{sv}" } }) {
            addMethod(clientInterface, QLatin1String(member), QLatin1String(signature),
                      [notSimulated](const SimCall &call) {
                          ObexError::clientFailed(call, notSimulated);
                      });
        }
    }
    QStringList interfaces() const override { return { clientInterface }; }
};

ObexClientService::ObexClientService(const QString &busAddress, const QString &systemBusAddress,
                                     BluetoothService *bluez, CallLog *log, FaultPlan *faults,
                                     QObject *parent)
    : SimService({ QStringLiteral("org.openobex.client"), QStringLiteral("session"), busAddress,
                   QStringLiteral("org.openobex.Agent"), QStringLiteral("obex-client") },
                 log, faults, parent)
    , m_systemBusAddress(systemBusAddress)
    , m_bluez(bluez)
{
    // The client's transfers share the interface name with obexd's, not its methods.
    tree()->setInterfaceFile(QStringLiteral("org.openobex.Transfer"),
                             QStringLiteral("org.openobex.ClientTransfer"));
    setActivatable(true);
    connect(peers(), &PeerWatcher::peerLeft, this, [this](const QString &name) {
        const QList<SendSession *> sessions = m_sessions;
        for (SendSession *session : sessions) {
            if (session->owner() == name)
                session->ownerLeft();
        }
    });
}

ObexClientService::~ObexClientService()
{
    stop();
}

QDBusConnection ObexClientService::systemBus() const
{
    return QDBusConnection(m_systemConnectionName);
}

void ObexClientService::started(const QDBusConnection &)
{
    if (!m_systemBusAddress.isEmpty()) {
        m_systemConnectionName = QStringLiteral("btsim-obex-client-system-%1").arg(restarts());
        QDBusConnection::connectToBus(m_systemBusAddress, m_systemConnectionName);
    }
    m_nextTransfer = 0;
    m_manager = std::make_unique<ObexClientManager>(this);
    tree()->add(m_manager.get());
}

void ObexClientService::stopping()
{
    // Sessions end without a word; BlueZ drops their adapter sessions when
    // the daemon's system bus connection closes.
    endAllSessions();
}

void ObexClientService::stopped()
{
    if (!m_systemConnectionName.isEmpty()) {
        QDBusConnection::disconnectFromBus(m_systemConnectionName);
        m_systemConnectionName.clear();
    }
    m_manager.reset();
}

void ObexClientService::endAllSessions()
{
    const QList<SendSession *> sessions = m_sessions;
    for (SendSession *session : sessions)
        session->shutdown(false);
    m_sessions.clear();
}

void ObexClientService::load(const ObexSpec &options)
{
    m_options = options;
    m_outcomes.clear();
    agents()->forgetAll();
    const QList<SendSession *> sessions = m_sessions;
    for (SendSession *session : sessions)
        session->shutdown(true);
    m_sessions.clear();
    m_sent = {};
}

QJsonObject ObexClientService::state() const
{
    QJsonArray sessions;
    for (SendSession *session : m_sessions)
        sessions.append(session->toJson());
    QJsonArray planned;
    for (const auto &[file, outcome] : m_outcomes) {
        static const char *kinds[]
            = { "ok", "stall", "timeout", "refuse", "message", "disconnect" };
        planned.append(QJsonObject { { "file", file },
                                     { "kind", kinds[int(outcome.kind)] },
                                     { "response", outcome.response },
                                     { "message", outcome.message } });
    }
    return { { "running", isRunning() },
             { "activatable", isActivatable() },
             { "activations", activations() },
             { "options", m_options.toJson() },
             { "sessions", sessions },
             { "plannedOutcomes", planned },
             { "sent", m_sent } };
}

void ObexClientService::sendFiles(const SimCall &call)
{
    const QVariantMap device = qdbus_cast<QVariantMap>(call.argument(0));
    bool hasDestination = false;
    const QString destination = stringEntry(device, "Destination", &hasDestination);
    const QString source = stringEntry(device, "Source");
    const QStringList files = call.argument(1).toStringList();
    const QString agentPath = call.argument(2).value<QDBusObjectPath>().path();
    if (!hasDestination || files.isEmpty()) {
        ObexError::clientInvalidArguments(call);
        return;
    }
    peers()->watch(call.sender());
    const AgentClient::Target agent { call.sender(), agentPath };
    for (SendSession *session : std::as_const(m_sessions)) {
        if (session->joins(call.sender(), destination)) {
            session->add(call, files, agent);
            return;
        }
    }
    auto *session = new SendSession(this, call.sender(), destination, source);
    m_sessions.append(session);
    session->add(call, files, agent);
}

ClientTransfer *ObexClientService::transfer(const QString &path) const
{
    return dynamic_cast<ClientTransfer *>(tree()->object(path));
}

QString ObexClientService::nextTransferPath(const SendSession *)
{
    return QStringLiteral("/org/openobex/transfer%1").arg(m_nextTransfer++);
}

void ObexClientService::transferAdded(ClientTransfer *transfer)
{
    tree()->add(transfer);
}

void ObexClientService::transferRemoved(ClientTransfer *transfer)
{
    tree()->remove(transfer);
}

void ObexClientService::sessionConnected(SendSession *, const SimCall &call)
{
    // SendFiles returns as soon as the OBEX connection is up.
    call.reply();
}

void ObexClientService::failCall(const SimCall &call, const QString &text)
{
    ObexError::clientFailed(call, text);
}

bool ObexClientService::needsAdapterSession() const
{
    return !m_bluez || m_bluez->dialect() != 5;
}

bool ObexClientService::mayCancel(const SimCall &call, const SendSession *session) const
{
    const AgentClient::Target agent = session->agent();
    if (agent.isValid() && agent.owner == call.sender())
        return true;
    ObexError::clientNotAuthorized(call);
    return false;
}

bool ObexClientService::setSendOutcome(const QString &file, const QString &outcome, QString *error)
{
    const std::optional<SendOutcome> parsed = SendOutcome::parse(outcome, error);
    if (!parsed)
        return false;
    m_outcomes.append({ file, *parsed });
    return true;
}

SendOutcome ObexClientService::takeOutcome(const QString &fileName)
{
    // The most specific plan first: the path, then the bare name, then "next".
    for (const QString &key : { fileName, QFileInfo(fileName).fileName(), QString() }) {
        for (int i = 0; i < m_outcomes.size(); ++i) {
            if (m_outcomes.at(i).first == key)
                return m_outcomes.takeAt(i).second;
        }
    }
    return {};
}

QString ObexClientService::refusalText(int response) const
{
    if (m_options.errorTexts == QLatin1String("openobex")) {
        for (const Response &r : responses) {
            if (r.code == response)
                return QString::fromLatin1(r.text);
        }
        return QStringLiteral("Unknown response");
    }
    return QStringLiteral("Transfer failed (0x%1)").arg(response, 2, 16, QLatin1Char('0'));
}

void ObexClientService::sessionEnded(SendSession *session)
{
    m_sessions.removeAll(session);
    session->deleteLater();
}

void ObexClientService::recordSent(const QJsonObject &entry)
{
    m_sent.append(entry);
    while (m_sent.size() > 100)
        m_sent.removeFirst();
}
