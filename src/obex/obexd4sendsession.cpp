#include "obexd4sendsession.h"

#include "bluetoothobexagent.h"
#include "obexclientproxy.h"
#include "obexlogging.h"

#include <QDBusPendingCallWatcher>
#include <QFileInfo>

#include <utility>

namespace Ovrin {

namespace {

// obex-client tells of every packet: the send reports about once a second.
constexpr qint64 progressIntervalMs = 1000;

} // namespace

Obexd4SendSession::Obexd4SendSession(ObexDaemon *daemon, QObject *parent)
    : ObexSendSession(daemon, ObexDaemon::Obexd4, parent)
{
}

Obexd4SendSession::~Obexd4SendSession()
{
    // A send dropped half way is stopped, not left running for nobody.
    if (m_agent && !m_transfer.isEmpty())
        m_agent->cancelTransfer(m_transfer);
    delete m_agent;
}

bool Obexd4SendSession::start(const QString &address, const QStringList &files, QString *error)
{
    m_files = files;
    m_agent = new BluetoothObexAgent(BluetoothObexAgent::Client);
    connect(m_agent, &BluetoothObexAgent::authorizationRequested, this,
            [this](const QString &transfer, const QString &name, const QString &,
                   qulonglong length) { authorizationRequested(transfer, name, length); });
    connect(m_agent, &BluetoothObexAgent::progress, this, &Obexd4SendSession::transferProgress);
    connect(m_agent, &BluetoothObexAgent::complete, this, &Obexd4SendSession::transferCompleted);
    connect(m_agent, &BluetoothObexAgent::error, this, &Obexd4SendSession::transferFailed);

    ObexClientProxy client(ObexDaemon::serviceOf(ObexDaemon::Sending, ObexDaemon::Obexd4),
                           QStringLiteral("/"), ObexDaemon::bus());
    if (!client.isValid()) {
        *error = QStringLiteral("No openobex client found!");
        setEnded();
        return false;
    }
    const QVariantMap device { { QStringLiteral("Destination"), address } };
    auto *watcher = new QDBusPendingCallWatcher(
        client.SendFiles(device, files, QDBusObjectPath(m_agent->path())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &Obexd4SendSession::callFinished);
    return true;
}

void Obexd4SendSession::cancel()
{
    setEnded();
    if (!m_transfer.isEmpty())
        m_agent->cancelTransfer(std::exchange(m_transfer, QString()));
}

void Obexd4SendSession::daemonLeft()
{
    m_transfer.clear();
}

void Obexd4SendSession::authorizationRequested(const QString &transfer, const QString &name,
                                               qulonglong length)
{
    if (hasEnded()) {
        m_agent->cancelTransfer(transfer);
        return;
    }
    if (!m_files.contains(name)) {
        // Only what the user chose leaves the handset.
        qCWarning(lcObex, "Transfer file not in file list: %s", qPrintable(name));
        m_agent->rejectTransfer(transfer);
        return;
    }
    m_transfer = transfer;
    m_sinceProgress.start();
    m_agent->authorizeTransfer(transfer, QFileInfo(name).fileName());
    Q_EMIT fileStarted(name, length);
}

bool Obexd4SendSession::isCurrent(const QString &transfer, const char *what) const
{
    if (transfer == m_transfer)
        return true;
    qCWarning(lcObex, "%s for wrong transfer %s received! (expected: %s)", what,
              qPrintable(transfer), qPrintable(m_transfer));
    return false;
}

void Obexd4SendSession::transferProgress(const QString &transfer, qulonglong transferred,
                                         qulonglong total)
{
    // What obex-client says of a send that has ended (a cancelled transfer's
    // last words, say) changes nothing.
    if (hasEnded() || !isCurrent(transfer, "Progress"))
        return;
    if (m_sinceProgress.elapsed() < progressIntervalMs)
        return;
    m_sinceProgress.start();
    Q_EMIT progress(transferred, total);
}

void Obexd4SendSession::transferCompleted(const QString &transfer)
{
    if (hasEnded() || !isCurrent(transfer, "Complete"))
        return;
    m_transfer.clear();
    Q_EMIT fileCompleted();
}

void Obexd4SendSession::transferFailed(const QString &transfer, const QString &error)
{
    if (hasEnded() || !isCurrent(transfer, "Error"))
        return;
    // That transfer has ended already: nothing of it is left to cancel.
    m_transfer.clear();
    fail(error, isRefusal(error));
}

bool Obexd4SendSession::isRefusal(const QString &error)
{
    // Older daemons name the response, newer ones give its code.
    return error.contains(QLatin1String("forbidden"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("(0x43)"));
}

void Obexd4SendSession::callFinished(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    if (!call->isError())
        return;
    const QDBusError error = call->error();
    ObexSendSession::callFailed("SendFiles", error,
                                isRefusal(error.name() + u' ' + error.message()));
}

} // namespace Ovrin
