// The simulator's control interface as the library's suites use it: planned
// faults, the call log, daemon restarts and changes to the world.

#include "simtest.h"

#include <QDBusServiceWatcher>
#include <QSignalSpy>

using namespace OvrinTest;

namespace {
const QString bluez = u"org.bluez"_s;
const QString headset = u"00:1B:66:0A:11:01"_s;
const QString keyboard = u"00:12:A1:0B:22:03"_s;
const QString phone = u"F4:0E:22:13:33:04"_s;
const QString newcomer = u"00:11:22:33:44:55"_s;
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
        QVERIFY(load(u"paired-headsets-and-strangers.json"_s));
        QVERIFY(sim()->clearFaults());
        QTest::failOnWarning(QRegularExpression(u"."_s));
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
        QVERIFY(sim()->failNext(u"org.bluez.Adapter.SetProperty"_s, bluezError("Failed"),
                                u"Injected"_s));
        const QDBusMessage failed
            = QDBusConnection::systemBus().call(setAdapterMessage(u"Name"_s, u"Changed"_s));
        QCOMPARE(failed.errorName(), bluezError("Failed"));
        QCOMPARE(failed.errorMessage(), u"Injected"_s);
        QCOMPARE(adapterProperties().value(u"Name"_s).toString(), u"Test handset"_s);
        QVERIFY(setAdapter(u"Name"_s, u"Changed"_s));
        // Only the call that went through was confirmed.
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Name"_s),
                 QStringList({ "PropertyChanged:Name" }));

        // A failed CreateDevice creates nothing.
        recorder.clear();
        QVERIFY(sim()->failNext(u"CreateDevice"_s, bluezError("NotReady")));
        QCOMPARE(adapterCall(u"CreateDevice"_s, { phone }).errorName(), bluezError("NotReady"));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        QVERIFY(!hasDevice(phone));

        // Planned faults queue up, one per call; the interface narrows them.
        const QString getProperties = u"org.bluez.Device.GetProperties"_s;
        QVERIFY(sim()->failNext(getProperties, bluezError("DoesNotExist")));
        QVERIFY(sim()->failNext(getProperties, bluezError("NotAuthorized")));
        QVERIFY(ok(adapterCall(u"GetProperties"_s)));
        QCOMPARE(deviceError(headset, u"GetProperties"_s), bluezError("DoesNotExist"));
        QCOMPARE(deviceError(headset, u"GetProperties"_s), bluezError("NotAuthorized"));
        QCOMPARE(deviceError(headset, u"GetProperties"_s), QString());

        // Cleared plans fail nothing.
        QVERIFY(sim()->failNext(u"FindDevice"_s, bluezError("Failed")));
        QVERIFY(sim()->clearFaults());
        QVERIFY(hasDevice(headset));
    }

    void delayNextAnswersLate()
    {
        const QString getProperties = u"org.bluez.Adapter.GetProperties"_s;
        QVERIFY(sim()->delayNext(getProperties, 500));
        // Too late for a short wait...
        QCOMPARE(adapterCall(u"GetProperties"_s, {}, 200).errorName(), noReply);
        QVERIFY(sim()->delayNext(getProperties, 500));
        QElapsedTimer clock;
        clock.start();
        // ...but it does come.
        const QDBusMessage late = adapterCall(u"GetProperties"_s);
        QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(qdbus_cast<QVariantMap>(late.arguments().value(0)).value(u"Address"_s),
                 QVariant(u"00:1A:7D:DA:71:13"_s));
        clock.restart();
        QVERIFY(ok(adapterCall(u"GetProperties"_s)));
        QVERIFY(clock.elapsed() < 400);
    }

    void callLogRecordsEveryCall()
    {
        QVERIFY(sim()->clearCallLog());
        OtherClient other(QDBusConnection::SystemBus);
        const QString me = QDBusConnection::systemBus().baseService();
        const QString introspectable = u"org.freedesktop.DBus.Introspectable"_s;
        bluezCall(u"/"_s, introspectable, u"Introspect"_s);
        adapterCall(u"GetProperties"_s);
        QDBusConnection::systemBus().call(setDeviceMessage(headset, u"Trusted"_s, true));
        other.bus.call(adapterMessage(u"FindDevice"_s, { headset }));
        // Refused calls are received calls too.
        adapterCall(u"StartDiscovery"_s, { 1 });

        const QStringList expected {
            me + " / " + introspectable + " Introspect ",
            me + " " + m_adapter + " org.bluez.Adapter GetProperties ",
            me + " " + path(headset) + " org.bluez.Device SetProperty sv",
            other.bus.baseService() + " " + m_adapter + " org.bluez.Adapter FindDevice s",
            me + " " + m_adapter + " org.bluez.Adapter StartDiscovery i",
        };
        const QList<SimulatorClient::Call> log = sim()->callLog();
        QStringList calls;
        for (const SimulatorClient::Call &call : log) {
            calls << QStringList(
                         { call.sender, call.path, call.interface, call.member, call.signature })
                         .join(QLatin1Char(' '));
            QCOMPARE(call.bus, u"system"_s);
            QCOMPARE(call.destination, bluez);
        }
        QCOMPARE(calls, expected);
        QCOMPARE(sim()->countCalls(u"GetProperties"_s, adapterInterface), 1);
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
        recorder.callAsync(adapterMessage(u"CreateDevice"_s, { phone }));
        recorder.callAsync(bluezMessage(path(keyboard), deviceInterface, u"Disconnect"_s));
        QVERIFY(recorder.waitFor(u"DeviceCreated"_s));
        QVERIFY(recorder.waitFor(u"DisconnectRequested"_s));

        QElapsedTimer clock;
        clock.start();
        QVERIFY(sim()->dropService(bluez));
        QTRY_COMPARE_WITH_TIMEOUT(ownerChanges.size(), 1, 2000);
        QCOMPARE(ownerChanges.first(), QVariantList({ bluez, oldOwner, QString() }));
        QVERIFY(recorder.waitFor(u"error:CreateDevice:"_s + noReply, 2000));
        QVERIFY(recorder.waitFor(u"error:Disconnect:"_s + noReply, 2000));
        QVERIFY2(clock.elapsed() < 3000, "pending calls waited for their own timers");
        QCOMPARE(defaultAdapterPath(), QString());

        QVERIFY(sim()->restoreService(bluez));
        QTRY_COMPARE_WITH_TIMEOUT(ownerChanges.size(), 2, 2000);
        const QString newOwner = ownerChanges.last().value(2).toString();
        QVERIFY(newOwner.startsWith(QLatin1Char(':')) && newOwner != oldOwner);

        // Another adapter path; stored devices are back under it, the half-created one is not.
        const QString oldAdapter = m_adapter;
        m_adapter = defaultAdapterPath();
        QVERIFY(m_adapter.startsWith(u"/org/bluez/"_s) && m_adapter != oldAdapter);
        QCOMPARE(objectPaths(adapterProperties().value(u"Devices"_s)).size(), 5);
        QVERIFY(!hasDevice(phone));
        const QVariantMap props = deviceProperties(keyboard);
        QCOMPARE(props.value(u"Paired"_s), QVariant(true));
        QCOMPARE(props.value(u"Connected"_s), QVariant(false));
        QCOMPARE(bluezCall(oldAdapter, adapterInterface, u"GetProperties"_s).errorName(),
                 u"org.freedesktop.DBus.Error.UnknownObject"_s);
    }

    void changedDevicesAnnounceWhatChanged()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->changeDevice(headset, { { "name", "Renamed" } }));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Alias"_s),
                 QStringList({ "PropertyChanged:Name", "PropertyChanged:Alias" }));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(valueOf(recorder.entries().at(0)), QVariant(u"Renamed"_s));
        QCOMPARE(valueOf(recorder.entries().at(1)), QVariant(u"Renamed"_s));

        // A stored alias hides a new name.
        QVERIFY(ok(
            QDBusConnection::systemBus().call(setDeviceMessage(headset, u"Alias"_s, u"Mine"_s))));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Alias"_s, 5000, 2));
        recorder.clear();
        QVERIFY(sim()->changeDevice(headset,
                                    { { "name", "Again" },
                                      { "connected", true },
                                      { "trusted", true },
                                      { "class", 2098180 } }));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Trusted"_s),
                 QStringList({ "PropertyChanged:Name", "PropertyChanged:Class",
                               "PropertyChanged:Connected", "PropertyChanged:Trusted" }));
        QCOMPARE(recorder.lastValue(u"Class"_s), QVariant(2098180u));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(true));

        // Nothing new, nothing said; a device without an object says nothing either.
        recorder.clear();
        QVERIFY(sim()->changeDevice(headset, { { "name", "Again" }, { "trusted", true } }));
        QVERIFY(sim()->changeDevice(phone, { { "name", "Quiet phone" } }));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        // Once paired it gets one.
        QVERIFY(sim()->changeDevice(phone, { { "paired", true } }));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Devices"_s),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices" }));
        QCOMPARE(deviceProperties(phone).value(u"Name"_s), QVariant(u"Quiet phone"_s));

        QVERIFY(!sim()->changeDevice(u"00:00:00:00:00:42"_s, { { "name", "Nobody" } }));
    }

    void addedAndRemovedDevicesComeAndGo()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY2(sim()->addDevice(
                     { { "address", newcomer }, { "name", "Newcomer" }, { "known", true } }),
                 qPrintable(sim()->lastError()));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Devices"_s),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices" }));
        QCOMPARE(recorder.entries().first().arguments.value(0).value<QDBusObjectPath>().path(),
                 path(newcomer));
        QCOMPARE(deviceProperties(newcomer).value(u"Name"_s), QVariant(u"Newcomer"_s));
        QVERIFY(!sim()->addDevice({ { "address", newcomer } }));
        QVERIFY(!sim()->addDevice({ { "name", "No address" } }));

        recorder.clear();
        QVERIFY(sim()->removeDevice(newcomer));
        QCOMPARE(labelsOnce(recorder, u"DeviceRemoved"_s),
                 QStringList({ "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(!hasDevice(newcomer));
        QVERIFY(!sim()->removeDevice(newcomer));

        // A connected device loses its link before it goes.
        QVERIFY(sim()->changeDevice(headset, { { "connected", true } }));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s));
        recorder.clear();
        QVERIFY(sim()->removeDevice(headset));
        QCOMPARE(labelsOnce(recorder, u"DeviceRemoved"_s),
                 QStringList(
                     { "PropertyChanged:Connected", "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(sim()->device(headset).isEmpty());
    }

    void rawPropertiesKeepTheirWrongType()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->setRawProperty(headset, u"Class"_s, u"not a number"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Class"_s));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(recorder.lastValue(u"Class"_s), QVariant(u"not a number"_s));
        QCOMPARE(signatureOf(deviceProperties(headset).value(u"Class"_s)), u"s"_s);

        QVERIFY(sim()->setRawProperty(u"adapter"_s, u"Powered"_s, 1));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Powered"_s));
        QCOMPARE(recorder.entries().last().path, m_adapter);
        QCOMPARE(signatureOf(recorder.lastValue(u"Powered"_s)), u"i"_s);
        QCOMPARE(signatureOf(adapterProperties().value(u"Powered"_s)), u"i"_s);
        QVERIFY(!sim()->setRawProperty(u"00:00:00:00:00:42"_s, u"Name"_s, 1));
    }
};

OVRIN_TEST_MAIN(TestSimControl)
#include "tst_simcontrol.moc"
