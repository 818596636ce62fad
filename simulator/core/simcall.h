#ifndef SIMCALL_H
#define SIMCALL_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSharedPointer>
#include <QVariantList>

// One method call received by the simulator. Copies share the same call, so
// a handler may keep a copy and answer later; the call is answered at most once.
// A fault plan may have marked the call to be answered late or never.
// Calls hold the connection by name only: a daemon that is stopped closes its
// connection at once, however many calls are still waiting for an answer.
class SimCall
{
public:
    SimCall() = default;
    SimCall(const QDBusMessage &message, const QDBusConnection &connection);

    bool isNull() const { return !d; }
    const QDBusMessage &message() const;
    QString sender() const;
    QString path() const;
    QString member() const;
    QVariantList arguments() const;
    QVariant argument(int index) const;

    void reply(const QVariantList &values = {}) const;
    void replyError(const QString &errorName, const QString &text = {}) const;
    bool isAnswered() const;

    void setReplyDelay(int ms) const;
    void setNeverAnswer() const;

private:
    void send(const QDBusMessage &answer) const;

    struct Data
    {
        QDBusMessage message;
        QString connectionName;
        bool answered = false;
        bool neverAnswer = false;
        int delayMs = 0;
        Data(const QDBusMessage &m, const QString &c) : message(m), connectionName(c) { }
    };
    QSharedPointer<Data> d;
};

#endif // SIMCALL_H
