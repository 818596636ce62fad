// The simulator's control interface as the library's suites use it: planned
// faults, the call log, daemon restarts and changes to the world.

#include "simtest.h"

#include <QDBusServiceWatcher>
#include <QSignalSpy>

using namespace OvrinTest;

namespace {
const QString bluez = QStringLiteral("org.bluez");
const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString keyboard = QStringLiteral("00:12:A1:0B:22:03");
const QString phone = QStringLiteral("F4:0E:22:13:33:04");
const QString nameless = QStringLiteral("00:25:DB:A7:01:07");
const QString newcomer = QStringLiteral("00:11:22:33:44:55");
} // namespace

class TestSimControl : public SimTest
{
    Q_OBJECT

    QString deviceError(const QString &address, const QString &member)
    {
        return bluezCall(path(address), deviceInterface, member).errorName();
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(load(QStringLiteral("paired-headsets-and-strangers.json")));
        QVERIFY(sim()->clearFaults());
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void cleanup()
    {
        // A failed restart test must not leave the others without a daemon.
        if (!QDBusConnection::systemBus().interface()->isServiceRegistered(bluez))
            sim()->restoreService();
    }

    void failNextFailsExactlyOneCallWithoutEffect()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->failNext(QStringLiteral("org.bluez.Adapter.SetProperty"),
                                bluezError("Failed"), QStringLiteral("Injected")));
        const QDBusMessage failed = QDBusConnection::systemBus().call(
            setAdapterMessage(QStringLiteral("Name"), QStringLiteral("Changed")));
        QCOMPARE(failed.errorName(), bluezError("Failed"));
        QCOMPARE(failed.errorMessage(), QStringLiteral("Injected"));
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(),
                 QStringLiteral("Test handset"));
        QVERIFY(setAdapter(QStringLiteral("Name"), QStringLiteral("Changed")));
        // Only the call that went through was confirmed.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Name")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Name" }));

        // A failed CreateDevice creates nothing.
        recorder.clear();
        QVERIFY(sim()->failNext(QStringLiteral("CreateDevice"), bluezError("NotReady")));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { phone }).errorName(),
                 bluezError("NotReady"));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        QVERIFY(!hasDevice(phone));

        // Planned faults queue up, one per call; the interface narrows them.
        const QString getProperties = QStringLiteral("org.bluez.Device.GetProperties");
        QVERIFY(sim()->failNext(getProperties, bluezError("DoesNotExist")));
        QVERIFY(sim()->failNext(getProperties, bluezError("NotAuthorized")));
        QVERIFY(ok(adapterCall(QStringLiteral("GetProperties"))));
        QCOMPARE(deviceError(headset, QStringLiteral("GetProperties")), bluezError("DoesNotExist"));
        QCOMPARE(deviceError(headset, QStringLiteral("GetProperties")),
                 bluezError("NotAuthorized"));
        QCOMPARE(deviceError(headset, QStringLiteral("GetProperties")), QString());

        // Cleared plans fail nothing.
        QVERIFY(sim()->failNext(QStringLiteral("FindDevice"), bluezError("Failed")));
        QVERIFY(sim()->clearFaults());
        QVERIFY(hasDevice(headset));
    }

    void delayNextAnswersLate()
    {
        const QString getProperties = QStringLiteral("org.bluez.Adapter.GetProperties");
        QVERIFY(sim()->delayNext(getProperties, 500));
        // Too late for a short wait...
        QCOMPARE(adapterCall(QStringLiteral("GetProperties"), {}, 200).errorName(), noReply);
        QVERIFY(sim()->delayNext(getProperties, 500));
        QElapsedTimer clock;
        clock.start();
        // ...but it does come.
        const QDBusMessage late = adapterCall(QStringLiteral("GetProperties"));
        QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(
            qdbus_cast<QVariantMap>(late.arguments().value(0)).value(QStringLiteral("Address")),
            QVariant(QStringLiteral("00:1A:7D:DA:71:13")));
        clock.restart();
        QVERIFY(ok(adapterCall(QStringLiteral("GetProperties"))));
        QVERIFY(clock.elapsed() < 400);
    }

    void callLogRecordsEveryCall()
    {
        QVERIFY(sim()->clearCallLog());
        OtherClient other(QDBusConnection::SystemBus);
        const QString me = QDBusConnection::systemBus().baseService();
        const QString nothing = m_adapter + QStringLiteral("/nothing");
        const QString introspectable = QStringLiteral("org.freedesktop.DBus.Introspectable");
        bluezCall(QStringLiteral("/"), introspectable, QStringLiteral("Introspect"));
        adapterCall(QStringLiteral("GetProperties"));
        QDBusConnection::systemBus().call(
            setDeviceMessage(headset, QStringLiteral("Trusted"), true));
        other.bus.call(adapterMessage(QStringLiteral("FindDevice"), { headset }));
        // Refused calls are received calls too.
        bluezCall(nothing, adapterInterface, QStringLiteral("GetProperties"));
        adapterCall(QStringLiteral("StartDiscovery"), { 1 });

        const QStringList expected {
            me + " / " + introspectable + " Introspect ",
            me + " " + m_adapter + " org.bluez.Adapter GetProperties ",
            me + " " + path(headset) + " org.bluez.Device SetProperty sv",
            other.bus.baseService() + " " + m_adapter + " org.bluez.Adapter FindDevice s",
            me + " " + nothing + " org.bluez.Adapter GetProperties ",
            me + " " + m_adapter + " org.bluez.Adapter StartDiscovery i",
        };
        const QList<SimulatorClient::Call> log = sim()->callLog();
        QStringList calls;
        qint64 last = 0;
        for (const SimulatorClient::Call &call : log) {
            calls << QStringList(
                         { call.sender, call.path, call.interface, call.member, call.signature })
                         .join(QLatin1Char(' '));
            QCOMPARE(call.bus, QStringLiteral("system"));
            QCOMPARE(call.destination, bluez);
            QVERIFY(call.msecs >= last);
            last = call.msecs;
        }
        QCOMPARE(calls, expected);
        QCOMPARE(sim()->countCalls(QStringLiteral("GetProperties"), adapterInterface), 2);
        QVERIFY(sim()->clearCallLog());
        QVERIFY(sim()->callLog().isEmpty());
    }

    void droppedDaemonComesBackAsANewProcess()
    {
        QDBusServiceWatcher watcher(bluez, QDBusConnection::systemBus(),
                                    QDBusServiceWatcher::WatchForOwnerChange);
        QSignalSpy ownerChanges(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
        const QString oldOwner = owner(QDBusConnection::systemBus(), bluez);

        // Two calls left waiting: a creation in service discovery and a disconnection.
        QVERIFY(sim()->setTiming({ { "sdpMs", 10000 }, { "disconnectMs", 10000 } }));
        QVERIFY(sim()->changeDevice(keyboard, { { "connected", true } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("CreateDevice"), { phone }));
        recorder.callAsync(
            bluezMessage(path(keyboard), deviceInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceCreated")));
        QVERIFY(recorder.waitFor(QStringLiteral("DisconnectRequested")));

        QElapsedTimer clock;
        clock.start();
        QVERIFY(sim()->dropService(bluez));
        QTRY_COMPARE_WITH_TIMEOUT(ownerChanges.size(), 1, 2000);
        QCOMPARE(ownerChanges.first(), QVariantList({ bluez, oldOwner, QString() }));
        QVERIFY(recorder.waitFor(QStringLiteral("error:CreateDevice:") + noReply, 2000));
        QVERIFY(recorder.waitFor(QStringLiteral("error:Disconnect:") + noReply, 2000));
        QVERIFY2(clock.elapsed() < 3000, "pending calls waited for their own timers");
        QCOMPARE(defaultAdapterPath(), QString());

        QVERIFY(sim()->restoreService(bluez));
        QTRY_COMPARE_WITH_TIMEOUT(ownerChanges.size(), 2, 2000);
        const QString newOwner = ownerChanges.last().value(2).toString();
        QVERIFY(newOwner.startsWith(QLatin1Char(':')) && newOwner != oldOwner);

        // Another pid, another adapter path.
        const QString oldAdapter = m_adapter;
        m_adapter = defaultAdapterPath();
        const QRegularExpression adapterPath(QStringLiteral("^/org/bluez/(\\d+)/hci0$"));
        QVERIFY(adapterPath.match(m_adapter).hasMatch());
        QVERIFY(adapterPath.match(m_adapter).captured(1)
                != adapterPath.match(oldAdapter).captured(1));

        // Stored devices are back under the new path; the half-created one is not.
        QStringList devices;
        for (const QDBusObjectPath &device :
             objectPaths(adapterProperties().value(QStringLiteral("Devices"))))
            devices << device.path().section(QLatin1Char('/'), -1);
        devices.sort();
        QCOMPARE(
            devices,
            QStringList({ "dev_00_12_A1_0B_22_03", "dev_00_1B_66_0A_11_01", "dev_00_1B_66_0A_11_02",
                          "dev_00_25_DB_A7_01_07", "dev_C0_FF_EE_00_00_06" }));
        QVERIFY(!hasDevice(phone));
        const QVariantMap props = deviceProperties(keyboard);
        QCOMPARE(props.value(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(props.value(QStringLiteral("Connected")), QVariant(false));
        QCOMPARE(
            bluezCall(oldAdapter, adapterInterface, QStringLiteral("GetProperties")).errorName(),
            QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }

    void changedDevicesAnnounceWhatChanged()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->changeDevice(headset, { { "name", "Renamed" } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Alias")));
        QCOMPARE(recorder.labels(),
                 QStringList({ "PropertyChanged:Name", "PropertyChanged:Alias" }));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(valueOf(recorder.entries().at(0)), QVariant(QStringLiteral("Renamed")));
        QCOMPARE(valueOf(recorder.entries().at(1)), QVariant(QStringLiteral("Renamed")));

        // A stored alias hides a new name.
        QVERIFY(ok(QDBusConnection::systemBus().call(
            setDeviceMessage(headset, QStringLiteral("Alias"), QStringLiteral("Mine")))));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Alias"), 5000, 2));
        recorder.clear();
        QVERIFY(sim()->changeDevice(headset,
                                    { { "name", "Again" },
                                      { "connected", true },
                                      { "trusted", true },
                                      { "class", 2098180 } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Trusted")));
        QCOMPARE(recorder.labels(),
                 QStringList({ "PropertyChanged:Name", "PropertyChanged:Class",
                               "PropertyChanged:Connected", "PropertyChanged:Trusted" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Class")), QVariant(2098180u));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(true));

        recorder.clear();
        QVERIFY(sim()->changeDevice(nameless, { { "paired", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Paired")));
        QCOMPARE(recorder.entries().first().path, path(nameless));

        // Nothing new, nothing said; a device without an object says nothing either.
        recorder.clear();
        QVERIFY(sim()->changeDevice(headset, { { "name", "Again" }, { "trusted", true } }));
        QVERIFY(sim()->changeDevice(phone, { { "name", "Quiet phone" } }));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        // Once paired it gets one.
        QVERIFY(sim()->changeDevice(phone, { { "paired", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Devices")));
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices" }));
        QCOMPARE(deviceProperties(phone).value(QStringLiteral("Name")),
                 QVariant(QStringLiteral("Quiet phone")));

        // Refused changes change nothing.
        QVERIFY(
            !sim()->changeDevice(QStringLiteral("00:00:00:00:00:42"), { { "name", "Nobody" } }));
        QVERIFY(!sim()->changeDevice(headset, { { "class", "audio" }, { "name", "Half" } }));
        QCOMPARE(deviceProperties(headset).value(QStringLiteral("Name")),
                 QVariant(QStringLiteral("Again")));
    }

    void addedAndRemovedDevicesComeAndGo()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY2(sim()->addDevice(
                     { { "address", newcomer }, { "name", "Newcomer" }, { "known", true } }),
                 qPrintable(sim()->lastError()));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Devices")));
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices" }));
        QCOMPARE(recorder.entries().first().arguments.value(0).value<QDBusObjectPath>().path(),
                 path(newcomer));
        QCOMPARE(deviceProperties(newcomer).value(QStringLiteral("Name")),
                 QVariant(QStringLiteral("Newcomer")));
        QVERIFY(!sim()->addDevice({ { "address", newcomer } }));
        QVERIFY(!sim()->addDevice({ { "name", "No address" } }));

        recorder.clear();
        QVERIFY(sim()->removeDevice(newcomer));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(!hasDevice(newcomer));
        QVERIFY(!sim()->removeDevice(newcomer));

        // A connected device loses its link before it goes.
        QVERIFY(sim()->changeDevice(headset, { { "connected", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        recorder.clear();
        QVERIFY(sim()->removeDevice(headset));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(),
                 QStringList(
                     { "PropertyChanged:Connected", "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(sim()->device(headset).isEmpty());

        // A stranger has no object, only a place in the neighbourhood.
        recorder.clear();
        QVERIFY(sim()->addDevice({ { "address", newcomer }, { "name", "Stranger" } }));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        QVERIFY(!hasDevice(newcomer));
        QCOMPARE(sim()->device(newcomer).value(QLatin1String("name")).toString(),
                 QStringLiteral("Stranger"));
    }

    void rawPropertiesKeepTheirWrongType()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->setRawProperty(headset, QStringLiteral("Class"),
                                      QStringLiteral("not a number")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Class")));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(recorder.lastValue(QStringLiteral("Class")),
                 QVariant(QStringLiteral("not a number")));
        QCOMPARE(signatureOf(deviceProperties(headset).value(QStringLiteral("Class"))),
                 QStringLiteral("s"));

        QVERIFY(sim()->setRawProperty(QStringLiteral("adapter"), QStringLiteral("Powered"), 1));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Powered")));
        QCOMPARE(recorder.entries().last().path, m_adapter);
        QCOMPARE(signatureOf(recorder.lastValue(QStringLiteral("Powered"))), QStringLiteral("i"));
        QCOMPARE(signatureOf(adapterProperties().value(QStringLiteral("Powered"))),
                 QStringLiteral("i"));
        QVERIFY(
            !sim()->setRawProperty(QStringLiteral("00:00:00:00:00:42"), QStringLiteral("Name"), 1));
    }
};

OVRIN_TEST_MAIN(TestSimControl)
#include "tst_simcontrol.moc"
