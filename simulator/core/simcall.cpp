#include "simcall.h"

#include "sendhook.h"

#include <QTimer>

SimCall::SimCall(const QDBusMessage &message, const QDBusConnection &connection)
    : d(QSharedPointer<Data>::create(message, connection.name()))
{
}

const QDBusMessage &SimCall::message() const
{
    return d->message;
}

QString SimCall::sender() const
{
    return d ? d->message.service() : QString();
}

QString SimCall::path() const
{
    return d ? d->message.path() : QString();
}

QString SimCall::member() const
{
    return d ? d->message.member() : QString();
}

QVariantList SimCall::arguments() const
{
    return d ? d->message.arguments() : QVariantList();
}

QVariant SimCall::argument(int index) const
{
    const QVariantList args = arguments();
    return index < args.size() ? args.at(index) : QVariant();
}

void SimCall::reply(const QVariantList &values) const
{
    if (d)
        send(d->message.createReply(values));
}

void SimCall::replyError(const QString &errorName, const QString &text) const
{
    if (d)
        send(d->message.createErrorReply(errorName, text));
}

bool SimCall::isAnswered() const
{
    return d && d->answered;
}

void SimCall::setReplyDelay(int ms) const
{
    d->delayMs = ms;
}

void SimCall::setNeverAnswer() const
{
    d->neverAnswer = true;
}

void SimCall::send(const QDBusMessage &answer) const
{
    if (d->answered)
        return;
    d->answered = true;
    if (d->neverAnswer || !d->message.isReplyRequired())
        return;
    // A connection closed meanwhile (the daemon stopped) sends nothing.
    const QString name = d->connectionName;
    if (d->delayMs > 0) {
        QTimer::singleShot(d->delayMs, [name, answer]() {
            SendHook::run(name);
            QDBusConnection(name).send(answer);
        });
        return;
    }
    SendHook::run(name);
    QDBusConnection(name).send(answer);
}
