#ifndef OBEXPUSH_H
#define OBEXPUSH_H

#include "scenario.h"
#include "simobject.h"

#include <QFile>
#include <QJsonObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class DataPump;
class ObexServerService;

// One incoming OPP connection from a remote device, as obexd sees it: the
// "/transferN" object ("org.openobex.Transfer": Cancel, signal Progress) and
// the objects the remote puts, one after another on the same path (ref A.5).
class ObexPush : public QObject, public SimObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &outcome)>;
    enum class State { Connecting, Authorizing, Receiving, Between, Ended };

    struct Object
    {
        QString name; // OBEX Name header
        QString type; // OBEX Type header
        QByteArray contents; // the body the remote sends
        qint64 announced = 0; // OBEX Length header; -1 when the remote sends none
        qint64 abortAfter = -1;
        qint64 stallAfter = -1;
        bool goesOnIfRefused = false; // the sender puts its next object after a refusal
        int pauseBeforeMs = 0; // the sender's pause before it puts this object
    };

    ObexPush(ObexServerService *service, const QString &path, const QString &address,
             const QList<Object> &objects, int speed, Done done);
    ~ObexPush() override;

    QStringList interfaces() const override { return { QStringLiteral("org.openobex.Transfer") }; }
    static std::optional<QList<Object>> objectsFromJson(const QJsonObject &json, QString *error);

    void start();
    // Control side: the remote's behaviour.
    void stall();
    void resume();
    // "abort" (or ""): the remote aborts the object; "disconnect": the link drops.
    bool fail(const QString &how, QString *error);
    void setSpeed(int bytesPerSecond);
    // The daemon died: nothing more is sent, the file stays as it is.
    void endQuietly(const QString &outcome);
    // Refused as obexd refuses: OBEX Forbidden to the sender.
    void refuse();
    // This object refused: the sender goes on with its next one, or disconnects.
    void refuseObject(const QString &outcome);
    void putObject();

    QJsonObject toJson() const;
    bool isAuthorizing() const { return m_state == State::Authorizing; }
    bool isReceiving() const { return m_state == State::Receiving; }
    const QString &address() const { return m_address; }
    // The local controller the push arrives at; "" for the first.
    const QString &receiver() const { return m_receiver; }
    void setReceiver(const QString &address) { m_receiver = address; }
    // The object being authorized or received, if any.
    const Object *currentObject() const;
    const QString &filePath() const { return m_filePath; }
    qint64 transferred() const;
    // The local side cancels (Transfer.Cancel); the caller is checked first.
    void cancel(const SimCall &call);

private:
    void nextObject();
    void authorize();
    void authorized(const QString &reply);
    void receive(const QString &folder, const QString &name);
    // Creates or truncates the file; on failure the push ends.
    bool openFile(const QString &folder, const QString &name);
    bool packetArrived(qint64 offset, qint64 length);
    void objectStored();
    // Ends the object that is being received: partial file deleted,
    // TransferCompleted(false); then the remote disconnects.
    void abortObject(const QString &outcome);
    // The object ends ("" outcome: stored); told to the service and recorded.
    void objectEnded(qint64 size, const QString &outcome);
    // ... unsuccessfully, and so does the connection.
    void objectFailed(qint64 size, const QString &outcome);
    void finish(const QString &outcome);
    const Object &current() const { return m_objects.at(m_index); }
    QString stateName() const;

    ObexServerService *m_service;
    QString m_address;
    QString m_receiver;
    QList<Object> m_objects;
    int m_index = -1;
    int m_speed;
    Done m_done;
    State m_state = State::Connecting;
    quint64 m_authorizeCall = 0;
    bool m_cancelRequested = false;
    bool m_stallRequested = false;
    QFile m_file;
    QString m_filePath;
    DataPump *m_pump = nullptr;
};

#endif // OBEXPUSH_H
