#ifndef CLIENTTRANSFER_H
#define CLIENTTRANSFER_H

#include "obexclientservice.h"
#include "simobject.h"

#include <QCryptographicHash>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class DataPump;
class ObexPush;
class SendSession;

// One file of a SendFiles call: "/org/openobex/transferN" with the client's
// "org.openobex.Transfer" (GetProperties, Cancel). It asks the session's agent
// ("Request"), sends the file's bytes as read from disk at the chosen speed
// and reports "Progress", "Complete" or "Error" to the agent (ref B.4, B.5).
class ClientTransfer : public QObject, public SimObject
{
    Q_OBJECT
public:
    enum class State { Queued, Requesting, Sending, Ended };

    // file is open for reading; the transfer owns it from now on.
    ClientTransfer(SendSession *session, const QString &path, const QString &fileName,
                   std::unique_ptr<QFile> file);
    ~ClientTransfer() override;

    QStringList interfaces() const override { return { QStringLiteral("org.openobex.Transfer") }; }
    State state() const { return m_state; }
    QString fileName() const { return m_fileName; }
    QString name() const { return m_name; }
    qint64 size() const { return m_size; }
    SendSession *session() const { return m_session; }
    // Bytes handed to OBEX so far.
    qint64 sent() const;
    // "complete", "error", "canceled", "refused"; "" until it ends.
    QString outcome() const { return m_outcome; }
    // The owner cancels (Transfer.Cancel); the caller is checked first.
    void cancel(const SimCall &call);

    void begin();
    // Ends the transfer without a word to anyone (the session is going).
    void dropQuietly();
    // The remote dropped the link: the file fails as obexd reports it.
    void linkLost();

    // Control side.
    void stall();
    void resume();
    bool fail(const QString &outcome, QString *error);
    void setSpeed(int bytesPerSecond);

    QJsonObject toJson() const;

private:
    void getProperties(const SimCall &call);
    void request();
    void send();
    // The destination is a controller of this machine: the file is pushed to
    // obexd's own receiving half, and its outcome there is this one's.
    void deliverLocally(ObexServerService *receiver);
    void localPushEnded(const QString &outcome);
    // The sender aborts the object the receiving half still takes.
    void abortLocalPush();
    bool packetArrived(qint64 offset, qint64 length);
    void completed();
    void failWith(const QString &message);
    void stallChanged(bool stalled);
    void end(const QString &outcome, const QString &message);
    void notifyAgent(const QString &member, const QVariantList &args);
    QString stateName() const;

    SendSession *m_session;
    QString m_fileName;
    QString m_name;
    qint64 m_size;
    std::unique_ptr<QFile> m_file;
    State m_state = State::Queued;
    quint64 m_requestCall = 0;
    std::optional<SendOutcome> m_planned;
    bool m_stallRequested = false;
    int m_speed = -1;
    DataPump *m_pump = nullptr;
    QPointer<ObexPush> m_localPush;
    QTimer m_responseTimer;
    QCryptographicHash m_hash { QCryptographicHash::Sha1 };
    qint64 m_delivered = 0;
    QString m_outcome;
};

#endif // CLIENTTRANSFER_H
