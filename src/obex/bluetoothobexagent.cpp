#include "bluetoothobexagent.h"

#include "bluetoothobexagent_p.h"
#include "bluetoothtransfertracker.h"
#include "busnameowner.h"
#include "daemoncallercheck.h"
#include "firstreport.h"
#include "mimetyperesolver.h"
#include "obex5agentadaptor.h"
#include "obex5transfersignals.h"
#include "obexclienttransferproxy.h"
#include "obexd5names.h"
#include "obexlogging.h"
#include "receivedfilemover.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QDir>
#include <QStorageInfo>
#include <QTimer>
#include <QUuid>

namespace Ovrin {

namespace {

const QString serverService = QStringLiteral("org.openobex");
const QString clientService = QStringLiteral("org.openobex.client");
const QString managerInterface = QStringLiteral("org.openobex.Manager");
const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString &obex5Service = Obexd5::service;
const QString &obex5ManagerPath = Obexd5::managerPath;
const QString &obex5AgentManager = Obexd5::agentManager;
const QString &obex5Transfer = Obexd5::transfer;

// What a received file is called when the sender's name cannot be used.
const QString defaultFileName = QStringLiteral("received_file");
// How often an agent refused for another one asks obexd again.
constexpr int registrationRetryMs = 5000;
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

BluetoothObexAgentPrivate::BluetoothObexAgentPrivate(BluetoothObexAgent::Type type,
                                                     BluetoothObexAgent *q)
    : QDBusAbstractAdaptor(q)
    , type(type)
    , q(q)
    , path(QStringLiteral("/com/brivo/obex_agent/")
           + QUuid::createUuid().toString(QUuid::WithoutBraces).remove(QLatin1Char('-')))
    , transferSignals(new TransferSignals(this))
    , obex5Signals(new Obex5TransferSignals(this))
{
    setAutoRelaySignals(false);
    // BlueZ 5's obexd serves receiving only through an agent of its own kind.
    if (type == BluetoothObexAgent::Server)
        new Obex5AgentAdaptor(this, q);
}

BluetoothObexAgentPrivate::~BluetoothObexAgentPrivate()
{
    // obexd is never left waiting for an agent that is gone.
    for (const QDBusMessage &message : std::as_const(pendingRequests))
        bus().send(message.createErrorReply(errorFor(message, "Canceled"), QString()));
    pendingRequests.clear();
    // Nor with files it wrote for pushes that will never be moved.
    for (const QString &transfer : pushes.keys())
        removePartialFile(transfer);
    unregisterAgent();
}

QString BluetoothObexAgentPrivate::errorFor(const QDBusMessage &message, const char *name)
{
    const bool obexd5 = message.interface().startsWith(obex5Service);
    return (obexd5 ? QStringLiteral("org.bluez.obex.Error.")
                   : QStringLiteral("org.openobex.Error."))
        + QLatin1String(name);
}

void BluetoothObexAgentPrivate::unregisterAgent()
{
    if (registeredWith == ObexDaemon::None)
        return;
    const bool obexd5 = registeredWith == ObexDaemon::Obexd5;
    registeredWith = ObexDaemon::None;
    QDBusMessage call = QDBusMessage::createMethodCall(
        obexd5 ? obex5Service : serverService, obexd5 ? obex5ManagerPath : QStringLiteral("/"),
        obexd5 ? obex5AgentManager : managerInterface, QStringLiteral("UnregisterAgent"));
    call << QVariant::fromValue(QDBusObjectPath(path));
    // Not restarting a daemon that has gone just to say goodbye.
    call.setAutoStartService(false);
    const QDBusMessage reply = bus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qCWarning(lcObex).nospace().noquote()
            << "BluetoothObexAgentPrivate: DBus error when unregistering obexd agent:"
            << QDBusError(reply);
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
    return match.hasMatch() && !onlyDots ? defaultFileName + u'.' + match.captured(1)
                                         : defaultFileName;
}

QString BluetoothObexAgentPrivate::uniqueFileName(const QString &name, const QString &mime)
{
    const QString full = BluetoothTransferTracker::filePath(name, mime);
    return full.isEmpty() ? name : QFileInfo(freePath(full)).fileName();
}

QString BluetoothObexAgentPrivate::freePath(const QString &path)
{
    const QFileInfo info(path);
    QString candidate = path;
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = info.absolutePath() + u'/' + info.baseName() + QStringLiteral("_%1.").arg(n)
            + info.completeSuffix();
    return candidate;
}

bool BluetoothObexAgentPrivate::fromDaemon(const QDBusMessage &message) const
{
    QString daemonService = clientService;
    if (message.interface().startsWith(obex5Service))
        daemonService = obex5Service;
    else if (type == BluetoothObexAgent::Server)
        daemonService = serverService;
    return isCallFromDaemon(bus(), daemonService, message, errorFor(message, "Rejected"));
}

void BluetoothObexAgentPrivate::removeTransfer(const QDBusObjectPath &transfer)
{
    pendingRequests.remove(transfer);
    transferProperties.remove(transfer.path());
    // Each push keeps its own record: the end of one leaves the others be.
    const IncomingPush push = pushes.take(transfer.path());
    if (push.followed && push.obexdRoot.isEmpty())
        transferSignals->disconnectProgress(transfer.path());
    else if (push.followed)
        obex5Signals->unfollow(transfer.path());
    if (currentTransfer == transfer)
        currentTransfer = QDBusObjectPath();
}

void BluetoothObexAgentPrivate::removePartialFile(const QString &transfer)
{
    const QString file = pushes.value(transfer).receivingFile;
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

QVariant BluetoothObexAgentPrivate::transferProperty(const QDBusObjectPath &transfer,
                                                     const QString &propertyName)
{
    QVariantMap &properties = transferProperties[transfer.path()];
    if (properties.isEmpty()) {
        ObexClientTransferProxy proxy(clientService, transfer.path(), bus());
        if (!proxy.isValid()) {
            qCWarning(lcObex, "Unable to find transfer with path '%s'",
                      qPrintable(transfer.path()));
            return QVariant();
        }
        QDBusPendingReply<QVariantMap> reply = proxy.GetProperties();
        reply.waitForFinished();
        if (reply.isError()) {
            qCWarning(lcObex, "%s returned error '%s': %s", "GetProperties",
                      qPrintable(reply.error().name()), qPrintable(reply.error().message()));
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
    const ObexDaemon::Generation generation = daemon->generation();
    if (generation == ObexDaemon::None || generation == registeredWith)
        return;
    const bool obexd5 = generation == ObexDaemon::Obexd5;
    QDBusMessage call = QDBusMessage::createMethodCall(
        daemon->service(), obexd5 ? obex5ManagerPath : QStringLiteral("/"),
        obexd5 ? obex5AgentManager : managerInterface, QStringLiteral("RegisterAgent"));
    call << QVariant::fromValue(QDBusObjectPath(path));
    const QDBusMessage reply = bus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName().endsWith(QLatin1String(".Error.AlreadyExists"))) {
            agentSlotTaken(reply);
            return;
        }
        qCWarning(lcObex).noquote()
            << "BluetoothObexAgentPrivate: dbus error: " << QDBusError(reply);
        return;
    }
    const bool wasRefused = registrationRetry && registrationRetry->isActive();
    if (registrationRetry)
        registrationRetry->stop();
    registeredWith = generation;
    if (obexd5)
        removeStaleIncomingFiles();
    if (wasRefused)
        qCInfo(lcObex, "The OBEX agent is registered: pushes are received again");
    Q_EMIT q->serviceRegistered();
}

void BluetoothObexAgentPrivate::removeStaleIncomingFiles()
{
    // obexd 5 stores in ~/.cache/obexd unless started with another root.
    QSet<QString> roots = obexdRoots;
    roots.insert(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                 + QStringLiteral("/obexd"));
    static const QRegularExpression ours(QStringLiteral(
        "^incoming-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    // Registered just now: no push of obexd is any agent's at this moment.
    for (const QString &root : std::as_const(roots)) {
        const QStringList names = QDir(root).entryList({ QStringLiteral("incoming-*") }, QDir::Files);
        for (const QString &name : names) {
            if (ours.match(name).hasMatch() && QFile::remove(root + u'/' + name))
                qCInfo(lcObex, "Removed %s/%s, left by a push that was never finished",
                       qPrintable(root), qPrintable(name));
        }
    }
}

void BluetoothObexAgentPrivate::agentSlotTaken(const QDBusMessage &reply)
{
    // Told once per refusal, then asked again quietly until obexd takes ours.
    if (registrationRetry && registrationRetry->isActive())
        return;
    if (!registrationRetry) {
        registrationRetry = new QTimer(this);
        registrationRetry->setInterval(registrationRetryMs);
        connect(registrationRetry, &QTimer::timeout, this, &BluetoothObexAgentPrivate::registerAgent);
    }
    registrationRetry->start();
    qCWarning(lcObex, "Another agent receives obexd's pushes; asking again every %d s",
              registrationRetryMs / 1000);
    Q_EMIT q->serviceRefused(QDBusError(reply).message());
}

void BluetoothObexAgentPrivate::obexdAppeared()
{
    registerAgent();
}

void BluetoothObexAgentPrivate::obexdLeft()
{
    // A new obexd is asked when it comes, not before.
    if (registrationRetry)
        registrationRetry->stop();
    // Still registered with a daemon that runs (the other generation left).
    if (registeredWith != ObexDaemon::None && registeredWith == daemon->generation())
        return;
    registeredWith = ObexDaemon::None;
    const QPointer<BluetoothObexAgent> alive(q);
    failEveryPush();
    if (!alive)
        return;
    Q_EMIT q->serviceUnregistered();
    if (daemon->generation() == ObexDaemon::None)
        daemon->start();
    else
        registerAgent();
}

// --- org.openobex.Agent ------------------------------------------------------

void BluetoothObexAgentPrivate::Release(const QDBusMessage &message)
{
    fromDaemon(message);
}

QString BluetoothObexAgentPrivate::Request(const QDBusObjectPath &transfer,
                                           const QDBusMessage &message)
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

void BluetoothObexAgentPrivate::Complete(const QDBusObjectPath &transfer,
                                         const QDBusMessage &message)
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

QString BluetoothObexAgentPrivate::Authorize(const QDBusObjectPath &transfer,
                                             const QString &btAddress, const QString &name,
                                             const QString &type, int length, int time,
                                             const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return QString();
    IncomingPush push;
    push.remoteDeviceAddress = btAddress;
    push.size = remoteLength(length);
    nameIncomingPush(&push, name, type);
    askOwner(transfer, push, time, message);
    return QString();
}

void BluetoothObexAgentPrivate::nameIncomingPush(IncomingPush *push, const QString &remoteName,
                                                 const QString &mime)
{
    // The name comes from the remote device: nothing of it may choose a folder.
    push->safeName = safeFileName(remoteName);
    push->mimeType = mime.isEmpty() ? MimeTypeResolver::mimeTypeForFilePath(push->safeName) : mime;
    push->fileName = uniqueFileName(push->safeName, push->mimeType);
}

void BluetoothObexAgentPrivate::askOwner(const QDBusObjectPath &transfer, const IncomingPush &push,
                                         int time, const QDBusMessage &message)
{
    message.setDelayedReply(true);
    // A repeated request for the same transfer supersedes the older one,
    // which still gets its answer.
    QDBusMessage older;
    if (takePendingRequest(transfer.path(), &older))
        bus().send(older.createErrorReply(errorFor(older, "Canceled"), QString()));
    // BlueZ 5's obexd asks about every object of a connection on one
    // transfer: one it let in and then failed without a word (a file it could
    // not store) has ended, as a failure.
    const auto earlier = pushes.constFind(transfer.path());
    if (earlier != pushes.constEnd() && earlier->accepted)
        pushEnded(transfer.path(), false);
    removeTransfer(transfer);
    pendingRequests.insert(transfer, message);
    pushes.insert(transfer.path(), push);
    currentTransfer = transfer;
    Q_EMIT q->authorizationRequested(transfer.path(), push.fileName, push.mimeType, push.size,
                                     time);
}

void BluetoothObexAgentPrivate::Cancel(const QDBusMessage &message)
{
    if (fromDaemon(message))
        withdrawCurrentRequest();
}

void BluetoothObexAgentPrivate::withdrawCurrentRequest()
{
    // obexd asks one question at a time: what it withdraws is the last one,
    // if that is still open.
    QString withdrawn;
    QDBusMessage asked;
    if (!currentTransfer.path().isEmpty() && takePendingRequest(currentTransfer.path(), &asked)) {
        withdrawn = currentTransfer.path();
        bus().send(asked.createErrorReply(errorFor(asked, "Canceled"), QString()));
        removeTransfer(currentTransfer);
    }
    Q_EMIT q->cancel(withdrawn);
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
        qCWarning(lcObex,
                  "BluetoothObexAgent: unable to connect org.openobex.Transfer.Progress signal!");
}

void BluetoothObexAgentPrivate::transferProgress(int total, int transfered,
                                                 const QDBusMessage &message)
{
    // A size may be unknown (-1); a negative count of bytes moved is a lie.
    if (transfered < 0) {
        if (isFirstReport(QStringLiteral("obex/Progress/negative")))
            qCWarning(lcObex, "Ignoring Progress of %s: %d bytes transferred",
                      qPrintable(message.path()), transfered);
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
    pushEnded(transfer.path(), success);
}

QString BluetoothObexAgentPrivate::acceptedAnswer(const QString &transfer, IncomingPush *push,
                                                  const QString &fileName)
{
    // obexd stores a bare or relative name in a folder of its own, under
    // the sender's name and past the choice of a free one.
    if (!QFileInfo(fileName).isAbsolute()) {
        qCWarning(lcObex, "Refusing transfer '%s': '%s' is no absolute path", qPrintable(transfer),
                  qPrintable(fileName));
        return QString();
    }
    // Refused before it starts rather than failed when the disk is full.
    for (const QString &folder : { QFileInfo(fileName).absolutePath(), push->obexdRoot }) {
        const QStorageInfo storage(folder);
        if (folder.isEmpty() || !storage.isValid() || push->size <= qulonglong(storage.bytesAvailable()))
            continue;
        qCWarning(lcObex, "Refusing transfer '%s': %llu bytes do not fit in %s", qPrintable(transfer),
                  push->size, qPrintable(folder));
        push->tooBig = true;
        return QString();
    }
    if (push->obexdRoot.isEmpty()) {
        // A file that is already there is not this transfer's to delete. Asked
        // before answering: obexd makes the file as soon as it has the answer.
        if (!QFile::exists(fileName))
            push->receivingFile = fileName;
        return fileName;
    }
    // BlueZ 5's obexd takes only paths inside its root, and it creates or
    // truncates the file before it checks that: it is given a fresh name
    // there, and the file is moved where the owner wants it once complete.
    push->finalFile = fileName;
    obexdRoots.insert(push->obexdRoot);
    do {
        push->receivingFile = push->obexdRoot + QStringLiteral("/incoming-")
            + QUuid::createUuid().toString(QUuid::WithoutBraces);
    } while (QFileInfo::exists(push->receivingFile));
    return push->receivingFile;
}

void BluetoothObexAgentPrivate::pushEnded(const QString &transfer, bool success)
{
    const IncomingPush push = pushes.value(transfer);
    // obexd acts on a cancel at its next packet: after the last one it tells
    // the push complete. The user cancelled it all the same: nothing is kept.
    const bool kept = success && !push.canceled;
    // A push that failed leaves nothing behind.
    if (!kept)
        removePartialFile(transfer);
    // The record goes now: obexd 5 may ask about the connection's next file
    // on the same transfer while this one is still being stored.
    removeTransfer(QDBusObjectPath(transfer));
    if (!kept) {
        Q_EMIT q->error(transfer,
                        push.canceled ? QStringLiteral("Transfer canceled")
                                      : QStringLiteral("Transfer completed unsuccessfully"));
        return;
    }
    storeReceivedFile(push, [this, transfer](bool stored) {
        if (stored)
            Q_EMIT q->complete(transfer);
        else
            Q_EMIT q->error(transfer, QStringLiteral("Unable to store the received file"));
    });
}

void BluetoothObexAgentPrivate::storeReceivedFile(const IncomingPush &push,
                                                  const std::function<void(bool)> &done)
{
    if (push.finalFile.isEmpty()) {
        done(true);
        return;
    }
    // The free name is chosen when the file is through: the folder may have
    // gained a file of that name while the push ran. Where the owner took
    // the name offered, the choice starts again from the sender's, as it
    // did then.
    const QFileInfo wanted(push.finalFile);
    const QString first = wanted.fileName() == push.fileName
        ? wanted.absolutePath() + u'/' + push.safeName
        : push.finalFile;
    ReceivedFileMover::move(push.receivingFile, first, &BluetoothObexAgentPrivate::freePath, this,
                            done);
}

// --- obexd's signals ---------------------------------------------------------

bool TransferSignals::connectManager()
{
    const bool started = bus().connect(QString(), QStringLiteral("/"), managerInterface,
                                       QStringLiteral("TransferStarted"), this,
                                       SLOT(transferStarted(QDBusMessage)));
    if (!started)
        qCWarning(
            lcObex,
            "BluetoothObexAgent: unable to connect org.openobex.Manager.TransferStarted signal!");
    const bool completed = bus().connect(QString(), QStringLiteral("/"), managerInterface,
                                         QStringLiteral("TransferCompleted"), this,
                                         SLOT(transferCompleted(QDBusMessage)));
    if (!completed)
        qCWarning(
            lcObex,
            "BluetoothObexAgent: unable to connect org.openobex.Manager.TransferCompleted signal!");
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
    if (type == Server) {
        d_ptr->transferSignals->connectManager();
        d_ptr->obex5Signals->connectManager();
    }
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
    if (d_ptr->daemon)
        return;
    d_ptr->daemon = new ObexDaemon(ObexDaemon::Receiving, d_ptr);
    connect(d_ptr->daemon, &ObexDaemon::appeared, d_ptr, &BluetoothObexAgentPrivate::obexdAppeared);
    connect(d_ptr->daemon, &ObexDaemon::left, d_ptr, &BluetoothObexAgentPrivate::obexdLeft);
    if (d_ptr->daemon->generation() != ObexDaemon::None)
        d_ptr->registerAgent();
    else
        d_ptr->obexdLeft();
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
    const auto push = d_ptr->pushes.find(transfer);
    if (d_ptr->type == Server && push != d_ptr->pushes.end()) {
        const QString answer = d_ptr->acceptedAnswer(transfer, &*push, fileName);
        if (answer.isEmpty()) {
            const bool tooBig = push->tooBig;
            bus().send(message.createErrorReply(
                BluetoothObexAgentPrivate::errorFor(message, "Rejected"), QString()));
            d_ptr->removeTransfer(QDBusObjectPath(transfer));
            // The owner accepted it: it hears why nothing comes.
            if (tooBig)
                Q_EMIT error(transfer, QStringLiteral("Not enough free space for the file"));
            return;
        }
        push->accepted = true;
        // Followed from now on: obexd may report the end before the answer is read.
        if (!push->obexdRoot.isEmpty())
            push->followed = d_ptr->obex5Signals->follow(transfer);
        bus().send(message.createReply(answer));
        return;
    }
    bus().send(message.createReply(fileName));
}

void BluetoothObexAgent::rejectTransfer(const QString &transfer)
{
    QDBusMessage message;
    if (!d_ptr->takePendingRequest(transfer, &message)) {
        qCWarning(lcObex, "Invalid request for transfer '%s'", qPrintable(transfer));
        return;
    }
    bus().send(message.createErrorReply(BluetoothObexAgentPrivate::errorFor(message, "Rejected"),
                                        QString()));
    d_ptr->removeTransfer(QDBusObjectPath(transfer));
}

void BluetoothObexAgent::cancelTransfer(const QString &transfer)
{
    QDBusMessage message;
    if (d_ptr->takePendingRequest(transfer, &message)) {
        bus().send(message.createErrorReply(
            BluetoothObexAgentPrivate::errorFor(message, "Canceled"), QString()));
        d_ptr->removeTransfer(QDBusObjectPath(transfer));
        return;
    }
    // Running already: obexd stops it and reports the end as usual.
    const auto push = d_ptr->pushes.find(transfer);
    if (push != d_ptr->pushes.end())
        push->canceled = true;
    const bool obexd5 = d_ptr->daemon && d_ptr->daemon->generation() == ObexDaemon::Obexd5;
    // obexd 5 keeps one transfer for every object of a connection, and a
    // cancel with none running waits there to spoil the next one.
    if (obexd5 && d_ptr->type == Server && (push == d_ptr->pushes.end() || !push->accepted)) {
        qCDebug(lcObex, "Cancel: %s has no push running", qPrintable(transfer));
        return;
    }
    const QString service = d_ptr->type == Client ? clientService
        : obexd5                                  ? obex5Service
                                                  : serverService;
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, transfer, obexd5 ? obex5Transfer : transferInterface, QStringLiteral("Cancel"));
    const QDBusMessage reply = bus().call(call);
    // A transfer that ended meanwhile is gone from obexd: its end is on its way.
    if (QDBusError(reply).type() == QDBusError::UnknownObject)
        qCDebug(lcObex, "Cancel: %s has ended already", qPrintable(transfer));
    else if (reply.type() == QDBusMessage::ErrorMessage)
        qCWarning(lcObex, "%s returned error '%s': %s", "Cancel", qPrintable(reply.errorName()),
                  qPrintable(reply.errorMessage()));
}

} // namespace Ovrin
