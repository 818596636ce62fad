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
    return u"error:CreatePairedDevice:org.bluez.Error."_s + QLatin1String(name);
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

    // Every test has a recorder, a pairing agent and a default agent (registered as such
    // only where a test says so), all noting calls in the one timeline.
    std::unique_ptr<SignalRecorder> m_recorder;
    std::unique_ptr<ScriptedAgent> m_agent;
    std::unique_ptr<ScriptedAgent> m_default;

    QDBusMessage createPairedDevice(const QString &address,
                                    const QString &agentPath = pairingAgentPath,
                                    const QString &capability = u"DisplayYesNo"_s) const
    {
        return adapterMessage(u"CreatePairedDevice"_s,
                              { address, objectPath(agentPath), capability });
    }
    QVariant paired(const QString &address) const { return deviceProperty(address, u"Paired"_s); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(load(u"pairing-partners.json"_s));
        const QDBusConnection bus = QDBusConnection::systemBus();
        m_recorder = std::make_unique<SignalRecorder>(bus);
        m_agent = std::make_unique<ScriptedAgent>(bus, pairingAgentPath, m_recorder.get());
        m_default = std::make_unique<ScriptedAgent>(bus, defaultAgentPath, m_recorder.get());
    }

    void cleanup()
    {
        m_agent.reset();
        m_default.reset();
        m_recorder.reset();
    }

    void confirmationWaitsForTheAgentThenPairsInOrder()
    {
        m_agent->hold(u"RequestConfirmation"_s);
        m_recorder->callAsync(createPairedDevice(phone));
        QVERIFY(m_agent->waitForCall(u"RequestConfirmation"_s));
        QCOMPARE(m_agent->calls().first().arguments, QVariantList({ path(phone), 4821u }));
        // Longer than the whole pairing would take if nobody waited.
        QTest::qWait(150);
        QCOMPARE(m_recorder->labels(), linkUp + QStringList({ "agent:RequestConfirmation" }));
        m_agent->answerHeld();
        QVERIFY(m_recorder->waitFor(u"reply:CreatePairedDevice"_s));
        QCOMPARE(labelsUntil(*m_recorder, u"reply:CreatePairedDevice"_s),
                 linkUp + QStringList({ "agent:RequestConfirmation" }) + bonded);
        const QDBusMessage reply = m_recorder->replyOf(u"CreatePairedDevice"_s);
        QCOMPARE(reply.arguments().value(0).value<QDBusObjectPath>().path(), path(phone));
        QVERIFY(!m_agent->calls().last().replyExpected);
        // The idle link drops later; the now paired device stays.
        QVERIFY(m_recorder->waitFor(u"PropertyChanged:Connected"_s, 3000, 2));
        QCOMPARE(m_recorder->count(u"DeviceRemoved"_s), 0);
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
        // DisplayPasskey(o, u, y) wants no answer.
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
        if (answer.isValid())
            m_agent->answer(member, answer);
        m_recorder->callAsync(createPairedDevice(address, pairingAgentPath, capability));
        QVERIFY(m_recorder->waitFor(u"reply:CreatePairedDevice"_s));
        QStringList expected = linkUp;
        if (!member.isEmpty()) {
            expected << "agent:" + member;
            const ScriptedAgent::Call call = m_agent->calls().first();
            QCOMPARE(call.arguments, QVariantList({ path(address) }) + arguments);
            for (qsizetype i = 0; i < arguments.size(); ++i) // and in the D-Bus types
                QCOMPARE(call.arguments[i + 1].metaType(), arguments[i].metaType());
            QCOMPARE(call.replyExpected, answer.isValid());
        }
        QCOMPARE(labelsUntil(*m_recorder, u"reply:CreatePairedDevice"_s), expected + after);
        QCOMPARE(m_agent->members().last(), u"Release"_s);
        QCOMPARE(m_agent->calls().size(), member.isEmpty() ? 1 : 2);
        QCOMPARE(paired(address), QVariant(true));
    }

    void wrongAnswersFailInOrder_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("member"); // empty: no agent call
        QTest::addColumn<QVariant>("answer"); // invalid: the agent refuses
        QTest::addColumn<QString>("error");
        // Sixteen characters are still a PIN, only the wrong one.
        QTest::newRow("wrong PIN")
            << printer << u"RequestPinCode"_s << QVariant(u"1234567890123456"_s)
            << bluezError("AuthenticationFailed");
        QTest::newRow("PIN refused")
            << printer << u"RequestPinCode"_s << QVariant() << bluezError("AuthenticationRejected");
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
        if (answer.isValid())
            m_agent->answer(member, answer);
        else
            m_agent->refuse(member, bluezError("Rejected"));
        m_recorder->callAsync(createPairedDevice(address));
        QVERIFY(m_recorder->waitFor(u"DeviceRemoved"_s));
        QStringList expected = linkUp;
        if (!member.isEmpty())
            expected << "agent:" + member;
        QCOMPARE(m_recorder->labels(),
                 expected + QStringList({ "error:CreatePairedDevice:" + error }) + failureEnd);
        QCOMPARE(m_recorder->lastValue(u"Connected"_s), QVariant(false));
        QVERIFY(!m_agent->calls().last().replyExpected);
        QVERIFY(!hasDevice(address));
    }

    void cancelWhileTheAgentIsAsked()
    {
        m_agent->hold(u"RequestConfirmation"_s);
        m_recorder->callAsync(createPairedDevice(phone));
        QVERIFY(m_agent->waitForCall(u"RequestConfirmation"_s));
        {
            // Only the creator may cancel.
            OtherClient other(QDBusConnection::SystemBus);
            QCOMPARE(errorOf(adapterMessage(u"CancelDeviceCreation"_s, { phone }), other.bus),
                     bluezError("NotAuthorized"));
        }

        // A second cancel joins the first: one disconnect, both answered at the end. The
        // agent's answer, late while the link goes down, changes nothing.
        QVERIFY(sim()->setTiming({ { "disconnectMs", 400 } }));
        m_recorder->clear();
        m_recorder->callAsync(adapterMessage(u"CancelDeviceCreation"_s, { phone }));
        m_recorder->callAsync(adapterMessage(u"CancelDeviceCreation"_s, { phone }));
        QVERIFY(m_recorder->waitFor(u"DisconnectRequested"_s));
        m_agent->answerHeld();
        QCOMPARE(labelsOnce(*m_recorder, u"reply:CancelDeviceCreation"_s, 5000, 2),
                 QStringList({ "agent:Cancel", "DisconnectRequested",
                               pairingError("AuthenticationCanceled") })
                     + failureEnd
                     + QStringList({ "reply:CancelDeviceCreation", "reply:CancelDeviceCreation" }));
        QVERIFY(!m_agent->calls().at(1).replyExpected);
        QVERIFY(!hasDevice(phone));
    }

    void cancelWhilePaging()
    {
        m_recorder->callAsync(createPairedDevice(farAway));
        QVERIFY(m_recorder->waitFor(u"DeviceCreated"_s));
        m_recorder->callAsync(adapterMessage(u"CancelDeviceCreation"_s, { farAway }));
        QVERIFY(m_recorder->waitFor(u"reply:CancelDeviceCreation"_s));
        // No link ever came up, so none goes down.
        QCOMPARE(m_recorder->labels(),
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
        if (withDefault)
            QVERIFY(registerAgent(defaultAgentPath));
        if (timesOut) {
            m_agent->hold(u"RequestConfirmation"_s);
            AgentCallWatch::expectUnanswered();
        } else {
            m_agent->refuse(u"RequestConfirmation"_s, unknownMethod);
        }
        m_recorder->callAsync(createPairedDevice(phone));
        QVERIFY(
            m_recorder->waitFor(withDefault ? u"reply:CreatePairedDevice"_s : u"DeviceRemoved"_s));

        QStringList expected = linkUp + QStringList({ "agent:RequestConfirmation" });
        if (timesOut)
            expected << u"agent:Cancel"_s;
        if (!withDefault) {
            QCOMPARE(m_recorder->labels(),
                     expected + QStringList({ pairingError("AuthenticationTimeout") })
                         + failureEnd);
            QCOMPARE(sim()->pendingAgentCalls().size(), 0);
            return;
        }
        QCOMPARE(labelsUntil(*m_recorder, u"reply:CreatePairedDevice"_s),
                 expected + QStringList({ "agent:RequestConfirmation" }) + bonded);
        // The same question, put to the default agent; only the pairing agent is released.
        QCOMPARE(m_default->members(), QStringList({ "RequestConfirmation" }));
        QCOMPARE(m_default->calls().first().arguments, m_agent->calls().first().arguments);
        QCOMPARE(m_agent->members().last(), u"Release"_s);
    }

    void authorizationAsksTheAgentUnlessTrusted()
    {
        const QString uuid = u"0000111F-0000-1000-8000-00805F9B34FB"_s;
        QVERIFY(!outcome(sim()->requestAuthorization(laptop, uuid)).isEmpty());

        QVERIFY(registerAgent(defaultAgentPath));
        QCOMPARE(outcome(sim()->requestAuthorization(carKit, uuid)), QString());
        QCOMPARE(m_default->calls().size(), 0);

        // The agent decides; its error name is the answer.
        m_default->refuse(u"Authorize"_s, bluezError("Canceled"));
        QCOMPARE(outcome(sim()->requestAuthorization(laptop, uuid)), bluezError("Canceled"));
        QCOMPARE(m_default->calls().last().arguments,
                 QVariantList({ path(laptop), uuid.toLower() }));
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
        QVERIFY(registerAgent(defaultAgentPath));
        uint ticket = 0;
        ScriptedAgent &asked = incoming ? *m_default : *m_agent;
        const QString question = incoming ? u"RequestPinCode"_s : u"RequestConfirmation"_s;
        asked.hold(question);
        if (incoming)
            ticket = sim()->incomingPairing(printer);
        else
            m_recorder->callAsync(createPairedDevice(phone));
        QVERIFY(asked.waitForCall(question));

        m_recorder->clear();
        m_recorder->callAsync(setAdapterMessage(u"Powered"_s, false));
        QVERIFY(m_recorder->waitFor(u"reply:SetProperty"_s));
        QStringList expected { u"agent:Cancel"_s };
        if (!incoming)
            expected << pairingError("AuthenticationCanceled");
        expected << (incoming ? failureEnd.mid(1) : failureEnd)
                 << QStringList({ "PropertyChanged:Pairable", "PropertyChanged:Powered",
                                  "reply:SetProperty" });
        QCOMPARE(m_recorder->labels(), expected);
        if (incoming)
            QCOMPARE(outcome(ticket), bluezError("AuthenticationCanceled"));

        // A late answer finds nothing to continue.
        asked.answerHeld(incoming ? QVariant(u"1234"_s) : QVariant());
        QVERIFY(!hasDevice(incoming ? printer : phone));
    }
};

OVRIN_TEST_MAIN(TestSimPairing)
#include "tst_simpairing.moc"
