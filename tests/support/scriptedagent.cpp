#include "scriptedagent.h"

#include "signalrecorder.h"

#include <QTest>

ScriptedAgent::ScriptedAgent(const QDBusConnection &connection, const QString &path,
                             SignalRecorder *recorder, QObject *parent)
    : QDBusVirtualObject(parent)
    , m_connection(connection)
    , m_path(path)
    , m_recorder(recorder)
{
    m_connection.registerVirtualObject(m_path, this);
}

ScriptedAgent::~ScriptedAgent()
{
    m_connection.unregisterObject(m_path);
}

void ScriptedAgent::answer(const QString &member, const QVariant &value)
{
    m_refusals.remove(member);
    m_answers.insert(member, value);
}

void ScriptedAgent::refuse(const QString &member, const QString &errorName)
{
    m_refusals.insert(member, errorName);
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
    if (!m_held.isEmpty())
        refuseCall(m_held.takeFirst(), errorName);
}

QStringList ScriptedAgent::members() const
{
    QStringList list;
    for (const Call &call : m_calls)
        list.append(call.member);
    return list;
}

bool ScriptedAgent::waitForCall(const QString &member, int timeoutMs, int occurrences)
{
    QTRY_LOOP_IMPL(callCount(member) >= occurrences, timeoutMs, 10);
    return callCount(member) >= occurrences;
}

QVariant ScriptedAgent::untoldAnswer(const QDBusMessage &message) const
{
    const QString member = message.member();
    if (member == QLatin1String("RequestPinCode"))
        return QStringLiteral("0000");
    if (member == QLatin1String("RequestPasskey"))
        return 0u;
    if (member == QLatin1String("Request"))
        return QString();
    if (member == QLatin1String("Authorize") && message.interface().startsWith("org.openobex"))
        return message.arguments().value(2); // the name the remote proposed
    if (member == QLatin1String("AuthorizePush"))
        return QString(); // obexd 5 tells only the transfer: a told name, else ""
    return {}; // the member returns nothing
}

void ScriptedAgent::refuseCall(const QDBusMessage &message, const QString &errorName)
{
    const QString prefix = message.interface().startsWith(QLatin1String("org.bluez.obex."))
        ? QStringLiteral("org.bluez.obex")
        : message.interface().section('.', 0, 1);
    const QString rejected = prefix + ".Error.Rejected";
    m_connection.send(message.createErrorReply(errorName.isEmpty() ? rejected : errorName,
                                               QStringLiteral("refused by the test")));
}

bool ScriptedAgent::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    const QString member = message.member();
    QVariantList arguments = message.arguments();
    for (QVariant &argument : arguments) {
        if (argument.metaType() == QMetaType::fromType<QDBusObjectPath>())
            argument = argument.value<QDBusObjectPath>().path();
    }
    m_calls.append({ member, arguments, message.isReplyRequired() });
    if (m_recorder)
        m_recorder->note(QStringLiteral("agent:") + member, arguments);
    if (m_holds.remove(member)) {
        m_held.append(message);
    } else if (m_refusals.contains(member)) {
        refuseCall(message, m_refusals.value(member));
    } else if (message.isReplyRequired()) {
        const QVariant untold = untoldAnswer(message);
        QVariant value = untold.isValid() ? m_answers.value(member, untold) : QVariant();
        if (value.isValid())
            value.convert(untold.metaType());
        m_connection.send(value.isValid() ? message.createReply(value) : message.createReply());
    }
    return true;
}
