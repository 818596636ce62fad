#ifndef OVRIN_BLUETOOTHOBEXAGENT_P_H
#define OVRIN_BLUETOOTHOBEXAGENT_P_H

#include "bluetoothobexagent.h"
#include "obexdaemon.h"

#include <functional>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QSet>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

class QTimer;

namespace Ovrin {

class TransferSignals;

class Obex5TransferSignals;

// One push obexd asked the server agent about, from "Authorize" to its end.
struct IncomingPush
{
    QString remoteDeviceAddress;
    // The sender's name made safe, and the free name chosen from it.
    QString safeName;
    QString fileName;
    QString mimeType;
    // Bytes the sender announced; 0 when it gave none.
    qulonglong size = 0;
    // The file obexd writes, when it is this push's own to delete: the
    // accepted path where no file was (BlueZ 4's obexd), or a fresh name in
    // obexd's root (BlueZ 5's).
    QString receivingFile;
    // Where the file goes once complete; empty when obexd writes it there.
    QString finalFile;
    // BlueZ 5's obexd: the folder it stores in, the session's "Root".
    QString obexdRoot;
    // Its progress signals are followed.
    bool followed = false;
    // The owner accepted it.
    bool accepted = false;
    // The owner cancelled it while it ran.
    bool canceled = false;
    // Refused: larger than the free space where it would be stored.
    bool tooBig = false;
};

class BluetoothObexAgentPrivate : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.openobex.Agent")
public:
    BluetoothObexAgentPrivate(BluetoothObexAgent::Type type, BluetoothObexAgent *q);
    ~BluetoothObexAgentPrivate() override;

    // A bare file name that is safe to store, from what a remote device sent.
    static QString safeFileName(const QString &remoteName);
    // name, or name with _1, _2... before its first dot: the first that is
    // free in the folder where a received file of type mime lands.
    static QString uniqueFileName(const QString &name, const QString &mime);
    // path, or path with _1, _2... before the first dot of its name: the
    // first that is free.
    static QString freePath(const QString &path);

    void removeTransfer(const QDBusObjectPath &transfer);
    // obexd gone in the middle of a push leaves what it wrote so far: the
    // file this agent chose for the transfer is deleted.
    void removePartialFile(const QString &transfer);
    // obexd left: every push it asked about has ended without a word.
    void failEveryPush();
    QVariant transferProperty(const QDBusObjectPath &transfer, const QString &propertyName);
    bool takePendingRequest(const QString &transfer, QDBusMessage *message);
    void registerAgent();
    // Removes what pushes into obexd 5's folders left when their receiver
    // died before moving them: names only an agent of this library gives.
    void removeStaleIncomingFiles();
    // obexd refused ours for another agent: tell it, and ask again later.
    void agentSlotTaken(const QDBusMessage &reply);
    void unregisterAgent();
    // The error a request of message is refused with: name ("Rejected",
    // "Canceled") in the words of the obexd that asked.
    static QString errorFor(const QDBusMessage &message, const char *name);
    bool fromDaemon(const QDBusMessage &message) const;
    void obexdAppeared();
    void obexdLeft();
    // The free name and the type of a push, from what the sender said.
    static void nameIncomingPush(IncomingPush *push, const QString &remoteName,
                                 const QString &mime);
    // Keeps a request and tells the owner of it.
    void askOwner(const QDBusObjectPath &transfer, const IncomingPush &push, int time,
                  const QDBusMessage &message);
    // Ends a push that obexd reports done: a file received into obexd's own
    // folder is moved where the owner wanted it.
    void pushEnded(const QString &transfer, bool success);
    // done runs once the file is where its owner wants it (true), or could not be.
    void storeReceivedFile(const IncomingPush &push, const std::function<void(bool)> &done);
    // What obexd is answered when the owner accepts push into fileName; empty
    // to refuse it.
    QString acceptedAnswer(const QString &transfer, IncomingPush *push, const QString &fileName);
    // The push the getters describe: the last one asked about, while it lasts.
    const IncomingPush currentPush() const { return pushes.value(currentTransfer.path()); }

    BluetoothObexAgent::Type type;
    BluetoothObexAgent *q;
    QString path;
    // The OBEX server daemons, followed by a Server agent once registerToObexService() is called.
    ObexDaemon *daemon = nullptr;
    // The generation the agent is registered with; None while it is not.
    ObexDaemon::Generation registeredWith = ObexDaemon::None;
    // obexd takes one agent: while another holds it, ours asks again now and then.
    QTimer *registrationRetry = nullptr;
    // obexd 5's folders this agent has seen pushes go to.
    QSet<QString> obexdRoots;
    QMap<QDBusObjectPath, QDBusMessage> pendingRequests;
    QHash<QString, QVariantMap> transferProperties;
    // Transfer path -> what is known of each push obexd asked about (server side).
    QHash<QString, IncomingPush> pushes;
    QDBusObjectPath currentTransfer;

public Q_SLOTS:
    void Release(const QDBusMessage &message);
    QString Request(const QDBusObjectPath &transfer, const QDBusMessage &message);
    void Progress(const QDBusObjectPath &transfer, qulonglong transferred,
                  const QDBusMessage &message);
    void Complete(const QDBusObjectPath &transfer, const QDBusMessage &message);
    void Error(const QDBusObjectPath &transfer, const QString &message, const QDBusMessage &call);
    QString Authorize(const QDBusObjectPath &transfer, const QString &btAddress,
                      const QString &name, const QString &type, int length, int time,
                      const QDBusMessage &message);
    void Cancel(const QDBusMessage &message);

public:
    // BlueZ 5's obexd asks with the transfer alone: the rest is read from it.
    void authorizePush(const QDBusObjectPath &transfer, const QDBusMessage &message);
    void withdrawCurrentRequest();
    // BlueZ 5's obexd reports a push's progress and end as property changes.
    void transferStatusChanged(const QString &transfer, const QString &status);
    void transferredChanged(const QString &transfer, qulonglong transferred);
    void transferGone(const QString &transfer);

    TransferSignals *transferSignals;
    Obex5TransferSignals *obex5Signals;

    void transferStarted(const QDBusObjectPath &transfer);
    void transferProgress(int total, int transfered, const QDBusMessage &message);
    void transferCompleted(const QDBusObjectPath &transfer, bool success);
};

// Receives obexd's transfer signals for the agent. A QObject of its own: the
// adaptor's public slots would be callable by anyone on the bus. Signals are
// taken from any sender and checked here: a match on the daemon's name could
// miss the first signals while the name's owner is still being looked up.
class TransferSignals : public QObject
{
    Q_OBJECT
public:
    explicit TransferSignals(BluetoothObexAgentPrivate *agent)
        : QObject(agent)
        , agent(agent)
    {
    }
    bool connectManager();
    bool connectProgress(const QString &transfer);
    void disconnectProgress(const QString &transfer);

public Q_SLOTS:
    // Each takes the whole message: the arguments are read from it.
    void transferStarted(const QDBusMessage &message);
    void transferProgress(const QDBusMessage &message);
    void transferCompleted(const QDBusMessage &message);

private:
    bool fromObexd(const QDBusMessage &message) const;
    BluetoothObexAgentPrivate *agent;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHOBEXAGENT_P_H
