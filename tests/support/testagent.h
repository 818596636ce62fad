#ifndef TESTAGENT_H
#define TESTAGENT_H

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QSet>

class SignalRecorder;

// A scriptable "org.bluez.Agent" for testing the daemon side: answers each
// request as told (a value, an error, or not yet), and notes every call in a
// SignalRecorder's timeline as "agent:Member".
class TestAgent : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent")
public:
    struct Call
    {
        QString member;
        QVariantList arguments;
        bool replyExpected = true;
    };

    TestAgent(const QDBusConnection &connection, const QString &path, SignalRecorder *recorder = nullptr,
              QObject *parent = nullptr);
    ~TestAgent() override;

    QString path() const { return m_path; }
    void answer(const QString &member, const QVariant &value);
    void refuse(const QString &member, const QString &errorName = QStringLiteral("org.bluez.Error.Rejected"));
    // Keep the next request of member unanswered until answerHeld()/refuseHeld().
    void hold(const QString &member);
    bool hasHeld() const { return m_held.type() != QDBusMessage::InvalidMessage; }
    void answerHeld(const QVariant &value = {});
    void refuseHeld(const QString &errorName = QStringLiteral("org.bluez.Error.Rejected"));

    const QList<Call> &calls() const { return m_calls; }
    QStringList members() const;
    int callCount(const QString &member) const { return int(members().count(member)); }
    // Waits until member has been called occurrences times in all.
    bool waitForCall(const QString &member, int timeoutMs = 5000, int occurrences = 1);

public Q_SLOTS:
    void Release();
    QString RequestPinCode(const QDBusObjectPath &device);
    uint RequestPasskey(const QDBusObjectPath &device);
    void DisplayPasskey(const QDBusObjectPath &device, uint passkey, uchar entered);
    void RequestConfirmation(const QDBusObjectPath &device, uint passkey);
    void Authorize(const QDBusObjectPath &device, const QString &uuid);
    void ConfirmModeChange(const QString &mode);
    void Cancel();

private:
    QVariant handle(const QString &member, const QVariantList &arguments, const QVariant &fallback);

    QDBusConnection m_connection;
    QString m_path;
    SignalRecorder *m_recorder;
    QHash<QString, QVariant> m_answers;
    QHash<QString, QString> m_refusals;
    QSet<QString> m_holds;
    QDBusMessage m_held;
    QList<Call> m_calls;
};

#endif // TESTAGENT_H
