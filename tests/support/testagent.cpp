#include "testagent.h"

#include "signalrecorder.h"

#include <QTest>

TestAgent::TestAgent(const QDBusConnection &connection, const QString &path, SignalRecorder *recorder,
                     QObject *parent)
    : QObject(parent), m_connection(connection), m_path(path), m_recorder(recorder)
{
    m_connection.registerObject(path, this, QDBusConnection::ExportAllSlots);
}

TestAgent::~TestAgent()
{
    m_connection.unregisterObject(m_path);
}

void TestAgent::answer(const QString &member, const QVariant &value)
{
    m_refusals.remove(member);
    m_answers.insert(member, value);
}

void TestAgent::refuse(const QString &member, const QString &errorName)
{
    m_refusals.insert(member, errorName);
}

void TestAgent::hold(const QString &member)
{
    m_holds.insert(member);
}

void TestAgent::answerHeld(const QVariant &value)
{
    if (!hasHeld())
        return;
    QDBusMessage reply = value.isValid() ? m_held.createReply(value) : m_held.createReply();
    m_connection.send(reply);
    m_held = QDBusMessage();
}

void TestAgent::refuseHeld(const QString &errorName)
{
    if (!hasHeld())
        return;
    m_connection.send(m_held.createErrorReply(errorName, QStringLiteral("refused by the test")));
    m_held = QDBusMessage();
}

QStringList TestAgent::members() const
{
    QStringList list;
    for (const Call &call : m_calls)
        list.append(call.member);
    return list;
}

bool TestAgent::waitForCall(const QString &member, int timeoutMs, int occurrences)
{
    QTRY_LOOP_IMPL(callCount(member) >= occurrences, timeoutMs, 10);
    return callCount(member) >= occurrences;
}

QVariant TestAgent::handle(const QString &member, const QVariantList &arguments, const QVariant &fallback)
{
    m_calls.append({ member, arguments, message().isReplyRequired() });
    if (m_recorder)
        m_recorder->note(QStringLiteral("agent:") + member, arguments);
    if (m_holds.remove(member)) {
        setDelayedReply(true);
        m_held = message();
        return fallback;
    }
    if (m_refusals.contains(member)) {
        sendErrorReply(m_refusals.value(member), QStringLiteral("refused by the test"));
        return fallback;
    }
    return m_answers.value(member, fallback);
}

void TestAgent::Release()
{
    handle(QStringLiteral("Release"), {}, {});
}

QString TestAgent::RequestPinCode(const QDBusObjectPath &device)
{
    return handle(QStringLiteral("RequestPinCode"), { device.path() }, QStringLiteral("0000")).toString();
}

uint TestAgent::RequestPasskey(const QDBusObjectPath &device)
{
    return handle(QStringLiteral("RequestPasskey"), { device.path() }, 0u).toUInt();
}

void TestAgent::DisplayPasskey(const QDBusObjectPath &device, uint passkey, uchar entered)
{
    handle(QStringLiteral("DisplayPasskey"), { device.path(), passkey, entered }, {});
}

void TestAgent::RequestConfirmation(const QDBusObjectPath &device, uint passkey)
{
    handle(QStringLiteral("RequestConfirmation"), { device.path(), passkey }, {});
}

void TestAgent::Authorize(const QDBusObjectPath &device, const QString &uuid)
{
    handle(QStringLiteral("Authorize"), { device.path(), uuid }, {});
}

void TestAgent::ConfirmModeChange(const QString &mode)
{
    handle(QStringLiteral("ConfirmModeChange"), { mode }, {});
}

void TestAgent::Cancel()
{
    handle(QStringLiteral("Cancel"), {}, {});
}
