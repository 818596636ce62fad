// The shared adapter object: handles, following BlueZ as it comes and goes,
// the property cache, and the device list.

#include "bluetoothadapter.h"
#include "bluezworld.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;

namespace {
const QString phoneAddress = QStringLiteral("F4:0E:22:13:33:03");
const QString printerAddress = QStringLiteral("00:80:92:A1:66:06");
const QString bandAddress = QStringLiteral("C8:0F:10:85:EE:0E");
} // namespace

class TestBluetoothAdapter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { OVRIN_FRESH_WORLD("bluez/scenarios/handset.json"); }

    void cleanup() { verifyBluezHygiene(sim()); }

    void handlesShareOneObjectAndEverySignal()
    {
        auto *first = BluetoothAdapter::defaultAdapter();
        auto *second = new BluetoothAdapter;
        QVERIFY(first->isValid());
        QCOMPARE(first->name(), QStringLiteral("Test handset"));
        QCOMPARE(second->name(), QStringLiteral("Test handset"));
        // BlueZ 5 tells everything up front: reads cost no call there.
        const QString read = dialect("GetProperties", "GetAll");
        QCOMPARE(sim()->countCalls(read), onBluez5() ? 0 : 1);

        QSignalSpy firstSpy(first, &BluetoothAdapter::propertyChanged);
        QSignalSpy secondSpy(second, &BluetoothAdapter::propertyChanged);
        QVERIFY(sim()->changeAdapter({ { "powered", false } }));
        QTRY_COMPARE(secondSpy.count(QList<QVariant> { QStringLiteral("powered") }), 1);
        QCOMPARE(firstSpy.count(QList<QVariant> { QStringLiteral("powered") }), 1);
        QVERIFY(!second->isPowered());
        // "Pairable" is cached but is no property of the handle.
        QVERIFY(!firstSpy.contains(QList<QVariant> { QStringLiteral("pairable") }));

        delete first;
        QVERIFY(second->isValid());
        QVERIFY(!second->isPowered());
        delete second;

        // A new handle starts with a fresh cache.
        BluetoothAdapter third;
        QVERIFY(!third.isPowered());
        QCOMPARE(sim()->countCalls(read), onBluez5() ? 0 : 2);
    }

    void classUpdatesTheCacheSilently()
    {
        BluetoothAdapter adapter;
        QCOMPARE(adapter.classOfDevice(), 0x5a020cu);
        QSignalSpy spy(&adapter, &BluetoothAdapter::propertyChanged);
        QVERIFY(sim()->changeAdapter({ { "class", 0x100104 }, { "name", "Renamed" } }));
        // BlueZ reports the name first and the class after it.
        QTRY_COMPARE(adapter.classOfDevice(), 0x100104u);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), QStringLiteral("name"));
        QCOMPARE(adapter.name(), QStringLiteral("Renamed"));
    }

    void setNameRefetchesOnTheNextRead()
    {
        BluetoothAdapter adapter;
        QCOMPARE(adapter.address(), QStringLiteral("00:1A:7D:DA:71:13"));
        adapter.setName(QStringLiteral("Pocket"));
        QCOMPARE(sim()->countCalls(dialect("SetProperty", "Set")), 1);
        QCOMPARE(adapter.name(), QStringLiteral("Pocket"));
        QCOMPARE(sim()->countCalls(dialect("GetProperties", "GetAll")), onBluez5() ? 0 : 2);
    }

    // BlueZ 5 hides the adapter again after its DiscoverableTimeout: visible
    // is written as visible until hidden. BlueZ 4's handset timeout is kept.
    void visibilityLastsUntilHidden()
    {
        QVERIFY(sim()->changeAdapter({ { "discoverableTimeout", 1 } }));
        settleBluez();
        BluetoothAdapter adapter;
        QSignalSpy changed(&adapter, &BluetoothAdapter::propertyChanged);
        adapter.setDiscoverable(true);
        QTRY_VERIFY(adapter.isDiscoverable());
        QCOMPARE(simAdapter("discoverableTimeout").toInt(), onBluez5() ? 0 : 1);
        if (onBluez5()) {
            QTest::qWait(1500);
            QVERIFY(adapter.isDiscoverable());
            QVERIFY(simAdapter("discoverable").toBool());
        }
        adapter.setDiscoverable(false);
        QTRY_VERIFY(!simAdapter("discoverable").toBool());
    }

    // bluetoothd killed while it searched leaves the controller's inquiry
    // running: the next bluetoothd refuses a discovery until it ends, and
    // the library's discovery starts then.
    void discoveryStartsOnceTheKilledDaemonsInquiryEnds()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4's simulator plays no kernel under the daemon");
        QVERIFY(sim()->setTiming({ { "inquiryMs", 2000 } }));
        {
            BluetoothAdapter adapter;
            QSignalSpy discovered(&adapter, &BluetoothAdapter::deviceDiscovered);
            adapter.startDiscovery();
            QTest::qWait(300);
            QVERIFY(discovered.isEmpty());
            QVERIFY(sim()->dropService());
            QVERIFY(restoreBluez(sim()));
        }
        BluetoothAdapter adapter;
        QTRY_VERIFY(adapter.isValid());
        QSignalSpy discovered(&adapter, &BluetoothAdapter::deviceDiscovered);
        adapter.startDiscovery();
        QTRY_VERIFY_WITH_TIMEOUT(!discovered.isEmpty(), 8000);
        adapter.stopDiscovery();
    }

    void serviceLossKeepsTheCache()
    {
        BluetoothAdapter adapter;
        QVERIFY(adapter.isPowered());
        QSignalSpy invalid(&adapter, &BluetoothAdapter::adapterInvalid);
        // Announced as BlueZ leaves: the description due next is not read
        // from a daemon that has gone (and the process lives on).
        QVERIFY(sim()->changeDevice(bandAddress, { { "known", true }, { "trusted", true } }));
        QVERIFY(sim()->dropService());
        QTRY_COMPARE(invalid.size(), 1);
        QVERIFY(!adapter.isValid());
        QVERIFY(adapter.isPowered());
        QCOMPARE(adapter.name(), QStringLiteral("Test handset"));
        QCOMPARE(adapter.listDevices().size(), 0);
        QVERIFY(!adapter.deviceForAddress(QStringLiteral("00:1B:66:0A:11:01")).isValid());
        QVERIFY(restoreBluez(sim()));
    }

    void absentDaemonThenRegistration()
    {
        QVERIFY(dropBluez(sim()));
        QTest::ignoreMessage(QtWarningMsg, "Bluez does not exist");
        BluetoothAdapter first;
        BluetoothAdapter second;
        QVERIFY(!first.isValid());
        QVERIFY(!first.isPowered());
        QCOMPARE(first.name(), QString());
        QSignalSpy valid(&second, &BluetoothAdapter::adapterValid);
        QVERIFY(sim()->restoreService());
        // BlueZ 4's adapter is asked for after a second; BlueZ 5 describes it at once.
        QVERIFY(valid.wait(onBluez5() ? 900 : 3000));
        QVERIFY(first.isValid());
        QVERIFY(first.isPowered());
    }

    // The one test that proves the real retry timing; it takes 17 s.
    void retriesAtOneThreeSevenAndFifteenSeconds()
    {
        if (onBluez5())
            QSKIP("BlueZ 5 announces its adapter when it is ready: nothing to retry");
        QVERIFY(dropBluez(sim()));
        QTest::ignoreMessage(QtWarningMsg, "Bluez does not exist");
        BluetoothAdapter adapter;
        for (int i = 0; i < 5; ++i)
            QVERIFY(sim()->failNext(QStringLiteral("DefaultAdapter"),
                                    QStringLiteral("org.bluez.Error.NoSuchAdapter"),
                                    QStringLiteral("No such adapter")));
        for (int i = 0; i < 4; ++i)
            QTest::ignoreMessage(
                QtWarningMsg,
                "DefaultAdapter returned error 'org.bluez.Error.NoSuchAdapter': No such adapter");
        QVERIFY(sim()->clearCallLog());
        QVERIFY(sim()->restoreService());
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(sim()->countCalls(QStringLiteral("DefaultAdapter")) == 4, 17000);
        QTest::qWait(2000);
        QList<qint64> times;
        for (const SimulatorClient::Call &call : sim()->callLog()) {
            if (call.member == QLatin1String("DefaultAdapter"))
                times.append(call.msecs);
        }
        QCOMPARE(times.size(), 4);
        // 1, 3, 7 and 15 s after the registration: gaps of 2, 4 and 8 s.
        const QList<qint64> expectedGaps { 2000, 4000, 8000 };
        for (int i = 0; i < 3; ++i)
            QVERIFY2(
                qAbs(times.at(i + 1) - times.at(i) - expectedGaps.at(i)) < 250,
                qPrintable(
                    QStringLiteral("gap %1 is %2 ms").arg(i).arg(times.at(i + 1) - times.at(i))));
        QVERIFY(qAbs(clock.elapsed() - 17000) < 1500);
        QVERIFY(!adapter.isValid());
    }

    // Two controllers: the handles serve the first by number. When it goes,
    // they go on with the other, as BlueZ 4's default adapter did, and the
    // radio switch with them; the first coming back changes nothing.
    void handlesMoveToTheOtherControllerWhenTheirsGoes()
    {
        if (!onBluez5())
            QSKIP("btsim plays a second controller for BlueZ 5");
        QVERIFY(loadWorld("real/scenarios/two-controllers.json"));
        const QString first = QStringLiteral("00:AA:01:00:00:00");
        const QString second = QStringLiteral("00:AA:01:01:00:01");
        BluetoothAdapter adapter;
        QTRY_VERIFY(adapter.isValid());
        QCOMPARE(adapter.address(), first);
        QSignalSpy invalid(&adapter, &BluetoothAdapter::adapterInvalid);
        QSignalSpy valid(&adapter, &BluetoothAdapter::adapterValid);
        QVERIFY(sim()->changeAdapter({ { "present", false } }));
        QTRY_COMPARE(valid.size(), 1);
        QCOMPARE(invalid.size(), 1);
        QCOMPARE(adapter.address(), second);
        QVERIFY(adapter.isPowered());
        adapter.setPowered(false);
        QTRY_VERIFY(!adapter.isPowered());
        QVERIFY(sim()->changeAdapter({ { "present", true } }));
        QTest::qWait(300);
        QCOMPARE(adapter.address(), second);
        QCOMPARE(valid.size(), 1);
        QCOMPARE(BluetoothAdapter().address(), second);
        // The radio switch keeps to the controller the handles serve.
        const bool firstPowered = simAdapter("powered").toBool();
        adapter.setPowered(true);
        QTRY_VERIFY(adapter.isPowered());
        QCOMPARE(simAdapter("powered").toBool(), firstPowered);
    }

    void deviceListAndLookup()
    {
        BluetoothAdapter adapter;
        const QList<BluetoothDevice> devices = adapter.listDevices();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices.at(0).address(), QStringLiteral("00:1B:66:0A:11:01"));
        QVERIFY(devices.at(0).isValid());
        QVERIFY(adapter.deviceForAddress(QStringLiteral("00:1E:AE:4C:22:02")).isValid());
        // An address BlueZ does not know is normal: no warning (any would fail here).
        const BluetoothDevice unknown
            = adapter.deviceForAddress(QStringLiteral("00:11:22:33:44:55"));
        QVERIFY(!unknown.isValid());
        QCOMPARE(unknown.address(), QStringLiteral("00:11:22:33:44:55"));
        if (onBluez5())
            return;
        // Any other failure of the look-up is told.
        QVERIFY(sim()->failNext(QStringLiteral("org.bluez.Adapter.FindDevice"),
                                QStringLiteral("org.bluez.Error.Failed"), QStringLiteral("Broken")));
        QTest::ignoreMessage(QtWarningMsg, "FindDevice returned error 'org.bluez.Error.Failed': Broken");
        QVERIFY(!adapter.deviceForAddress(QStringLiteral("00:1E:AE:4C:22:02")).isValid());
    }

    void receiversMayDeleteAnyHandle()
    {
        // A receiver deletes a later handle: that one hears nothing more.
        auto *first = new BluetoothAdapter;
        auto *second = new BluetoothAdapter;
        QVERIFY(first->isPowered());
        connect(first, &BluetoothAdapter::propertyChanged, this, [&second] {
            delete second;
            second = nullptr;
        });
        connect(second, &BluetoothAdapter::propertyChanged, this,
                [] { QFAIL("a deleted handle was reached"); });
        QVERIFY(sim()->changeAdapter({ { "name", "Once" } }));
        QTRY_VERIFY(!second);

        // The last handle goes from inside the signal, which the adapter emits
        // while it still has work to do, here in the middle of a power-off.
        connect(first, &BluetoothAdapter::propertyChanged, this, [&first] {
            delete first;
            first = nullptr;
        });
        first->setPowered(false);
        QVERIFY(!first);

        // And from inside the answer to a session request, which the handle
        // owns: BlueZ 4 wants an agent to confirm, BlueZ 5 just powers on.
        auto *asking = new BluetoothAdapter;
        const auto deleteAsking = [&asking] {
            delete asking;
            asking = nullptr;
        };
        connect(asking, &BluetoothAdapter::sessionRejected, this, deleteAsking);
        connect(asking, &BluetoothAdapter::sessionObtained, this, deleteAsking);
        if (!onBluez5())
            QTest::ignoreMessage(
                QtWarningMsg,
                "Session request failed: org.bluez.Error.AgentNotAvailable, Agent Not Available");
        asking->requestSession();
        QTRY_VERIFY(!asking);

        // The power-off went out (and on BlueZ 5 the session's power-on);
        // a new handle works as ever.
        BluetoothAdapter next;
        QTRY_VERIFY(next.isValid() && next.isPowered() == onBluez5());
    }

    // Announced on every handle.
    void deviceAnnouncementsNeitherBlockNorGetLost()
    {
        BluetoothAdapter adapter;
        BluetoothAdapter other;
        QVERIFY(adapter.isValid());
        QSignalSpy created(&other, &BluetoothAdapter::deviceCreated);
        QSignalSpy changed(&adapter, &BluetoothAdapter::propertyChanged);
        // BlueZ 4 is slow to describe the new device: the process goes on
        // meanwhile. (BlueZ 5 describes it as it announces it.)
        QVERIFY(sim()->delayNext(QStringLiteral("GetProperties"), 1500));
        QVERIFY(sim()->changeDevice(phoneAddress, { { "known", true }, { "trusted", true } }));
        QVERIFY(sim()->changeAdapter({ { "name", "Meanwhile" } }));
        QTRY_COMPARE(created.size(), 1);
        QTRY_COMPARE(changed.count({ QStringLiteral("name") }), 1);
        const BluetoothDevice phone = created.first().first().value<BluetoothDevice>();
        QCOMPARE(phone.name(), QStringLiteral("Phone"));
        QCOMPARE(sim()->countCalls(QStringLiteral("GetProperties")), onBluez5() ? 0 : 1);

        // BlueZ 4 fails to describe it: the device is reported all the same.
        QVERIFY(sim()->failNext(QStringLiteral("GetProperties"),
                                QStringLiteral("org.bluez.Error.Failed")));
        QVERIFY(sim()->changeDevice(printerAddress, { { "known", true }, { "trusted", true } }));
        QTRY_COMPARE(created.size(), 2);
        const BluetoothDevice printer = created.last().first().value<BluetoothDevice>();
        QCOMPARE(printer.address(), printerAddress);
        QCOMPARE(printer.name(), QStringLiteral("Printer"));
    }

    void wrongTypesAreTreatedAsAbsent()
    {
        BluetoothAdapter adapter;
        QVERIFY(adapter.isPowered());
        QSignalSpy spy(&adapter, &BluetoothAdapter::propertyChanged);
        QTest::ignoreMessage(QtWarningMsg,
                             "Ignoring adapter property Powered of type 's' (expected 'b')");
        QVERIFY(sim()->setRawProperty(QStringLiteral("adapter"), QStringLiteral("Powered"),
                                      QStringLiteral("off")));
        QVERIFY(sim()->changeAdapter({ { "name", "After" } }));
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), QStringLiteral("name"));
        QVERIFY(adapter.isPowered());
        // Fetched again, the wrong value is left out of the cache entirely.
        adapter.setName(QStringLiteral("Refetch"));
        QVERIFY(!adapter.isPowered());
        QCOMPARE(adapter.name(), QStringLiteral("Refetch"));
    }
};

OVRIN_TEST_MAIN(TestBluetoothAdapter)
#include "tst_bluetoothadapter.moc"
