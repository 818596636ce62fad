#include "obexd5sendsession.h"

#include "obexd5names.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointer>

#include <utility>

namespace Ovrin {

namespace {

using Obexd5::managerPath;
const QString &clientInterface = Obexd5::client;
const QString &pushInterface = Obexd5::objectPush;
const QString &transferInterface = Obexd5::transfer;
// CreateSession is answered only once the link is up and the remote has
// answered OBEX CONNECT: paging, SDP and the OBEX time-out take many seconds.
constexpr int createSessionTimeoutMs = 90000;
// obexd gives the remote 60 s to answer a file's first packet and 10 s for
// each later one; a failure after that much silence is its time-out. The
// margins take in that counts are told at most once a second.
constexpr int firstAnswerSilenceMs = 55000;
constexpr int laterAnswerSilenceMs = 8000;
constexpr qulonglong maxObexPacket = 0xffff;

// Never starts obexd: one that left has nothing of ours to act on.
QDBusPendingCall obexdCall(const QString &daemon, const QString &path, const QString &interface,
                           const QString &method, const QVariantList &arguments = {},
                           int timeoutMs = -1)
{
    QDBusMessage message = QDBusMessage::createMethodCall(daemon, path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return ObexDaemon::bus().asyncCall(message, timeoutMs);
}

QDBusPendingCall removeSessionCall(const QString &daemon, const QString &session)
{
    return obexdCall(daemon, managerPath, clientInterface, QStringLiteral("RemoveSession"),
                     { QVariant::fromValue(QDBusObjectPath(session)) });
}

} // namespace

Obexd5SendSession::Obexd5SendSession(ObexDaemon *daemon, QObject *parent)
    : ObexSendSession(daemon, ObexDaemon::Obexd5, parent)
{
}

Obexd5SendSession::~Obexd5SendSession()
{
    if (m_creating) {
        // A session still being made for a send that is gone: removed as
        // soon as it exists.
        m_creating->disconnect(this);
        m_creating->setParent(nullptr);
        connect(m_creating, &QDBusPendingCallWatcher::finished, m_creating,
                [daemon = m_daemon](QDBusPendingCallWatcher *call) {
                    call->deleteLater();
                    const QDBusPendingReply<QDBusObjectPath> session = *call;
                    if (!session.isError())
                        removeSessionCall(daemon, session.value().path());
                });
    }
    // Removing the session also stops a file still running.
    removeSession();
}

bool Obexd5SendSession::start(const QString &address, const QStringList &files, QString *error)
{
    QDBusConnection bus = ObexDaemon::bus();
    // Asked now: the send belongs to the obexd that runs now.
    m_daemon = bus.interface()
                   ->serviceOwner(ObexDaemon::serviceOf(ObexDaemon::Sending, ObexDaemon::Obexd5))
                   .value();
    m_files = files;
    // Followed before any file is given: a transfer goes right after its
    // last Status, and a small file's last Status is the first word of it.
    const bool followed = !m_daemon.isEmpty()
        && bus.connect(m_daemon, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("PropertiesChanged"), this,
                       SLOT(propertiesChanged(QDBusMessage)))
        && bus.connect(
            m_daemon, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
            QStringLiteral("InterfacesRemoved"), this, SLOT(interfacesRemoved(QDBusMessage)));
    if (!followed) {
        *error = QStringLiteral("No openobex client found!");
        setEnded();
        return false;
    }
    const QVariantMap target { { QStringLiteral("Target"), QStringLiteral("opp") } };
    m_creating
        = watch(obexdCall(m_daemon, managerPath, clientInterface, QStringLiteral("CreateSession"),
                          { address, target }, createSessionTimeoutMs));
    connect(m_creating, &QDBusPendingCallWatcher::finished, this,
            &Obexd5SendSession::sessionCreated);
    return true;
}

void Obexd5SendSession::cancel()
{
    setEnded();
    if (m_transfer.isEmpty()) {
        removeSession();
        return;
    }
    // The session goes once the running file has been aborted: removed at
    // once, it would take the transfer without cancelling it.
    QDBusPendingCallWatcher *cancelling
        = watch(obexdCall(m_daemon, std::exchange(m_transfer, QString()), transferInterface,
                          QStringLiteral("Cancel")));
    connect(cancelling, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                removeSession();
            });
}

void Obexd5SendSession::daemonLeft()
{
    m_session.clear();
    m_transfer.clear();
}

void Obexd5SendSession::sessionCreated(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    m_creating = nullptr;
    const QDBusPendingReply<QDBusObjectPath> session = *call;
    if (session.isError()) {
        callFailed("CreateSession", session.error());
        return;
    }
    m_session = session.value().path();
    if (hasEnded())
        removeSession();
    else
        sendNextFile();
}

void Obexd5SendSession::sendNextFile()
{
    QDBusPendingCallWatcher *sending
        = watch(obexdCall(m_daemon, m_session, pushInterface, QStringLiteral("SendFile"),
                          { m_files.value(m_nextFile++) }));
    connect(sending, &QDBusPendingCallWatcher::finished, this, &Obexd5SendSession::fileAccepted);
}

void Obexd5SendSession::fileAccepted(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    // Cancelled meanwhile: the session's removal drops the queued file.
    if (hasEnded())
        return;
    const QDBusPendingReply<QDBusObjectPath, QVariantMap> transfer = *call;
    if (transfer.isError()) {
        callFailed("SendFile", transfer.error());
        return;
    }
    const QString file = m_files.value(m_nextFile - 1);
    m_transfer = transfer.argumentAt<0>().path();
    m_size = Obexd5::value<qulonglong>(transfer.argumentAt<1>(), QStringLiteral("Size"))
                 .value_or(quint64(QFileInfo(file).size()));
    m_sinceRemoteAnswered.start();
    m_lastCount.reset();
    m_remoteAnswered = false;
    Q_EMIT fileStarted(file, m_size);
}

void Obexd5SendSession::countTold(qulonglong transferred)
{
    // The first count may be the first packet alone, sent before any answer;
    // one beyond the largest packet OBEX has, or one that moves on after it,
    // is the remote's answer.
    if (!m_lastCount) {
        m_remoteAnswered = transferred > maxObexPacket;
        m_sinceRemoteAnswered.start();
    } else if (transferred != *m_lastCount) {
        m_remoteAnswered = true;
        m_sinceRemoteAnswered.start();
    }
    m_lastCount = transferred;
}

bool Obexd5SendSession::remoteTimedOut() const
{
    return m_sinceRemoteAnswered.isValid()
        && m_sinceRemoteAnswered.hasExpired(m_remoteAnswered ? laterAnswerSilenceMs
                                                             : firstAnswerSilenceMs);
}

void Obexd5SendSession::propertiesChanged(const QDBusMessage &message)
{
    if (hasEnded() || m_transfer.isEmpty() || message.path() != m_transfer
        || message.signature() != QLatin1String("sa{sv}as")
        || message.arguments().value(0).toString() != transferInterface)
        return;
    const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().value(1));
    // obexd tells Transferred at most once a second and never its final
    // value: the end is told by Status alone.
    if (const auto transferred
        = Obexd5::value<qulonglong>(changed, QStringLiteral("Transferred"))) {
        countTold(*transferred);
        QPointer<Obexd5SendSession> alive(this);
        Q_EMIT progress(*transferred, m_size);
        if (!alive || hasEnded())
            return;
    }
    const QString status
        = Obexd5::value<QString>(changed, QStringLiteral("Status")).value_or(QString());
    if (status == QLatin1String("complete"))
        transferEnded(true);
    else if (status == QLatin1String("error"))
        transferEnded(false);
}

