#ifndef SENDSESSION_H
#define SENDSESSION_H

#include "agentclient.h"
#include "simcall.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class ClientTransfer;
class ObexClientService;

// One OPP session of obex-client: a BlueZ adapter session, the link to the
// destination, the agent of the SendFiles caller and the queue of files, sent
// one after another. The session ends after the last file: Agent.Release, the
// link closes, and the BlueZ session is released (ref B.5, B.6).
class SendSession : public QObject
{
    Q_OBJECT
public:
    SendSession(ObexClientService *service, const QString &owner, const QString &destination,
                const QString &source);
    ~SendSession() override;

    ObexClientService *service() const { return m_service; }
    QString owner() const { return m_owner; }
    QString destination() const { return m_destination; }
    AgentClient::Target agent() const { return m_agent; }
    bool isEnded() const { return m_ended; }
    // 0.43+: the same caller sending to the same device again joins this session.
    bool joins(const QString &owner, const QString &destination) const;

    // A SendFiles call: answered once the link is up (or failed), then its
    // files are queued.
    void add(const SimCall &call, const QStringList &files, const AgentClient::Target &agent);

    // One file queued; nullptr when it cannot be opened.
    ClientTransfer *enqueue(const QString &fileName);
    bool isConnected() const { return m_connected; }
    QString source() const { return m_source; }
    void transferEnded(ClientTransfer *transfer);
    // The owner left the bus or the daemon stops: everything ends silently.
    void shutdown(bool releaseBluez);
    void ownerLeft();
    // The remote dropped the link while running sent: that file fails, the
    // queued ones and the session go without a word.
    void remoteDisconnected(ClientTransfer *running);

    QJsonObject toJson() const;

private:
    struct Request
    {
        SimCall call;
        QStringList files;
        AgentClient::Target agent;
    };

    void openBluezSession();
    // The destination is around and the source controller on: a link up stays.
    bool destinationInRange() const;
    // ...and it answers a page from the source controller now.
    bool destinationReachable() const;
    // The file on its way, if any.
    ClientTransfer *running() const;
    void connectLink();
    void secureLink();
    void connected();
    void failRequests(const QString &text);
    void queue(const Request &request);
    void processNext();
    void finish();
    void releaseBluez();

    ObexClientService *m_service;
    QString m_owner;
    QString m_destination;
    QString m_source;
    QString m_adapterPath;
    bool m_bluezSession = false;
    bool m_connected = false;
    bool m_ended = false;
    AgentClient::Target m_agent;
    QList<Request> m_requests;
    QList<ClientTransfer *> m_transfers;
    // While the link is up: it drops when either end goes out of reach (the
    // other phone walks away or is switched off, our controller goes off).
    QTimer m_linkWatch;
};

#endif // SENDSESSION_H
