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
        return recorder.waitFor(QStringLiteral("reply:SetProperty")) ? recorder.labels()
                                                                     : QStringList();
    }

private Q_SLOTS:
    void init() { QVERIFY(load(QStringLiteral("neighbourhood.json"))); }

    void propertiesAndErrorsAreTheDaemons()
    {
        const QVariantMap props = adapterProperties();
        QCOMPARE(props.value(QStringLiteral("Address")).toString(),
                 QStringLiteral("00:1A:7D:DA:71:13"));
        QCOMPARE(signatureOf(props.value(QStringLiteral("Class"))), QStringLiteral("u"));
        QCOMPARE(signatureOf(props.value(QStringLiteral("Powered"))), QStringLiteral("b"));
        QCOMPARE(signatureOf(props.value(QStringLiteral("DiscoverableTimeout"))),
                 QStringLiteral("u"));
        // Only the paired headset has an object.
        const auto devices = objectPaths(props.value(QStringLiteral("Devices")));
        QCOMPARE(devices, { QDBusObjectPath(path(QStringLiteral("00:1B:66:0A:11:01"))) });
        QCOMPARE(objectPaths(adapterCall(QStringLiteral("ListDevices")).arguments().value(0)),
                 devices);

        const QString invalid = bluezError("InvalidArguments");
        QCOMPARE(adapterCall(QStringLiteral("StartDiscovery"), { 1 }).errorName(), unknownMethod);
        QCOMPARE(QDBusConnection::systemBus()
                     .call(setAdapterMessage(QStringLiteral("Powered"), QStringLiteral("yes")))
                     .errorName(),
                 invalid);
        QCOMPARE(QDBusConnection::systemBus()
                     .call(setAdapterMessage(QStringLiteral("Address"),
                                             QStringLiteral("00:00:00:00:00:01")))
                     .errorName(),
                 invalid);
        QCOMPARE(
            adapterCall(QStringLiteral("FindDevice"), { QStringLiteral("no address") }).errorName(),
            invalid);
        QCOMPARE(adapterCall(QStringLiteral("FindDevice"), { QStringLiteral("F4:0E:22:13:33:03") })
                     .errorName(),
                 bluezError("DoesNotExist"));
        // BlueZ 4 has no Properties interface: the dialect is told by that.
        QCOMPARE(bluezCall(m_adapter, QStringLiteral("org.freedesktop.DBus.Properties"),
                           QStringLiteral("GetAll"), { adapterInterface })
                     .errorName(),
                 unknownMethod);
    }

    void powerOffThenOnInTheDaemonsOrder()
    {
        // Discoverable and discovering, so that every step of power off shows.
        QVERIFY(setAdapter(QStringLiteral("Discoverable"), true));
        QVERIFY(ok(adapterCall(QStringLiteral("StartDiscovery"))));
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering")));
        QCOMPARE(setAndRecord(recorder, QStringLiteral("Powered"), false),
                 QStringList({ "PropertyChanged:Discoverable", "PropertyChanged:Pairable",
                               "PropertyChanged:Discovering", "PropertyChanged:Powered",
                               "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Pairable")), QVariant(false));
        // Only the signal said false; the stored value is what GetProperties tells.
        QCOMPARE(adapterProperties().value(QStringLiteral("Pairable")), QVariant(true));
        QCOMPARE(adapterProperties().value(QStringLiteral("Discovering")), QVariant(false));
        QCOMPARE(adapterCall(QStringLiteral("StopDiscovery")).errorName(), bluezError("NotReady"));
        QCOMPARE(QDBusConnection::systemBus()
                     .call(setAdapterMessage(QStringLiteral("Pairable"), true))
                     .errorName(),
                 bluezError("NotReady"));

        QCOMPARE(setAndRecord(recorder, QStringLiteral("Powered"), true),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:SetProperty" }));
        // The stored on-mode comes back: it was discoverable.
        QCOMPARE(recorder.lastValue(QStringLiteral("Discoverable")), QVariant(true));

        // Connected devices lose their link first.
        QVERIFY(setAdapter(QStringLiteral("Discoverable"), false));
        QVERIFY(
            sim()->changeDevice(QStringLiteral("00:1B:66:0A:11:01"), { { "connected", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(setAndRecord(recorder, QStringLiteral("Powered"), false),
                 QStringList({ "PropertyChanged:Connected", "PropertyChanged:Pairable",
                               "PropertyChanged:Powered", "reply:SetProperty" }));
        QCOMPARE(recorder.entries().first().path, path(QStringLiteral("00:1B:66:0A:11:01")));

        // Discoverable while off powers on.
        QCOMPARE(setAndRecord(recorder, QStringLiteral("Discoverable"), true),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:SetProperty" }));
        QCOMPARE(adapterProperties().value(QStringLiteral("Powered")), QVariant(true));
    }

    void repliesFollowSignalsExceptForTheName()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QCOMPARE(setAndRecord(recorder, QStringLiteral("DiscoverableTimeout"), 180u),
                 QStringList({ "PropertyChanged:DiscoverableTimeout", "reply:SetProperty" }));
        // The controller confirms a new name after the reply.
        setAndRecord(recorder, QStringLiteral("Name"), QStringLiteral("Renamed"));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Name")));
        QCOMPARE(recorder.labels(), QStringList({ "reply:SetProperty", "PropertyChanged:Name" }));
        // Setting the same value again says nothing.
        QCOMPARE(setAndRecord(recorder, QStringLiteral("DiscoverableTimeout"), 180u),
                 QStringList({ "reply:SetProperty" }));
        QCOMPARE(setAndRecord(recorder, QStringLiteral("Powered"), true),
                 QStringList({ "reply:SetProperty" }));

        // A name set while off is stored without a word.
        QVERIFY(setAdapter(QStringLiteral("Powered"), false));
        recorder.clear();
        QVERIFY(setAdapter(QStringLiteral("Name"), QStringLiteral("Quiet")));
        QTest::qWait(50);
        QCOMPARE(recorder.count(QStringLiteral("PropertyChanged:Name")), 0);
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(),
                 QStringLiteral("Quiet"));
    }

    void discoverableTimeoutEndsVisibility()
    {
        QVERIFY(setAdapter(QStringLiteral("DiscoverableTimeout"), 1u));
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(setAdapter(QStringLiteral("Discoverable"), true));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discoverable"), 3000, 2));
        QCOMPARE(recorder.lastValue(QStringLiteral("Discoverable")), QVariant(false));
        QCOMPARE(adapterProperties().value(QStringLiteral("Discoverable")), QVariant(false));
    }

    void sessionsNeedAnAgentAndItsConsent()
    {
        QCOMPARE(adapterCall(QStringLiteral("RequestSession")).errorName(),
                 bluezError("AgentNotAvailable"));
        QVERIFY(setAdapter(QStringLiteral("Powered"), false));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), QStringLiteral("/test/agent"), &recorder);
        QVERIFY(registerAgent(agent.path(), QStringLiteral("DisplayYesNo")));

        // A refusal reaches the caller under the agent's own error name.
        agent.refuse(QStringLiteral("ConfirmModeChange"), bluezError("Rejected"));
        recorder.callAsync(adapterMessage(QStringLiteral("RequestSession")));
        QVERIFY(recorder.waitFor(QStringLiteral("error:RequestSession:org.bluez.Error.Rejected")));
        QCOMPARE(agent.calls().last().arguments, QVariantList({ QStringLiteral("connectable") }));

        // The session waits for the agent, then for the radio.
        recorder.clear();
        agent.answer(QStringLiteral("ConfirmModeChange"), {});
        agent.hold(QStringLiteral("ConfirmModeChange"));
        recorder.callAsync(adapterMessage(QStringLiteral("RequestSession")));
        QVERIFY(agent.waitForCall(QStringLiteral("ConfirmModeChange"), 5000, 2));
        QTRY_COMPARE(sim()->pendingAgentCalls().size(), 1);
        QCOMPARE(recorder.count(QStringLiteral("reply:RequestSession")), 0);
        agent.answerHeld();
        QVERIFY(recorder.waitFor(QStringLiteral("reply:RequestSession")));
        QCOMPARE(recorder.labels().mid(1),
                 QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                               "PropertyChanged:Discoverable", "reply:RequestSession" }));

        // The last session gone, the radio goes back off.
        recorder.clear();
        QVERIFY(ok(adapterCall(QStringLiteral("ReleaseSession"))));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Powered")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Powered")), QVariant(false));
        const QDBusMessage again = adapterCall(QStringLiteral("ReleaseSession"));
        QCOMPARE(again.errorName(), bluezError("Failed"));
        QCOMPARE(again.errorMessage(), QStringLiteral("Invalid Session"));

        // Unless the radio was switched on by hand meanwhile.
        recorder.callAsync(adapterMessage(QStringLiteral("RequestSession")));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:RequestSession")));
        QVERIFY(setAdapter(QStringLiteral("Powered"), true));
        QVERIFY(ok(adapterCall(QStringLiteral("ReleaseSession"))));
        QTest::qWait(100);
        QCOMPARE(adapterProperties().value(QStringLiteral("Powered")), QVariant(true));
        QVERIFY(ok(adapterCall(QStringLiteral("UnregisterAgent"), { objectPath(agent.path()) })));
    }

    void oneDefaultAgentReleasedOnUnregister()
    {
        TestAgent agent(QDBusConnection::systemBus(), QStringLiteral("/test/agent"));
        QVERIFY(!registerAgent(agent.path(), QStringLiteral("Telepathy")));
        QVERIFY(registerAgent(agent.path(), QStringLiteral("KeyboardDisplay")));
        {
            // Any second agent is refused, from any client; only the owner unregisters.
            OtherClient other(QDBusConnection::SystemBus);
            QCOMPARE(other.bus
                         .call(adapterMessage(QStringLiteral("RegisterAgent"),
                                              { objectPath(QStringLiteral("/x")), QString() }))
                         .errorName(),
                     bluezError("AlreadyExists"));
            QCOMPARE(other.bus
                         .call(adapterMessage(QStringLiteral("UnregisterAgent"),
                                              { objectPath(agent.path()) }))
                         .errorName(),
                     bluezError("DoesNotExist"));
        }
        QVERIFY(ok(adapterCall(QStringLiteral("UnregisterAgent"), { objectPath(agent.path()) })));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.calls().last().replyExpected, false);
    }

    void introspectionIsAnsweredAndLogged()
    {
        QVERIFY(sim()->clearCallLog());
        const QString xml
            = bluezCall(m_adapter, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                        QStringLiteral("Introspect"))
                  .arguments()
                  .value(0)
                  .toString();
        QVERIFY(xml.contains(QLatin1String("<method name=\"CreatePairedDevice\">")));
        QVERIFY(xml.contains(QLatin1String("<node name=\"dev_00_1B_66_0A_11_01\"/>")));
        adapterCall(QStringLiteral("GetProperties"));
        QCOMPARE(sim()->countCalls(QStringLiteral("Introspect")), 1);
        QCOMPARE(sim()->countCalls(QStringLiteral("GetProperties"), adapterInterface), 1);
    }
};

OVRIN_TEST_MAIN(TestSimAdapter)
#include "tst_simadapter.moc"
