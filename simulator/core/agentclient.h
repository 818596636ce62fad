#ifndef AGENTCLIENT_H
#define AGENTCLIENT_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QJsonArray>
#include <QObject>

#include <functional>

// Calls the daemon makes into agents that clients registered. Requests wait
// for the agent's answer (up to a timeout); Release, Cancel and DisplayPasskey
// go out without expecting a reply, as the daemons send them.
class AgentClient : public QObject
{
    Q_OBJECT
public:
    using ReplyHandler = std::function<void(const QDBusMessage &reply)>;

    struct Target
    {
        QString owner;
        QString path;
        bool isValid() const { return !owner.isEmpty() && !path.isEmpty(); }
        bool operator==(const Target &o) const { return owner == o.owner && path == o.path; }
    };

    AgentClient(const QString &interface, QObject *parent = nullptr);

    void setConnection(const QDBusConnection &connection) { m_connection = connection; }
    void setTimeout(int ms) { m_timeoutMs = ms; }
    // The daemon's bus name, reported with the pending calls.
    void setService(const QString &service) { m_service = service; }

    // Returns an id for forget(); the handler gets the reply or the error
    // (NoReply on timeout). It is not called after forget().
    quint64 request(const Target &agent, const QString &member, const QVariantList &args,
                    ReplyHandler handler);
    void notify(const Target &agent, const QString &member, const QVariantList &args = {});
    void forget(quint64 id);
    void forgetAll();

    bool hasPendingRequest(const Target &agent) const;
    QJsonArray pendingToJson() const;
    // Every answer an agent gave to a request, in arrival order, also those
    // that came too late to matter: member, error name ("" for a return) and
    // the returned values.
    QJsonArray answersToJson() const { return m_answers; }
    void clearAnswers() { m_answers = QJsonArray(); }

private:
    void recordAnswer(const Target &agent, const QString &member, const QDBusMessage &reply);

    struct Pending
    {
        Target agent;
        QString member;
        QVariantList args;
    };
    QString m_interface;
    QString m_service;
    QDBusConnection m_connection { QString() };
    int m_timeoutMs = 60000;
    quint64 m_nextId = 1;
    QHash<quint64, Pending> m_pending;
    QJsonArray m_answers;
};

#endif // AGENTCLIENT_H
