#include "testagent.h"

TestAgent::TestAgent(const QDBusConnection &connection, const QString &path,
                     SignalRecorder *recorder, QObject *parent)
    : ScriptedAgent(connection, path, QStringLiteral("org.bluez.Error.Rejected"), recorder, parent)
{
    exportOnBus();
}

void TestAgent::Release()
{
    handle(QStringLiteral("Release"), {}, {});
}

QString TestAgent::RequestPinCode(const QDBusObjectPath &device)
{
    return handle(QStringLiteral("RequestPinCode"), { device.path() }, QStringLiteral("0000"))
        .toString();
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
