// Devices as value handles: addresses, names, class fields, sharing of
// changes, equality, and the process-wide RSSI table.

#include "bluetoothdevice.h"
#include "bluezworld.h"

#include <QJsonObject>
#include <QSignalSpy>

#include <memory>
#include <vector>

using namespace Ovrin;
using namespace OvrinTest;

namespace {
const QString headsetAddress = QStringLiteral("00:1B:66:0A:11:01");
const QString carKitAddress = QStringLiteral("00:1E:AE:4C:22:02");

BluetoothDevice mapDevice(const QVariantMap &properties)
{
    return BluetoothDevice(properties);
}
} // namespace

class TestBluetoothDevice : public QObject
{
    Q_OBJECT

    QString m_adapter;

    QString devicePath(const QString &address) const
    {
        return OvrinTest::devicePath(m_adapter, address);
    }

private Q_SLOTS:
    void init()
    {
        OVRIN_FRESH_WORLD("bluez/scenarios/handset.json");
        m_adapter = defaultAdapterPath();
        // The reports of the scenario's changes came before that answer: they
        // go by now, before any handle of this test follows a device.
        QCoreApplication::processEvents();
        QVERIFY(sim()->clearCallLog());
    }

    void cleanup() { verifyBluezHygiene(sim()); }

    void mapDeviceAnswersFromItsMap()
    {
        const BluetoothDevice device = mapDevice({ { "Address", "00:11:22:aa:bb:cc" } });
        QVERIFY(!device.isValid());
        QCOMPARE(device.address(), QStringLiteral("00:11:22:AA:BB:CC"));
        QVERIFY(!device.isPaired());

        const BluetoothDevice empty;
        QVERIFY(!empty.isValid());
        QCOMPARE(empty.address(), QString());
        QCOMPARE(sim()->callLog().size(), 0); // neither touched the bus
    }

    void displayName_data()
    {
        QTest::addColumn<QVariantMap>("properties");
        QTest::addColumn<QString>("expected");
        const QString unnamed = qtTrId("qtn_conn_bt_unnamed_device");
        const QString address = QStringLiteral("00:11:22:AA:BB:CC");
        QTest::newRow("address only") << QVariantMap { { "Address", address } } << unnamed;
        QTest::newRow("dashed address, other case")
            << QVariantMap { { "Address", address }, { "Alias", "00-11-22-aa-bb-cc" } } << unnamed;
        QTest::newRow("blank alias")
            << QVariantMap { { "Address", address }, { "Alias", "   " }, { "Name", "Real" } }
            << unnamed;
        QTest::newRow("alias wins")
            << QVariantMap { { "Address", address }, { "Alias", " Mine " }, { "Name", "Real" } }
            << QStringLiteral(" Mine ");
        QTest::newRow("name without alias")
            << QVariantMap { { "Address", address }, { "Name", "Real" } } << QStringLiteral("Real");
    }

    void displayName()
    {
        QFETCH(QVariantMap, properties);
        QFETCH(QString, expected);
        QCOMPARE(mapDevice(properties).name(), expected);
    }

    void classFieldsAndLegacyPairing()
    {
        const BluetoothDevice phone = mapDevice({ { "Class", (0x5Au << 16) | (2u << 8) } });
        QCOMPARE(phone.majorClass(), BluetoothDevice::Phone);
        QCOMPARE(int(phone.serviceClass()), 0x5A);
        QCOMPARE(mapDevice({ { "Class", 31u << 8 } }).majorClass(), BluetoothDevice::Uncategorized);
        QCOMPARE(mapDevice({ { "Class", 9u << 8 } }).majorClass(), BluetoothDevice::Uncategorized);
        const BluetoothDevice none = mapDevice({});
        QCOMPARE(none.majorClass(), BluetoothDevice::Miscellaneous);
        QCOMPARE(int(none.serviceClass()), 0);

        QVERIFY(mapDevice({}).isLegacyPairing());
        QVERIFY(!mapDevice({ { "LegacyPairing", false } }).isLegacyPairing());
        QVERIFY(
            !mapDevice({ { "LegacyPairing", true }, { "Broadcaster", false } }).isLegacyPairing());
    }

    void rssiTableKeepsSmallChangesOutAndEmpties()
    {
        const QString address = QStringLiteral("00:11:22:33:44:55");
        auto seen = [&address](int rssi) {
            return mapDevice(
                { { "Address", address }, { "RSSI", QVariant::fromValue(qint16(rssi)) } });
        };
        {
            const BluetoothDevice first = seen(-60);
            QCOMPARE(first.rssi(), -60);
            QCOMPARE(seen(-55).rssi(), -60);
            QCOMPARE(seen(-70).rssi(), -60);
            QCOMPARE(seen(0).rssi(), -60);
            QCOMPARE(seen(-71).rssi(), -71);
        }
        // It empties with the last device: the private object goes on the
        // next turn of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(mapDevice({ { "Address", address } }).rssi(), 0);
    }

