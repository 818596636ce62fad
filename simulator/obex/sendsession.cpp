#include "sendsession.h"

#include "bluetoothservice.h"
#include "clienttransfer.h"
#include "obexclientservice.h"
#include "simadapter.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QJsonArray>
#include <QTimer>

#include <memory>

namespace {

QDBusMessage bluezMessage(const QString &path, const QString &interface, const QString &member,
                          const QVariantList &args = {})
{
    QDBusMessage message
        = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path, interface, member);
    message.setArguments(args);
    return message;
}

} // namespace

SendSession::SendSession(ObexClientService *service, const QString &owner,
                         const QString &destination, const QString &source)
    : QObject(service)
    , m_service(service)
    , m_owner(owner)
    , m_destination(destination)
    , m_source(source)
{
    m_linkWatch.setInterval(250);
    connect(&m_linkWatch, &QTimer::timeout, this, [this]() {
        if (!destinationInRange())
            remoteDisconnected(running());
    });
}

SendSession::~SendSession() = default;

bool SendSession::joins(const QString &owner, const QString &destination) const
{
    return !m_ended && owner == m_owner
        && destination.compare(m_destination, Qt::CaseInsensitive) == 0;
}

void SendSession::add(const SimCall &call, const QStringList &files,
                      const AgentClient::Target &agent)
{
    m_requests.append({ call, files, agent });
    if (m_connected)
        QTimer::singleShot(0, this, [this]() { connected(); });
    else if (m_requests.size() == 1)
        openBluezSession();
}

void SendSession::openBluezSession()
{
    // Beside BlueZ 5 there is no adapter object to ask nor session to hold:
    // the link goes to the kernel directly.
    if (!m_service->needsAdapterSession()) {
        connectLink();
        return;
    }
    // 0.42+: an adapter and a BlueZ session before any RFCOMM (ref B.6).
    QDBusConnection bus = m_service->systemBus();
    const QDBusMessage find = m_source.isEmpty()
        ? bluezMessage(QStringLiteral("/"), QStringLiteral("org.bluez.Manager"),
                       QStringLiteral("DefaultAdapter"))
        : bluezMessage(QStringLiteral("/"), QStringLiteral("org.bluez.Manager"),
                       QStringLiteral("FindAdapter"), { m_source });
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(find), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (m_ended)
            return;
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            failRequests(QStringLiteral("No adapter found"));
            return;
        }
        m_adapterPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
        auto *session
            = new QDBusPendingCallWatcher(m_service->systemBus().asyncCall(bluezMessage(
                                              m_adapterPath, QStringLiteral("org.bluez.Adapter"),
                                              QStringLiteral("RequestSession"))),
                                          this);
        connect(session, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher *s) {
                    s->deleteLater();
                    if (m_ended)
                        return;
                    if (s->reply().type() != QDBusMessage::ReplyMessage) {
                        failRequests(QStringLiteral("Unable to request session"));
                        return;
                    }
                    m_bluezSession = true;
                    connectLink();
                });
    });
}

bool SendSession::destinationInRange() const
{
    BluetoothService *bluez = m_service->bluez();
    World *world = bluez ? bluez->worldOf(m_source) : nullptr;
    const DeviceSpec *device = world ? world->device(normalizedAddress(m_destination)) : nullptr;
    return device && device->inRange && bluez->isPowered(m_source);
}

bool SendSession::destinationReachable() const
{
    if (!destinationInRange())
        return false;
    BluetoothService *bluez = m_service->bluez();
    const QString source = m_source.isEmpty() ? bluez->world().adapter.address : m_source;
    return !bluez->isOwnController(normalizedAddress(m_destination))
        || bluez->takesConnection(source, normalizedAddress(m_destination));
}

ClientTransfer *SendSession::running() const
{
    for (ClientTransfer *transfer : m_transfers) {
        if (transfer->state() == ClientTransfer::State::Requesting
            || transfer->state() == ClientTransfer::State::Sending)
            return transfer;
    }
    return nullptr;
}

void SendSession::connectLink()
{
    // RFCOMM to the destination from the chosen controller, then OBEX CONNECT.
    // A device that is not around does not answer the page.
    BluetoothService *bluez = m_service->bluez();
    const bool reachable = destinationReachable();
    const int delay
        = reachable ? m_service->options().connectMs : bluez->world().timing.pageTimeoutMs;
    QTimer::singleShot(delay, this, [this, reachable]() {
        if (m_ended)
            return;
        if (!reachable) {
            failRequests(QStringLiteral("Host is down"));
            return;
        }
        secureLink();
    });
}

