// The simulated BlueZ manager, adapter and device objects answer as
// bluetoothd 4.101 does: properties, signals in their order, error names,
// sessions, agents and the generic audio interface; and the simulator's
// control interface as the library's suites use it: planned faults, the call
// log, daemon restarts and changes to the world.

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
const QString audioInterface = u"org.bluez.Audio"_s;
const QString oldHeadset = u"00:1B:66:0A:11:02"_s;
const QString farAway = u"5C:51:88:0F:77:05"_s;
const QString tag = u"C0:FF:EE:00:00:06"_s;
const QString nameless = u"00:25:DB:A7:01:07"_s;
} // namespace

class TestSimBluez : public SimTest
{
    Q_OBJECT

    // Sets an adapter property and records what is said until its reply.
    QStringList setAndRecord(SignalRecorder &recorder, const QString &name, const QVariant &value)
    {
        recorder.clear();
        recorder.callAsync(setAdapterMessage(name, value));
        return recorder.waitFor(u"reply:SetProperty"_s) ? recorder.labels() : QStringList();
    }

    QString deviceError(const QString &address, const QString &member)
    {
        return bluezCall(path(address), deviceInterface, member).errorName();
    }

    QList<QDBusObjectPath> adapterDevices()
    {
        return objectPaths(adapterProperties().value(u"Devices"_s));
    }
    bool connectLink(const QString &address)
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        return sim()->changeDevice(address, { { "connected", true } })
            && recorder.waitFor(u"PropertyChanged:Connected"_s);
    }
    QString audioError(const QString &address, const QString &member)
    {
        return bluezCall(path(address), audioInterface, member).errorName();
    }
    // Labels of the recorder, the Connected changes of the link left out.
    static QStringList withoutLink(const SignalRecorder &recorder)
    {
        QStringList labels = recorder.labels();
        labels.removeAll(u"PropertyChanged:Connected"_s);
        return labels;
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

    void propertiesAndErrorsAreTheDaemons()
    {
        const QVariantMap props = adapterProperties();
        QCOMPARE(signatureOf(props.value(u"Class"_s)), u"u"_s);
        QCOMPARE(signatureOf(props.value(u"Powered"_s)), u"b"_s);
        QCOMPARE(signatureOf(props.value(u"DiscoverableTimeout"_s)), u"u"_s);
        // Only paired and known devices have an object.
        const auto devices = objectPaths(props.value(u"Devices"_s));
        QCOMPARE(devices.size(), 5);
        QVERIFY(devices.contains(QDBusObjectPath(path(headset))));
        QCOMPARE(objectPaths(adapterCall(u"ListDevices"_s).arguments().value(0)), devices);

        const QString invalid = bluezError("InvalidArguments");
        QCOMPARE(adapterCall(u"StartDiscovery"_s, { 1 }).errorName(), unknownMethod);
        QCOMPARE(errorOf(setAdapterMessage(u"Powered"_s, u"yes"_s)), invalid);
        QCOMPARE(errorOf(setAdapterMessage(u"Address"_s, u"00:00:00:00:00:01"_s)), invalid);
        QCOMPARE(adapterCall(u"FindDevice"_s, { u"no address"_s }).errorName(), invalid);
        QCOMPARE(adapterCall(u"FindDevice"_s, { u"F4:0E:22:13:33:03"_s }).errorName(),
                 bluezError("DoesNotExist"));
        // BlueZ 4 has no Properties interface: the dialect is told by that.
        QCOMPARE(bluezCall(m_adapter, u"org.freedesktop.DBus.Properties"_s, u"GetAll"_s,
                           { adapterInterface })
                     .errorName(),
                 unknownMethod);
    }

    void powerOffThenOnInTheDaemonsOrder()
    {
        // Discoverable and discovering, so that every step of power off shows.
        QVERIFY(setAdapter(u"Discoverable"_s, true));
        QVERIFY(ok(adapterCall(u"StartDiscovery"_s)));
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s));
        QCOMPARE(setAndRecord(recorder, u"Powered"_s, false),
                 QStringList({ "PropertyChanged:Discoverable", "PropertyChanged:Pairable",
                               "PropertyChanged:Discovering", "PropertyChanged:Powered",
                               "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(u"Pairable"_s), QVariant(false));
        // Only the signal said false; the stored value is what GetProperties tells.
        QCOMPARE(adapterProperties().value(u"Pairable"_s), QVariant(true));
        QCOMPARE(adapterProperties().value(u"Discovering"_s), QVariant(false));
        QCOMPARE(adapterCall(u"StopDiscovery"_s).errorName(), bluezError("NotReady"));
        QCOMPARE(errorOf(setAdapterMessage(u"Pairable"_s, true)), bluezError("NotReady"));

        QCOMPARE(setAndRecord(recorder, u"Powered"_s, true),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:SetProperty" }));
        // The stored on-mode comes back: it was discoverable.
        QCOMPARE(recorder.lastValue(u"Discoverable"_s), QVariant(true));

        // Connected devices lose their link first.
        QVERIFY(setAdapter(u"Discoverable"_s, false));
        QVERIFY(sim()->changeDevice(headset, { { "connected", true } }));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s));
        QCOMPARE(setAndRecord(recorder, u"Powered"_s, false),
                 QStringList({ "PropertyChanged:Connected", "PropertyChanged:Pairable",
                               "PropertyChanged:Powered", "reply:SetProperty" }));
        QCOMPARE(recorder.entries().first().path, path(headset));

        // Discoverable while off powers on.
        QCOMPARE(setAndRecord(recorder, u"Discoverable"_s, true),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:SetProperty" }));
        QCOMPARE(adapterProperties().value(u"Powered"_s), QVariant(true));
    }

    void repliesFollowSignalsExceptForTheName()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QCOMPARE(setAndRecord(recorder, u"DiscoverableTimeout"_s, 180u),
                 QStringList({ "PropertyChanged:DiscoverableTimeout", "reply:SetProperty" }));
        // The controller confirms a new name after the reply.
        setAndRecord(recorder, u"Name"_s, u"Renamed"_s);
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Name"_s),
                 QStringList({ "reply:SetProperty", "PropertyChanged:Name" }));
        // Setting the same value again says nothing.
        QCOMPARE(setAndRecord(recorder, u"DiscoverableTimeout"_s, 180u),
                 QStringList({ "reply:SetProperty" }));
        QCOMPARE(setAndRecord(recorder, u"Powered"_s, true), QStringList({ "reply:SetProperty" }));

        // A name set while off is stored without a word.
        QVERIFY(setAdapter(u"Powered"_s, false));
        recorder.clear();
        QVERIFY(setAdapter(u"Name"_s, u"Quiet"_s));
        QTest::qWait(50);
        QCOMPARE(recorder.count(u"PropertyChanged:Name"_s), 0);
        QCOMPARE(adapterProperties().value(u"Name"_s).toString(), u"Quiet"_s);
    }

    void discoverableTimeoutEndsVisibility()
    {
        QVERIFY(setAdapter(u"DiscoverableTimeout"_s, 1u));
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(setAdapter(u"Discoverable"_s, true));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discoverable"_s, 3000, 2));
        QCOMPARE(recorder.lastValue(u"Discoverable"_s), QVariant(false));
        QCOMPARE(adapterProperties().value(u"Discoverable"_s), QVariant(false));
    }

    void sessionsNeedAnAgentAndItsConsent()
    {
        QCOMPARE(adapterCall(u"RequestSession"_s).errorName(), bluezError("AgentNotAvailable"));
        QVERIFY(setAdapter(u"Powered"_s, false));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), u"/test/agent"_s, &recorder);
        QVERIFY(registerAgent(agent.path(), u"DisplayYesNo"_s));

        // A refusal reaches the caller under the agent's own error name.
        agent.refuse(u"ConfirmModeChange"_s, bluezError("Rejected"));
        recorder.callAsync(adapterMessage(u"RequestSession"_s));
        QVERIFY(recorder.waitFor(u"error:RequestSession:org.bluez.Error.Rejected"_s));
        QCOMPARE(agent.calls().last().arguments, QVariantList({ u"connectable"_s }));

        // The session waits for the agent, then for the radio.
        recorder.clear();
        agent.answer(u"ConfirmModeChange"_s, {});
        agent.hold(u"ConfirmModeChange"_s);
        recorder.callAsync(adapterMessage(u"RequestSession"_s));
        QVERIFY(agent.waitForCall(u"ConfirmModeChange"_s, 5000, 2));
        QTRY_COMPARE(sim()->pendingAgentCalls().size(), 1);
        QCOMPARE(recorder.count(u"reply:RequestSession"_s), 0);
        agent.answerHeld();
        QVERIFY(recorder.waitFor(u"reply:RequestSession"_s));
        QCOMPARE(recorder.labels().mid(1),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:RequestSession" }));

        // The last session gone, the radio goes back off.
        recorder.clear();
        QVERIFY(ok(adapterCall(u"ReleaseSession"_s)));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Powered"_s));
        QCOMPARE(recorder.lastValue(u"Powered"_s), QVariant(false));
        const QDBusMessage again = adapterCall(u"ReleaseSession"_s);
        QCOMPARE(again.errorName(), bluezError("Failed"));
        QCOMPARE(again.errorMessage(), u"Invalid Session"_s);

        QVERIFY(ok(adapterCall(u"UnregisterAgent"_s, { objectPath(agent.path()) })));
    }

    void oneDefaultAgentReleasedOnUnregister()
    {
        TestAgent agent(QDBusConnection::systemBus(), u"/test/agent"_s);
        QVERIFY(!registerAgent(agent.path(), u"Telepathy"_s));
        QVERIFY(registerAgent(agent.path(), u"KeyboardDisplay"_s));
        {
            // Any second agent is refused, from any client; only the owner unregisters.
            OtherClient other(QDBusConnection::SystemBus);
            QCOMPARE(errorOf(adapterMessage(u"RegisterAgent"_s, { objectPath(u"/x"_s), QString() }),
                             other.bus),
                     bluezError("AlreadyExists"));
            QCOMPARE(errorOf(adapterMessage(u"UnregisterAgent"_s, { objectPath(agent.path()) }),
                             other.bus),
                     bluezError("DoesNotExist"));
        }
        QVERIFY(ok(adapterCall(u"UnregisterAgent"_s, { objectPath(agent.path()) })));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(agent.calls().last().replyExpected, false);
    }
    void createDeviceConnectsResolvesServicesAndStays()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"CreateDevice"_s, { phone.toLower() }));
        QVERIFY(recorder.waitFor(u"reply:CreateDevice"_s));
        QCOMPARE(
            recorder.labels(),
            QStringList({ "DeviceCreated", "PropertyChanged:Devices", "PropertyChanged:Connected",
                          "PropertyChanged:UUIDs", "reply:CreateDevice" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).path, m_adapter);
        QCOMPARE(entries.at(0).arguments.value(0).value<QDBusObjectPath>().path(), path(phone));
        QVERIFY(objectPaths(valueOf(entries.at(1))).contains(QDBusObjectPath(path(phone))));
        QCOMPARE(entries.at(2).path, path(phone));
        QCOMPARE(valueOf(entries.at(2)), QVariant(true));
        // What service discovery found replaces what inquiry announced.
        QCOMPARE(valueOf(entries.at(3)).toStringList(),
                 QStringList({ "00001105-0000-1000-8000-00805f9b34fb",
                               "0000111f-0000-1000-8000-00805f9b34fb" }));
        const QDBusMessage reply = recorder.replyOf(u"CreateDevice"_s);
        QCOMPARE(reply.signature(), u"o"_s);
        QCOMPARE(reply.arguments().value(0).value<QDBusObjectPath>().path(), path(phone));

        // The idle link drops later; the object stays.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s, 3000, 2));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        QTest::qWait(100);
        QCOMPARE(recorder.count(u"DeviceRemoved"_s), 0);
        QVERIFY(hasDevice(phone));
        QCOMPARE(adapterCall(u"CreateDevice"_s, { phone }).errorName(),
                 bluezError("AlreadyExists"));
    }

    void createDeviceRefusesOrFails()
    {
        QCOMPARE(adapterCall(u"CreateDevice"_s, { u"00:11:22"_s }).errorName(),
                 bluezError("InvalidArguments"));
        QCOMPARE(adapterCall(u"CreateDevice"_s, { headset }).errorName(),
                 bluezError("AlreadyExists"));

        // Nobody answers the page: the error, then the object goes.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"CreateDevice"_s, { farAway }));
        QCOMPARE(labelsOnce(recorder, u"DeviceRemoved"_s),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices",
                               "error:CreateDevice:org.bluez.Error.Failed",
                               "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.replyOf(u"CreateDevice"_s).errorMessage(), u"Host is down"_s);
        QCOMPARE(recorder.entries().last().arguments.value(0).value<QDBusObjectPath>().path(),
                 path(farAway));
        QVERIFY(!adapterDevices().contains(QDBusObjectPath(path(farAway))));
        QCOMPARE(adapterCall(u"FindDevice"_s, { farAway }).errorName(), bluezError("DoesNotExist"));
    }

    void removeDeviceWaitsForTheLinkToDrop()
    {
        // Not connected: gone at once, then the reply.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"RemoveDevice"_s, { objectPath(path(keyboard)) }));
        QCOMPARE(labelsOnce(recorder, u"reply:RemoveDevice"_s),
                 QStringList({ "PropertyChanged:Devices", "DeviceRemoved", "reply:RemoveDevice" }));
        QVERIFY(!objectPaths(valueOf(recorder.entries().first()))
                     .contains(QDBusObjectPath(path(keyboard))));
        QCOMPARE(adapterCall(u"RemoveDevice"_s, { objectPath(path(keyboard)) }).errorName(),
                 bluezError("DoesNotExist"));
        // The stored pairing went with the object.
        QCOMPARE(sim()->device(keyboard).value("paired"_L1), QJsonValue(false));

        // Connected: asked to disconnect, answered, and removed once the link is down.
        QVERIFY(connectLink(headset));
        recorder.clear();
        recorder.callAsync(adapterMessage(u"RemoveDevice"_s, { objectPath(path(headset)) }));
        QVERIFY(recorder.waitFor(u"DisconnectRequested"_s));
        // Meanwhile the device is busy.
        const QDBusMessage again = adapterCall(u"RemoveDevice"_s, { objectPath(path(headset)) });
        QCOMPARE(again.errorName(), bluezError("DoesNotExist"));
        QCOMPARE(again.errorMessage(), u"Device creation in progress"_s);
        QVERIFY(recorder.waitFor(u"DeviceRemoved"_s));
        QCOMPARE(
            recorder.labels(),
            QStringList({ "DisconnectRequested", "reply:RemoveDevice", "PropertyChanged:Connected",
                          "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.entries().first().path, path(headset));
    }

    void getPropertiesHasTheDaemonsKeysAndTypes()
    {
        const QVariantMap props = deviceProperties(headset);
        const QMap<QString, QString> expected {
            { "Address", "s" },      { "Name", "s" },   { "Alias", "s" },     { "Class", "u" },
            { "Icon", "s" },         { "Paired", "b" }, { "Trusted", "b" },   { "Blocked", "b" },
            { "Connected", "b" },    { "UUIDs", "as" }, { "Services", "ao" }, { "Adapter", "o" },
            { "LegacyPairing", "b" }
        };
        QCOMPARE(signatures(props), expected);
        QCOMPARE(props.value(u"Icon"_s).toString(), u"audio-card"_s);
        QCOMPARE(props.value(u"Class"_s).toUInt(), 0x240404u);
        QCOMPARE(props.value(u"UUIDs"_s).toStringList().size(), 3);
        QCOMPARE(props.value(u"Adapter"_s).value<QDBusObjectPath>().path(), m_adapter);
        QCOMPARE(deviceProperties(keyboard).value(u"Icon"_s).toString(), u"input-keyboard"_s);

        // Low energy, class unknown: Broadcaster, and neither Class nor Icon.
        const QVariantMap le = deviceProperties(tag);
        QCOMPARE(signatureOf(le.value(u"Broadcaster"_s)), u"b"_s);
        QVERIFY(!le.contains(u"Class"_s) && !le.contains(u"Icon"_s));

        // No name: Name is "" and Alias the address; a class without an icon.
        const QVariantMap unnamed = deviceProperties(nameless);
        QCOMPARE(unnamed.value(u"Name"_s), QVariant(QString()));
        QCOMPARE(unnamed.value(u"Alias"_s).toString(), u"00-25-DB-A7-01-07"_s);
        QVERIFY(!unnamed.contains(u"Icon"_s) && !unnamed.contains(u"Broadcaster"_s));
    }

    void setPropertySignalsBeforeItReplies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("alias"); // as GetProperties tells it afterwards
        const QStringList trusted { "PropertyChanged:Trusted", "reply:SetProperty" };
        const QStringList alias { "PropertyChanged:Alias", "reply:SetProperty" };
        QTest::newRow("trusted") << "Trusted" << QVariant(true) << trusted << "Headset";
        QTest::newRow("alias") << "Alias" << QVariant(u"Work"_s) << alias << "Work";
        // A cleared alias is announced as "", though the name stands in for it.
        QTest::newRow("cleared alias") << "Alias" << QVariant(QString()) << alias << "Headset";
    }

    void setPropertySignalsBeforeItReplies()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QStringList, labels);
        QFETCH(QString, alias);
        QVERIFY(ok(
            QDBusConnection::systemBus().call(setDeviceMessage(headset, u"Alias"_s, u"Before"_s))));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QCOMPARE(labelsOnce(recorder, u"reply:SetProperty"_s), labels);
        QCOMPARE(recorder.lastValue(name), value);
        if (name == "Alias"_L1)
            QCOMPARE(deviceProperties(headset).value(u"Alias"_s).toString(), alias);

        // The same value again says nothing.
        recorder.clear();
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QCOMPARE(labelsOnce(recorder, u"reply:SetProperty"_s),
                 QStringList({ "reply:SetProperty" }));
    }

    void setPropertyRefusesWrongTypesAndReadOnlyNames()
    {
        const QList<QPair<QString, QVariant>> refused {
            { u"Trusted"_s, u"yes"_s },
            { u"Blocked"_s, 1u },
            { u"Alias"_s, false },
            { u"Name"_s, u"X"_s },
        };
        for (const auto &[name, value] : refused)
            QCOMPARE(errorOf(setDeviceMessage(headset, name, value)),
                     bluezError("InvalidArguments"));
        QCOMPARE(deviceProperties(headset).value(u"Name"_s), QVariant(u"Headset"_s));
    }

    void disconnectAsksFirstAndAnswersBeforeTheLinkDrops()
    {
        QCOMPARE(bluezCall(path(keyboard), deviceInterface, u"Disconnect"_s).errorName(),
                 bluezError("NotConnected"));
        QVERIFY(connectLink(keyboard));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(keyboard), deviceInterface, u"Disconnect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Connected"_s),
                 QStringList(
                     { "DisconnectRequested", "reply:Disconnect", "PropertyChanged:Connected" }));
        QCOMPARE(recorder.entries().first().path, path(keyboard));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        // A paired device stays.
        QVERIFY(adapterDevices().contains(QDBusObjectPath(path(keyboard))));
    }

    void audioInterfaceComesWithAudioProfiles()
    {
        QCOMPARE(properties(path(headset), audioInterface),
                 QVariantMap({ { "State", u"disconnected"_s } }));
        QCOMPARE(audioError(keyboard, u"Connect"_s), unknownMethod);
        QCOMPARE(audioError(keyboard, u"GetProperties"_s), unknownMethod);
    }

    void audioConnectAnswersJustBeforeConnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Connect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s));
        // A second attempt while the first runs.
        QCOMPARE(audioError(headset, u"Connect"_s), bluezError("InProgress"));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s, 3000, 2),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "reply:Connect", "PropertyChanged:State" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).interface, audioInterface);
        QCOMPARE(valueOf(entries.at(0)), QVariant(u"connecting"_s));
        QCOMPARE(entries.at(1).interface, deviceInterface);
        QCOMPARE(valueOf(entries.at(1)), QVariant(true));
        QCOMPARE(valueOf(entries.at(3)), QVariant(u"connected"_s));
        QCOMPARE(properties(path(headset), audioInterface).value(u"State"_s),
                 QVariant(u"connected"_s));
        QCOMPARE(audioError(headset, u"Connect"_s), bluezError("AlreadyConnected"));

        recorder.clear();
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Disconnect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s),
                 QStringList({ "reply:Disconnect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(u"State"_s), QVariant(u"disconnected"_s));
        QCOMPARE(audioError(headset, u"Disconnect"_s), bluezError("NotConnected"));
        // With audio gone the idle link drops too.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
    }

    void audioConnectFailsBeforeDisconnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(oldHeadset), audioInterface, u"Connect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s, 3000, 2),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(u"State"_s), QVariant(u"disconnected"_s));

        // Disconnect while connecting: its reply, the failed Connect, then the state.
        recorder.clear();
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 300 } }));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Connect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Disconnect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s, 3000, 2));
        recorder.waitFor(u"error:Connect:org.bluez.Error.Failed"_s, 500);
        QCOMPARE(withoutLink(recorder),
                 QStringList({ "PropertyChanged:State", "reply:Disconnect",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.replyOf(u"Connect"_s).errorMessage(), u"Connect Failed"_s);
    }
};

OVRIN_TEST_MAIN(TestSimBluez)
#include "tst_simbluez.moc"
