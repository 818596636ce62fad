#ifndef OVRIN_BLUETOOTHOBEXAGENT_H
#define OVRIN_BLUETOOTHOBEXAGENT_H

#include "ovringlobal.h"

#include <QDBusContext>
#include <QObject>

namespace Ovrin {

class BluetoothObexAgentPrivate;

// The agent obexd asks before a file is received (Server) or before each file
// of a send (Client). Every request stays open until the owner answers it
// with authorizeTransfer(), rejectTransfer() or cancelTransfer(); progress and
// the end of each transfer arrive as signals.
//
//     auto *agent = new Ovrin::BluetoothObexAgent(BluetoothObexAgent::Server, this);
//     connect(agent, &BluetoothObexAgent::authorizationRequested, this,
//             [agent](const QString &transfer, const QString &name, const QString &type) {
//                 agent->authorizeTransfer(transfer, BluetoothTransferTracker::filePath(name, type));
//             });
//     agent->registerToObexService();
class OVRIN_EXPORT BluetoothObexAgent : public QObject, public QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path)
    Q_PROPERTY(QString remoteDeviceAddress READ remoteDeviceAddress)
    Q_PROPERTY(QString fileName READ fileName)
    Q_PROPERTY(QString mimeType READ mimeType)
public:
    enum Type { Server = 0, Client = 1 };

    explicit BluetoothObexAgent(Type type, QObject *parent = nullptr);
    ~BluetoothObexAgent() override;

    // Follows the OBEX server daemon and registers with it whenever it is on
    // the bus (receiving side).
    void registerToObexService();

    QString path() const;
    // Of the last transfer offered to a Server agent, until it ends: the
    // sender's address, the free bare file name chosen for it, and its type.
    QString remoteDeviceAddress() const;
    QString fileName() const;
    QString mimeType() const;

public Q_SLOTS:
    // Accepts a pending request; fileName is the answer obexd gets (where to
    // store a received file, or the name to send a file under).
    void authorizeTransfer(const QString &transfer, const QString &fileName);
    void rejectTransfer(const QString &transfer);
    // Refuses a pending request, or asks obexd to stop a running transfer.
    void cancelTransfer(const QString &transfer);

Q_SIGNALS:
    void authorizationRequested(const QString &transfer, const QString &name, const QString &mimeType,
                                qulonglong length, int time);
    void progress(const QString &transfer, qulonglong transferred, qulonglong total);
    void complete(const QString &transfer);
    void error(const QString &transfer, const QString &error);
    void cancel();
    void serviceRegistered();
    void serviceUnregistered();

private:
    friend class BluetoothObexAgentPrivate;
    BluetoothObexAgentPrivate *d_ptr;
    Q_DISABLE_COPY(BluetoothObexAgent)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHOBEXAGENT_H
