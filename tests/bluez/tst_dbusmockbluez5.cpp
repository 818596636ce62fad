// An outside check of the BlueZ 5 dialect: the library against the BlueZ 5
// mock that python3-dbusmock ships (template "bluez5"), written by others
// from the same documents, instead of against our own simulator.

#include "bluetoothadapter.h"
#include "bluetoothagent.h"
#include "bluetoothconnectionmanager.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>

using namespace Ovrin;

namespace {
const QString phone = QStringLiteral("11:22:33:44:55:01");
const QString headset = QStringLiteral("11:22:33:44:55:02");
const QString newcomer = QStringLiteral("11:22:33:44:55:03");
const QString a2dpSink = QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb");

QString pathOf(const QString &address)
{
    return QStringLiteral("/org/bluez/hci0/dev_") + QString(address).replace(':', '_');
}

bool call(const QString &path, const QString &interface, const QString &member,
          const QVariantList &args = {})
{
    QDBusMessage message
        = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path, interface, member);
    message.setArguments(args);
    const QDBusMessage reply = QDBusConnection::systemBus().call(message);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qWarning("%s: %s", qPrintable(member), qPrintable(reply.errorMessage()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool mock(const QString &member, const QVariantList &args)
{
    return call(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), member, args);
}

BluetoothDevice deviceIn(const QSignalSpy &spy, const QString &address)
{
    for (const QList<QVariant> &args : spy) {
        const auto device = args.first().value<BluetoothDevice>();
        if (device.address() == address)
            return device;
    }
    return BluetoothDevice();
}
} // namespace

class TestDbusmockBluez5 : public QObject
{
    Q_OBJECT
    QProcess m_mock;

private Q_SLOTS:
    void init()
    {
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start(QStringLiteral("/usr/bin/python3"),
                     { "-m", "dbusmock", "--template", "bluez5", "--system" });
        QVERIFY(m_mock.waitForStarted());
        QTRY_VERIFY(QDBusConnection::systemBus().interface()->isServiceRegistered("org.bluez"));
        QVERIFY(mock("AddAdapter", { "hci0", "outside-check" }));
        QVERIFY(mock("AddDevice", { "hci0", phone, "Paired Phone" }));
        QVERIFY(mock("PairDevice", { "hci0", phone, 0x5a020c }));
        QVERIFY(mock("AddDevice", { "hci0", headset, "Found Headset" }));
    }

    void cleanup()
    {
        m_mock.kill();
        m_mock.waitForFinished();
        QTRY_VERIFY(!QDBusConnection::systemBus().interface()->isServiceRegistered("org.bluez"));
    }

    // The adapter as BlueZ 5 has it: the name users set is its "Alias".
    void adapterIsReadAndRenamed()
    {
        BluetoothAdapter adapter;
        QTRY_VERIFY(adapter.isValid());
        QCOMPARE(adapter.name(), QStringLiteral("outside-check"));
        QVERIFY(adapter.isPowered());
        QVERIFY(!adapter.address().isEmpty());
        QSignalSpy changed(&adapter, &BluetoothAdapter::propertyChanged);
        QVERIFY(adapter.setName(QStringLiteral("Renamed")));
        QTRY_VERIFY(changed.contains({ QStringLiteral("name") }));
        QCOMPARE(adapter.name(), QStringLiteral("Renamed"));
    }

    // Paired devices are the known ones; a found one is not, until it pairs.
    void knownDevicesTheirCopiesAndRemoval()
    {
        BluetoothAdapter adapter;
        QTRY_VERIFY(adapter.isValid());
        const QList<BluetoothDevice> known = adapter.listDevices();
        QCOMPARE(known.size(), 1);
        QCOMPARE(known.first().address(), phone);
        QVERIFY(known.first().isPaired());

        BluetoothDevice copy = adapter.deviceForAddress(phone);
        QVERIFY(!copy.isTrusted());
        QSignalSpy copyChanged(&copy, &BluetoothDevice::propertyChanged);
        QVERIFY(BluetoothDevice(known.first()).setTrusted(true));
        QTRY_VERIFY(copyChanged.contains({ QStringLiteral("trusted") }));
        QVERIFY(copy.isTrusted());

        QSignalSpy removed(&adapter, &BluetoothAdapter::deviceRemoved);
        QVERIFY(adapter.removeDevice(copy));
        QTRY_COMPARE(removed.size(), 1);
        QVERIFY(adapter.listDevices().isEmpty());
    }

    void discoveryPairingAndAudio()
    {
        BluetoothAdapter adapter;
        QTRY_VERIFY(adapter.isValid());
        // The mock refuses a discovery before any filter was set.
        QVERIFY(
            call("/org/bluez/hci0", "org.bluez.Adapter1", "SetDiscoveryFilter", { QVariantMap() }));
        QSignalSpy found(&adapter, &BluetoothAdapter::deviceDiscovered);
        adapter.startDiscovery();
        // Found before this process looked, and found while it looks.
        QTRY_VERIFY(!deviceIn(found, headset).address().isEmpty());
        QVERIFY(mock("AddDevice", { "hci0", newcomer, "Newcomer" }));
        QTRY_VERIFY(!deviceIn(found, newcomer).address().isEmpty());
        adapter.stopDiscovery();

        BluetoothAgent agent;
        QSignalSpy created(&adapter, &BluetoothAdapter::deviceCreated);
        adapter.startCreatingPairedDevice(deviceIn(found, headset), &agent);
        QTRY_VERIFY(!deviceIn(created, headset).path().isEmpty());
        // Known from the start of its pairing, as BlueZ 4 created it first.
        const BluetoothDevice paired = deviceIn(created, headset);
        QTRY_VERIFY(paired.isPaired());
        QVERIFY(adapter.listDevices().contains(paired));

        // The mock's pairing gives every device a phone's services.
        QVERIFY(
            call(pathOf(headset), "org.freedesktop.DBus.Mock", "UpdateProperties",
                 { "org.bluez.Device1", QVariantMap { { "UUIDs", QStringList { a2dpSink } } } }));
        QTRY_VERIFY(BluetoothConnectionManager::isConnectable(paired));
        BluetoothConnectionManager audio(paired);
        QSignalSpy connected(&audio, &BluetoothConnectionManager::connected);
        audio.connect();
        QTRY_COMPARE(connected.size(), 1);
    }

    void daemonLeaving()
    {
        BluetoothAdapter adapter;
        QTRY_VERIFY(adapter.isValid());
        QSignalSpy invalid(&adapter, &BluetoothAdapter::adapterInvalid);
        m_mock.kill();
        QTRY_COMPARE(invalid.size(), 1);
        QVERIFY(!adapter.isValid());
        QVERIFY(adapter.listDevices().isEmpty());
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestDbusmockBluez5)
#include "tst_dbusmockbluez5.moc"
