#ifndef BLUEZCALL_H
#define BLUEZCALL_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

// Short blocking calls to "org.bluez" on the (private) system bus.
namespace OvrinTest {

inline QDBusMessage bluezMessage(const QString &path, const QString &interface,
                                 const QString &member, const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path,
                                                          interface, member);
    message.setArguments(args);
    return message;
}

inline QDBusMessage bluezCall(const QString &path, const QString &interface, const QString &member,
                              const QVariantList &args = {}, int timeoutMs = 10000)
{
    return QDBusConnection::systemBus().call(bluezMessage(path, interface, member, args),
                                             QDBus::Block, timeoutMs);
}

inline QString defaultAdapterPath()
{
    return bluezCall(QStringLiteral("/"), QStringLiteral("org.bluez.Manager"),
                     QStringLiteral("DefaultAdapter"))
            .arguments()
            .value(0)
            .value<QDBusObjectPath>()
            .path();
}

// BlueZ names a device object after its address: <adapter>/dev_00_11_22_AA_BB_CC.
inline QString devicePath(const QString &adapterPath, const QString &address)
{
    return adapterPath + QStringLiteral("/dev_") + QString(address).replace(QLatin1Char(':'), QLatin1Char('_'));
}

inline QVariant variant(const QVariant &value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

inline QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

} // namespace OvrinTest

#endif // BLUEZCALL_H
