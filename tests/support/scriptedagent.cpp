#include "scriptedagent.h"

#include "signalrecorder.h"

#include <QTest>

ScriptedAgent::ScriptedAgent(const QDBusConnection &connection, const QString &path,
                             const QString &rejected, SignalRecorder *recorder, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_path(path)
    , m_rejected(rejected)
    , m_recorder(recorder)
{
}

ScriptedAgent::~ScriptedAgent()
{
    m_connection.unregisterObject(m_path);
}

void ScriptedAgent::exportOnBus()
{
    m_connection.registerObject(m_path, this, QDBusConnection::ExportAllSlots);
}

void ScriptedAgent::answer(const QString &member, const QVariant &value)
{
    m_refusals.remove(member);
    m_answers.insert(member, value);
}

void ScriptedAgent::refuse(const QString &member, const QString &errorName)
{
    m_refusals.insert(member, errorName.isEmpty() ? m_rejected : errorName);
}

void ScriptedAgent::hold(const QString &member)
{
    m_holds.insert(member);
}

void ScriptedAgent::answerHeld(const QVariant &value)
{
    if (m_held.isEmpty())
        return;
    const QDBusMessage held = m_held.takeFirst();
    m_connection.send(value.isValid() ? held.createReply(value) : held.createReply());
}

void ScriptedAgent::refuseHeld(const QString &errorName)
{
    if (m_held.isEmpty())
        return;
    m_connection.send(m_held.takeFirst().createErrorReply(
        errorName.isEmpty() ? m_rejected : errorName, QStringLiteral("refused by the test")));
}

QStringList ScriptedAgent::members() const
{
    QStringList list;
    for (const Call &call : m_calls)
        list.append(call.member);
    return list;
}

QList<ScriptedAgent::Call> ScriptedAgent::callsOf(const QString &member) const
{
    QList<Call> list;
    for (const Call &call : m_calls) {
        if (call.member == member)
            list.append(call);
    }
    return list;
}

bool ScriptedAgent::waitForCall(const QString &member, int timeoutMs, int occurrences)
{
    QTRY_LOOP_IMPL(callCount(member) >= occurrences, timeoutMs, 10);
    return callCount(member) >= occurrences;
}

QVariant ScriptedAgent::handle(const QString &member, const QVariantList &arguments,
                               const QVariant &fallback)
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
        sendErrorReply(m_refusals.value(member), QStringLiteral("refused by the test"));
        return fallback;
    }
    return m_answers.value(member, fallback);
}
