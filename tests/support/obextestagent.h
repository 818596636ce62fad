#ifndef OBEXTESTAGENT_H
#define OBEXTESTAGENT_H

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QSet>

class SignalRecorder;

// A scriptable "org.openobex.Agent" for testing the obexd side, with the
// methods of both roles (server: Authorize, Cancel; client: Request, Progress,
// Complete, Error, Release), as the library's agent has them. Answers each
// request as told (a value, an error, or not yet) and notes every call in a
// SignalRecorder's timeline as "agent:Member".
//
// Unless told otherwise, Authorize answers with the remote's proposed name
// (stored in obexd's root folder) and Request with "" (keep the name).
class ObexTestAgent : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.openobex.Agent")
public:
    struct Call
    {
        QString member;
        QVariantList arguments; // object paths as strings
        bool replyExpected = true;
    };

    ObexTestAgent(const QDBusConnection &connection, const QString &path,
                  SignalRecorder *recorder = nullptr, QObject *parent = nullptr);
    ~ObexTestAgent() override;

    QString path() const { return m_path; }
    QDBusObjectPath objectPath() const { return QDBusObjectPath(m_path); }
    // org.openobex.Manager.RegisterAgent / UnregisterAgent on obexd; the error
    // name, "" on success.
    QString registerWithObexd();
    QString unregisterFromObexd();

    void answer(const QString &member, const QString &value);
    void refuse(const QString &member,
                const QString &errorName = QStringLiteral("org.openobex.Error.Rejected"));
    // Keep the next request of member unanswered until answerHeld()/refuseHeld().
    void hold(const QString &member);
    bool hasHeld() const { return !m_held.isEmpty(); }
    // Answer the oldest held request.
    void answerHeld(const QString &value);
    void refuseHeld(const QString &errorName = QStringLiteral("org.openobex.Error.Rejected"));

    const QList<Call> &calls() const { return m_calls; }
    QStringList members() const;
    int callCount(const QString &member) const { return int(members().count(member)); }
    QList<Call> callsOf(const QString &member) const;
    bool waitForCall(const QString &member, int timeoutMs = 5000, int occurrences = 1);
    void clear() { m_calls.clear(); }

public Q_SLOTS:
    QString Authorize(const QDBusObjectPath &transfer, const QString &address, const QString &name,
                      const QString &type, int length, int time);
    void Cancel();
    QString Request(const QDBusObjectPath &transfer);
    void Progress(const QDBusObjectPath &transfer, qulonglong transferred);
    void Complete(const QDBusObjectPath &transfer);
    void Error(const QDBusObjectPath &transfer, const QString &message);
    void Release();

private:
    QString handle(const QString &member, const QVariantList &arguments, const QString &fallback);
    QString managerCall(const QString &member);

    QDBusConnection m_connection;
    QString m_path;
    SignalRecorder *m_recorder;
    QHash<QString, QString> m_answers;
    QHash<QString, QString> m_refusals;
    QSet<QString> m_holds;
    QList<QDBusMessage> m_held;
    QList<Call> m_calls;
};

#endif // OBEXTESTAGENT_H
