#ifndef SIGNALRECORDER_H
#define SIGNALRECORDER_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// Records, in arrival order, the BlueZ (or obexd) signals a service sends on a bus, and
// the replies of calls made through it, so tests can check what came in which
// order. Entries read "Member" or "PropertyChanged:Name".
class SignalRecorder : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QString member;
        QVariantList arguments;
        QString label; // "DeviceFound", "PropertyChanged:Powered", "reply:CreateDevice", ...
    };

    explicit SignalRecorder(const QDBusConnection &connection,
                            const QString &service = QStringLiteral("org.bluez"),
                            QObject *parent = nullptr);

    const QList<Entry> &entries() const { return m_entries; }
    QStringList labels() const;
    int count(const QString &label) const;
    int indexOf(const QString &label, int from = 0) const;
    // The new value a PropertyChanged entry tells (unwrapped).
    static QVariant valueOf(const Entry &entry);
    // The value of the last PropertyChanged of name, if any.
    QVariant lastValue(const QString &name) const;
    bool waitFor(const QString &label, int timeoutMs = 5000, int occurrences = 1);
    void clear() { m_entries.clear(); }
    // Adds an entry of the test's own (an agent call, say) to the same timeline.
    void note(const QString &label, const QVariantList &arguments = {});

    // Sends call asynchronously; its reply (or error) is recorded as
    // "reply:Member" (or "error:Member:ErrorName") when it arrives.
    void callAsync(const QDBusMessage &call, int timeoutMs = 25000);
    QDBusMessage replyOf(const QString &member) const;
    // A reply as it arrived; called for callAsync's calls.
    void recordReply(const QString &member, const QDBusMessage &reply);

private Q_SLOTS:
    void onSignal(const QDBusMessage &message);

private:
    QDBusConnection m_connection;
    QList<Entry> m_entries;
    QHash<QString, QDBusMessage> m_replies;
};

// Hands one call's reply to its recorder. Replies come this way, as signals
// do, in the order they left the service: a QDBusPendingCallWatcher takes one
// more trip through the event loop, and a signal sent right after the reply
// could be recorded first.
class RecordedReply : public QObject
{
    Q_OBJECT
public:
    RecordedReply(SignalRecorder *recorder, const QString &member)
        : QObject(recorder), m_recorder(recorder), m_member(member)
    {
    }

public Q_SLOTS:
    void replied(const QDBusMessage &reply);
    void failed(const QDBusError &error, const QDBusMessage &call);

private:
    SignalRecorder *m_recorder;
    QString m_member;
};

#endif // SIGNALRECORDER_H
