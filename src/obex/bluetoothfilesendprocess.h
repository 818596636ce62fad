#ifndef OVRIN_BLUETOOTHFILESENDPROCESS_H
#define OVRIN_BLUETOOTHFILESENDPROCESS_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>
#include <QStringList>

namespace Ovrin {

class BluetoothFileSendProcessPrivate;
class ConnectivityDialogServerInterface;

// Sends files (and contacts, as vCards) to one device over OBEX Object Push,
// shows the transfer in the transfer UI, and reports progress and speed.
// A process sends once.
//
//     auto *send = new Ovrin::BluetoothFileSendProcess(nullptr, this);
//     send->addFiles({ "/home/user/MyDocs/Pictures/photo.jpg", "contact:42" });
//     send->setDestination(device);
//     connect(send, &BluetoothFileSendProcess::finished, send, &QObject::deleteLater);
//     send->start();
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
    explicit BluetoothFileSendProcess(ConnectivityDialogServerInterface *dialogServer = nullptr,
                                      QObject *parent = nullptr);
    ~BluetoothFileSendProcess() override;

    // A local path, a "file://" URL, or a contact reference ("contact:...").
    void addFile(const QString &file);
    void addFiles(const QStringList &files);
    void setDestination(const BluetoothDevice &device);
    BluetoothDevice destination() const;
    // The send was started by touching devices (NFC): told so to the transfer UI.
    void setNfcTransfer(bool nfc);

    QStringList fileNames() const;
    // Bytes per second at the last sample (about once a second).
    int transferSpeed() const;
    qulonglong transferedBytes() const;
    qulonglong totalBytes() const;
    int transferedFiles() const;
    int totalFiles() const;
    QString currentFile() const;

public Q_SLOTS:
    bool start();
    void cancel();

Q_SIGNALS:
    void progress();
    void finished();
    void error(const QString &error);

private:
    friend class BluetoothFileSendProcessPrivate;
    BluetoothFileSendProcessPrivate *d_ptr;
    Q_DISABLE_COPY(BluetoothFileSendProcess)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHFILESENDPROCESS_H