    void pathDeviceReadsBluezOnce()
    {
        const BluetoothDevice headset { QDBusObjectPath(devicePath(headsetAddress)) };
        QVERIFY(headset.isValid());
        // The address comes from the path without any call.
        QCOMPARE(headset.address(), headsetAddress);
        QCOMPARE(headset.name(), QStringLiteral("Headset"));
        QVERIFY(headset.isPaired());
        // BlueZ 5 told everything up front: no call at all there.
        const int once = onBluez5() ? 0 : 1;
        QCOMPARE(sim()->countCalls(dialect("GetProperties", "GetAll")), once);
        // Copies share the cache: no further call.
        const BluetoothDevice copy = headset;
        QVERIFY(copy.isPaired());
        // Made on its own (from a signal, say), not copied: BlueZ is not asked again.
        const BluetoothDevice second { QDBusObjectPath(devicePath(headsetAddress)) };
        QVERIFY(second.isTrusted());
        QCOMPARE(sim()->countCalls(dialect("GetProperties", "GetAll")), once);
    }

    void changesReachEveryCopy()
    {
        BluetoothDevice headset { QDBusObjectPath(devicePath(headsetAddress)) };
        BluetoothDevice copy = headset;
        QVERIFY(headset == copy);
        QSignalSpy first(&headset, &BluetoothDevice::propertyChanged);
        QSignalSpy second(&copy, &BluetoothDevice::propertyChanged);
        headset.setName(QStringLiteral("Work headset"));
        QTRY_COMPARE(second.size(), 1);
        QCOMPARE(first.size(), 1);
        QCOMPARE(second.first().first().toString(), QStringLiteral("name"));
        QCOMPARE(copy.name(), QStringLiteral("Work headset"));

        // LegacyPairing and Class only update the cache.
        QVERIFY(sim()->changeDevice(headsetAddress, { { "legacyPairing", true } }));
        QTRY_VERIFY(headset.isLegacyPairing());
        QVERIFY(sim()->changeDevice(headsetAddress, { { "connected", true } }));
        QTRY_COMPARE(first.size(), 2);
        QCOMPARE(first.last().first().toString(), QStringLiteral("connected"));
        QVERIFY(headset.isConnected());
    }

    void anObjectBluezMakesAgainStartsAfresh()
    {
        const BluetoothDevice old { QDBusObjectPath(devicePath(headsetAddress)) };
        QVERIFY(old.isTrusted());
        QJsonObject again = sim()->device(headsetAddress);
        again.insert(QStringLiteral("trusted"), false);
        QVERIFY(sim()->removeDevice(headsetAddress));
        QVERIFY2(sim()->addDevice(again), qPrintable(sim()->lastError()));
        // Once the removal has reached us, a new handle reads the new object.
        QTRY_VERIFY(!BluetoothDevice(QDBusObjectPath(devicePath(headsetAddress))).isTrusted());
        QVERIFY(old.isTrusted());
    }

    void everyDeviceIsFollowedHoweverMany()
    {
        // More devices than the bus grants one connection match rules (512).
        constexpr int count = 600;
        std::vector<std::unique_ptr<BluetoothDevice>> devices;
        for (int i = 0; i < count; ++i) {
            const QString address = QStringLiteral("00:EE:00:00:%1:%2")
                                        .arg(i >> 8, 2, 16, QLatin1Char('0'))
                                        .arg(i & 0xff, 2, 16, QLatin1Char('0'))
                                        .toUpper();
            QVERIFY(sim()->addDevice({ { "address", address }, { "paired", true } }));
            const QDBusObjectPath path(devicePath(address));
            devices.push_back(std::make_unique<BluetoothDevice>(path));
        }
        BluetoothDevice &last = *devices.back();
        QVERIFY(last.isPaired());
        QVERIFY(!last.isConnected());
        QSignalSpy changes(&last, &BluetoothDevice::propertyChanged);
        QVERIFY(sim()->changeDevice(last.address(), { { "connected", true } }));
        QTRY_COMPARE(changes.size(), 1);
        QVERIFY(last.isConnected());
    }

    void aCopyDestroyedByAReceiverIsNotReached()
    {
        BluetoothDevice headset { QDBusObjectPath(devicePath(headsetAddress)) };
        QVERIFY(headset.isPaired());
        auto *copy = new BluetoothDevice(headset);
        int seen = 0;
        connect(&headset, &BluetoothDevice::propertyChanged, this, [&copy, &seen]() {
            ++seen;
            delete copy;
            copy = nullptr;
        });
        QVERIFY(sim()->changeDevice(headsetAddress, { { "connected", true } }));
        QTRY_COMPARE(seen, 1);
        QVERIFY(!copy);
        QVERIFY(headset.isConnected());
    }

