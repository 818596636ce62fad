#include "bluetoothtransfertracker.h"
#include "bluetoothtransfertracker_p.h"
#include "obexlogging.h"

#include "client.h"
#include "mimetyperesolver.h"
#include "property.h"
#include "service.h"
#include "transfer.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QObjectCleanupHandler>
#include <QUrl>

#include <algorithm>

namespace Ovrin {

namespace {

const QString defaultBasePath = QStringLiteral("/home/user/MyDocs");
const int maxSpeedSamples = 10;

// The transfer UI refusing a call is no reason to stop following the transfer.
void check(bool accepted, const char *call)
{
    if (!accepted)
        qCWarning(lcObex, "BluetoothTransferTracker: Transfer UI call %s failed!", call);
}

} // namespace

TransferUI::Client *BluetoothTransferTrackerPrivate::client = nullptr;
int BluetoothTransferTrackerPrivate::instances = 0;
QObjectCleanupHandler *BluetoothTransferTrackerPrivate::cleanupHandler = nullptr;
QString BluetoothTransferTrackerPrivate::basePath = defaultBasePath;
ContextProvider::Service *BluetoothTransferTrackerPrivate::contextProviderService = nullptr;
ContextProvider::Property *BluetoothTransferTrackerPrivate::nfcTransferStatusProperty = nullptr;
const QStringList BluetoothTransferTrackerPrivate::contactCardSuffixes
    = { QStringLiteral("vcard"), QStringLiteral("vcf") };

BluetoothTransferTrackerPrivate::BluetoothTransferTrackerPrivate(BluetoothTransferTracker *tracker)
    : QObject(tracker)
    , q(tracker)
{
}

QString BluetoothTransferTrackerPrivate::ensureExistingPath(const QString &path)
{
    if (QFileInfo(path).isDir())
        return path;
    qCWarning(lcObex, "Directory %s does not exist!", qPrintable(path));
    if (QFileInfo(basePath).isDir())
        return basePath;
    // Not the home folder instead: a received file there could be taken for
    // one of the user's own settings files. Without the base folder (the
    // handset lends it out over USB, say) there is nowhere to store.
    qCWarning(lcObex, "Directory %s does not exist!", qPrintable(basePath));
    return QString();
}

QString BluetoothTransferTrackerPrivate::transferTypeString(const char *download,
                                                            const char *upload) const
{
    return qtTrId(type == BluetoothTransferTracker::Download ? download : upload);
}

void BluetoothTransferTrackerPrivate::createTuiTransfer()
{
    if (!client || order.isEmpty())
        return;
    const QString first = order.constFirst();
    tuiTransfer = client->registerTransfer(QFileInfo(first).fileName(),
                                           type == BluetoothTransferTracker::Upload
                                               ? TransferUI::Client::TransferTypeUpload
                                               : TransferUI::Client::TransferTypeDownload,
                                           QString());
    if (!tuiTransfer) {
        qCWarning(lcObex, "Creating Transfer UI transfer failed!");
        return;
    }
    connect(tuiTransfer, &TransferUI::Transfer::cancel, this,
            &BluetoothTransferTrackerPrivate::transferCanceled);

    // Contact cards are small and their size says nothing to the user.
    const QString suffix = QFileInfo(first).suffix();
    if (!suffix.isEmpty() && contactCardSuffixes.contains(suffix))
        check(tuiTransfer->setSize(0), "tuiTransfer->setSize(0)");
    else
        check(tuiTransfer->setSize(size), "tuiTransfer->setSize(sizeBytes)");
    check(tuiTransfer->setEstimate(0), "tuiTransfer->setEstimate(0)");
    check(tuiTransfer->setCanPause(false), "tuiTransfer->setCanPause(false)");
    check(tuiTransfer->setPending(qtTrId("qtn_conn_bt_t_waiting_response").arg(targetName)),
          "tuiTransfer->setPending(qtTrId(\"qtn_conn_bt_t_waiting_response\").arg(targetName))");
    check(tuiTransfer->setFilesCount(order.size()), "tuiTransfer->setFilesCount(states.size())");
    if (!targetName.isEmpty())
        check(tuiTransfer->setTargetName(targetName), "tuiTransfer->setTargetName(targetName)");
    if (nfcTransfer) {
        check(tuiTransfer->setTransferTypeString(
                  transferTypeString("qtn_nfc_tuidialog_dl_tit", "qtn_nfc_tuidialog_up_tit")),
              "tuiTransfer->setTransferTypeString( type == BluetoothTransferTracker::Download ? "
              "qtTrId(\"qtn_nfc_tuidialog_dl_tit\") : qtTrId(\"qtn_nfc_tuidialog_up_tit\"))");
    } else {
        check(tuiTransfer->setTransferTypeString(
                  transferTypeString("qtn_conn_bt_t_receive", "qtn_conn_bt_t_send")),
              "tuiTransfer->setTransferTypeString( type == BluetoothTransferTracker::Download ? "
              "qtTrId(\"qtn_conn_bt_t_receive\") : qtTrId(\"qtn_conn_bt_t_send\"))");
    }
    updateTransferIcon(first, mimeTypes.value(first));
}

bool BluetoothTransferTrackerPrivate::isFinished() const
{
    return ended
        || std::all_of(states.cbegin(), states.cend(), [](BluetoothTransferTracker::State s) {
               return s == BluetoothTransferTracker::Done;
           });
}

int BluetoothTransferTrackerPrivate::filesTransferred() const
{
    return int(std::count(states.cbegin(), states.cend(), BluetoothTransferTracker::Done));
}

void BluetoothTransferTrackerPrivate::showUI()
{
    if (client)
        client->showUI();
    uiShown = true;
}

void BluetoothTransferTrackerPrivate::completeFile(const QString &fileName)
{
    if (!uiShown && !nfcTransfer)
        showUI();
    ended = true;
    const QString uri = uris.value(fileName);
    if (type == BluetoothTransferTracker::Download) {
        // The picture now comes from the stored file.
        const QUrl url(uri);
        const QString stored = url.isLocalFile() ? url.toLocalFile() : uri;
        updateTransferIcon(stored.isEmpty() ? fileName : stored, mimeTypes.value(fileName));
    }
    check(tuiTransfer->markCompleted(true, QString(), uri),
          "tuiTransfer->markCompleted(true, QString(), uris[fileName])");
    check(tuiTransfer->markDone(QString()), "tuiTransfer->markDone()");
    if (nfcTransfer) {
        updateNfcStatus(false);
        check(tuiTransfer->setTransferTypeString(
                  transferTypeString("qtn_nfc_tuidialog_dlrdy_tit", "qtn_nfc_tuidialog_uprdy_tit")),
              "tuiTransfer->setTransferTypeString( type == BluetoothTransferTracker::Download ? "
              "qtTrId(\"qtn_nfc_tuidialog_dlrdy_tit\") : qtTrId(\"qtn_nfc_tuidialog_uprdy_tit\"))");
    }
}

void BluetoothTransferTrackerPrivate::updateTransferIcon(const QString &file,
                                                         const QString &mimeType)
{
    const QString major = mimeType.section(u'/', 0, 0).toLower();
    QString icon = MimeTypeResolver::iconForFileAndMimeType(file, mimeType);
    if (!nfcTransfer && icon == QLatin1String("icon-m-content-file-unknown-inverse"))
        icon = QStringLiteral("icon-m-content-bluetooth-inverse");
    check(tuiTransfer->setIcon(icon), "tuiTransfer->setIcon(iconId)");
    // A received file has no picture before it is stored.
    if ((type == BluetoothTransferTracker::Upload || isFinished())
        && (major == QLatin1String("image") || major == QLatin1String("video")))
        check(tuiTransfer->setThumbnailForFile(file, mimeType),
              "tuiTransfer->setThumbnailForFile(fileName, mimeType)");
}

void BluetoothTransferTrackerPrivate::updateNfcStatus(bool running)
{
    if (!contextProviderService) {
        contextProviderService = new ContextProvider::Service(
            QDBusConnection::SystemBus, QStringLiteral("com.brivo.bt_ui.context"));
        nfcTransferStatusProperty = new ContextProvider::Property(
            *contextProviderService, QStringLiteral("/com/brivo/bt_ui/nfcTransferStatus"));
    }
    if (!running && nfcCounted) {
        cleanupHandler->remove(q);
        nfcCounted = false;
    }
    nfcTransferStatusProperty->setValue(!cleanupHandler->isEmpty());
}

void BluetoothTransferTrackerPrivate::transferCanceled()
{
    // A finished transfer cannot be cancelled any more, and its owner must
    // not hear of a cancel after it heard of the end.
    if (!tuiTransfer || ended)
        return;
    ended = true;
    check(tuiTransfer->markCancelled(), "tuiTransfer->markCancelled()");
    if (client) {
        client->removeTransfer(tuiTransfer->transferId());
        tuiRemoved = true;
    }
    if (nfcTransfer)
        updateNfcStatus(false);
    Q_EMIT q->canceled();
}

BluetoothTransferTracker::BluetoothTransferTracker(Type type, QObject *parent)
    : QObject(parent)
    , d_ptr(new BluetoothTransferTrackerPrivate(this))
{
    d_ptr->type = type;
    ++BluetoothTransferTrackerPrivate::instances;
    if (!BluetoothTransferTrackerPrivate::client) {
        BluetoothTransferTrackerPrivate::client = new TransferUI::Client;
        if (!BluetoothTransferTrackerPrivate::client->isValid())
            qCWarning(lcObex, "BluetoothTransferTrackerPrivate: Unable to initialize TUI client!");
    }
    if (!BluetoothTransferTrackerPrivate::cleanupHandler)
        BluetoothTransferTrackerPrivate::cleanupHandler = new QObjectCleanupHandler;
}

BluetoothTransferTracker::~BluetoothTransferTracker()
{
    Q_D(BluetoothTransferTracker);
    if (d->tuiTransfer) {
        if (d->client && !d->tuiRemoved)
            d->client->removeTransfer(d->tuiTransfer->transferId());
        delete d->tuiTransfer;
        d->tuiTransfer = nullptr;
    }
    // An NFC transfer that goes away unfinished no longer runs.
    if (d->nfcCounted) {
        d->cleanupHandler->remove(this);
        d->nfcCounted = false;
        if (d->nfcTransferStatusProperty)
            d->nfcTransferStatusProperty->setValue(!d->cleanupHandler->isEmpty());
    }
    if (--BluetoothTransferTrackerPrivate::instances == 0) {
        delete BluetoothTransferTrackerPrivate::client;
        BluetoothTransferTrackerPrivate::client = nullptr;
        delete BluetoothTransferTrackerPrivate::cleanupHandler;
        BluetoothTransferTrackerPrivate::cleanupHandler = nullptr;
    }
    delete d_ptr;
}

void BluetoothTransferTracker::addFile(const QString &fileName, const QString &mimeType,
                                       const QString &uri)
{
    Q_D(BluetoothTransferTracker);
    if (d->tuiTransfer) {
        qCWarning(lcObex, "Unable to add files while transfer is ongoing!");
        return;
    }
    if (!d->states.contains(fileName))
        d->order.append(fileName);
    d->mimeTypes.insert(fileName,
                        mimeType.isNull() ? QStringLiteral("application/octet-stream") : mimeType);
    d->states.insert(fileName, Pending);
    d->uris.insert(fileName, uri);
}

void BluetoothTransferTracker::setFileState(const QString &fileName, State state)
{
    Q_D(BluetoothTransferTracker);
    const auto it = d->states.find(fileName);
    if (it == d->states.end() || it.value() == state || !d->tuiTransfer)
        return;
    it.value() = state;
    // Once the transfer has ended its entry shows the outcome and nothing else.
    if (d->ended)
        return;
    if (state == Pending) {
        check(
            d->tuiTransfer->setPending(qtTrId("qtn_conn_bt_t_waiting_response").arg(d->targetName)),
            "tuiTransfer->setPending(qtTrId(\"qtn_conn_bt_t_waiting_response\").arg(targetName))");
        return;
    }
    if (state == Active) {
        check(d->tuiTransfer->setName(QFileInfo(fileName).fileName()),
              "tuiTransfer->setName(fileInfo.fileName())");
        d->updateTransferIcon(fileName, d->mimeTypes.value(fileName));
        check(d->tuiTransfer->setActive(0.0f), "tuiTransfer->setActive()");
        if (d->nfcTransfer)
            d->updateNfcStatus(true);
    }
    if (!d->isFinished())
        check(d->tuiTransfer->setCurrentFileIndex(d->filesTransferred() + 1),
              "d_ptr->tuiTransfer->setCurrentFileIndex(d_ptr->filesTransferred() + 1)");
    else
        d->completeFile(fileName);
}

BluetoothTransferTracker::State
BluetoothTransferTracker::transferState(const QString &fileName) const
{
    Q_D(const BluetoothTransferTracker);
    return d->states.value(fileName, Pending);
}

QStringList BluetoothTransferTracker::files() const
{
    Q_D(const BluetoothTransferTracker);
    return d->order;
}

QString BluetoothTransferTracker::targetName() const
{
    Q_D(const BluetoothTransferTracker);
    return d->targetName;
}

void BluetoothTransferTracker::setTargetName(const QString &targetName)
{
    Q_D(BluetoothTransferTracker);
    d->targetName = targetName;
    if (d->tuiTransfer)
        check(d->tuiTransfer->setTargetName(targetName),
              "d_ptr->tuiTransfer->setTargetName(targetName)");
}

void BluetoothTransferTracker::setNfcTransfer(bool nfc)
{
    Q_D(BluetoothTransferTracker);
    d->nfcTransfer = nfc;
    // Counted once however often it is said.
    if (nfc && !d->nfcCounted) {
        d->cleanupHandler->add(this);
        d->nfcCounted = true;
    }
}

int BluetoothTransferTracker::calculateMedianSpeed(int speed)
{
    Q_D(BluetoothTransferTracker);
    if (d->speedSamples.size() >= maxSpeedSamples)
        d->speedSamples.removeFirst();
    d->speedSamples.append(speed);
    if (d->speedSamples.size() < 3)
        return speed;
    QList<int> sorted = d->speedSamples;
    std::sort(sorted.begin(), sorted.end());
    return sorted.at(sorted.size() / 2);
}

QString BluetoothTransferTracker::filePath(const QString &fileName) const
{
    Q_D(const BluetoothTransferTracker);
    if (fileName.startsWith(u'/'))
        return fileName;
    return filePath(fileName, d->mimeTypes.value(fileName));
}

QString BluetoothTransferTracker::filePath(const QString &fileName, const QString &mimeType)
{
    if (fileName.startsWith(u'/'))
        return fileName;
    // Names come from remote devices: folders in them, ".." above all, must
    // not take the file out of the folder of its type.
    const QString name = fileName.section(u'/', -1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        qCWarning(lcObex, "BluetoothTransferTracker: no file name in '%s'", qPrintable(fileName));
        return QString();
    }
    QString folder = BluetoothTransferTrackerPrivate::basePath;
    if (mimeType.startsWith(QLatin1String("audio")))
        folder += QLatin1String("/Music");
    else if (mimeType.startsWith(QLatin1String("image")))
        folder += QLatin1String("/Pictures");
    else if (mimeType.startsWith(QLatin1String("video")))
        folder += QLatin1String("/Movies");
    folder = BluetoothTransferTrackerPrivate::ensureExistingPath(folder);
    return folder.isEmpty() ? QString() : folder + u'/' + name;
}

QString BluetoothTransferTracker::basePath()
{
    return BluetoothTransferTrackerPrivate::basePath;
}

void BluetoothTransferTracker::setBasePath(const QString &path)
{
    BluetoothTransferTrackerPrivate::basePath = path.isEmpty() ? defaultBasePath : path;
}

void BluetoothTransferTracker::updateStatus(float done, int seconds, int speed)
{
    Q_UNUSED(speed)
    Q_D(BluetoothTransferTracker);
    if (d->ended) {
        if (d->nfcTransfer)
            d->updateNfcStatus(false);
        return;
    }
    // The entry first, so that the window comes up with the transfer in it.
    if (!d->tuiTransfer)
        d->createTuiTransfer();
    if (!d->tuiTransfer)
        return;
    if (!d->uiShown && !d->nfcTransfer && done > 0.0f)
        d->showUI();
    if (!d->isFinished())
        check(d->tuiTransfer->updateStatus(done, seconds),
              "d_ptr->tuiTransfer->updateStatus(done, seconds)");
    else if (d->nfcTransfer)
        d->updateNfcStatus(false);
}

void BluetoothTransferTracker::setSize(quint64 bytes)
{
    Q_D(BluetoothTransferTracker);
    d->size = bytes;
    if (d->tuiTransfer)
        check(d->tuiTransfer->setSize(bytes), "d_ptr->tuiTransfer->setSize(bytes)");
}

void BluetoothTransferTracker::setError(const QString &title, const QString &errorMsg)
{
    Q_D(BluetoothTransferTracker);
    if (d->ended)
        return;
    d->ended = true;
    if (d->tuiTransfer)
        check(d->tuiTransfer->markFailure(title, errorMsg),
              "d_ptr->tuiTransfer->markFailure(title, errorMsg)");
    if (d->nfcTransfer)
        d->updateNfcStatus(false);
}

void BluetoothTransferTracker::cancelTransfer()
{
    Q_D(BluetoothTransferTracker);
    d->transferCanceled();
}

} // namespace Ovrin