void SendSession::secureLink()
{
    // Only a link between two controllers of this machine asks anything here.
    QPointer<SendSession> self(this);
    m_service->bluez()->secureLink(m_source, normalizedAddress(m_destination),
                                   [self](const QString &error) {
                                       if (!self || self->m_ended)
                                           return;
                                       if (!error.isEmpty()) {
                                           self->failRequests(QStringLiteral("Permission denied"));
                                           return;
                                       }
                                       self->m_connected = true;
                                       self->m_linkWatch.start();
                                       self->connected();
                                   });
}

void SendSession::connected()
{
    const QList<Request> requests = m_requests;
    m_requests.clear();
    for (const Request &request : requests) {
        m_service->sessionConnected(this, request.call);
        // A session keeps its first agent; later ones are ignored silently.
        if (!m_agent.isValid() && !request.agent.path.isEmpty())
            m_agent = request.agent;
        queue(request);
    }
    processNext();
}

void SendSession::failRequests(const QString &text)
{
    for (const Request &request : std::as_const(m_requests))
        m_service->failCall(request.call, text);
    m_requests.clear();
    // No agent was bound: nobody hears of this session again.
    m_ended = true;
    releaseBluez();
    m_service->sessionEnded(this);
}

void SendSession::queue(const Request &request)
{
    // 0.43+: each file is opened when queued; the first that cannot be opened
    // stops the loop and the rest are dropped without a word.
    for (const QString &fileName : request.files) {
        if (!enqueue(fileName))
            break;
    }
}

ClientTransfer *SendSession::enqueue(const QString &fileName)
{
    auto file = std::make_unique<QFile>(fileName);
    if (!QFileInfo(fileName).isFile() || !file->open(QIODevice::ReadOnly))
        return nullptr;
    auto *transfer
        = new ClientTransfer(this, m_service->nextTransferPath(this), fileName, std::move(file));
    m_transfers.append(transfer);
    m_service->transferAdded(transfer);
    // The queue moves on once the caller has its answer.
    QTimer::singleShot(0, this, [this]() { processNext(); });
    return transfer;
}

void SendSession::processNext()
{
    if (m_ended || !m_connected || !m_requests.isEmpty())
        return;
    for (ClientTransfer *transfer : std::as_const(m_transfers)) {
        if (transfer->state() == ClientTransfer::State::Requesting
            || transfer->state() == ClientTransfer::State::Sending)
            return;
    }
    for (ClientTransfer *transfer : std::as_const(m_transfers)) {
        if (transfer->state() == ClientTransfer::State::Queued) {
            transfer->begin();
            return;
        }
    }
    if (m_service->endsWhenIdle())
        finish();
}

void SendSession::transferEnded(ClientTransfer *transfer)
{
    m_transfers.removeAll(transfer);
    m_service->transferRemoved(transfer);
    transfer->deleteLater();
    QTimer::singleShot(0, this, [this]() { processNext(); });
}

void SendSession::finish()
{
    if (m_ended)
        return;
    m_ended = true;
    // The session is freed: its agent hears Release, the link closes.
    if (m_agent.isValid())
        m_service->agents()->notify(m_agent, QStringLiteral("Release"));
    releaseBluez();
    m_service->sessionEnded(this);
}

void SendSession::releaseBluez()
{
    if (!m_bluezSession)
        return;
    m_bluezSession = false;
    m_service->systemBus().send(bluezMessage(m_adapterPath, QStringLiteral("org.bluez.Adapter"),
                                             QStringLiteral("ReleaseSession")));
}

void SendSession::shutdown(bool releaseBluez)
{
    if (m_ended)
        return;
    m_ended = true;
    m_linkWatch.stop();
    m_requests.clear();
    const QList<ClientTransfer *> transfers = m_transfers;
    m_transfers.clear();
    for (ClientTransfer *transfer : transfers) {
        transfer->dropQuietly();
        m_service->transferRemoved(transfer);
        transfer->deleteLater();
    }
    if (releaseBluez)
        this->releaseBluez();
    m_service->sessionEnded(this);
}

void SendSession::remoteDisconnected(ClientTransfer *running)
{
    if (running)
        running->linkLost();
    shutdown(true);
}

void SendSession::ownerLeft()
{
    // The owner was the agent too: no Release for a caller that is gone.
    m_agent = {};
    shutdown(true);
}

QJsonObject SendSession::toJson() const
{
    QJsonArray transfers;
    for (ClientTransfer *transfer : m_transfers)
        transfers.append(transfer->toJson());
    return { { "owner", m_owner },
             { "destination", m_destination },
             { "state",
               m_ended           ? "ended"
                   : m_connected ? "connected"
                                 : "connecting" },
             { "agent",
               m_agent.isValid() ? QJsonValue(
                   QJsonObject { { "owner", m_agent.owner }, { "path", m_agent.path } })
                                 : QJsonValue() },
             { "transfers", transfers } };
}
