// The simulated BlueZ adapter and device objects answer as bluetoothd 4.101
// does where the library leans on it: signals in their order around the reply,
// sessions, the default agent and the audio interface.

#include "simtest.h"

using namespace OvrinTest;

namespace {
const QString headset = u"00:1B:66:0A:11:01"_s;
const QString oldHeadset = u"00:1B:66:0A:11:02"_s;
const QString keyboard = u"00:12:A1:0B:22:03"_s;
const QString phone = u"F4:0E:22:13:33:04"_s;
const QString farAway = u"5C:51:88:0F:77:05"_s;
const QString audioInterface = u"org.bluez.Audio"_s;
} // namespace

class TestSimBluez : public SimTest
{
    Q_OBJECT

    // Sets an adapter property and records what is said until its reply, inquiry results aside.
    QStringList setAndRecord(SignalRecorder &recorder, const QString &name, const QVariant &value)
    {
        recorder.clear();
        recorder.callAsync(setAdapterMessage(name, value));
        QStringList labels
            = recorder.waitFor(u"reply:SetProperty"_s) ? recorder.labels() : QStringList();
        labels.removeAll(u"DeviceFound"_s);
        return labels;
    }
    QString error(const QString &address, const QString &interface, const QString &member)
    {
        return errorOf(bluezMessage(path(address), interface, member));
    }
    bool connectLink(const QString &address)
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        return sim()->changeDevice(address, { { "connected", true } })
            && recorder.waitFor(u"PropertyChanged:Connected"_s);
    }

