#ifndef OVRIN_BLUETOOTHFILESENDPROCESS_H
#define OVRIN_BLUETOOTHFILESENDPROCESS_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>
#include <QStringList>

namespace Ovrin {

class BluetoothFileSendProcessPrivate;
class ConnectivityDialogServerInterface;

/// Sends files (and contacts, as vCards) to one device over OBEX Object Push,
/// shows the transfer in the transfer UI, and reports progress and speed.
/// A process sends once.
///
///     auto *send = new Ovrin::BluetoothFileSendProcess(nullptr, this);
///     send->addFiles({ "/home/user/MyDocs/Pictures/photo.jpg", "contact:42" });
///     send->setDestination(device);
///     connect(send, &BluetoothFileSendProcess::finished, send, &QObject::deleteLater);
///     send->start();
class OVRIN_EXPORT BluetoothFileSendProcess : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList fileNames READ fileNames)
    Q_PROPERTY(Ovrin::BluetoothDevice destination READ destination WRITE setDestination)
    Q_PROPERTY(int transferSpeed READ transferSpeed)
    Q_PROPERTY(qulonglong transferedBytes READ transferedBytes)
    Q_PROPERTY(qulonglong totalBytes READ totalBytes)
    Q_PROPERTY(int transferedFiles READ transferedFiles)
    Q_PROPERTY(int totalFiles READ totalFiles)
    Q_PROPERTY(QString currentFile READ currentFile)
public:
    /// A process that tells dialogServer (not owned; may be null) while it sends.
    explicit BluetoothFileSendProcess(ConnectivityDialogServerInterface *dialogServer = nullptr,
                                      QObject *parent = nullptr);
    ~BluetoothFileSendProcess() override;

    /// A local path, a "file://" URL, or a contact reference ("contact:...").
    void addFile(const QString &file);
    /// addFile() for each.
    void addFiles(const QStringList &files);
    /// The device to send to; needed before start().
    void setDestination(const BluetoothDevice &device);
    /// The device of setDestination(), or an invalid one.
    BluetoothDevice destination() const;
    /// The send was started by touching devices (NFC): told so to the transfer UI.
    void setNfcTransfer(bool nfc);

    /// The local paths to send, contacts as the vCard files made for them.
    QStringList fileNames() const;
    /// Bytes per second at the last sample (about once a second).
    int transferSpeed() const;
    /// Bytes of all files sent so far.
    qulonglong transferedBytes() const;
    /// Bytes of all files together.
    qulonglong totalBytes() const;
    /// Files sent completely so far.
    int transferedFiles() const;
    /// Files to send.
    int totalFiles() const;
    /// The file being sent now.
    QString currentFile() const;

public Q_SLOTS:
    /// Starts sending; false (after error()) without a destination or when
    /// started before.
    bool start();
    /// Stops a running send: the transfer UI entry shows the cancellation,
    /// the running file is cancelled with obex-client, and finished() follows.
    void cancel();

Q_SIGNALS:
    /// A sample of the figures above, or a file done.
    void progress();
    /// Every file was sent, or the send was cancelled (cancel(), or the user
    /// in the transfer UI). A send ends with this or with error(), once.
    void finished();
    /// The send failed (or could not start); error tells why. Also when
    /// obex-client leaves the bus at any time while sending (an empty text).
    void error(const QString &error);

private:
    friend class BluetoothFileSendProcessPrivate;
    BluetoothFileSendProcessPrivate *d_ptr;
    Q_DISABLE_COPY(BluetoothFileSendProcess)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHFILESENDPROCESS_H
