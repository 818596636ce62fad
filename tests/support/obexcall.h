#ifndef OBEXCALL_H
#define OBEXCALL_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

// Short calls to the obexd daemons ("org.openobex", "org.openobex.client")
// on the (private) session bus.
namespace OvrinTest {

const QString obexd = QStringLiteral("org.openobex");
const QString obexClient = QStringLiteral("org.openobex.client");

inline QDBusMessage obexMessage(const QString &service, const QString &path,
                                const QString &interface, const QString &member,
                                const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, member);
    message.setArguments(args);
    return message;
}

inline QDBusMessage obexCall(const QString &service, const QString &path, const QString &interface,
                             const QString &member, const QVariantList &args = {},
                             const QDBusConnection &connection = QDBusConnection::sessionBus())
{
    return connection.call(obexMessage(service, path, interface, member, args), QDBus::Block,
                           10000);
}

} // namespace OvrinTest

#endif // OBEXCALL_H
