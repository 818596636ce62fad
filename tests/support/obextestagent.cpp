#include "obextestagent.h"

#include "signalrecorder.h"

#include <QTest>

ObexTestAgent::ObexTestAgent(const QDBusConnection &connection, const QString &path,
                             SignalRecorder *recorder, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_path(path)
    , m_recorder(recorder)
{
    m_connection.registerObject(path, this, QDBusConnection::ExportAllSlots);
}

ObexTestAgent::~ObexTestAgent()
{
    m_connection.unregisterObject(m_path);
}

QString ObexTestAgent::managerCall(const QString &member)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(QStringLiteral("org.openobex"), QStringLiteral("/"),
                                         QStringLiteral("org.openobex.Manager"), member);
    call.setArguments({ QVariant::fromValue(objectPath()) });
    const QDBusMessage reply = m_connection.call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
}

QString ObexTestAgent::registerWithObexd()
{
    return managerCall(QStringLiteral("RegisterAgent"));
}

QString ObexTestAgent::unregisterFromObexd()
{
    return managerCall(QStringLiteral("UnregisterAgent"));
}

void ObexTestAgent::answer(const QString &member, const QString &value)
{
    m_refusals.remove(member);
    m_answers.insert(member, value);
}

void ObexTestAgent::refuse(const QString &member, const QString &errorName)
{
    m_refusals.insert(member, errorName);
}

void ObexTestAgent::hold(const QString &member)
{
    m_holds.insert(member);
}

void ObexTestAgent::answerHeld(const QString &value)
{
    if (m_held.isEmpty())
        return;
    m_connection.send(m_held.takeFirst().createReply(value));
}

void ObexTestAgent::refuseHeld(const QString &errorName)
{
    if (m_held.isEmpty())
        return;
    m_connection.send(m_held.takeFirst().createErrorReply(errorName, QString()));
}

QStringList ObexTestAgent::members() const
{
    QStringList list;
    for (const Call &call : m_calls)
        list.append(call.member);
    return list;
}

QList<ObexTestAgent::Call> ObexTestAgent::callsOf(const QString &member) const
{
    QList<Call> list;
    for (const Call &call : m_calls) {
        if (call.member == member)
            list.append(call);
    }
    return list;
}

bool ObexTestAgent::waitForCall(const QString &member, int timeoutMs, int occurrences)
{
    QTRY_LOOP_IMPL(callCount(member) >= occurrences, timeoutMs, 10);
    return callCount(member) >= occurrences;
}

QString ObexTestAgent::handle(const QString &member, const QVariantList &arguments,
                              const QString &fallback)
{
    m_calls.append({ member, arguments, message().isReplyRequired() });
    if (m_recorder)
        m_recorder->note(QStringLiteral("agent:") + member, arguments);
    if (m_holds.remove(member)) {
        setDelayedReply(true);
        m_held.append(message());
        return fallback;
    }
    if (m_refusals.contains(member)) {
        sendErrorReply(m_refusals.value(member), QString());
        return fallback;
    }
    return m_answers.value(member, fallback);
}

QString ObexTestAgent::Authorize(const QDBusObjectPath &transfer, const QString &address,
                                 const QString &name, const QString &type, int length, int time)
{
    return handle(QStringLiteral("Authorize"),
                  { transfer.path(), address, name, type, length, time }, name);
}

void ObexTestAgent::Cancel()
{
    handle(QStringLiteral("Cancel"), {}, {});
}

QString ObexTestAgent::Request(const QDBusObjectPath &transfer)
{
    return handle(QStringLiteral("Request"), { transfer.path() }, QString());
}

void ObexTestAgent::Progress(const QDBusObjectPath &transfer, qulonglong transferred)
{
    handle(QStringLiteral("Progress"), { transfer.path(), transferred }, {});
}

void ObexTestAgent::Complete(const QDBusObjectPath &transfer)
{
    handle(QStringLiteral("Complete"), { transfer.path() }, {});
}

void ObexTestAgent::Error(const QDBusObjectPath &transfer, const QString &message)
{
    handle(QStringLiteral("Error"), { transfer.path(), message }, {});
}

void ObexTestAgent::Release()
{
    handle(QStringLiteral("Release"), {}, {});
}
