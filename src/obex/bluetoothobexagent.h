#ifndef OVRIN_BLUETOOTHOBEXAGENT_H
#define OVRIN_BLUETOOTHOBEXAGENT_H

#include "ovringlobal.h"

#include <QDBusContext>
#include <QObject>

namespace Ovrin {

class BluetoothObexAgentPrivate;

/// The agent obexd asks before a file is received (Server) or before each file
/// of a send (Client). Every request stays open until the owner answers it
/// with authorizeTransfer(), rejectTransfer() or cancelTransfer(); progress and
/// the end of each transfer arrive as signals.
///
///     auto *agent = new Ovrin::BluetoothObexAgent(BluetoothObexAgent::Server, this);
///     connect(agent, &BluetoothObexAgent::authorizationRequested, this,
///             [agent](const QString &transfer, const QString &name, const QString &type) {
///                 const QString path = BluetoothTransferTracker::filePath(name, type);
///                 agent->authorizeTransfer(transfer, path);
///             });
///     agent->registerToObexService();
///
/// Each push is kept apart: several may run at once, and when obexd leaves
/// every one of them fails.
class OVRIN_EXPORT BluetoothObexAgent : public QObject, public QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path)
    Q_PROPERTY(QString remoteDeviceAddress READ remoteDeviceAddress)
    Q_PROPERTY(QString fileName READ fileName)
    Q_PROPERTY(QString mimeType READ mimeType)
public:
    /// Which side of obexd the agent serves.
    enum Type {
        /// Files pushed to the handset: BlueZ 4's "org.openobex", or BlueZ 5's
        /// "org.bluez.obex" (as "org.bluez.obex.Agent1"), whichever runs.
        Server = 0,
        /// Files the handset sends through BlueZ 4's "org.openobex.client"
        /// (BlueZ 5's obexd asks no agent about sends).
        Client = 1
    };

    /// Exports the agent on the session bus at a path of its own.
    explicit BluetoothObexAgent(Type type, QObject *parent = nullptr);
    ~BluetoothObexAgent() override;

    /// Follows the OBEX server daemons and registers with the one on the bus
    /// whenever one is (receiving side); when none is, asks the bus to start
    /// one.
    void registerToObexService();

    /// The object path the agent is exported at.
    QString path() const;
    /// The sender of the last transfer offered to a Server agent, until that
    /// transfer ends (the end of another one leaves it). Read it when
    /// authorizationRequested() arrives: a later request replaces it.
    QString remoteDeviceAddress() const;
    /// The free bare file name chosen for that transfer.
    QString fileName() const;
    /// The MIME type of that transfer.
    QString mimeType() const;

public Q_SLOTS:
    /// Accepts a pending request. fileName is where a received file ends up
    /// (an absolute path; anything else refuses the push), or the name to
    /// send a file under. BlueZ 5's obexd writes only into a folder of its
    /// own: there the file gets a fresh name, and it is moved to fileName
    /// when complete (to the next free name if one has appeared there
    /// meanwhile); a push that fails leaves nothing in either place.
    void authorizeTransfer(const QString &transfer, const QString &fileName);
    /// Refuses a pending request.
    void rejectTransfer(const QString &transfer);
    /// Refuses a pending request, or asks obexd to stop a running transfer.
    void cancelTransfer(const QString &transfer);

Q_SIGNALS:
    /// obexd asks about transfer (its object path): answer with
    /// authorizeTransfer(), rejectTransfer() or cancelTransfer(). For a Server
    /// agent name is the free bare file name chosen for the sender's name;
    /// length is 0 when the sender gave no size.
    void authorizationRequested(const QString &transfer, const QString &name,
                                const QString &mimeType, qulonglong length, int time);
    /// Bytes of transfer moved so far, of total (0 when the sender gave no size).
    void progress(const QString &transfer, qulonglong transferred, qulonglong total);
    /// transfer ended successfully.
    void complete(const QString &transfer);
    /// transfer failed, with obexd's message; an empty one when obexd left
    /// (then every transfer it had asked about fails).
    void error(const QString &transfer, const QString &error);
    /// obexd withdrew its open request for transfer (the sender gave up, or
    /// nobody answered in time): the agent has forgotten it. transfer is
    /// empty when no request of the agent was open.
    void cancel(const QString &transfer);
    /// The agent is registered with the OBEX server daemon.
    void serviceRegistered();
    /// The OBEX server daemon took another agent (it takes one): nothing is
    /// received until it lets go. The agent asks again every few seconds and
    /// tells serviceRegistered() once it is taken. error is obexd's message.
    void serviceRefused(const QString &error);
    /// The OBEX server daemon left the bus; its transfers failed.
    void serviceUnregistered();

private:
    friend class BluetoothObexAgentPrivate;
    BluetoothObexAgentPrivate *d_ptr;
    Q_DISABLE_COPY(BluetoothObexAgent)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHOBEXAGENT_H