    void aReportIsDeliveredAfterARereadToo()
    {
        BluetoothDevice headset { QDBusObjectPath(devicePath(headsetAddress)) };
        BluetoothDevice copy = headset;
        QVERIFY(headset.isTrusted());
        QSignalSpy changes(&copy, &BluetoothDevice::propertyChanged);
        headset.setTrusted(false);
        QCOMPARE(sim()->countCalls(dialect("SetProperty", "Set")), 1);
        // Read again before BlueZ's report of the write has been handed over.
        QVERIFY(!headset.isTrusted());
        QCOMPARE(sim()->countCalls(dialect("GetProperties", "GetAll")), onBluez5() ? 0 : 2);
        QTRY_COMPARE(changes.count(QList<QVariant> { QStringLiteral("trusted") }), 1);
        // Once: a later report arrives, and nothing more of the first.
        QVERIFY(sim()->changeDevice(headsetAddress, { { "connected", true } }));
        QTRY_COMPARE(changes.size(), 2);
        QCOMPARE(changes.last().first().toString(), QStringLiteral("connected"));
    }

    void assignmentJoinsTheOtherDevice()
    {
        BluetoothDevice headset { QDBusObjectPath(devicePath(headsetAddress)) };
        BluetoothDevice handle { QDBusObjectPath(devicePath(carKitAddress)) };
        QSignalSpy spy(&handle, &BluetoothDevice::propertyChanged);
        handle = headset;
        QCOMPARE(handle.address(), headsetAddress);
        // The handle's own connections now follow the headset.
        QVERIFY(sim()->changeDevice(headsetAddress, { { "connected", true } }));
        QTRY_COMPARE(spy.size(), 1);
        handle = handle;
        QCOMPARE(handle.address(), headsetAddress);
    }

    void equality()
    {
        const BluetoothDevice path { QDBusObjectPath(devicePath(headsetAddress)) };
        QVERIFY(path == mapDevice({ { "Address", headsetAddress } }));
        // Callers may write an address in lower case; paths spell it in upper.
        QVERIFY(path == mapDevice({ { "Address", headsetAddress.toLower() } }));
        QVERIFY(!(path == mapDevice({ { "Address", carKitAddress } })));
        // Unfetched devices compare the addresses their paths end with.
        const BluetoothDevice other { QDBusObjectPath(
            QStringLiteral("/org/bluez/1/hci1/dev_00_1B_66_0A_11_01")) };
        QVERIFY(path == other);
        QVERIFY(!(BluetoothDevice() == BluetoothDevice()));
        QCOMPARE(sim()->countCalls(QStringLiteral("GetProperties")), 0);
    }

    void wrongTypesAreTreatedAsAbsent()
    {
        QTest::ignoreMessage(QtWarningMsg,
                             "Ignoring device property Class of type 's' (expected 'u')");
        QVERIFY(
            sim()->setRawProperty(carKitAddress, QStringLiteral("Class"), QStringLiteral("phone")));
        QVERIFY(sim()->setRawProperty(carKitAddress, QStringLiteral("UUIDs"), 42u));
        // Not an address to its last digit: the object's path tells it.
        const QString badAddress = carKitAddress.left(16) + 'G';
        // Told as they come (BlueZ 5) or as the device is read (BlueZ 4).
        expectWarning("Ignoring device property Address '" + badAddress + "': not a Bluetooth");
        QTest::ignoreMessage(QtWarningMsg,
                             "Ignoring device property UUIDs of type 'u' (expected 'as')");
        QVERIFY(sim()->setRawProperty(carKitAddress, QStringLiteral("Address"), badAddress));
        settleBluez();
        const BluetoothDevice carKit { QDBusObjectPath(devicePath(carKitAddress)) };
        QCOMPARE(carKit.classOfDevice(), 0u);
        QCOMPARE(carKit.uuids(), QStringList());
        QCOMPARE(carKit.address(), carKitAddress);
        // Logged once per property, however often it comes.
        QVERIFY(sim()->setRawProperty(carKitAddress, QStringLiteral("Class"),
                                      QStringLiteral("still wrong")));
        QTest::qWait(50);
        QCOMPARE(carKit.classOfDevice(), 0u);
    }

    void unknownPathIsInvalidButKeepsItsAddress()
    {
        QVERIFY(dropBluez(sim()));
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Unable to get device: %1").arg(devicePath(headsetAddress))));
        const BluetoothDevice gone { QDBusObjectPath(devicePath(headsetAddress)) };
        QVERIFY(!gone.isValid());
        // Every read tries again, logs, and answers from the path.
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral("^GetProperties returned error '.+': ")));
        QCOMPARE(gone.address(), headsetAddress);
        QVERIFY(restoreBluez(sim()));
    }
};

OVRIN_TEST_MAIN(TestBluetoothDevice)
#include "tst_bluetoothdevice.moc"
