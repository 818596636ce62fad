#ifndef OVRIN_BLUETOOTHFILESENDPROCESS_P_H
#define OVRIN_BLUETOOTHFILESENDPROCESS_P_H

#include "bluetoothfilesendprocess.h"

#include <QElapsedTimer>
#include <QObject>

class QDBusPendingCallWatcher;
class QTemporaryFile;

namespace Ovrin {

class BluetoothObexAgent;
class BluetoothTransferTracker;

class BluetoothFileSendProcessPrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothFileSendProcessPrivate(ConnectivityDialogServerInterface *dialogServer,
                                    BluetoothFileSendProcess *q);
    ~BluetoothFileSendProcessPrivate() override;

    void addContact(const QString &iri);
    void addFileUrl(const QString &url);
    bool failStart(const QString &error);
    void tellDialogServer(bool sending);
    void createTracker();
    QString failureMessage(const QString &error) const;

    ConnectivityDialogServerInterface *dialogServer;
    BluetoothFileSendProcess *q;
    BluetoothDevice *destination = nullptr;
    QStringList fileNames;
    QDBusPendingCallWatcher *watcher = nullptr;
    BluetoothObexAgent *agent = nullptr;
    bool canceled = false;
    quint64 lastTransferred = 0;
    quint64 currentFileSize = 0;
    quint64 completedBytes = 0;
    quint64 totalBytes = 0;
    QElapsedTimer speedTimer;
    int transferSpeed = 0;
    int transferedFiles = 0;
    int totalFiles = 0;
    QString currentFile;
    QString currentTransfer;
    BluetoothTransferTracker *tracker = nullptr;
    QList<QTemporaryFile *> temporaryFiles;
    bool nfcTransfer = false;

public Q_SLOTS:
    bool start();
    void cancel();
    void authorizationRequested(const QString &transfer, const QString &name, const QString &mimeType,
                                qulonglong length, int time);
    void progress(const QString &transfer, qulonglong transfered, qulonglong total);
    void complete(const QString &transfer);
    void error(const QString &transfer, const QString &error);
    void trackerCanceled();
    void callFinished(QDBusPendingCallWatcher *call);
    void removeTemporaryFiles();
    void obexClientServiceUnregistered(const QString &service);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHFILESENDPROCESS_P_H
