#ifndef OBEX5CLIENT_H
#define OBEX5CLIENT_H

#include "obexclientservice.h"

#include <map>
#include <memory>

class Obex5ClientSession;
class Obex5ClientTransfer;
class ObjectManager;
class PeerWatcher;
class PropertiesBatcher;

// The sending half of obexd 5, on the daemon's own connection (it claims no
// name of its own): "org.bluez.obex.Client1" opens sessions that stay until
// RemoveSession, ObjectPush1.SendFile queues files. Links, speeds, stalls and
// refusals run on obex-client 0.45's machinery; only the words differ.
class Obex5Client : public ObexClientService
{
    Q_OBJECT
public:
    // server: the receiving half of the same daemon.
    Obex5Client(BluetoothService *bluez, ObexServerService *server, CallLog *log, FaultPlan *faults,
                QObject *parent);
    ~Obex5Client() override;

    // The daemon came up (its object manager) or went.
    void attach(ObjectManager *objectManager, PropertiesBatcher *batcher, PeerWatcher *peers);
    void detach();
    void createSession(const SimCall &call);
    void removeSession(const SimCall &call);
    // As RemoveSession for each of its sessions; one still connecting is abandoned.
    void ownerLeft(const QString &owner);

    ClientTransfer *transfer(const QString &path) const override;
    // The object paths of the files being sent or queued.
    QStringList transferPaths() const;
    QString nextTransferPath(const SendSession *session) override;
    void transferAdded(ClientTransfer *transfer) override;
    void transferRemoved(ClientTransfer *transfer) override;
    void sessionConnected(SendSession *session, const SimCall &call) override;
    void sessionEnded(SendSession *session) override;
    void failCall(const SimCall &call, const QString &text) override;
    bool endsWhenIdle() const override { return false; }
    bool needsAdapterSession() const override { return false; }
    bool mayCancel(const SimCall &call, const SendSession *session) const override;
    ObexServerService *receiverFor(const QString &destination) const override;

private:
    void sendFile(const SimCall &call, SendSession *session);
    SendSession *session(const QString &path) const;

    ObexServerService *m_server;
    ObjectManager *m_objectManager = nullptr;
    PropertiesBatcher *m_batcher = nullptr;
    PeerWatcher *m_peers = nullptr;
    std::map<SendSession *, QString> m_paths; // sessions, connecting or connected
    std::map<SendSession *, std::unique_ptr<Obex5ClientSession>> m_sessions;
    std::map<ClientTransfer *, std::unique_ptr<Obex5ClientTransfer>> m_transfers;
    int m_nextSession = 0; // client sessions count from 0
    int m_nextTransfer = 0;
};

#endif // OBEX5CLIENT_H
