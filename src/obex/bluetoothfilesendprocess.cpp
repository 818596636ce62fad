#include "bluetoothfilesendprocess.h"

#include "bluetoothfilesendprocess_p.h"
#include "bluetoothtransfertracker.h"
#include "connectivitydialogserverinterface.h"
#include "contactexporter.h"
#include "firstreport.h"
#include "mimetyperesolver.h"
#include "obexd4sendsession.h"
#include "obexd5sendsession.h"
#include "obexlogging.h"

#include <QDebug>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>

namespace Ovrin {

namespace {

bool isRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

} // namespace

BluetoothFileSendProcessPrivate::BluetoothFileSendProcessPrivate(
    ConnectivityDialogServerInterface *dialogServer, BluetoothFileSendProcess *q)
    : QObject(q)
    , dialogServer(dialogServer)
    , q(q)
{
}

BluetoothFileSendProcessPrivate::~BluetoothFileSendProcessPrivate()
{
    // A send dropped half way is stopped, not left running for nobody, and
    // the dialog server does not keep a process that is gone.
    delete session;
    tellDialogServer(false);
    removeTemporaryFiles();
    delete tracker;
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
    const QString candidates[]
        = { QUrl::fromEncoded(url.toUtf8()).toLocalFile(), QUrl(url).toLocalFile(),
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
    tellDialogServer(false);
    Q_EMIT q->error(error);
    return false;
}

void BluetoothFileSendProcessPrivate::tellDialogServer(bool sending)
{
    if (!dialogServer || sending == heldByDialogServer)
        return;
    heldByDialogServer = sending;
    const QString name = nfcTransfer ? QStringLiteral("SendingNfcProcess")
                                     : QStringLiteral("SendingBluetoothProcess");
    dialogServer->setProcessObject(name, sending ? QVariant::fromValue<QObject *>(q) : QVariant());
}

bool BluetoothFileSendProcessPrivate::start()
{
    totalFiles = transferedFiles = transferSpeed = 0;
    totalBytes = completedBytes = lastTransferred = currentFileSize = 0;
    currentFile.clear();

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

    // From here on a process has been started, whatever comes of it.
    stage = Stage::Ended;
    tellDialogServer(true);
    if (!startSession())
        return false;
    createTracker();
    stage = Stage::Sending;
    return true;
}

bool BluetoothFileSendProcessPrivate::startSession()
{
    daemon = new ObexDaemon(ObexDaemon::Sending, this);
    ObexDaemon::Generation generation = daemon->generation();
    if (generation == ObexDaemon::None)
        generation = daemon->start();
    if (generation == ObexDaemon::None)
        return failStart(QStringLiteral("Unable to start openobex client!"));
    if (generation == ObexDaemon::Obexd5)
        session = new Obexd5SendSession(daemon, this);
    else
        session = new Obexd4SendSession(daemon, this);
    connect(session, &ObexSendSession::fileStarted, this,
            &BluetoothFileSendProcessPrivate::fileStarted);
    connect(session, &ObexSendSession::progress, this, &BluetoothFileSendProcessPrivate::progress);
    connect(session, &ObexSendSession::fileCompleted, this,
            &BluetoothFileSendProcessPrivate::complete);
    connect(session, &ObexSendSession::failed, this, &BluetoothFileSendProcessPrivate::fail);
    QString error;
    if (!session->start(destination->address(), fileNames, &error))
        return failStart(error);
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
    if (session)
        session->cancel();
    currentFile.clear();
    removeTemporaryFiles();
}

void BluetoothFileSendProcessPrivate::fileStarted(const QString &file, qulonglong size)
{
    if (stage != Stage::Sending)
        return;
    currentFileSize = size;
    lastTransferred = 0;
    currentFile = file;
    speedTimer.start();
    Q_EMIT q->progress();
}

void BluetoothFileSendProcessPrivate::progress(qulonglong transfered, qulonglong total)
{
    if (stage != Stage::Sending)
        return;
    // No more can have been sent than the file holds: a larger count is a lie.
    const qint64 fileBytes = QFileInfo(currentFile).size();
    if (transfered > quint64(qMax<qint64>(0, fileBytes))) {
        if (isFirstReport(QStringLiteral("obex/send/beyond")))
            qCWarning(lcObex, "Ignoring progress of %s: %llu bytes sent of %lld",
                      qPrintable(currentFile), transfered, fileBytes);
        return;
    }
    // The session reports about once a second: each report is a sample.
    const qint64 elapsed = qMax<qint64>(speedTimer.elapsed(), 1);
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
    const float fraction
        = totalBytes ? float(completedBytes + transfered) / float(totalBytes) : 0.0f;
    tracker->updateStatus(qMin(fraction, 1.0f), seconds, transferSpeed);
    Q_EMIT q->progress();
}

void BluetoothFileSendProcessPrivate::complete()
{
    if (stage != Stage::Sending)
        return;
    completedBytes += currentFileSize;
    lastTransferred = 0;
    currentFileSize = 0;
    ++transferedFiles;
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

QString BluetoothFileSendProcessPrivate::failureMessage(bool refused) const
{
    const char *reason = refused ? "qtn_conn_bt_t_canceled" : "qtn_conn_bt_t_connection_failed";
    const QString name = destination ? destination->name() : QString();
    return qtTrId("qtn_conn_bt_t_send_cant") + u' ' + qtTrId(reason).arg(name);
}

void BluetoothFileSendProcessPrivate::fail(const QString &error, bool refused)
{
    if (stage != Stage::Sending)
        return;
    if (nfcTransfer)
        tracker->setError(qtTrId("qtn_nfc_tuidialog_nok_tit"), QString());
    else
        tracker->setError(qtTrId("qtn_conn_bt_t_error"), failureMessage(refused));
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

void BluetoothFileSendProcessPrivate::removeTemporaryFiles()
{
    qDeleteAll(temporaryFiles);
    temporaryFiles.clear();
}

// --- public -----------------------------------------------------------------

BluetoothFileSendProcess::BluetoothFileSendProcess(ConnectivityDialogServerInterface *dialogServer,
                                                   QObject *parent)
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
    if (d_ptr->stage != BluetoothFileSendProcessPrivate::Stage::Idle) {
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
