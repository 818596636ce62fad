// What a handle does to the adapter: power with orderly disconnection, the
// saved visibility, sessions, discovery, device creation and agents.

#include "bluetoothadapter.h"
#include "bluetoothagent.h"
#include "bluezworld.h"
#include "orvelgconfitem.h"

#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;

namespace {
const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString carKit = QStringLiteral("00:1E:AE:4C:22:02");
const QString phone = QStringLiteral("F4:0E:22:13:33:03");
const QString visibleKey = QStringLiteral("/system/varn/connectivity/BT/visible");
} // namespace

class TestAdapterOperations : public QObject
{
    Q_OBJECT

    static bool bluezPowered() { return simAdapter("powered").toBool(); }
    static bool bluezDiscoverable() { return simAdapter("discoverable").toBool(); }

    // Brings up the link of address and waits until this process has seen it,
    // so that no older report of that link is still on its way.
    bool connectLink(BluetoothAdapter &adapter, const QString &address)
    {
        const BluetoothDevice device = adapter.deviceForAddress(address);
        device.isConnected(); // fills the cache that the reports then patch
        return sim()->changeDevice(address, { { "connected", true } })
            && QTest::qWaitFor([&device]() { return device.isConnected(); });
    }

private Q_SLOTS:
    void init()
    {
        OrvelGConfItem(visibleKey).unset();
        OVRIN_FRESH_WORLD("bluez/scenarios/handset.json");
    }

    void cleanup() { verifyBluezHygiene(sim()); }

