// The simulated daemon pairs, cancels and authorizes as bluetoothd 4.101 does:
// the agent dialogue, the signals in their order, and the error names.

#include "simtest.h"

using namespace OvrinTest;

namespace {

const QString pairingAgentPath = u"/test/pairing"_s;
const QString defaultAgentPath = u"/test/default"_s;

// The devices of pairing-partners.json, by how they pair.
const QString phone = u"F4:0E:22:13:33:03"_s; // confirmation, passkey 4821
const QString headset = u"00:1B:66:0A:11:02"_s; // no input, UUIDs known from EIR
const QString printer = u"00:80:92:A1:66:06"_s; // legacy PIN "1234"
const QString keyboard = u"00:12:A1:B0:02:05"_s; // passkey entry, 135790
const QString watch = u"00:0D:3C:40:55:07"_s; // shows passkey 770123
const QString stubborn = u"00:1E:45:88:09:08"_s; // refuses: RepeatedAttempts
const QString carKit = u"00:1E:AE:4C:21:09"_s; // paired and trusted
const QString laptop = u"00:21:86:5B:7A:0A"_s; // paired, not trusted
const QString farAway = u"5C:51:88:0F:77:0B"_s; // out of range

QString pairingError(const char *name)
{
    return u"error:CreatePairedDevice:"_s + bluezError(name);
}

// The timeline up to and including the first entry labelled label.
QStringList labelsUntil(const SignalRecorder &recorder, const QString &label)
{
    const QStringList all = recorder.labels();
    return all.mid(0, all.indexOf(label) + 1);
}

// A failed pairing of a new device, from its error reply on.
const QStringList failureEnd { u"agent:Release"_s, u"PropertyChanged:Connected"_s,
                               u"PropertyChanged:Devices"_s, u"DeviceRemoved"_s };
const QStringList linkUp { u"DeviceCreated"_s, u"PropertyChanged:Devices"_s,
                           u"PropertyChanged:Connected"_s };
// A successful pairing, from the bond on.
const QStringList bonded { u"PropertyChanged:Paired"_s, u"agent:Release"_s,
                           u"PropertyChanged:UUIDs"_s, u"reply:CreatePairedDevice"_s };

} // namespace

class TestSimPairing : public SimTest
{
    Q_OBJECT

    QDBusMessage createPairedDevice(const QString &address,
                                    const QString &agentPath = pairingAgentPath,
                                    const QString &capability = u"DisplayYesNo"_s) const
    {
        return adapterMessage(u"CreatePairedDevice"_s,
                              { address, objectPath(agentPath), capability });
    }
    QString refusalOf(const QDBusMessage &call) const
    {
        return QDBusConnection::systemBus().call(call).errorName();
    }
    QVariant paired(const QString &address) const
    {
        return deviceProperties(address).value(u"Paired"_s);
    }

private Q_SLOTS:
    void init() { QVERIFY(load(u"pairing-partners.json"_s)); }

