#ifndef SCRIPTEDAGENT_H
#define SCRIPTEDAGENT_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QHash>
#include <QSet>

class SignalRecorder;

// A scriptable agent ("org.bluez.Agent" or "org.openobex.Agent") a test puts
// on the bus for a daemon to call: answers each request as told (a value, an
// error, or not yet) and notes every call in a SignalRecorder's timeline as
// "agent:Member". Untold, it answers as a willing user would: PIN "0000",
// passkey 0, obexd's Authorize with the proposed name, Request and obexd 5's
// AuthorizePush with "".
class ScriptedAgent : public QDBusVirtualObject
{
public:
    struct Call
    {
        QString member;
        QVariantList arguments; // object paths as strings
        bool replyExpected = true;
    };

    ScriptedAgent(const QDBusConnection &connection, const QString &path,
                  SignalRecorder *recorder = nullptr, QObject *parent = nullptr);
    ~ScriptedAgent() override;

    QString path() const { return m_path; }
    QDBusObjectPath objectPath() const { return QDBusObjectPath(m_path); }

    void answer(const QString &member, const QVariant &value);
    // Without an error name, the interface's "Rejected".
    void refuse(const QString &member, const QString &errorName = QString());
    // Keep the next request of member unanswered until answerHeld()/refuseHeld().
    void hold(const QString &member);
    // Answer the oldest held request (with no value: an empty reply).
    void answerHeld(const QVariant &value = {});
    void refuseHeld(const QString &errorName = QString());

    const QList<Call> &calls() const { return m_calls; }
    QStringList members() const;
    int callCount(const QString &member) const { return int(members().count(member)); }
    // Waits until member has been called occurrences times in all.
    bool waitForCall(const QString &member, int timeoutMs = 5000, int occurrences = 1);

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    QVariant untoldAnswer(const QDBusMessage &message) const;
    void refuseCall(const QDBusMessage &message, const QString &errorName);

    QDBusConnection m_connection;
    QString m_path;
    SignalRecorder *m_recorder;
    QHash<QString, QVariant> m_answers;
    QHash<QString, QString> m_refusals;
    QSet<QString> m_holds;
    QList<QDBusMessage> m_held;
    QList<Call> m_calls;
};

#endif // SCRIPTEDAGENT_H
