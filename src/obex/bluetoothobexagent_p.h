#ifndef OVRIN_BLUETOOTHOBEXAGENT_P_H
#define OVRIN_BLUETOOTHOBEXAGENT_P_H

#include "bluetoothobexagent.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

class ObexManagerProxy;

namespace Ovrin {

class TransferSignals;

// One push obexd asked the server agent about, from "Authorize" to its end.
struct IncomingPush
{
    QString remoteDeviceAddress;
    QString fileName;
    QString mimeType;
    // The absolute path the owner accepted it into, when no file was there.
    QString acceptedFile;
    // Its "Progress" signals are followed.
    bool followed = false;
    // The owner cancelled it while it ran.
    bool canceled = false;
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

    void removeTransfer(const QDBusObjectPath &transfer);
    // obexd gone in the middle of a push leaves what it wrote so far: the
    // file this agent chose for the transfer is deleted.
    void removePartialFile(const QString &transfer);
    // obexd left: every push it asked about has ended without a word.
    void failEveryPush();
    QVariant transferProperty(const QDBusObjectPath &transfer, const QString &propertyName);
    bool takePendingRequest(const QString &transfer, QDBusMessage *message);
    void registerAgent();
    bool fromDaemon(const QDBusMessage &message) const;
    // The watch handlers are for our own service watcher, not for callers on the bus.
    bool refuseBusCaller() const;
    // The push the getters describe: the last one asked about, while it lasts.
    const IncomingPush currentPush() const { return pushes.value(currentTransfer.path()); }

    BluetoothObexAgent::Type type;
    BluetoothObexAgent *q;
    QString path;
    QMap<QDBusObjectPath, QDBusMessage> pendingRequests;
    QHash<QString, QVariantMap> transferProperties;
    // Transfer path -> what is known of each push obexd asked about (server side).
    QHash<QString, IncomingPush> pushes;
    ObexManagerProxy *obexManager = nullptr;
    QDBusObjectPath currentTransfer;

public Q_SLOTS:
    void Release(const QDBusMessage &message);
    QString Request(const QDBusObjectPath &transfer, const QDBusMessage &message);
    void Progress(const QDBusObjectPath &transfer, qulonglong transferred, const QDBusMessage &message);
    void Complete(const QDBusObjectPath &transfer, const QDBusMessage &message);
    void Error(const QDBusObjectPath &transfer, const QString &message, const QDBusMessage &call);
    QString Authorize(const QDBusObjectPath &transfer, const QString &btAddress, const QString &name,
                      const QString &type, int length, int time, const QDBusMessage &message);
    void Cancel(const QDBusMessage &message);
    void obexServiceRegistered(const QString &service);
    void obexServiceUnregistered(const QString &service);

public:
    TransferSignals *transferSignals;

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