private Q_SLOTS:
    void init() { QVERIFY(load(u"paired-headsets-and-strangers.json"_s)); }

    void powerOffThenOnInTheDaemonsOrder()
    {
        QVERIFY(setAdapter(u"Discoverable"_s, true));
        QVERIFY(ok(adapterCall(u"StartDiscovery"_s)));
        QVERIFY(connectLink(headset));
        SignalRecorder recorder(QDBusConnection::systemBus());
        QCOMPARE(setAndRecord(recorder, u"Powered"_s, false),
                 QStringList({ "PropertyChanged:Connected", "PropertyChanged:Discoverable",
                               "PropertyChanged:Pairable", "PropertyChanged:Discovering",
                               "PropertyChanged:Powered", "reply:SetProperty" }));
        // Only the signal said false; the stored value is what GetProperties tells.
        QCOMPARE(recorder.lastValue(u"Pairable"_s), QVariant(false));
        QCOMPARE(adapterProperties().value(u"Pairable"_s), QVariant(true));
        QCOMPARE(adapterCall(u"StopDiscovery"_s).errorName(), bluezError("NotReady"));

        // Back on, the stored mode returns; so does a Discoverable set while off.
        QCOMPARE(setAndRecord(recorder, u"Powered"_s, true),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(u"Discoverable"_s), QVariant(true));
        setAndRecord(recorder, u"Powered"_s, false);
        QCOMPARE(setAndRecord(recorder, u"Discoverable"_s, true),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:SetProperty" }));
    }

    void nameIsConfirmedAfterTheReplyAndOnlyWhenOn()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        setAndRecord(recorder, u"Name"_s, u"Renamed"_s);
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Name"_s),
                 QStringList({ "reply:SetProperty", "PropertyChanged:Name" }));
        setAndRecord(recorder, u"Powered"_s, false);
        QCOMPARE(setAndRecord(recorder, u"Name"_s, u"Quiet"_s),
                 QStringList({ "reply:SetProperty" }));
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
    }

    void sessionsNeedTheAgentsConsentAndCountDown()
    {
        QCOMPARE(adapterCall(u"RequestSession"_s).errorName(), bluezError("AgentNotAvailable"));
        QVERIFY(setAdapter(u"Powered"_s, false));
        SignalRecorder recorder(QDBusConnection::systemBus());
        ScriptedAgent agent(QDBusConnection::systemBus(), u"/test/agent"_s, &recorder);
        QVERIFY(registerAgent(agent.path(), u"DisplayYesNo"_s));
        // A refusal reaches the caller under the agent's own error name.
        agent.refuse(u"ConfirmModeChange"_s, bluezError("Rejected"));
        recorder.callAsync(adapterMessage(u"RequestSession"_s));
        QVERIFY(recorder.waitFor(u"error:RequestSession:org.bluez.Error.Rejected"_s));
        QCOMPARE(agent.calls().last().arguments, QVariantList({ u"connectable"_s }));

        // The session waits for the agent, then for the radio.
        recorder.clear();
        agent.answer(u"ConfirmModeChange"_s, {});
        recorder.callAsync(adapterMessage(u"RequestSession"_s));
        QCOMPARE(labelsOnce(recorder, u"reply:RequestSession"_s),
                 QStringList({ "agent:ConfirmModeChange", "PropertyChanged:Powered",
                               "PropertyChanged:Pairable", "PropertyChanged:Discoverable",
                               "reply:RequestSession" }));
        // A second session of the same caller is counted: one release keeps the radio on.
        QVERIFY(ok(adapterCall(u"RequestSession"_s)));
        recorder.clear();
        QVERIFY(ok(adapterCall(u"ReleaseSession"_s)));
        QTest::qWait(50);
        QCOMPARE(recorder.count(u"PropertyChanged:Powered"_s), 0);
        QVERIFY(ok(adapterCall(u"ReleaseSession"_s)));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Powered"_s));
        QCOMPARE(recorder.lastValue(u"Powered"_s), QVariant(false));
        QCOMPARE(adapterCall(u"ReleaseSession"_s).errorName(), bluezError("Failed"));
        QVERIFY(ok(adapterCall(u"UnregisterAgent"_s, { objectPath(agent.path()) })));
    }

    void oneDefaultAgentReleasedOnUnregister()
    {
        ScriptedAgent agent(QDBusConnection::systemBus(), u"/test/agent"_s);
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
        QCOMPARE(
            labelsOnce(recorder, u"reply:CreateDevice"_s),
            QStringList({ "DeviceCreated", "PropertyChanged:Devices", "PropertyChanged:Connected",
                          "PropertyChanged:UUIDs", "reply:CreateDevice" }));
        QCOMPARE(recorder.replyOf(u"CreateDevice"_s).arguments().value(0).value<QDBusObjectPath>(),
                 QDBusObjectPath(path(phone)));
        // What service discovery found replaces what inquiry announced.
        QCOMPARE(recorder.lastValue(u"UUIDs"_s).toStringList().size(), 2);
        // The idle link drops later; the object stays.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s, 3000, 2));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        QVERIFY(hasDevice(phone));
        QCOMPARE(adapterCall(u"CreateDevice"_s, { phone }).errorName(),
                 bluezError("AlreadyExists"));
    }

    void failedCreationRemovesItsObject()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"CreateDevice"_s, { farAway }));
        QCOMPARE(labelsOnce(recorder, u"DeviceRemoved"_s),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices",
                               "error:CreateDevice:org.bluez.Error.Failed",
                               "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(!hasDevice(farAway));
    }

    void removeDeviceWaitsForTheLinkToDrop()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"RemoveDevice"_s, { objectPath(path(keyboard)) }));
        QCOMPARE(labelsOnce(recorder, u"reply:RemoveDevice"_s),
                 QStringList({ "PropertyChanged:Devices", "DeviceRemoved", "reply:RemoveDevice" }));
        // The stored pairing went with the object.
        QCOMPARE(sim()->device(keyboard).value("paired"_L1), QJsonValue(false));

        // Connected: asked to disconnect, answered, and removed once the link is down.
        QVERIFY(connectLink(headset));
        recorder.clear();
        recorder.callAsync(adapterMessage(u"RemoveDevice"_s, { objectPath(path(headset)) }));
        QVERIFY(recorder.waitFor(u"DisconnectRequested"_s));
        QCOMPARE(adapterCall(u"RemoveDevice"_s, { objectPath(path(headset)) }).errorName(),
                 bluezError("DoesNotExist"));
        QCOMPARE(
            labelsOnce(recorder, u"DeviceRemoved"_s),
            QStringList({ "DisconnectRequested", "reply:RemoveDevice", "PropertyChanged:Connected",
                          "PropertyChanged:Devices", "DeviceRemoved" }));
    }

    void setPropertySignalsBeforeItReplies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("alias"); // as GetProperties tells it afterwards
        QTest::newRow("trusted") << "Trusted" << QVariant(true) << "Before";
        QTest::newRow("alias") << "Alias" << QVariant(u"Work"_s) << "Work";
        // A cleared alias is announced as "", though the name stands in for it.
        QTest::newRow("cleared alias") << "Alias" << QVariant(QString()) << "Headset";
    }

    void setPropertySignalsBeforeItReplies()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QString, alias);
        QVERIFY(ok(
            QDBusConnection::systemBus().call(setDeviceMessage(headset, u"Alias"_s, u"Before"_s))));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QCOMPARE(labelsOnce(recorder, u"reply:SetProperty"_s),
                 QStringList({ "PropertyChanged:" + name, "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(name), value);
        QCOMPARE(deviceProperty(headset, u"Alias"_s).toString(), alias);
    }

    void disconnectAnswersBeforeTheLinkDrops()
    {
        QCOMPARE(error(keyboard, deviceInterface, u"Disconnect"_s), bluezError("NotConnected"));
        QVERIFY(connectLink(keyboard));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(keyboard), deviceInterface, u"Disconnect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Connected"_s),
                 QStringList(
                     { "DisconnectRequested", "reply:Disconnect", "PropertyChanged:Connected" }));
        QVERIFY(hasDevice(keyboard));
    }

    void audioConnectAnswersJustBeforeTheLastState()
    {
        QCOMPARE(error(keyboard, audioInterface, u"Connect"_s), unknownMethod);
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(oldHeadset), audioInterface, u"Connect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s, 3000, 2),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        recorder.clear();
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Connect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s));
        QCOMPARE(error(headset, audioInterface, u"Connect"_s), bluezError("InProgress"));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s, 3000, 2),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "reply:Connect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(u"State"_s), QVariant(u"connected"_s));
        QCOMPARE(error(headset, audioInterface, u"Connect"_s), bluezError("AlreadyConnected"));
    }
};

OVRIN_TEST_MAIN(TestSimBluez)
#include "tst_simbluez.moc"
