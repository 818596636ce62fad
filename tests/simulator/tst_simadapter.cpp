// The simulated manager and adapter answer as bluetoothd 4.101 does.

#include "simtest.h"

using namespace OvrinTest;

class TestSimAdapter : public SimTest
{
    Q_OBJECT

    // Sets an adapter property and records what is said until its reply.
    QStringList setAndRecord(SignalRecorder &recorder, const QString &name, const QVariant &value)
    {
        recorder.clear();
        recorder.callAsync(setAdapterMessage(name, value));
        return recorder.waitFor(u"reply:SetProperty"_s) ? recorder.labels() : QStringList();
    }

private Q_SLOTS:
    void init() { QVERIFY(load(u"neighbourhood.json"_s)); }

    void propertiesAndErrorsAreTheDaemons()
    {
        const QVariantMap props = adapterProperties();
        QCOMPARE(signatureOf(props.value(u"Class"_s)), u"u"_s);
        QCOMPARE(signatureOf(props.value(u"Powered"_s)), u"b"_s);
        QCOMPARE(signatureOf(props.value(u"DiscoverableTimeout"_s)), u"u"_s);
        // Only the paired headset has an object.
        const auto devices = objectPaths(props.value(u"Devices"_s));
        QCOMPARE(devices, { QDBusObjectPath(path(u"00:1B:66:0A:11:01"_s)) });
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
        QVERIFY(sim()->changeDevice(u"00:1B:66:0A:11:01"_s, { { "connected", true } }));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s));
        QCOMPARE(setAndRecord(recorder, u"Powered"_s, false),
                 QStringList({ "PropertyChanged:Connected", "PropertyChanged:Pairable",
                               "PropertyChanged:Powered", "reply:SetProperty" }));
        QCOMPARE(recorder.entries().first().path, path(u"00:1B:66:0A:11:01"_s));

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
};

OVRIN_TEST_MAIN(TestSimAdapter)
#include "tst_simadapter.moc"
