#include "bluetoothfilesendprocess.h"

#include "bluetoothfilesendprocess_p.h"
#include "bluetoothobexagent.h"
#include "bluetoothtransfertracker.h"
#include "connectivitydialogserverinterface.h"
#include "contactexporter.h"
#include "mimetyperesolver.h"
#include "obexclientproxy.h"
#include "obexlogging.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>

namespace Ovrin {

namespace {

const QString clientService = QStringLiteral("org.openobex.client");

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

bool isRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

} // namespace

BluetoothFileSendProcessPrivate::BluetoothFileSendProcessPrivate(ConnectivityDialogServerInterface *dialogServer,
                                                                 BluetoothFileSendProcess *q)
    : QObject(q)
    , dialogServer(dialogServer)
    , q(q)
{
}

BluetoothFileSendProcessPrivate::~BluetoothFileSendProcessPrivate()
{
    // A send dropped half way is stopped, not left running for nobody, and
    // the dialog server does not keep a process that is gone.
    if (agent && !currentTransfer.isEmpty())
        agent->cancelTransfer(currentTransfer);
    tellDialogServer(false);
    removeTemporaryFiles();
    delete tracker;
    delete agent;
    delete destination;
}

void BluetoothFileSendProcessPrivate::addContact(const QString &iri)
{
    QTemporaryFile *card = ContactExporter::createContactCardFile(iri);
    if (!card) {
        qCWarning(lcObex) << "Contact card file creation failed for" << iri;
        return;
    }
    temporaryFiles.append(card);
    const QString path = QFileInfo(card->fileName()).absoluteFilePath();
    fileNames.append(path);
    qCWarning(lcObex) << path;
}

void BluetoothFileSendProcessPrivate::addFileUrl(const QString &url)
{
    const QString candidates[] = { QUrl::fromEncoded(url.toUtf8()).toLocalFile(), QUrl(url).toLocalFile(),
                                   QString(url).remove(QStringLiteral("file://")) };
    for (const QString &candidate : candidates) {
        if (!candidate.isEmpty() && isRegularFile(candidate)) {
            qCDebug(lcObex, "BluetoothFileSendProcess: Adding file %s", qPrintable(candidate));
            fileNames.append(candidate);
            return;
        }
    }
    qCWarning(lcObex, "BluetoothFileSendProcess: File %s does not exist!", qPrintable(url));
}

bool BluetoothFileSendProcessPrivate::failStart(const QString &error)
{
    if (agent)
        stage = Stage::Ended;
    tellDialogServer(false);
    Q_EMIT q->error(error);
    return false;
}

void BluetoothFileSendProcessPrivate::tellDialogServer(bool sending)
{
    if (!dialogServer || sending == heldByDialogServer)
        return;
    heldByDialogServer = sending;
    const QString name = nfcTransfer ? QStringLiteral("SendingNfcProcess") : QStringLiteral("SendingBluetoothProcess");
    dialogServer->setProcessObject(name, sending ? QVariant::fromValue<QObject *>(q) : QVariant());
}

bool BluetoothFileSendProcessPrivate::start()
{
    totalFiles = transferedFiles = transferSpeed = 0;
    totalBytes = completedBytes = lastTransferred = currentFileSize = 0;
    currentFile.clear();
    currentTransfer.clear();

    QStringList missing;
    for (const QString &file : std::as_const(fileNames)) {
        if (isRegularFile(file)) {
            ++totalFiles;
            totalBytes += quint64(QFileInfo(file).size());
        } else {
            missing.append(file);
        }
    }
    if (totalFiles < 1)
        return failStart(QStringLiteral("No files exist"));
    for (const QString &file : std::as_const(missing))
        fileNames.removeAll(file);

    agent = new BluetoothObexAgent(BluetoothObexAgent::Client);
    connect(agent, &BluetoothObexAgent::authorizationRequested, this,
            &BluetoothFileSendProcessPrivate::authorizationRequested);
    connect(agent, &BluetoothObexAgent::progress, this, &BluetoothFileSendProcessPrivate::progress);
    connect(agent, &BluetoothObexAgent::complete, this, &BluetoothFileSendProcessPrivate::complete);
    connect(agent, &BluetoothObexAgent::error, this, &BluetoothFileSendProcessPrivate::error);
    tellDialogServer(true);

    auto *serviceWatcher = new QDBusServiceWatcher(clientService, bus(),
                                                   QDBusServiceWatcher::WatchForRegistration
                                                           | QDBusServiceWatcher::WatchForUnregistration,
                                                   this);
    connect(serviceWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &BluetoothFileSendProcessPrivate::obexClientServiceUnregistered);
    if (!bus().interface()->isServiceRegistered(clientService)
        && !bus().interface()->startService(clientService).isValid())
        return failStart(QStringLiteral("Unable to start openobex client!"));

    ObexClientProxy client(clientService, QStringLiteral("/"), bus());
    if (!client.isValid())
        return failStart(QStringLiteral("No openobex client found!"));
    const QVariantMap device { { QStringLiteral("Destination"), destination->address() } };
    watcher = new QDBusPendingCallWatcher(client.SendFiles(device, fileNames, QDBusObjectPath(agent->path())),
                                          this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &BluetoothFileSendProcessPrivate::callFinished);
    createTracker();
    stage = Stage::Sending;
    return true;
}

void BluetoothFileSendProcessPrivate::createTracker()
{
    tracker = new BluetoothTransferTracker(BluetoothTransferTracker::Upload);
    if (nfcTransfer)
        tracker->setNfcTransfer(true);
    for (const QString &file : std::as_const(fileNames))
        tracker->addFile(file, MimeTypeResolver::mimeTypeForFilePath(file), QString());
    tracker->setSize(totalBytes);
    tracker->setTargetName(destination->name());
    tracker->updateStatus(0.0, 0, 0);
    connect(tracker, &BluetoothTransferTracker::canceled, this,
            &BluetoothFileSendProcessPrivate::cancelSend);
}

void BluetoothFileSendProcessPrivate::cancel()
{
    stage = Stage::Ended;
    tellDialogServer(false);
    if (!currentTransfer.isEmpty() && agent)
        agent->cancelTransfer(currentTransfer);
    currentTransfer.clear();
    currentFile.clear();
    removeTemporaryFiles();
}

void BluetoothFileSendProcessPrivate::authorizationRequested(const QString &transfer, const QString &name,
                                                             const QString &, qulonglong length, int)
{
    if (stage != Stage::Sending) {
        agent->cancelTransfer(transfer);
        return;
    }
    if (!fileNames.contains(name)) {
        // Only what the user chose leaves the handset.
        qCWarning(lcObex, "Transfer file not in file list: %s", qPrintable(name));
        agent->rejectTransfer(transfer);
        return;
    }
    currentTransfer = transfer;
    currentFileSize = length;
    lastTransferred = 0;
    currentFile = name;
    speedTimer.start();
    agent->authorizeTransfer(transfer, QFileInfo(name).fileName());
    Q_EMIT q->progress();
}

void BluetoothFileSendProcessPrivate::progress(const QString &transfer, qulonglong transfered, qulonglong total)
{
    // What obex-client says of a send that has ended (a cancelled transfer's
    // last words, say) changes nothing.
    if (stage != Stage::Sending)
        return;
    if (transfer != currentTransfer) {
        qCWarning(lcObex, "Progress for wrong transfer %s received! (expected: %s)", qPrintable(transfer),
                  qPrintable(currentTransfer));
        return;
    }
    const qint64 elapsed = speedTimer.elapsed();
    if (elapsed < 1000)
        return;
    // A count that went backwards is no speed at all.
    const quint64 sent = transfered > lastTransferred ? transfered - lastTransferred : 0;
    transferSpeed = int(qMin<quint64>(sent * 1000 / quint64(elapsed), quint64(INT_MAX)));
    speedTimer.start();
    currentFileSize = total;
    lastTransferred = transfered;

    int seconds = 0;
    if (transferSpeed <= 0) {
        tracker->setFileState(currentFile, BluetoothTransferTracker::Pending);
    } else {
        const quint64 median = quint64(qMax(1, tracker->calculateMedianSpeed(transferSpeed)));
        const quint64 done = completedBytes + transfered;
        const quint64 left = totalBytes > done ? totalBytes - done : 0;
        seconds = int(qMin<quint64>(left / median, quint64(INT_MAX)));
        tracker->setFileState(currentFile, BluetoothTransferTracker::Active);
    }
    // Nothing to measure against when every file is empty: 0 until the end.
    const float fraction = totalBytes ? float(completedBytes + transfered) / float(totalBytes) : 0.0f;
    tracker->updateStatus(qMin(fraction, 1.0f), seconds, transferSpeed);
    Q_EMIT q->progress();
}

void BluetoothFileSendProcessPrivate::complete(const QString &transfer)
{
    if (stage != Stage::Sending)
        return;
    if (transfer != currentTransfer) {
        qCWarning(lcObex, "Complete for wrong transfer %s received! (expected: %s)", qPrintable(transfer),
                  qPrintable(currentTransfer));
        return;
    }
    completedBytes += currentFileSize;
    lastTransferred = 0;
    currentFileSize = 0;
    ++transferedFiles;
    currentTransfer.clear();
    tracker->setFileState(currentFile, BluetoothTransferTracker::Done);
    if (transferedFiles != totalFiles) {
        Q_EMIT q->progress();
        return;
    }
    if (totalBytes == 0)
        tracker->updateStatus(1.0f, 0, transferSpeed);
    stage = Stage::Ended;
    // Every file has been read: the contact cards can go.
    removeTemporaryFiles();
    tellDialogServer(false);
    Q_EMIT q->finished();
}

QString BluetoothFileSendProcessPrivate::failureMessage(const QString &error) const
{
    // The remote refused: older daemons name the response, newer ones give its code.
    const bool forbidden = error.contains(QLatin1String("forbidden"), Qt::CaseInsensitive)
            || error.contains(QLatin1String("(0x43)"));
    const char *reason = forbidden ? "qtn_conn_bt_t_canceled"
            : "qtn_conn_bt_t_connection_failed";
    const QString name = destination ? destination->name() : QString();
    return qtTrId("qtn_conn_bt_t_send_cant") + u' ' + qtTrId(reason).arg(name);
}

void BluetoothFileSendProcessPrivate::error(const QString &transfer, const QString &error)
{
    if (stage != Stage::Sending)
        return;
    if (transfer != currentTransfer) {
        qCWarning(lcObex, "Error for wrong transfer %s received! (expected: %s)", qPrintable(transfer),
                  qPrintable(currentTransfer));
        return;
    }
    // That transfer has ended already: nothing of it is left to cancel.
    currentTransfer.clear();
    fail(error);
}

void BluetoothFileSendProcessPrivate::fail(const QString &error)
{
    if (nfcTransfer)
        tracker->setError(qtTrId("qtn_nfc_tuidialog_nok_tit"), QString());
    else
        tracker->setError(qtTrId("qtn_conn_bt_t_error"), failureMessage(error));
    cancel();
    // Last: the owner may delete the process when it hears of the failure.
    Q_EMIT q->error(error);
}

void BluetoothFileSendProcessPrivate::cancelSend()
{
    if (stage != Stage::Sending)
        return;
    cancel();
    // The entry shows the cancellation also when the owner, not the user in
    // the transfer UI, cancelled (there it has ended already).
    tracker->cancelTransfer();
    Q_EMIT q->finished();
}

void BluetoothFileSendProcessPrivate::callFinished(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    watcher = nullptr;
    if (call->isError() && stage == Stage::Sending) {
        const QDBusError failure = call->error();
        fail(QStringLiteral("SendFiles call failed: ") + failure.name() + QStringLiteral(", ")
             + failure.message());
    }
}

void BluetoothFileSendProcessPrivate::removeTemporaryFiles()
{
    qDeleteAll(temporaryFiles);
    temporaryFiles.clear();
}

void BluetoothFileSendProcessPrivate::obexClientServiceUnregistered(const QString &service)
{
    // Between two files as much as during one: no Request would ever come.
    if (service != clientService || stage != Stage::Sending)
        return;
    currentTransfer.clear();
    fail(QString());
}

// --- public -----------------------------------------------------------------

BluetoothFileSendProcess::BluetoothFileSendProcess(ConnectivityDialogServerInterface *dialogServer, QObject *parent)
    : QObject(parent)
    , d_ptr(new BluetoothFileSendProcessPrivate(dialogServer, this))
{
}

BluetoothFileSendProcess::~BluetoothFileSendProcess()
{
    delete d_ptr;
}

void BluetoothFileSendProcess::addFile(const QString &file)
{
    if (file.startsWith(ContactExporter::ContactIriPrefix))
        d_ptr->addContact(file);
    else if (file.startsWith(QLatin1String("file://")))
        d_ptr->addFileUrl(file);
    else
        d_ptr->fileNames.append(file);
}

void BluetoothFileSendProcess::addFiles(const QStringList &files)
{
    for (const QString &file : files)
        addFile(file);
}

void BluetoothFileSendProcess::setDestination(const BluetoothDevice &device)
{
    delete d_ptr->destination;
    d_ptr->destination = new BluetoothDevice(device);
}

BluetoothDevice BluetoothFileSendProcess::destination() const
{
    return d_ptr->destination ? *d_ptr->destination : BluetoothDevice();
}

void BluetoothFileSendProcess::setNfcTransfer(bool nfc)
{
    d_ptr->nfcTransfer = nfc;
}

QStringList BluetoothFileSendProcess::fileNames() const
{
    return d_ptr->fileNames;
}

int BluetoothFileSendProcess::transferSpeed() const
{
    return d_ptr->transferSpeed;
}

qulonglong BluetoothFileSendProcess::transferedBytes() const
{
    return d_ptr->completedBytes + d_ptr->lastTransferred;
}

qulonglong BluetoothFileSendProcess::totalBytes() const
{
    return d_ptr->totalBytes;
}

int BluetoothFileSendProcess::transferedFiles() const
{
    return d_ptr->transferedFiles;
}

int BluetoothFileSendProcess::totalFiles() const
{
    return d_ptr->totalFiles;
}

QString BluetoothFileSendProcess::currentFile() const
{
    return d_ptr->currentFile;
}

bool BluetoothFileSendProcess::start()
{
    if (!d_ptr->destination) {
        Q_EMIT error(QStringLiteral("No destination specified"));
        return false;
    }
    if (d_ptr->agent) {
        Q_EMIT error(QStringLiteral("Process already started"));
        return false;
    }
    return d_ptr->start();
}

void BluetoothFileSendProcess::cancel()
{
    d_ptr->cancelSend();
}

} // namespace Ovrin
