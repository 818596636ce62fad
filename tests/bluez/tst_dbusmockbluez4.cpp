// A double of BlueZ 4 made by others: python3-dbusmock's plain mock with its
// object manager, as test set-ups of BlueZ 4 make it. Its "/" answers
// GetManagedObjects too, without any BlueZ 5 object: the library must still
// speak BlueZ 4 to it.

#include "bluetoothadapter.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QProcess>
#include <QSignalSpy>

using namespace Ovrin;


namespace {
const QString adapterPath = QStringLiteral("/org/bluez/1/hci0");

bool mock(const QString &member, const QVariantList &args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock"),
        member);
    message.setArguments(args);
    const QDBusMessage reply = QDBusConnection::systemBus().call(message);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qWarning("%s: %s", qPrintable(member), qPrintable(reply.errorMessage()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

// A method of a mock object: name, in and out signatures, Python that sets "ret".
struct MockMethod
{
    QString name, in, out, code;
};
QDBusArgument &operator<<(QDBusArgument &argument, const MockMethod &method)
{
    argument.beginStructure();
    argument << method.name << method.in << method.out << method.code;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, MockMethod &method)
{
    argument.beginStructure();
    argument >> method.name >> method.in >> method.out >> method.code;
    argument.endStructure();
    return argument;
}
} // namespace

class TestDbusmockBluez4 : public QObject
{
    Q_OBJECT
    QProcess m_mock;

private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<MockMethod>();
        qDBusRegisterMetaType<QList<MockMethod>>();
    }

    void init()
    {
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start(QStringLiteral("/usr/bin/python3"),
                     { "-m", "dbusmock", "--system", "--is-object-manager", "org.bluez", "/",
                       "org.bluez.Manager" });
        QVERIFY(m_mock.waitForStarted());
        QTRY_VERIFY(QDBusConnection::systemBus().interface()->isServiceRegistered("org.bluez"));
        QVERIFY(mock("AddMethod", { "org.bluez.Manager", "DefaultAdapter", "", "o",
                                    "ret = dbus.ObjectPath('" + adapterPath + "')" }));
        const QList<MockMethod> adapter {
            { "GetProperties", "", "a{sv}",
              "ret = {'Address': '00:11:22:33:44:55', 'Name': 'Outside double', "
              "'Powered': True, 'Discoverable': False, 'Devices': dbus.Array([], signature='o')}" },
            { "ListDevices", "", "ao", "ret = dbus.Array([], signature='o')" },
        };
        QVERIFY(mock("AddObject", { adapterPath, "org.bluez.Adapter",
                                    QVariant::fromValue(QVariantMap()),
                                    QVariant::fromValue(adapter) }));
    }

    void cleanup()
    {
        m_mock.kill();
        m_mock.waitForFinished();
        QTRY_VERIFY(!QDBusConnection::systemBus().interface()->isServiceRegistered("org.bluez"));
    }

    void anEmptyObjectTreeIsNoBluez5()
    {
        QTest::ignoreMessage(QtDebugMsg, "org.bluez speaks BlueZ 4");
        BluetoothAdapter adapter;
        // BlueZ 4's adapter is asked for a second after the daemon appears.
        QTRY_VERIFY_WITH_TIMEOUT(adapter.isValid(), 5000);
        QCOMPARE(adapter.name(), QStringLiteral("Outside double"));
        QVERIFY(adapter.isPowered());
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestDbusmockBluez4)
#include "tst_dbusmockbluez4.moc"
