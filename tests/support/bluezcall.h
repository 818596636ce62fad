#ifndef BLUEZCALL_H
#define BLUEZCALL_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

// Short blocking calls to the simulated daemons on the (private) buses:
// "org.bluez" on the system bus, obexd and obex-client on the session bus.
namespace OvrinTest {

// A second client on a bus, gone from it at the end of the scope.
struct OtherClient
{
    OtherClient(QDBusConnection::BusType type, const QString &name = QStringLiteral("other"))
        : name(name)
        , bus(QDBusConnection::connectToBus(type, name))
    {
    }
    ~OtherClient() { leave(); }
    void leave()
    {
        bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name);
    }
    QString name;
    QDBusConnection bus;
};

// Whether the simulator plays BlueZ 5's obexd: one daemon, "org.bluez.obex",
// that receives and sends (set with OVRIN_OBEXD=5 for the BlueZ 5 runs).
inline bool onObexd5()
{
    return qEnvironmentVariable("OVRIN_OBEXD") == QLatin1String("5");
}

// The OBEX daemons of the generation that runs: BlueZ 5's one daemon does both.
const QString obexd
    = onObexd5() ? QStringLiteral("org.bluez.obex") : QStringLiteral("org.openobex");
const QString obexClient
    = onObexd5() ? QStringLiteral("org.bluez.obex") : QStringLiteral("org.openobex.client");

inline QDBusMessage busMessage(const QString &service, const QString &path,
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
    return connection.call(busMessage(service, path, interface, member, args), QDBus::Block, 10000);
}

inline QDBusMessage bluezMessage(const QString &path, const QString &interface,
                                 const QString &member, const QVariantList &args = {})
{
    return busMessage(QStringLiteral("org.bluez"), path, interface, member, args);
}

inline QDBusMessage bluezCall(const QString &path, const QString &interface, const QString &member,
                              const QVariantList &args = {}, int timeoutMs = 10000)
{
    return QDBusConnection::systemBus().call(bluezMessage(path, interface, member, args),
                                             QDBus::Block, timeoutMs);
}

// Whether the simulator plays BlueZ 5: the suites that run on both dialects
// run again with OVRIN_BLUEZ=5.
inline bool onBluez5()
{
    return qEnvironmentVariable("OVRIN_BLUEZ") == QLatin1String("5");
}

// What the dialect that runs calls a thing: BlueZ 4's name, or BlueZ 5's.
inline QString dialect(const char *bluez4, const char *bluez5)
{
    return QLatin1String(onBluez5() ? bluez5 : bluez4);
}

inline QString defaultAdapterPath()
{
    if (onBluez5())
        return QStringLiteral("/org/bluez/hci0");
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
    return adapterPath + QStringLiteral("/dev_")
        + QString(address).replace(QLatin1Char(':'), QLatin1Char('_'));
}

inline QVariant variant(const QVariant &value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

inline QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

// Registers the agent at agentPath with the adapter (obex-client's sessions need one).
inline bool registerAgent(const QString &agentPath, const QString &capability = {})
{
    const QDBusMessage answer = onBluez5()
        ? bluezCall(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.AgentManager1"),
                    QStringLiteral("RegisterAgent"), { objectPath(agentPath), capability })
        : bluezCall(defaultAdapterPath(), QStringLiteral("org.bluez.Adapter"),
                    QStringLiteral("RegisterAgent"), { objectPath(agentPath), capability });
    return answer.type() == QDBusMessage::ReplyMessage;
}

} // namespace OvrinTest

#endif // BLUEZCALL_H