    void powerOffWithNothingConnectedIsAnnouncedAtOnce()
    {
        BluetoothAdapter first;
        BluetoothAdapter second;
        QVERIFY(first.isPowered());
        QSignalSpy spy(&second, &BluetoothAdapter::propertyChanged);
        first.setPowered(false);
        // Before BlueZ said anything.
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), QStringLiteral("powered"));
        QVERIFY(!second.isPowered());
        QTRY_VERIFY(!bluezPowered());

        first.setPowered(true);
        QTRY_VERIFY(bluezPowered());
        QTRY_VERIFY(second.isPowered());
    }

    void powerOffWaitsForEveryConnectedDevice()
    {
        BluetoothAdapter adapter;
        QVERIFY(connectLink(adapter, headset));
        QVERIFY(connectLink(adapter, carKit));
        QVERIFY(sim()->setTiming({ { "disconnectMs", 1000 } }));
        // The first device asked (the headset) will not let go: that is its
        // answer, and the car kit is still waited for.
        QVERIFY(
            sim()->failNext(dialect("org.bluez.Device.Disconnect", "org.bluez.Device1.Disconnect"),
                            QStringLiteral("org.bluez.Error.Failed"), QStringLiteral("busy")));
        QVERIFY(adapter.isPowered());
        QSignalSpy spy(&adapter, &BluetoothAdapter::propertyChanged);
        QTest::ignoreMessage(QtWarningMsg, "Disconnect failed: org.bluez.Error.Failed, busy");
        adapter.setPowered(false);
        QTRY_COMPARE(sim()->countCalls(QStringLiteral("Disconnect")), 2);
        QTest::qWait(300);
        QVERIFY(simFlag(carKit, "connected"));
        QVERIFY(adapter.isPowered());
        QCOMPARE(spy.size(), 0);

        // Once the car kit goes, the radio goes (announced at once, and
        // again when BlueZ confirms, which may come first on a busy machine).
        QTRY_VERIFY(!spy.isEmpty());
        QCOMPARE(spy.first().first().toString(), QStringLiteral("powered"));
        QVERIFY(!adapter.isPowered());
        QVERIFY(!simFlag(carKit, "connected"));
        QTRY_VERIFY(!bluezPowered());
    }

    void powerOffDoesNotWaitForEverForADevice()
    {
        BluetoothAdapter adapter;
        QVERIFY(connectLink(adapter, headset));
        QVERIFY(sim()->ignoreNext(
            dialect("org.bluez.Device.Disconnect", "org.bluez.Device1.Disconnect"), false));
        QSignalSpy spy(&adapter, &BluetoothAdapter::propertyChanged);
        adapter.setPowered(false);
        QTRY_COMPARE(sim()->countCalls(QStringLiteral("Disconnect")), 1);
        QTest::qWait(1000);
        QVERIFY(adapter.isPowered());
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(
                QStringLiteral("^Disconnect of /.*/dev_00_1B_66_0A_11_01 not reported in time$")));
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), 6000);
        QCOMPARE(spy.first().first().toString(), QStringLiteral("powered"));
        QVERIFY(!adapter.isPowered());
        QTRY_VERIFY(!bluezPowered());
    }

    void visibilityWhileOffIsOnlySaved()
    {
        BluetoothAdapter adapter;
        adapter.setPowered(false);
        QTRY_VERIFY(!bluezPowered());
        QVERIFY(sim()->clearCallLog());
        QVERIFY(!adapter.isDiscoverable());
        adapter.setDiscoverable(true);
        QCOMPARE(sim()->countCalls(QStringLiteral("SetProperty")), 0);
        QCOMPARE(OrvelGConfItem(visibleKey).value(), QVariant(true));
        QVERIFY(adapter.isDiscoverable());
    }

    void visibilityWithoutSavedChoiceIsTheCachedOne()
    {
        BluetoothAdapter adapter;
        QVERIFY(sim()->changeAdapter({ { "discoverable", true } }));
        QTRY_VERIFY(adapter.isDiscoverable());
        adapter.setPowered(false);
        QVERIFY(!OrvelGConfItem(visibleKey).value().isValid());
        QVERIFY(adapter.isDiscoverable());
        // The request outlives the handle: let it land before the next test.
        QTRY_VERIFY(!bluezPowered());
    }

    void restoreWindow_data()
    {
        QTest::addColumn<bool>("sync");
        QTest::newRow("saved choice written back") << true;
        QTest::newRow("without sync the report is dropped") << false;
    }

    // BlueZ comes up discoverable, the user had chosen invisible.
    void restoreWindow()
    {
        QFETCH(bool, sync);
        QVERIFY(sim()->changeAdapter({ { "discoverable", true } }));
        QTRY_VERIFY(bluezDiscoverable());
        settleBluez();
        BluetoothAdapter adapter;
        QVERIFY(adapter.isDiscoverable());
        adapter.setDiscoverableSync(sync);
        adapter.setPowered(false);
        QTRY_VERIFY(!bluezPowered());
        OrvelGConfItem(visibleKey).set(false);
        QList<bool> announced;
        connect(&adapter, &BluetoothAdapter::propertyChanged, this,
                [&adapter, &announced](const QString &name) {
                    if (name == QLatin1String("discoverable"))
                        announced.append(adapter.isDiscoverable());
                });
        QSignalSpy spy(&adapter, &BluetoothAdapter::propertyChanged);
        adapter.setPowered(true);
        QTRY_VERIFY(spy.contains(QList<QVariant> { QStringLiteral("powered") }));
        if (sync) {
            QTRY_VERIFY(bluezPowered());
            QTRY_VERIFY(!bluezDiscoverable());
            // BlueZ's "true" was never announced; the write-back's own report is.
            QTRY_COMPARE(announced, QList<bool>({ false }));
            adapter.setDiscoverableSync(false);
            return;
        }
        QTest::qWait(200);
        // BlueZ stays discoverable; the report was dropped, not cached.
        QVERIFY(bluezDiscoverable());
        QVERIFY(announced.isEmpty());
        QVERIFY(adapter.isPowered());
        // The two power switches only.
        QCOMPARE(sim()->countCalls(dialect("SetProperty", "Set")), 2);
    }

    void restoreVisibilityWritesTheSavedChoice()
    {
        BluetoothAdapter adapter;
        OrvelGConfItem(visibleKey).set(true);
        adapter.restoreVisibility();
        QTRY_VERIFY(bluezDiscoverable());
        QVERIFY(adapter.isDiscoverable());
    }

    // BlueZ 5 has no sessions: the radio goes on for them, and off again
    // only when it was off before.
    void bluez5SessionsArePower()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 has sessions of its own");
        BluetoothAdapter adapter;
        QSignalSpy obtained(&adapter, &BluetoothAdapter::sessionObtained);
        adapter.requestSession();
        QVERIFY(obtained.wait());
        adapter.releaseSession();
        QTest::qWait(200);
        QVERIFY(bluezPowered());

        adapter.setPowered(false);
        QTRY_VERIFY(!bluezPowered());
        adapter.requestSession();
        adapter.requestSession();
        QTRY_COMPARE(obtained.size(), 3);
        QVERIFY(bluezPowered());
        adapter.releaseSession();
        QTest::qWait(200);
        QVERIFY(bluezPowered());
        adapter.releaseSession();
        QTRY_VERIFY(!bluezPowered());
    }

    // Where neither rfkill nor "PowerState" can be read, BlueZ 5 tells that
    // rfkill blocks the radio only by refusing to power it on, on any way
    // there: a session or the radio switch. The block ends once the radio is on.
    void bluez5PowerRefusedAsBlockedIsABlockedRadio_data()
    {
        QTest::addColumn<bool>("bySession");
        QTest::newRow("session") << true;
        QTest::newRow("radio switch") << false;
    }
    void bluez5PowerRefusedAsBlockedIsABlockedRadio()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 does not tell that rfkill blocks the radio");
        QFETCH(bool, bySession);
        BluetoothAdapter adapter;
        adapter.setPowered(false);
        QTRY_VERIFY(!bluezPowered());
        QSignalSpy blocked(&adapter, &BluetoothAdapter::radioBlockedChanged);
        QSignalSpy rejected(&adapter, &BluetoothAdapter::sessionRejected);
        QVERIFY(sim()->failNext(QStringLiteral("org.freedesktop.DBus.Properties.Set"),
                                QStringLiteral("org.bluez.Error.Blocked"),
                                QStringLiteral("Blocked through rfkill")));
        if (bySession) {
            QTest::ignoreMessage(
                QtWarningMsg,
                "Session request failed: org.bluez.Error.Blocked, Blocked through rfkill");
            adapter.requestSession();
            QVERIFY(rejected.wait());
        } else {
            QTest::ignoreMessage(QtWarningMsg,
                                 "Switching Bluetooth failed (Set): org.bluez.Error.Blocked "
                                 "Blocked through rfkill");
            adapter.setPowered(true);
            QVERIFY(blocked.wait());
        }
        QVERIFY(adapter.isRadioBlocked());
        QVERIFY(BluetoothAdapter().isRadioBlocked());
        QCOMPARE(blocked.size(), 1);
        QVERIFY(sim()->changeAdapter({ { "powered", true } }));
        QTRY_VERIFY(!adapter.isRadioBlocked());
        QCOMPARE(blocked.size(), 2);
        QCOMPARE(blocked.last().first().toBool(), false);
    }

    void sessionsNeedTheAgentsConsent()
    {
        if (onBluez5())
            QSKIP("BlueZ 5 has no sessions and asks no agent to change modes");
        BluetoothAdapter adapter;
        QSignalSpy rejected(&adapter, &BluetoothAdapter::sessionRejected);
        QTest::ignoreMessage(
            QtWarningMsg,
            "Session request failed: org.bluez.Error.AgentNotAvailable, Agent Not Available");
        adapter.requestSession();
        QVERIFY(rejected.wait());

        BluetoothAgent agent;
        adapter.registerAgent(agent);
        adapter.setPowered(false);
        QTRY_VERIFY(!bluezPowered());
        QSignalSpy asked(&agent, &BluetoothAgent::modeChangeConfirmationRequested);
        QSignalSpy obtained(&adapter, &BluetoothAdapter::sessionObtained);
        adapter.requestSession();
        QVERIFY(asked.wait());
        QCOMPARE(asked.first().first().toString(), QStringLiteral("connectable"));
        agent.confirmModeChange();
        QVERIFY(obtained.wait());
        QVERIFY(bluezPowered());
        adapter.releaseSession();
        QTRY_VERIFY(!bluezPowered());
        adapter.unregisterAgent(agent);
    }

    // bluetoothd pauses between two scans with Discovering still true; a stop
    // then tells Discovering=false ahead of its reply. The handle follows
    // either order, and the next discovery starts as usual.
    void discoveryStoppedBetweenTwoScansEnds()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 starts the next scan at once");
        QVERIFY(sim()->setTiming({ { "inquiryMs", 100 }, { "nameResolveMs", 10 },
                                   { "discoveryIdleMs", 60000 } }));
        BluetoothAdapter adapter;
        QSignalSpy changes(&adapter, &BluetoothAdapter::propertyChanged);
        adapter.startDiscovery();
        QTRY_VERIFY(adapter.isDiscovering());
        QTest::qWait(500);
        adapter.stopDiscovery();
        QTRY_VERIFY(!adapter.isDiscovering());
        QTest::qWait(100);
        QVERIFY(!adapter.isDiscovering());
        QCOMPARE(changes.count(QVariantList { QStringLiteral("discovering") }), 2);
        adapter.startDiscovery();
        QTRY_VERIFY(adapter.isDiscovering());
        adapter.stopDiscovery();
        QTRY_VERIFY(!adapter.isDiscovering());
    }

    void discoveryFeedsEveryHandle()
    {
        BluetoothAdapter first;
        BluetoothAdapter second;
        QSignalSpy found(&second, &BluetoothAdapter::deviceDiscovered);
        first.startDiscovery();
        first.startDiscovery(); // not counted: one connection, one session more in BlueZ
        QTRY_VERIFY(found.size() >= 5);
        QTRY_VERIFY(first.isDiscovering());
        // What a found device carries is checked with the device model.
        QVERIFY(std::any_of(found.cbegin(), found.cend(), [](const QList<QVariant> &args) {
            return args.first().value<BluetoothDevice>().address() == phone;
        }));
        first.stopDiscovery();
        if (onBluez5()) {
            // One session for the process: it ends with the last of its starts.
            QVERIFY(first.isDiscovering());
            second.stopDiscovery();
            const int seen = found.size();
            QTest::qWait(500);
            QCOMPARE(found.size(), seen);
            expectWarning("^stopDiscovery: no discovery of this process runs$");
            second.stopDiscovery();
            return;
        }
        const int seen = found.size();
        QTest::qWait(500);
        QCOMPARE(found.size(), seen); // the one stop ended our interest
        // Both starts opened a session in BlueZ; the second stop still ends one.
        QTest::ignoreMessage(QtWarningMsg, "stopDiscovery: Disconnection failed");
        second.stopDiscovery();
        QTest::ignoreMessage(QtWarningMsg, "stopDiscovery: Disconnection failed");
        QTest::ignoreMessage(
            QtWarningMsg,
            "StopDiscovery returned error 'org.bluez.Error.Failed': Invalid discovery session");
        second.stopDiscovery();
    }

    // Without a filter BlueZ 5 scans low energy too: an advertiser with
    // neither name nor class is not reported found until it has a name.
    void namelessAdvertisersAreNotFound()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 finds inquiry results only");
        const QString beacon = QStringLiteral("D4:11:22:33:44:55");
        QVERIFY(sim()->addDevice({ { "address", beacon }, { "le", true }, { "rssi", -70 } }));
        BluetoothAdapter adapter;
        QSignalSpy found(&adapter, &BluetoothAdapter::deviceDiscovered);
        const auto wasFound = [&found](const QString &address) {
            return std::any_of(found.cbegin(), found.cend(), [&address](const QList<QVariant> &args) {
                return args.first().value<BluetoothDevice>().address() == address;
            });
        };
        adapter.startDiscovery();
        QTRY_VERIFY(wasFound(phone));
        QTest::qWait(300);
        QVERIFY(!wasFound(beacon));
        // Its next advertisement carries a name.
        QVERIFY(sim()->changeDevice(beacon, { { "name", "Step counter" } }));
        QVERIFY(sim()->reportDeviceFound(beacon));
        QTRY_VERIFY(wasFound(beacon));
        adapter.stopDiscovery();
    }

    void createDeviceAnswersForKnownDevices()
    {
        BluetoothAdapter adapter;
        QSignalSpy created(&adapter, &BluetoothAdapter::deviceCreated);
        QSignalSpy failed(&adapter, &BluetoothAdapter::deviceCreationFailed);
        const auto lastCreated = [&created] {
            return created.isEmpty() ? BluetoothDevice()
                                     : created.last().first().value<BluetoothDevice>();
        };
        // BlueZ's announcement, then the reply.
        adapter.startCreatingDevice(addressOnly(phone));
        QTRY_COMPARE(created.size(), 2);
        QCOMPARE(lastCreated().address(), phone);
        // Already there: still a creation, not a failure.
        created.clear();
        adapter.startCreatingDevice(addressOnly(headset));
        QTRY_COMPARE(created.size(), 1);
        QCOMPARE(lastCreated().address(), headset);

        // Paired already: a paired creation ends in that device too.
        BluetoothAgent agent;
        created.clear();
        adapter.startCreatingPairedDevice(addressOnly(headset), &agent);
        QTRY_COMPARE(created.size(), 1);
        QVERIFY(lastCreated().isPaired());
        QCOMPARE(failed.size(), 0);
    }

    void creationOfADeletedHandleIsNotReported()
    {
        BluetoothAdapter listener;
        QSignalSpy failed(&listener, &BluetoothAdapter::deviceCreationFailed);
        QSignalSpy created(&listener, &BluetoothAdapter::deviceCreated);
        auto *starter = new BluetoothAdapter;
        // Out of range: the answer comes after a page timeout.
        starter->startCreatingDevice(addressOnly(QStringLiteral("00:11:22:33:44:55")));
        // BlueZ 4 makes the object at once; BlueZ 5 looks for the device first.
        QTRY_COMPARE(created.size(), onBluez5() ? 0 : 1);
        delete starter;
        QTRY_COMPARE(simFlag(QStringLiteral("00:11:22:33:44:55"), "known"), false);
        QTest::qWait(300);
        QCOMPARE(failed.size(), 0);
    }

    void removedDeviceIsAnnounced()
    {
        BluetoothAdapter adapter;
        QSignalSpy removed(&adapter, &BluetoothAdapter::deviceRemoved);
        const BluetoothDevice known = adapter.deviceForAddress(carKit);
        adapter.removeDevice(known);
        // The object is gone from the bus: compare paths, which need no call.
        QTRY_VERIFY(
            std::any_of(removed.cbegin(), removed.cend(), [&known](const QList<QVariant> &args) {
                return args.first().value<BluetoothDevice>().path() == known.path();
            }));
        QVERIFY(!simFlag(carKit, "paired"));
    }
};

OVRIN_TEST_MAIN(TestAdapterOperations)
#include "tst_adapteroperations.moc"