    void confirmationWaitsForTheAgentThenPairsInOrder()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(u"RequestConfirmation"_s);
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(u"RequestConfirmation"_s));
        QCOMPARE(agent.calls().first().arguments, QVariantList({ path(phone), 4821u }));

        // The daemon waits for the answer, and shows what it waits for.
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        const QJsonObject request = pending.first().toObject();
        QCOMPARE(request.value("member"_L1).toString(), u"RequestConfirmation"_s);
        QCOMPARE(request.value("path"_L1).toString(), pairingAgentPath);
        QCOMPARE(request.value("owner"_L1).toString(), QDBusConnection::systemBus().baseService());
        QCOMPARE(request.value("arguments"_L1).toArray(), QJsonArray({ path(phone), 4821 }));
        // Longer than the whole pairing would take if nobody waited.
        QTest::qWait(150);
        QCOMPARE(recorder.labels(), linkUp + QStringList({ "agent:RequestConfirmation" }));

        agent.answerHeld();
        QVERIFY(recorder.waitFor(u"reply:CreatePairedDevice"_s));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QCOMPARE(labelsUntil(recorder, u"reply:CreatePairedDevice"_s),
                 linkUp + QStringList({ "agent:RequestConfirmation" }) + bonded);
        QCOMPARE(recorder.entries().first().arguments.value(0).value<QDBusObjectPath>().path(),
                 path(phone));
        QCOMPARE(recorder.entries().at(2).path, path(phone));
        QCOMPARE(
            recorder.replyOf(u"CreatePairedDevice"_s).arguments().value(0).value<QDBusObjectPath>(),
            QDBusObjectPath(path(phone)));
        QCOMPARE(recorder.lastValue(u"UUIDs"_s).toStringList().size(), 2);
        QVERIFY(!agent.calls().last().replyExpected);

        // The idle link drops later; the now paired device stays.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s, 3000, 2));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        QCOMPARE(recorder.count(u"DeviceRemoved"_s), 0);
        QCOMPARE(paired(phone), QVariant(true));
    }

    void otherMethodsPair_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("capability");
        QTest::addColumn<QString>("member"); // the agent's question, if any
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QStringList>("after"); // from the bond on
        // UUIDs only change when service discovery finds more than inquiry told.
        QTest::newRow("just works") << headset << u"DisplayYesNo"_s << QString() << QVariant()
                                    << QVariantList() << bonded.mid(0, 2) + bonded.mid(3);
        QTest::newRow("NoInputNoOutput skips the confirmation")
            << phone << u"NoInputNoOutput"_s << QString() << QVariant() << QVariantList() << bonded;
        QTest::newRow("legacy PIN") << printer << u"DisplayYesNo"_s << u"RequestPinCode"_s
                                    << QVariant(u"1234"_s) << QVariantList() << bonded;
        QTest::newRow("passkey entry") << keyboard << u"DisplayYesNo"_s << u"RequestPasskey"_s
                                       << QVariant(135790u) << QVariantList() << bonded;
        // Only an "ouy" call reaches the agent's DisplayPasskey(o, u, y); no answer.
        QTest::newRow("displayed passkey")
            << watch << u"DisplayYesNo"_s << u"DisplayPasskey"_s << QVariant()
            << QVariantList({ 770123u, QVariant::fromValue(uchar(0)) }) << bonded;
    }

    void otherMethodsPair()
    {
        QFETCH(QString, address);
        QFETCH(QString, capability);
        QFETCH(QString, member);
        QFETCH(QVariant, answer);
        QFETCH(QVariantList, arguments);
        QFETCH(QStringList, after);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        if (answer.isValid())
            agent.answer(member, answer);
        recorder.callAsync(createPairedDevice(address, pairingAgentPath, capability));
        QVERIFY(recorder.waitFor(u"reply:CreatePairedDevice"_s));
        QStringList expected = linkUp;
        if (!member.isEmpty()) {
            expected << "agent:" + member;
            QCOMPARE(agent.calls().first().arguments, QVariantList({ path(address) }) + arguments);
            QCOMPARE(agent.calls().first().replyExpected, answer.isValid());
        }
        QCOMPARE(labelsUntil(recorder, u"reply:CreatePairedDevice"_s), expected + after);
        QCOMPARE(agent.members().last(), u"Release"_s);
        QCOMPARE(agent.calls().size(), member.isEmpty() ? 1 : 2);
        QCOMPARE(paired(address), QVariant(true));
    }

    void wrongAnswersFailInOrder_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("member"); // empty: no agent call
        QTest::addColumn<QVariant>("answer"); // invalid: the agent refuses
        QTest::addColumn<QString>("error");
        QTest::newRow("wrong PIN") << printer << u"RequestPinCode"_s << QVariant(u"9999"_s)
                                   << bluezError("AuthenticationFailed");
        QTest::newRow("PIN refused")
            << printer << u"RequestPinCode"_s << QVariant() << bluezError("AuthenticationRejected");
        QTest::newRow("PIN too long")
            << printer << u"RequestPinCode"_s << QVariant(u"12345678901234567"_s)
            << bluezError("AuthenticationRejected");
        QTest::newRow("wrong passkey") << keyboard << u"RequestPasskey"_s << QVariant(111111u)
                                       << bluezError("AuthenticationFailed");
        QTest::newRow("confirmation refused") << phone << u"RequestConfirmation"_s << QVariant()
                                              << bluezError("AuthenticationFailed");
        QTest::newRow("remote refuses")
            << stubborn << QString() << QVariant() << bluezError("RepeatedAttempts");
    }

    void wrongAnswersFailInOrder()
    {
        QFETCH(QString, address);
        QFETCH(QString, member);
        QFETCH(QVariant, answer);
        QFETCH(QString, error);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        if (answer.isValid())
            agent.answer(member, answer);
        else
            agent.refuse(member, bluezError("Rejected"));
        recorder.callAsync(createPairedDevice(address));
        QVERIFY(recorder.waitFor(u"DeviceRemoved"_s));
        QStringList expected = linkUp;
        if (!member.isEmpty())
            expected << "agent:" + member;
        QCOMPARE(recorder.labels(),
                 expected + QStringList({ "error:CreatePairedDevice:" + error }) + failureEnd);
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        QVERIFY(!agent.calls().last().replyExpected);
        QVERIFY(!hasDevice(address));
    }

    void badRequestsAreRefusedAtOnce()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerAgent(defaultAgentPath));
        QCOMPARE(refusalOf(createPairedDevice(carKit)), bluezError("AlreadyExists"));
        QCOMPARE(refusalOf(createPairedDevice(u"00:11:22:33:44"_s)),
                 bluezError("InvalidArguments"));
        QCOMPARE(refusalOf(createPairedDevice(phone, pairingAgentPath, u"Telepathy"_s)),
                 bluezError("InvalidArguments"));
        // The caller's own default agent cannot double as the pairing agent.
        QCOMPARE(refusalOf(createPairedDevice(phone, defaultAgentPath)),
                 bluezError("InvalidArguments"));

        // One bonding at a time.
        agent.hold(u"RequestConfirmation"_s);
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(u"RequestConfirmation"_s));
        QCOMPARE(refusalOf(createPairedDevice(phone)), bluezError("InProgress"));
        // The refused calls left no trace before the pairing that runs.
        QCOMPARE(recorder.labels(), linkUp + QStringList({ "agent:RequestConfirmation" }));

        QVERIFY(setAdapter(u"Powered"_s, false));
        QCOMPARE(refusalOf(createPairedDevice(printer)), bluezError("NotReady"));
        QCOMPARE(defaultAgent.calls().size(), 0);
        QCOMPARE(agent.callCount(u"RequestConfirmation"_s), 1);
    }

    void cancelWhileTheAgentIsAsked()
    {
        QCOMPARE(adapterCall(u"CancelDeviceCreation"_s, { phone }).errorName(),
                 bluezError("DoesNotExist"));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(u"RequestConfirmation"_s);
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(u"RequestConfirmation"_s));
        {
            // Only the creator may cancel.
            OtherClient other(QDBusConnection::SystemBus);
            QCOMPARE(
                other.bus.call(adapterMessage(u"CancelDeviceCreation"_s, { phone })).errorName(),
                bluezError("NotAuthorized"));
        }

        // A second cancel joins the first: one disconnect, both answered at the end.
        recorder.clear();
        recorder.callAsync(adapterMessage(u"CancelDeviceCreation"_s, { phone }));
        recorder.callAsync(adapterMessage(u"CancelDeviceCreation"_s, { phone }));
        QVERIFY(recorder.waitFor(u"reply:CancelDeviceCreation"_s, 5000, 2));
        QCOMPARE(recorder.labels(),
                 QStringList({ "agent:Cancel", "DisconnectRequested",
                               pairingError("AuthenticationCanceled") })
                     + failureEnd
                     + QStringList({ "reply:CancelDeviceCreation", "reply:CancelDeviceCreation" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QVERIFY(!agent.calls().at(1).replyExpected);

        // A late answer to the abandoned request changes nothing.
        agent.answerHeld();
        QCOMPARE(adapterCall(u"CancelDeviceCreation"_s, { phone }).errorName(),
                 bluezError("DoesNotExist"));
        QCoreApplication::processEvents();
        QCOMPARE(recorder.count(u"PropertyChanged:Paired"_s), 0);
        QVERIFY(!hasDevice(phone));
    }

    void cancelWhilePaging()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        recorder.callAsync(createPairedDevice(farAway));
        QVERIFY(recorder.waitFor(u"DeviceCreated"_s));
        recorder.callAsync(adapterMessage(u"CancelDeviceCreation"_s, { farAway }));
        QVERIFY(recorder.waitFor(u"reply:CancelDeviceCreation"_s));
        // No link ever came up, so none goes down.
        QCOMPARE(recorder.labels(),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices",
                               pairingError("ConnectionAttemptFailed"), "agent:Release",
                               "PropertyChanged:Devices", "DeviceRemoved",
                               "reply:CancelDeviceCreation" }));
    }

    void unansweredRequestFallsBackOrTimesOut_data()
    {
        QTest::addColumn<bool>("withDefault");
        QTest::addColumn<bool>("timesOut");
        QTest::newRow("no default agent") << false << true;
        QTest::newRow("pairing agent lacks the method") << true << false;
        QTest::newRow("pairing agent does not answer") << true << true;
    }

    void unansweredRequestFallsBackOrTimesOut()
    {
        QFETCH(bool, withDefault);
        QFETCH(bool, timesOut);
        QVERIFY(sim()->setTiming({ { "agentTimeoutMs", 300 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        if (withDefault)
            QVERIFY(registerAgent(defaultAgentPath));
        if (timesOut) {
            agent.hold(u"RequestConfirmation"_s);
            AgentCallWatch::expectUnanswered();
        } else {
            agent.refuse(u"RequestConfirmation"_s, unknownMethod);
        }
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(recorder.waitFor(withDefault ? u"reply:CreatePairedDevice"_s : u"DeviceRemoved"_s));

        QStringList expected = linkUp + QStringList({ "agent:RequestConfirmation" });
        if (timesOut)
            expected << u"agent:Cancel"_s;
        if (!withDefault) {
            QCOMPARE(recorder.labels(),
                     expected + QStringList({ pairingError("AuthenticationTimeout") })
                         + failureEnd);
            QCOMPARE(sim()->pendingAgentCalls().size(), 0);
            return;
        }
        QCOMPARE(labelsUntil(recorder, u"reply:CreatePairedDevice"_s),
                 expected + QStringList({ "agent:RequestConfirmation" }) + bonded);
        // The same question, put to the default agent; only the pairing agent is released.
        QCOMPARE(defaultAgent.members(), QStringList({ "RequestConfirmation" }));
        QCOMPARE(defaultAgent.calls().first().arguments, agent.calls().first().arguments);
        QCOMPARE(agent.members().last(), u"Release"_s);
    }

    void creatorLeavingEndsThePairing_data()
    {
        QTest::addColumn<bool>("defaultAgentAsked");
        QTest::newRow("own agent asked") << false;
        QTest::newRow("default agent asked") << true;
    }

    void creatorLeavingEndsThePairing()
    {
        QFETCH(bool, defaultAgentAsked);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerAgent(defaultAgentPath));
        {
            OtherClient pairer(QDBusConnection::SystemBus, u"pairer"_s);
            TestAgent agent(pairer.bus, pairingAgentPath, &recorder);
            if (defaultAgentAsked) {
                agent.refuse(u"RequestConfirmation"_s, unknownMethod);
                defaultAgent.hold(u"RequestConfirmation"_s);
            } else {
                // The agent's connection goes with the question unanswered.
                agent.hold(u"RequestConfirmation"_s);
                AgentCallWatch::expectUnanswered();
            }
            pairer.bus.asyncCall(createPairedDevice(phone));
            TestAgent &asked = defaultAgentAsked ? defaultAgent : agent;
            QVERIFY(asked.waitForCall(u"RequestConfirmation"_s));
            recorder.clear();
        }
        QVERIFY(recorder.waitFor(u"DeviceRemoved"_s));
        // A request to an agent still on the bus is withdrawn; the link and the new object go.
        const QStringList end = failureEnd.mid(1);
        QCOMPARE(recorder.labels(),
                 defaultAgentAsked ? QStringList({ "agent:Cancel" }) + end : end);
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QCOMPARE(adapterCall(u"CancelDeviceCreation"_s, { phone }).errorName(),
                 bluezError("DoesNotExist"));
    }

    void incomingPairingAsksTheDefaultAgent()
    {
        // Nobody to ask: the remote is turned away.
        QVERIFY(!outcome(sim()->incomingPairing(printer)).isEmpty());
        QVERIFY(!hasDevice(printer));

        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerAgent(defaultAgentPath));
        defaultAgent.answer(u"RequestPinCode"_s, u"1234"_s);
        QCOMPARE(outcome(sim()->incomingPairing(printer)), QString());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Paired"_s));
        QCOMPARE(labelsUntil(recorder, u"PropertyChanged:Paired"_s),
                 linkUp + QStringList({ "agent:RequestPinCode", "PropertyChanged:Paired" }));
        QCOMPARE(defaultAgent.calls().first().arguments, QVariantList({ path(printer) }));
        // The default agent stays registered: nothing releases it.
        QCOMPARE(defaultAgent.members(), QStringList({ "RequestPinCode" }));
        QCOMPARE(paired(printer), QVariant(true));
    }

    void authorizationAsksTheAgentUnlessTrusted()
    {
        const QString uuid = u"0000111F-0000-1000-8000-00805F9B34FB"_s;
        QVERIFY(!outcome(sim()->requestAuthorization(laptop, uuid)).isEmpty());

        TestAgent agent(QDBusConnection::systemBus(), defaultAgentPath);
        QVERIFY(registerAgent(defaultAgentPath));
        QCOMPARE(outcome(sim()->requestAuthorization(carKit, uuid)), QString());
        QCOMPARE(agent.calls().size(), 0);

        // The agent decides; its error name is the answer.
        agent.refuse(u"Authorize"_s, bluezError("Canceled"));
        QCOMPARE(outcome(sim()->requestAuthorization(laptop, uuid)), bluezError("Canceled"));
        QCOMPARE(agent.calls().last().arguments, QVariantList({ path(laptop), uuid.toLower() }));

        // While it thinks about one, another connection is refused without asking.
        agent.answer(u"Authorize"_s, QVariant());
        agent.hold(u"Authorize"_s);
        const uint first = sim()->requestAuthorization(laptop, uuid);
        QVERIFY(agent.waitForCall(u"Authorize"_s, 5000, 2));
        QVERIFY(
            !outcome(sim()->requestAuthorization(laptop, u"00001105-0000-1000-8000-00805f9b34fb"_s))
                 .isEmpty());
        QCOMPARE(agent.callCount(u"Authorize"_s), 2);
        agent.answerHeld();
        QCOMPARE(outcome(first), QString());
    }

    void powerOffEndsPairing_data()
    {
        QTest::addColumn<bool>("incoming");
        QTest::newRow("outgoing") << false;
        QTest::newRow("incoming") << true;
    }

    void powerOffEndsPairing()
    {
        QFETCH(bool, incoming);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerAgent(defaultAgentPath));
        uint ticket = 0;
        TestAgent &asked = incoming ? defaultAgent : agent;
        const QString question = incoming ? u"RequestPinCode"_s : u"RequestConfirmation"_s;
        asked.hold(question);
        if (incoming)
            ticket = sim()->incomingPairing(printer);
        else
            recorder.callAsync(createPairedDevice(phone));
        QVERIFY(asked.waitForCall(question));

        recorder.clear();
        recorder.callAsync(setAdapterMessage(u"Powered"_s, false));
        QVERIFY(recorder.waitFor(u"reply:SetProperty"_s));
        QStringList expected { u"agent:Cancel"_s };
        if (!incoming)
            expected << pairingError("AuthenticationCanceled");
        expected << (incoming ? failureEnd.mid(1) : failureEnd)
                 << QStringList({ "PropertyChanged:Pairable", "PropertyChanged:Powered",
                                  "reply:SetProperty" });
        QCOMPARE(recorder.labels(), expected);
        if (incoming)
            QCOMPARE(outcome(ticket), bluezError("AuthenticationCanceled"));

        // A late answer finds nothing to continue.
        asked.answerHeld(incoming ? QVariant(u"1234"_s) : QVariant());
        QVERIFY(!hasDevice(incoming ? printer : phone));
        QVERIFY(ok(adapterCall(u"GetProperties"_s)));
    }

    void failingAfterBondingReleasesTheAgentOnce()
    {
        // Service discovery slow enough to switch off in the middle of it.
        QVERIFY(sim()->setTiming({ { "sdpMs", 400 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        recorder.callAsync(createPairedDevice(headset));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Paired"_s));
        QVERIFY(setAdapter(u"Powered"_s, false));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s, 5000, 2));
        const QStringList labels = recorder.labels();
        QCOMPARE(labels.mid(labels.indexOf(u"PropertyChanged:Paired"_s) + 1, 3),
                 QStringList({ "agent:Release", pairingError("AuthenticationCanceled"),
                               "PropertyChanged:Connected" }));
        QCOMPARE(agent.members(), QStringList({ "Release" }));
        // Bonded before the end: the device stays.
        QCOMPARE(paired(headset), QVariant(true));
    }

    void losingTheLinkFailsThePairing()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(u"RequestConfirmation"_s);
        // The answer comes late on purpose; on a slow machine BlueZ has given up on it by then.
        AgentCallWatch::allowUnanswered();
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(u"RequestConfirmation"_s));
        recorder.callAsync(bluezMessage(path(phone), deviceInterface, u"Disconnect"_s));
        QVERIFY(recorder.waitFor(pairingError("AuthenticationCanceled")));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(agent.members(), QStringList({ "RequestConfirmation", "Cancel", "Release" }));
        // A late answer finds nothing to continue.
        agent.answerHeld();
        QVERIFY(!hasDevice(phone));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
    }
};

OVRIN_TEST_MAIN(TestSimPairing)
#include "tst_simpairing.moc"
