#include "obex5client.h"

#include "bluetoothservice.h"
#include "clienttransfer.h"
#include "obex5clientsession.h"
#include "obex5clienttransfer.h"
#include "objectmanager.h"
#include "peerwatcher.h"
#include "sendsession.h"

#include <QDBusArgument>
#include <QDBusObjectPath>

namespace {

QString error(const char *name)
{
    return QStringLiteral("org.bluez.obex.Error.") + QLatin1String(name);
}

bool isOpp(const QString &target)
{
    return target.compare(QLatin1String("opp"), Qt::CaseInsensitive) == 0
        || target.compare(QLatin1String("00001105-0000-1000-8000-00805f9b34fb"),
                          Qt::CaseInsensitive)
        == 0;
}

} // namespace

Obex5Client::Obex5Client(BluetoothService *bluez, ObexServerService *server, CallLog *log,
                         FaultPlan *faults, QObject *parent)
    : ObexClientService(QString(), QString(), bluez, log, faults, parent)
    , m_server(server)
{
}

Obex5Client::~Obex5Client()
{
    detach();
}

void Obex5Client::attach(ObjectManager *objectManager, PropertiesBatcher *batcher,
                         PeerWatcher *peers)
{
    m_objectManager = objectManager;
    m_batcher = batcher;
    m_peers = peers;
    m_nextSession = 0;
    m_nextTransfer = 0;
}

void Obex5Client::detach()
{
    endAllSessions();
    m_paths.clear();
    m_objectManager = nullptr;
}

void Obex5Client::createSession(const SimCall &call)
{
    const QString destination = call.argument(0).toString();
    const QVariantMap dict = qdbus_cast<QVariantMap>(call.argument(1));
    const QVariant target = dict.value(QStringLiteral("Target"));
    if (target.metaType().id() != QMetaType::QString) {
        call.replyError(error("InvalidArguments"), QString());
        return;
    }
    // An unknown profile, or a socket that fails at once (no usable radio, a
    // Source that is none of ours).
    const QString source = dict.value(QStringLiteral("Source")).toString();
    if (!isOpp(target.toString()) || !bluez() || !bluez()->isPowered(source)) {
        call.replyError(error("Failed"), QString());
        return;
    }
    // obexd finds a session to reuse by the driver's own spelling of the
    // target, compared case-sensitively: a lower-case "opp" or the UUID
    // always opens a new connection.
    for (const auto &[session, path] : m_paths) {
        if (target.toString() == QLatin1String("OPP") && session->joins(call.sender(), destination)
            && session->isConnected()) {
            call.reply({ QVariant::fromValue(QDBusObjectPath(path)) });
            return;
        }
    }
    auto *session = new SendSession(this, call.sender(), destination, source);
    adopt(session);
    m_peers->watch(call.sender());
    m_paths[session] = QStringLiteral("/org/bluez/obex/client/session%1").arg(m_nextSession++);
    // Answered once the link is up and OBEX CONNECT answered.
    session->add(call, {}, {});
}

SendSession *Obex5Client::session(const QString &path) const
{
    for (const auto &[session, sessionPath] : m_paths) {
        if (sessionPath == path && m_sessions.count(session))
            return session;
    }
    return nullptr;
}

void Obex5Client::removeSession(const SimCall &call)
{
    SendSession *found = session(call.argument(0).value<QDBusObjectPath>().path());
    if (!found) {
        call.replyError(error("InvalidArguments"), QString());
        return;
    }
    if (found->owner() != call.sender()) {
        call.replyError(error("NotAuthorized"), QStringLiteral("Not Authorized"));
        return;
    }
    // Transfers go without an error status, then the session; then the reply.
    found->shutdown(false);
    call.reply();
}

void Obex5Client::ownerLeft(const QString &owner)
{
    QList<SendSession *> gone;
    for (const auto &[session, path] : m_paths) {
        if (session->owner() == owner)
            gone.append(session);
    }
    for (SendSession *session : gone)
        session->shutdown(false);
}

void Obex5Client::sendFile(const SimCall &call, SendSession *session)
{
    const QString file = call.argument(0).toString();
    if (file.isEmpty()) {
        call.replyError(error("Failed"), QStringLiteral("Invalid filename given"));
        return;
    }
    ClientTransfer *transfer = session->enqueue(file);
    if (!transfer) {
        call.replyError(error("Failed"), QStringLiteral("Unable to open file"));
        return;
    }
    call.reply({ QVariant::fromValue(QDBusObjectPath(transfer->path())),
                 m_transfers.at(transfer)->properties() });
}

ClientTransfer *Obex5Client::transfer(const QString &path) const
{
    for (const auto &[transfer, object] : m_transfers) {
        if (transfer->path() == path)
            return transfer;
    }
    return nullptr;
}

QStringList Obex5Client::transferPaths() const
{
    QStringList paths;
    for (const auto &[transfer, object] : m_transfers)
        paths.append(transfer->path());
    return paths;
}

QString Obex5Client::nextTransferPath(const SendSession *session)
{
    // The counter runs across the whole process.
    return m_paths.at(const_cast<SendSession *>(session))
        + QStringLiteral("/transfer%1").arg(m_nextTransfer++);
}

void Obex5Client::transferAdded(ClientTransfer *transfer)
{
    auto object = std::make_unique<Obex5ClientTransfer>(transfer, m_paths.at(transfer->session()),
                                                        m_batcher);
    if (m_objectManager)
        m_objectManager->add(object.get());
    m_transfers[transfer] = std::move(object);
}

void Obex5Client::transferRemoved(ClientTransfer *transfer)
{
    auto it = m_transfers.find(transfer);
    if (it == m_transfers.end())
        return;
    // The last Status, then InterfacesRemoved right after it.
    it->second->ended();
    if (m_objectManager)
        m_objectManager->remove(it->second.get());
    m_transfers.erase(it);
}

void Obex5Client::sessionConnected(SendSession *session, const SimCall &call)
{
    const QString path = m_paths.at(session);
    QVariantMap properties { { "Destination", session->destination() },
                             { "Channel", QVariant::fromValue(uchar(0)) },
                             { "Target", QStringLiteral("00001105-0000-1000-8000-00805f9b34fb") } };
    if (!session->source().isEmpty())
        properties.insert(QStringLiteral("Source"), session->source());
    auto object = std::make_unique<Obex5ClientSession>(
        path, properties, [this, session](const SimCall &c) { sendFile(c, session); }, m_batcher);
    if (m_objectManager)
        m_objectManager->add(object.get());
    m_sessions[session] = std::move(object);
    call.reply({ QVariant::fromValue(QDBusObjectPath(path)) });
}

void Obex5Client::sessionEnded(SendSession *session)
{
    auto it = m_sessions.find(session);
    if (it != m_sessions.end()) {
        if (m_objectManager)
            m_objectManager->remove(it->second.get());
        m_sessions.erase(it);
    }
    m_paths.erase(session);
    ObexClientService::sessionEnded(session);
}

void Obex5Client::failCall(const SimCall &call, const QString &)
{
    // Channel 0 means an SDP lookup first: a device out of reach fails there.
    call.replyError(error("Failed"), QStringLiteral("Unable to find service record"));
}

ObexServerService *Obex5Client::receiverFor(const QString &destination) const
{
    // Between two controllers of this machine the one obexd is at both ends.
    return bluez() && bluez()->isOwnController(destination) ? m_server : nullptr;
}

bool Obex5Client::mayCancel(const SimCall &call, const SendSession *session) const
{
    if (session->owner() == call.sender())
        return true;
    call.replyError(error("NotAuthorized"), QStringLiteral("Not Authorized"));
    return false;
}
