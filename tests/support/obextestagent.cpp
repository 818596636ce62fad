#include "obextestagent.h"

ObexTestAgent::ObexTestAgent(const QDBusConnection &connection, const QString &path,
                             SignalRecorder *recorder, QObject *parent)
    : ScriptedAgent(connection, path, QStringLiteral("org.openobex.Error.Rejected"), recorder,
                    parent)
{
    exportOnBus();
}

QString ObexTestAgent::managerCall(const QString &member)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(QStringLiteral("org.openobex"), QStringLiteral("/"),
                                         QStringLiteral("org.openobex.Manager"), member);
    call.setArguments({ QVariant::fromValue(objectPath()) });
    const QDBusMessage reply = connection().call(call, QDBus::Block, 10000);
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

QString ObexTestAgent::Authorize(const QDBusObjectPath &transfer, const QString &address,
                                 const QString &name, const QString &type, int length, int time)
{
    return handle(QStringLiteral("Authorize"),
                  { transfer.path(), address, name, type, length, time }, name)
        .toString();
}

void ObexTestAgent::Cancel()
{
    handle(QStringLiteral("Cancel"), {}, {});
}

QString ObexTestAgent::Request(const QDBusObjectPath &transfer)
{
    return handle(QStringLiteral("Request"), { transfer.path() }, QString()).toString();
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