void Obexd5SendSession::interfacesRemoved(const QDBusMessage &message)
{
    if (hasEnded() || message.signature() != QLatin1String("oas"))
        return;
    const QString path = message.arguments().value(0).value<QDBusObjectPath>().path();
    // Gone without a last Status, or the session with it: only a lost link
    // does that to a send we have not ended ourselves.
    if (path.isEmpty() || (path != m_transfer && path != m_session))
        return;
    m_transfer.clear();
    if (path == m_session)
        m_session.clear();
    removeSession();
    fail(QStringLiteral("Connection to the remote device lost"), false);
}

void Obexd5SendSession::transferEnded(bool completed)
{
    m_transfer.clear();
    if (completed) {
        if (m_nextFile < m_files.size())
            sendNextFile();
        else
            removeSession();
        Q_EMIT fileCompleted();
        return;
    }
    // obexd 5 never tells why a file failed. A remote that refuses it keeps
    // the session up; a link that breaks takes the session with it, and
    // RemoveSession, which knows only a session that is still up, tells which.
    // A remote that went out of range is obexd's time-out while the link
    // still lives: no refusal either.
    const bool timedOut = remoteTimedOut();
    removeSession([this, timedOut](bool wasUp) {
        const bool refused = wasUp && !timedOut;
        fail(refused ? QStringLiteral("Refused by the remote device")
                     : QStringLiteral("Connection to the remote device lost"),
             refused);
    });
}

void Obexd5SendSession::callFailed(const char *method, const QDBusError &error)
{
    removeSession();
    // Every call obexd fails is of the link or the file, never the remote's refusal.
    ObexSendSession::callFailed(method, error, false);
}

void Obexd5SendSession::removeSession(const std::function<void(bool)> &whenRemoved)
{
    if (m_session.isEmpty()) {
        if (whenRemoved)
            whenRemoved(false);
        return;
    }
    const QDBusPendingCall removing
        = removeSessionCall(m_daemon, std::exchange(m_session, QString()));
    if (!whenRemoved)
        return;
    connect(watch(removing), &QDBusPendingCallWatcher::finished, this,
            [whenRemoved](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                whenRemoved(!call->isError());
            });
}

QDBusPendingCallWatcher *Obexd5SendSession::watch(const QDBusPendingCall &call)
{
    return new QDBusPendingCallWatcher(call, this);
}

} // namespace Ovrin
