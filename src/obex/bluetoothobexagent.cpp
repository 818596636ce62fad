#include "bluetoothobexagent.h"

#include "bluetoothobexagent_p.h"
#include "bluetoothtransfertracker.h"
#include "busnameowner.h"
#include "daemoncallercheck.h"
#include "firstreport.h"
#include "mimetyperesolver.h"
#include "obexclienttransferproxy.h"
#include "obexlogging.h"
#include "obexmanagerproxy.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QUuid>

namespace Ovrin {

namespace {

const QString serverService = QStringLiteral("org.openobex");
const QString clientService = QStringLiteral("org.openobex.client");
const QString managerInterface = QStringLiteral("org.openobex.Manager");
const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString rejectedError = QStringLiteral("org.openobex.Error.Rejected");
const QString canceledError = QStringLiteral("org.openobex.Error.Canceled");

// What a received file is called when the sender's name cannot be used.
const QString defaultFileName = QStringLiteral("received_file");
// Room for "_<n>" within the file system's 255 bytes per name.
constexpr int maxNameBytes = 240;

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

bool isUnsafeChar(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// The part of name after its last "/" or "\".
QString lastComponent(const QString &name)
{
    const int slash = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return name.mid(slash + 1);
}

// Shortens name to maxNameBytes of UTF-8, keeping its extension.
QString fitted(const QString &name)
{
    if (name.toUtf8().size() <= maxNameBytes)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    QString suffix = dot > 0 ? name.mid(dot) : QString();
    if (suffix.toUtf8().size() > 16)
        suffix.clear();
    QString base = dot > 0 ? name.left(dot) : name;
    while (!base.isEmpty() && (base + suffix).toUtf8().size() > maxNameBytes)
        base.chop(1);
    if (!base.isEmpty() && base.back().isHighSurrogate())
        base.chop(1);
    return base + suffix;
}

// obexd tells sizes as int32: -1 when the sender gave none, and sizes above
// 2 GiB arrive wrapped to negative numbers. Neither is a size: unknown, 0.
qulonglong remoteLength(int length)
{
    return length < 0 ? 0 : qulonglong(length);
}

} // namespace

BluetoothObexAgentPrivate::BluetoothObexAgentPrivate(BluetoothObexAgent::Type type, BluetoothObexAgent *q)
    : QDBusAbstractAdaptor(q)
    , type(type)
    , q(q)
    , path(QStringLiteral("/com/brivo/obex_agent/")
           + QUuid::createUuid().toString(QUuid::WithoutBraces).remove(QLatin1Char('-')))
    , transferSignals(new TransferSignals(this))
{
    setAutoRelaySignals(false);
}

BluetoothObexAgentPrivate::~BluetoothObexAgentPrivate()
{
    // obexd is never left waiting for an agent that is gone.
    for (const QDBusMessage &message : std::as_const(pendingRequests))
        bus().send(message.createErrorReply(canceledError, QString()));
    pendingRequests.clear();
    if (obexManager) {
        // Not restarting a daemon that has gone just to say goodbye.
        QDBusMessage call = QDBusMessage::createMethodCall(serverService, QStringLiteral("/"),
                                                           managerInterface, QStringLiteral("UnregisterAgent"));
        call << QVariant::fromValue(QDBusObjectPath(path));
        call.setAutoStartService(false);
        const QDBusMessage reply = bus().call(call);
        if (reply.type() == QDBusMessage::ErrorMessage)
            qCWarning(lcObex).nospace().noquote()
                    << "BluetoothObexAgentPrivate: DBus error when unregistering obexd agent:"
                    << QDBusError(reply);
        delete obexManager;
    }
}

QString BluetoothObexAgentPrivate::safeFileName(const QString &remoteName)
{
    QString name = lastComponent(remoteName);
    const bool onlyDots = name.count(QLatin1Char('.')) == name.size();
    const bool unsafe = std::any_of(name.cbegin(), name.cend(), isUnsafeChar);
    if (!onlyDots && !unsafe) {
        // A hidden file would be out of the user's sight, and could be taken
        // for a start-up file (".profile") of whoever's home it lands in.
        if (name.startsWith(QLatin1Char('.')))
            name[0] = QLatin1Char('_');
        return fitted(name);
    }
    // Keep the extension, when it is a plain one, so the type still shows.
    static const QRegularExpression plainSuffix(QStringLiteral("\\.([A-Za-z0-9]{1,10})$"));
    const QRegularExpressionMatch match = plainSuffix.match(name);
    return match.hasMatch() && !onlyDots ? defaultFileName + u'.' + match.captured(1) : defaultFileName;
}

QString BluetoothObexAgentPrivate::uniqueFileName(const QString &name, const QString &mime)
{
    QString candidate = name;
    QString full = BluetoothTransferTracker::filePath(name, mime);
    const QFileInfo info(full);
    const QString folder = info.absolutePath();
    const QString baseName = info.baseName();
    const QString suffix = info.completeSuffix();
    for (int n = 1; QFileInfo::exists(full); ++n) {
        candidate = baseName + QStringLiteral("_%1.").arg(n) + suffix;
        full = BluetoothTransferTracker::filePath(folder + u'/' + candidate, mime);
    }
    return candidate;
}

bool BluetoothObexAgentPrivate::fromDaemon(const QDBusMessage &message) const
{
    return isCallFromDaemon(bus(), type == BluetoothObexAgent::Server ? serverService : clientService,
                            message, rejectedError);
}

bool BluetoothObexAgentPrivate::refuseBusCaller() const
{
    if (!q->calledFromDBus())
        return false;
    q->sendErrorReply(rejectedError, QString());
    return true;
}

void BluetoothObexAgentPrivate::removeTransfer(const QDBusObjectPath &transfer)
{
    pendingRequests.remove(transfer);
    transferProperties.remove(transfer.path());
    // Each push keeps its own record: the end of one leaves the others be.
    const IncomingPush push = pushes.take(transfer.path());
    if (push.followed)
        transferSignals->disconnectProgress(transfer.path());
    if (currentTransfer == transfer)
        currentTransfer = QDBusObjectPath();
}

void BluetoothObexAgentPrivate::removePartialFile(const QString &transfer)
{
    const QString file = pushes.value(transfer).acceptedFile;
    if (file.isEmpty() || !QFile::exists(file))
        return;
    if (!QFile::remove(file))
        qCWarning(lcObex, "Unable to remove the partly received file %s", qPrintable(file));
}

void BluetoothObexAgentPrivate::failEveryPush()
{
    QStringList transfers = pushes.keys();
    transfers.sort();
    const QPointer<BluetoothObexAgent> alive(q);
    for (const QString &transfer : std::as_const(transfers)) {
        removePartialFile(transfer);
        removeTransfer(QDBusObjectPath(transfer));
        Q_EMIT q->error(transfer, QString());
        // The owner may let go of the agent when it hears of a failure.
        if (!alive)
            return;
    }
}

QVariant BluetoothObexAgentPrivate::transferProperty(const QDBusObjectPath &transfer, const QString &propertyName)
{
    QVariantMap &properties = transferProperties[transfer.path()];
    if (properties.isEmpty()) {
        ObexClientTransferProxy proxy(clientService, transfer.path(), bus());
        if (!proxy.isValid()) {
            qCWarning(lcObex, "Unable to find transfer with path '%s'", qPrintable(transfer.path()));
            return QVariant();
        }
        QDBusPendingReply<QVariantMap> reply = proxy.GetProperties();
        reply.waitForFinished();
        if (reply.isError()) {
            qCWarning(lcObex, "%s returned error '%s': %s", "GetProperties", qPrintable(reply.error().name()),
                      qPrintable(reply.error().message()));
            return QVariant();
        }
        properties = reply.value();
    }
    return properties.value(propertyName);
}

bool BluetoothObexAgentPrivate::takePendingRequest(const QString &transfer, QDBusMessage *message)
{
    const auto it = pendingRequests.constFind(QDBusObjectPath(transfer));
    if (it == pendingRequests.constEnd())
        return false;
    *message = it.value();
    pendingRequests.erase(it);
    return true;
}

void BluetoothObexAgentPrivate::registerAgent()
{
    delete obexManager;
    obexManager = new ObexManagerProxy(serverService, QStringLiteral("/"), bus());
    if (!obexManager->isValid()) {
        qCWarning(lcObex, "BluetoothObexAgentPrivate: obexManager is not valid!");
        return;
    }
    QDBusPendingReply<> reply = obexManager->RegisterAgent(QDBusObjectPath(path));
    reply.waitForFinished();
    if (reply.isError()) {
        qCWarning(lcObex).noquote() << "BluetoothObexAgentPrivate: dbus error: " << reply.error();
        return;
    }
    Q_EMIT q->serviceRegistered();
}

// --- org.openobex.Agent ------------------------------------------------------

void BluetoothObexAgentPrivate::Release(const QDBusMessage &message)
{
    fromDaemon(message);
}

QString BluetoothObexAgentPrivate::Request(const QDBusObjectPath &transfer, const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return QString();
    const QString name = transferProperty(transfer, QStringLiteral("Filename")).toString();
    const qulonglong size = transferProperty(transfer, QStringLiteral("Size")).toULongLong();
    message.setDelayedReply(true);
    pendingRequests.insert(transfer, message);
    Q_EMIT q->authorizationRequested(transfer.path(), name, QString(), size, 0);
    return QString();
}

void BluetoothObexAgentPrivate::Progress(const QDBusObjectPath &transfer, qulonglong transferred,
                                         const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return;
    const qulonglong total = transferProperty(transfer, QStringLiteral("Size")).toULongLong();
    Q_EMIT q->progress(transfer.path(), transferred, total);
}

void BluetoothObexAgentPrivate::Complete(const QDBusObjectPath &transfer, const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return;
    removeTransfer(transfer);
    Q_EMIT q->complete(transfer.path());
}

void BluetoothObexAgentPrivate::Error(const QDBusObjectPath &transfer, const QString &message,
                                      const QDBusMessage &call)
{
    if (!fromDaemon(call))
        return;
    removeTransfer(transfer);
    Q_EMIT q->error(transfer.path(), message);
}

QString BluetoothObexAgentPrivate::Authorize(const QDBusObjectPath &transfer, const QString &btAddress,
                                             const QString &name, const QString &type, int length, int time,
                                             const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return QString();
    // The name comes from the remote device: nothing of it may choose a folder.
    const QString safeName = safeFileName(name);
    IncomingPush push;
    push.remoteDeviceAddress = btAddress;
    push.mimeType = type.isEmpty() ? MimeTypeResolver::mimeTypeForFilePath(safeName) : type;
    push.fileName = uniqueFileName(safeName, push.mimeType);
    message.setDelayedReply(true);
    // A repeated request for the same transfer supersedes the older one,
    // which still gets its answer.
    QDBusMessage older;
    if (takePendingRequest(transfer.path(), &older))
        bus().send(older.createErrorReply(canceledError, QString()));
    removeTransfer(transfer);
    pendingRequests.insert(transfer, message);
    pushes.insert(transfer.path(), push);
    currentTransfer = transfer;
    Q_EMIT q->authorizationRequested(transfer.path(), push.fileName, push.mimeType,
                                     remoteLength(length), time);
    return QString();
}

void BluetoothObexAgentPrivate::Cancel(const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return;
    // obexd asks one question at a time: what it withdraws is the last one,
    // if that is still open.
    QString withdrawn;
    QDBusMessage asked;
    if (!currentTransfer.path().isEmpty() && takePendingRequest(currentTransfer.path(), &asked)) {
        withdrawn = currentTransfer.path();
        bus().send(asked.createErrorReply(canceledError, QString()));
        removeTransfer(currentTransfer);
    }
    Q_EMIT q->cancel(withdrawn);
}

void BluetoothObexAgentPrivate::obexServiceRegistered(const QString &service)
{
    if (refuseBusCaller() || service != serverService)
        return;
    registerAgent();
}

void BluetoothObexAgentPrivate::obexServiceUnregistered(const QString &service)
{
    if (refuseBusCaller() || service != serverService)
        return;
    const QPointer<BluetoothObexAgent> alive(q);
    failEveryPush();
    if (!alive)
        return;
    Q_EMIT q->serviceUnregistered();
    const QDBusReply<void> started = bus().interface()->startService(serverService);
    if (!started.isValid())
        qCWarning(lcObex, "BluetoothObexAgentPrivate: Unable to start service %s", qPrintable(serverService));
}

// --- obexd's transfer signals -----------------------------------------------

void BluetoothObexAgentPrivate::transferStarted(const QDBusObjectPath &transfer)
{
    // Only the transfers this agent let in are followed.
    const auto push = pushes.find(transfer.path());
    if (push == pushes.end() || push->followed)
        return;
    push->followed = transferSignals->connectProgress(transfer.path());
    if (!push->followed)
        qCWarning(lcObex, "BluetoothObexAgent: unable to connect org.openobex.Transfer.Progress signal!");
}

void BluetoothObexAgentPrivate::transferProgress(int total, int transfered, const QDBusMessage &message)
{
    // A size may be unknown (-1); a negative count of bytes moved is a lie.
    if (transfered < 0) {
        if (isFirstReport(QStringLiteral("obex/Progress/negative")))
            qCWarning(lcObex, "Ignoring Progress of %s: %d bytes transferred", qPrintable(message.path()),
                      transfered);
        return;
    }
    Q_EMIT q->progress(message.path(), qulonglong(transfered), remoteLength(total));
}

void BluetoothObexAgentPrivate::transferCompleted(const QDBusObjectPath &transfer, bool success)
{
    // Another transfer's end must not end the one under way.
    const auto push = pushes.constFind(transfer.path());
    if (push == pushes.constEnd()) {
        if (isFirstReport(QStringLiteral("obex/TransferCompleted/unknown")))
            qCWarning(lcObex, "Ignoring TransferCompleted of %s: not a transfer this agent let in",
                      qPrintable(loggable(transfer.path())));
        return;
    }
    const bool canceled = push->canceled;
    removeTransfer(transfer);
    if (success)
        Q_EMIT q->complete(transfer.path());
    else
        Q_EMIT q->error(transfer.path(), canceled ? QStringLiteral("Transfer canceled")
                                                  : QStringLiteral("Transfer completed unsuccessfully"));
}

// --- obexd's signals ---------------------------------------------------------

bool TransferSignals::connectManager()
{
    const bool started = bus().connect(QString(), QStringLiteral("/"), managerInterface,
                                       QStringLiteral("TransferStarted"), this,
                                       SLOT(transferStarted(QDBusMessage)));
    if (!started)
        qCWarning(lcObex, "BluetoothObexAgent: unable to connect org.openobex.Manager.TransferStarted signal!");
    const bool completed = bus().connect(QString(), QStringLiteral("/"), managerInterface,
                                         QStringLiteral("TransferCompleted"), this,
                                         SLOT(transferCompleted(QDBusMessage)));
    if (!completed)
        qCWarning(lcObex, "BluetoothObexAgent: unable to connect org.openobex.Manager.TransferCompleted signal!");
    return started && completed;
}

bool TransferSignals::connectProgress(const QString &transfer)
{
    return bus().connect(QString(), transfer, transferInterface, QStringLiteral("Progress"), this,
                         SLOT(transferProgress(QDBusMessage)));
}

void TransferSignals::disconnectProgress(const QString &transfer)
{
    bus().disconnect(QString(), transfer, transferInterface, QStringLiteral("Progress"), this,
                     SLOT(transferProgress(QDBusMessage)));
}

bool TransferSignals::fromObexd(const QDBusMessage &message) const
{
    // Anyone may send a signal; only obexd's tell about transfers.
    return message.service() == BusNameOwner::of(bus(), serverService);
}

void TransferSignals::transferStarted(const QDBusMessage &message)
{
    if (message.signature() == QLatin1String("o") && fromObexd(message))
        agent->transferStarted(qdbus_cast<QDBusObjectPath>(message.arguments().at(0)));
}

void TransferSignals::transferProgress(const QDBusMessage &message)
{
    const QVariantList args = message.arguments();
    if (message.signature() == QLatin1String("ii") && fromObexd(message))
        agent->transferProgress(args.at(0).toInt(), args.at(1).toInt(), message);
}

void TransferSignals::transferCompleted(const QDBusMessage &message)
{
    const QVariantList args = message.arguments();
    if (message.signature() == QLatin1String("ob") && fromObexd(message))
        agent->transferCompleted(qdbus_cast<QDBusObjectPath>(args.at(0)), args.at(1).toBool());
}

// --- public -----------------------------------------------------------------

BluetoothObexAgent::BluetoothObexAgent(Type type, QObject *parent)
    : QObject(parent)
    , d_ptr(new BluetoothObexAgentPrivate(type, this))
{
    if (type == Server)
        d_ptr->transferSignals->connectManager();
    bus().registerObject(d_ptr->path, this, QDBusConnection::ExportAdaptors);
}

BluetoothObexAgent::~BluetoothObexAgent()
{
    const QString path = d_ptr->path;
    delete d_ptr;
    bus().unregisterObject(path);
}

void BluetoothObexAgent::registerToObexService()
{
    auto *watcher = new QDBusServiceWatcher(serverService, bus(),
                                            QDBusServiceWatcher::WatchForRegistration
                                                    | QDBusServiceWatcher::WatchForUnregistration,
                                            this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, d_ptr,
            &BluetoothObexAgentPrivate::obexServiceRegistered);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, d_ptr,
            &BluetoothObexAgentPrivate::obexServiceUnregistered);
    if (bus().interface()->isServiceRegistered(serverService))
        d_ptr->obexServiceRegistered(serverService);
    else
        d_ptr->obexServiceUnregistered(serverService);
}

QString BluetoothObexAgent::path() const
{
    return d_ptr->path;
}

QString BluetoothObexAgent::remoteDeviceAddress() const
{
    return d_ptr->currentPush().remoteDeviceAddress;
}

QString BluetoothObexAgent::fileName() const
{
    return d_ptr->currentPush().fileName;
}

QString BluetoothObexAgent::mimeType() const
{
    return d_ptr->currentPush().mimeType;
}

void BluetoothObexAgent::authorizeTransfer(const QString &transfer, const QString &fileName)
{
    QDBusMessage message;
    if (!d_ptr->takePendingRequest(transfer, &message)) {
        qCWarning(lcObex, "Invalid request for transfer '%s'", qPrintable(transfer));
        return;
    }
    if (d_ptr->type == Server) {
        // obexd stores a bare or relative name in a folder of its own, under
        // the sender's name and past the choice of a free one.
        if (!QFileInfo(fileName).isAbsolute()) {
            qCWarning(lcObex, "Refusing transfer '%s': '%s' is no absolute path",
                      qPrintable(transfer), qPrintable(fileName));
            bus().send(message.createErrorReply(rejectedError, QString()));
            d_ptr->removeTransfer(QDBusObjectPath(transfer));
            return;
        }
        // A file that is already there is not this transfer's to delete. Asked
        // before answering: obexd makes the file as soon as it has the answer.
        const auto push = d_ptr->pushes.find(transfer);
        if (push != d_ptr->pushes.end() && !QFile::exists(fileName))
            push->acceptedFile = fileName;
    }
    // The properties stay cached until the transfer ends: every progress
    // report needs the size, and the daemon may be done with the object by then.
    bus().send(message.createReply(fileName));
}

void BluetoothObexAgent::rejectTransfer(const QString &transfer)
{
    QDBusMessage message;
    if (!d_ptr->takePendingRequest(transfer, &message)) {
        qCWarning(lcObex, "Invalid request for transfer '%s'", qPrintable(transfer));
        return;
    }
    bus().send(message.createErrorReply(rejectedError, QString()));
    d_ptr->removeTransfer(QDBusObjectPath(transfer));
}

void BluetoothObexAgent::cancelTransfer(const QString &transfer)
{
    QDBusMessage message;
    if (d_ptr->takePendingRequest(transfer, &message)) {
        bus().send(message.createErrorReply(canceledError, QString()));
        d_ptr->removeTransfer(QDBusObjectPath(transfer));
        return;
    }
    // Running already: obexd stops it and reports the end as usual.
    const auto push = d_ptr->pushes.find(transfer);
    if (push != d_ptr->pushes.end())
        push->canceled = true;
    const QString service = d_ptr->type == Server ? serverService : clientService;
    QDBusMessage call = QDBusMessage::createMethodCall(service, transfer, transferInterface, QStringLiteral("Cancel"));
    const QDBusMessage reply = bus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qCWarning(lcObex, "%s returned error '%s': %s", "Cancel", qPrintable(reply.errorName()),
                  qPrintable(reply.errorMessage()));
}

} // namespace Ovrin
