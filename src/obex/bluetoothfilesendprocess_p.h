#ifndef OVRIN_BLUETOOTHFILESENDPROCESS_P_H
#define OVRIN_BLUETOOTHFILESENDPROCESS_P_H

#include "bluetoothfilesendprocess.h"

#include <QElapsedTimer>
#include <QObject>

class QTemporaryFile;

namespace Ovrin {

class BluetoothTransferTracker;
class ObexDaemon;
class ObexSendSession;

class BluetoothFileSendProcessPrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothFileSendProcessPrivate(ConnectivityDialogServerInterface *dialogServer,
                                    BluetoothFileSendProcess *q);
    ~BluetoothFileSendProcessPrivate() override;

    // Where a started send stands: it ends once, by one of the three ways.
    enum class Stage { Idle, Sending, Ended };

    void addContact(const QString &iri);
    void addFileUrl(const QString &url);
    bool failStart(const QString &error);
    void tellDialogServer(bool sending);
    void createTracker();
    bool startSession();
    QString failureMessage(bool refused) const;
    // Ends the send as failed: shown in the transfer UI, then error().
    void fail(const QString &error, bool refused);

    ConnectivityDialogServerInterface *dialogServer;
    BluetoothFileSendProcess *q;
    BluetoothDevice *destination = nullptr;
    QStringList fileNames;
    // Which obexd runs, and the send in its words; from start() on.
    ObexDaemon *daemon = nullptr;
    ObexSendSession *session = nullptr;
    Stage stage = Stage::Idle;
    // The dialog server holds this process: it is told when the send ends.
    bool heldByDialogServer = false;
    quint64 lastTransferred = 0;
    quint64 currentFileSize = 0;
    quint64 completedBytes = 0;
    quint64 totalBytes = 0;
    QElapsedTimer speedTimer;
    int transferSpeed = 0;
    int transferedFiles = 0;
    int totalFiles = 0;
    QString currentFile;
    BluetoothTransferTracker *tracker = nullptr;
    QList<QTemporaryFile *> temporaryFiles;
    bool nfcTransfer = false;

public Q_SLOTS:
    bool start();
    void cancel();
    void fileStarted(const QString &file, qulonglong size);
    void progress(qulonglong transfered, qulonglong total);
    void complete();
    // The user (in the transfer UI) or the owner cancelled: finished() follows.
    void cancelSend();
    void removeTemporaryFiles();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHFILESENDPROCESS_P_H
