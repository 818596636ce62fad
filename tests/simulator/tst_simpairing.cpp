// The simulated daemon pairs, cancels and authorizes as bluetoothd 4.101 does:
// the agent dialogue, the signals in their order, and the error names.

#include "bluezcall.h"
#include "signalrecorder.h"
#include "testagent.h"
#include "testenvironment.h"

#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QJsonObject>

using namespace OvrinTest;

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString pairingAgentPath = QStringLiteral("/test/pairing");
const QString defaultAgentPath = QStringLiteral("/test/default");
const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString rejected = QStringLiteral("org.bluez.Error.Rejected");

// The devices of pairing-partners.json, by how they pair.
const QString phone = QStringLiteral("F4:0E:22:13:33:03");      // confirmation, passkey 4821
const QString headset = QStringLiteral("00:1B:66:0A:11:02");    // no input, UUIDs known from EIR
const QString printer = QStringLiteral("00:80:92:A1:66:06");    // legacy PIN "1234"
const QString keyboard = QStringLiteral("00:12:A1:B0:02:05");   // passkey entry, 135790
const QString watch = QStringLiteral("00:0D:3C:40:55:07");      // shows passkey 770123
const QString stubborn = QStringLiteral("00:1E:45:88:09:08");   // refuses: RepeatedAttempts
const QString carKit = QStringLiteral("00:1E:AE:4C:21:09");     // paired and trusted
const QString laptop = QStringLiteral("00:21:86:5B:7A:0A");     // paired, not trusted
const QString farAway = QStringLiteral("5C:51:88:0F:77:0B");    // out of range

QString bluezError(const char *name)
{
    return QStringLiteral("org.bluez.Error.") + QLatin1String(name);
}

QString pairingError(const char *name)
{
    return QStringLiteral("error:CreatePairedDevice:") + bluezError(name);
}

// The timeline up to and including the first entry labelled label.
QStringList labelsUntil(const SignalRecorder &recorder, const QString &label)
{
    const QStringList all = recorder.labels();
    return all.mid(0, all.indexOf(label) + 1);
}

// The timeline after the first entry labelled label.
QStringList labelsAfter(const SignalRecorder &recorder, const QString &label)
{
    const QStringList all = recorder.labels();
    const int index = all.indexOf(label);
    return index < 0 ? QStringList() : all.mid(index + 1);
}

// A failed pairing of a new device, from its error reply on.
const QStringList failureEnd { QStringLiteral("agent:Release"),
                               QStringLiteral("PropertyChanged:Connected"),
                               QStringLiteral("PropertyChanged:Devices"),
                               QStringLiteral("DeviceRemoved") };

const QStringList linkUp { QStringLiteral("DeviceCreated"), QStringLiteral("PropertyChanged:Devices"),
                           QStringLiteral("PropertyChanged:Connected") };

} // namespace

class TestSimPairing : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_adapter;

    QString devicePath(const QString &address) const
    {
        return OvrinTest::devicePath(m_adapter, address);
    }
    QDBusMessage adapterMessage(const QString &member, const QVariantList &args = {}) const
    {
        return bluezMessage(m_adapter, adapterInterface, member, args);
    }
    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {}) const
    {
        return bluezCall(m_adapter, adapterInterface, member, args);
    }
    QDBusMessage createPairedDevice(const QString &address, const QString &agentPath = pairingAgentPath,
                                    const QString &capability = QStringLiteral("DisplayYesNo")) const
    {
        return adapterMessage(QStringLiteral("CreatePairedDevice"), { address, objectPath(agentPath), capability });
    }
    QString refusalOf(const QDBusMessage &call) const { return QDBusConnection::systemBus().call(call).errorName(); }
    bool registerDefaultAgent(const TestAgent &agent) const
    {
        return adapterCall(QStringLiteral("RegisterAgent"), { objectPath(agent.path()), QString() }).type()
                == QDBusMessage::ReplyMessage;
    }
    bool powerOff() const
    {
        return adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type()
                == QDBusMessage::ReplyMessage;
    }
    QVariantMap deviceProperties(const QString &address) const
    {
        const QDBusMessage reply = bluezCall(devicePath(address), QStringLiteral("org.bluez.Device"),
                                             QStringLiteral("GetProperties"));
        return qdbus_cast<QVariantMap>(reply.arguments().value(0));
    }
    bool hasObject(const QString &address) const
    {
        return adapterCall(QStringLiteral("FindDevice"), { address }).type() == QDBusMessage::ReplyMessage;
    }
    // The error name a remote-side request ended with, "" for success.
    QString outcome(uint ticket)
    {
        const std::optional<QString> result = sim()->waitForRequest(ticket);
        return result ? *result : QStringLiteral("(unfinished)");
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/pairing-partners.json"))),
                 qPrintable(sim()->lastError()));
        m_adapter = defaultAdapterPath();
    }

    void confirmationWaitsForTheAgentThenPairsInOrder()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(QStringLiteral("RequestConfirmation"));
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(QStringLiteral("RequestConfirmation")));
        const QString path = devicePath(phone);
        QCOMPARE(agent.calls().first().arguments, QVariantList({ path, 4821u }));

        // The daemon waits for the answer, and shows what it waits for.
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        const QJsonObject request = pending.first().toObject();
        QCOMPARE(request.value(QLatin1String("member")).toString(), QStringLiteral("RequestConfirmation"));
        QCOMPARE(request.value(QLatin1String("path")).toString(), pairingAgentPath);
        QCOMPARE(request.value(QLatin1String("owner")).toString(), QDBusConnection::systemBus().baseService());
        QCOMPARE(request.value(QLatin1String("arguments")).toArray(), QJsonArray({ path, 4821 }));
        // Longer than the whole pairing would take if nobody waited.
        QTest::qWait(150);
        QCOMPARE(recorder.labels(), linkUp + QStringList({ "agent:RequestConfirmation" }));

        agent.answerHeld();
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreatePairedDevice")));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QCOMPARE(labelsUntil(recorder, QStringLiteral("reply:CreatePairedDevice")),
                 linkUp + QStringList({ "agent:RequestConfirmation", "PropertyChanged:Paired", "agent:Release",
                                        "PropertyChanged:UUIDs", "reply:CreatePairedDevice" }));
        QCOMPARE(recorder.entries().first().arguments.value(0).value<QDBusObjectPath>().path(), path);
        QCOMPARE(recorder.entries().at(2).path, path);
        QCOMPARE(recorder.replyOf(QStringLiteral("CreatePairedDevice")).arguments().value(0).value<QDBusObjectPath>().path(), path);
        QCOMPARE(recorder.lastValue(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(recorder.lastValue(QStringLiteral("UUIDs")).toStringList().size(), 2);
        QCOMPARE(agent.calls().last().member, QStringLiteral("Release"));
        QVERIFY(!agent.calls().last().replyExpected);

        // The idle link drops later; the now paired device stays.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected"), 3000, 2));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        QCOMPARE(recorder.count(QStringLiteral("DeviceRemoved")), 0);
        const QVariantMap props = deviceProperties(phone);
        QCOMPARE(props.value(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(props.value(QStringLiteral("Connected")), QVariant(false));
    }

    void pairingWithoutAgentCall_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("capability");
        QTest::addColumn<QStringList>("after");
        // UUIDs only change when service discovery finds more than inquiry told.
        QTest::newRow("just works") << headset << QStringLiteral("DisplayYesNo")
                                    << QStringList({ "PropertyChanged:Paired", "agent:Release", "reply:CreatePairedDevice" });
        QTest::newRow("NoInputNoOutput skips the confirmation")
                << phone << QStringLiteral("NoInputNoOutput")
                << QStringList({ "PropertyChanged:Paired", "agent:Release", "PropertyChanged:UUIDs", "reply:CreatePairedDevice" });
    }

    void pairingWithoutAgentCall()
    {
        QFETCH(QString, address);
        QFETCH(QString, capability);
        QFETCH(QStringList, after);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        recorder.callAsync(createPairedDevice(address, pairingAgentPath, capability));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreatePairedDevice")));
        QCOMPARE(labelsUntil(recorder, QStringLiteral("reply:CreatePairedDevice")), linkUp + after);
        QCOMPARE(agent.members(), QStringList({ "Release" }));
        QCOMPARE(deviceProperties(address).value(QStringLiteral("Paired")), QVariant(true));
    }

    void rightAnswersPair_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariant>("answer");
        QTest::newRow("legacy PIN") << printer << QStringLiteral("RequestPinCode") << QVariant(QStringLiteral("1234"));
        QTest::newRow("passkey entry") << keyboard << QStringLiteral("RequestPasskey") << QVariant(135790u);
    }

    void rightAnswersPair()
    {
        QFETCH(QString, address);
        QFETCH(QString, member);
        QFETCH(QVariant, answer);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.answer(member, answer);
        recorder.callAsync(createPairedDevice(address));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreatePairedDevice")));
        QCOMPARE(labelsUntil(recorder, QStringLiteral("reply:CreatePairedDevice")),
                 linkUp + QStringList({ "agent:" + member, "PropertyChanged:Paired", "agent:Release",
                                        "PropertyChanged:UUIDs", "reply:CreatePairedDevice" }));
        QCOMPARE(agent.calls().first().arguments, QVariantList({ devicePath(address) }));
        QCOMPARE(deviceProperties(address).value(QStringLiteral("Paired")), QVariant(true));
    }

    void wrongAnswersFailInOrder_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("member");     // empty: no agent call
        QTest::addColumn<QVariant>("answer");    // invalid: the agent refuses
        QTest::addColumn<QString>("error");
        QTest::newRow("wrong PIN") << printer << QStringLiteral("RequestPinCode") << QVariant(QStringLiteral("9999"))
                                   << bluezError("AuthenticationFailed");
        QTest::newRow("PIN refused") << printer << QStringLiteral("RequestPinCode") << QVariant()
                                     << bluezError("AuthenticationRejected");
        QTest::newRow("PIN too long") << printer << QStringLiteral("RequestPinCode")
                                      << QVariant(QStringLiteral("12345678901234567")) << bluezError("AuthenticationRejected");
        QTest::newRow("wrong passkey") << keyboard << QStringLiteral("RequestPasskey") << QVariant(111111u)
                                       << bluezError("AuthenticationFailed");
        QTest::newRow("confirmation refused") << phone << QStringLiteral("RequestConfirmation") << QVariant()
                                              << bluezError("AuthenticationFailed");
        QTest::newRow("remote refuses") << stubborn << QString() << QVariant() << bluezError("RepeatedAttempts");
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
            agent.refuse(member, rejected);
        recorder.callAsync(createPairedDevice(address));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QStringList expected = linkUp;
        if (!member.isEmpty())
            expected << "agent:" + member;
        expected << "error:CreatePairedDevice:" + error << failureEnd;
        QCOMPARE(recorder.labels(), expected);
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        QVERIFY(!agent.calls().last().replyExpected);
        QVERIFY(!hasObject(address));
    }

    void displayedPasskeyNeedsNoAnswer()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        recorder.callAsync(createPairedDevice(watch));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreatePairedDevice")));
        QCOMPARE(labelsUntil(recorder, QStringLiteral("reply:CreatePairedDevice")),
                 linkUp + QStringList({ "agent:DisplayPasskey", "PropertyChanged:Paired", "agent:Release",
                                        "PropertyChanged:UUIDs", "reply:CreatePairedDevice" }));
        // Only an "ouy" call reaches the agent's DisplayPasskey(o, u, y).
        const TestAgent::Call display = agent.calls().first();
        QCOMPARE(display.arguments, QVariantList({ devicePath(watch), 770123u, QVariant::fromValue(uchar(0)) }));
        QVERIFY(!display.replyExpected);
        QCOMPARE(agent.members(), QStringList({ "DisplayPasskey", "Release" }));
    }

    void badRequestsAreRefusedAtOnce()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerDefaultAgent(defaultAgent));
        QCOMPARE(refusalOf(createPairedDevice(carKit)), bluezError("AlreadyExists"));
        QCOMPARE(refusalOf(createPairedDevice(QStringLiteral("00:11:22:33:44"))), bluezError("InvalidArguments"));
        QCOMPARE(refusalOf(createPairedDevice(phone, pairingAgentPath, QStringLiteral("Telepathy"))),
                 bluezError("InvalidArguments"));
        // The caller's own default agent cannot double as the pairing agent.
        QCOMPARE(refusalOf(createPairedDevice(phone, defaultAgentPath)), bluezError("InvalidArguments"));

        // One bonding at a time.
        agent.hold(QStringLiteral("RequestConfirmation"));
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(QStringLiteral("RequestConfirmation")));
        QCOMPARE(refusalOf(createPairedDevice(phone)), bluezError("InProgress"));
        // The refused calls left no trace before the pairing that runs.
        QCOMPARE(recorder.labels(), linkUp + QStringList({ "agent:RequestConfirmation" }));

        QVERIFY(powerOff());
        QCOMPARE(refusalOf(createPairedDevice(printer)), bluezError("NotReady"));
        QCOMPARE(defaultAgent.calls().size(), 0);
        QCOMPARE(agent.callCount(QStringLiteral("RequestConfirmation")), 1);
    }

    void cancelWhileTheAgentIsAsked()
    {
        QCOMPARE(adapterCall(QStringLiteral("CancelDeviceCreation"), { phone }).errorName(), bluezError("DoesNotExist"));
        QCOMPARE(adapterCall(QStringLiteral("CancelDeviceCreation"), { QStringLiteral("phone") }).errorName(),
                 bluezError("InvalidArguments"));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(QStringLiteral("RequestConfirmation"));
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(QStringLiteral("RequestConfirmation")));

        // Only the creator may cancel.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("other"));
        const QString notAuthorized = other.call(adapterMessage(QStringLiteral("CancelDeviceCreation"), { phone })).errorName();
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        QCOMPARE(notAuthorized, bluezError("NotAuthorized"));

        // A second cancel joins the first: one disconnect, both answered at the end.
        recorder.clear();
        recorder.callAsync(adapterMessage(QStringLiteral("CancelDeviceCreation"), { phone }));
        recorder.callAsync(adapterMessage(QStringLiteral("CancelDeviceCreation"), { phone }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CancelDeviceCreation"), 5000, 2));
        QCOMPARE(recorder.labels(), QStringList({ "agent:Cancel", "DisconnectRequested" })
                         + QStringList({ pairingError("AuthenticationCanceled") }) + failureEnd
                         + QStringList({ "reply:CancelDeviceCreation", "reply:CancelDeviceCreation" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QCOMPARE(agent.members(), QStringList({ "RequestConfirmation", "Cancel", "Release" }));
        QVERIFY(!agent.calls().at(1).replyExpected);

        // A late answer to the abandoned request changes nothing.
        agent.answerHeld();
        QCOMPARE(adapterCall(QStringLiteral("CancelDeviceCreation"), { phone }).errorName(), bluezError("DoesNotExist"));
        QCoreApplication::processEvents();
        QCOMPARE(recorder.count(QStringLiteral("PropertyChanged:Paired")), 0);
        QVERIFY(!hasObject(phone));
    }

    void cancelWhilePaging()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        recorder.callAsync(createPairedDevice(farAway));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceCreated")));
        recorder.callAsync(adapterMessage(QStringLiteral("CancelDeviceCreation"), { farAway }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CancelDeviceCreation")));
        // No link ever came up, so none goes down.
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices",
                                                  pairingError("ConnectionAttemptFailed"), "agent:Release",
                                                  "PropertyChanged:Devices", "DeviceRemoved",
                                                  "reply:CancelDeviceCreation" }));
    }

    void unansweredRequestTimesOut()
    {
        QVERIFY(sim()->setTiming({ { "agentTimeoutMs", 300 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(QStringLiteral("RequestConfirmation"));
        AgentCallWatch::expectUnanswered();
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(labelsAfter(recorder, QStringLiteral("agent:RequestConfirmation")),
                 QStringList({ "agent:Cancel", pairingError("AuthenticationTimeout") }) + failureEnd);
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
    }

    void fallbackToTheDefaultAgent_data()
    {
        QTest::addColumn<bool>("timesOut");
        QTest::newRow("pairing agent lacks the method") << false;
        QTest::newRow("pairing agent does not answer") << true;
    }

    void fallbackToTheDefaultAgent()
    {
        QFETCH(bool, timesOut);
        QVERIFY(sim()->setTiming({ { "agentTimeoutMs", 300 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerDefaultAgent(defaultAgent));
        if (timesOut) {
            agent.hold(QStringLiteral("RequestConfirmation"));
            AgentCallWatch::expectUnanswered();
        } else {
            agent.refuse(QStringLiteral("RequestConfirmation"), unknownMethod);
        }
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreatePairedDevice")));

        QStringList expected = linkUp + QStringList({ "agent:RequestConfirmation" });
        if (timesOut)
            expected << QStringLiteral("agent:Cancel");
        expected << QStringList({ "agent:RequestConfirmation", "PropertyChanged:Paired", "agent:Release",
                                  "PropertyChanged:UUIDs", "reply:CreatePairedDevice" });
        QCOMPARE(labelsUntil(recorder, QStringLiteral("reply:CreatePairedDevice")), expected);
        // The same question, put to the default agent; only the pairing agent is released.
        QCOMPARE(defaultAgent.members(), QStringList({ "RequestConfirmation" }));
        QCOMPARE(defaultAgent.calls().first().arguments, agent.calls().first().arguments);
        QCOMPARE(agent.members().last(), QStringLiteral("Release"));
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
        QVERIFY(registerDefaultAgent(defaultAgent));
        {
            QDBusConnection pairer = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("pairer"));
            TestAgent agent(pairer, pairingAgentPath, &recorder);
            if (defaultAgentAsked) {
                agent.refuse(QStringLiteral("RequestConfirmation"), unknownMethod);
                defaultAgent.hold(QStringLiteral("RequestConfirmation"));
            } else {
                // The agent's connection goes with the question unanswered.
                agent.hold(QStringLiteral("RequestConfirmation"));
                AgentCallWatch::expectUnanswered();
            }
            pairer.asyncCall(createPairedDevice(phone));
            TestAgent &asked = defaultAgentAsked ? defaultAgent : agent;
            QVERIFY(asked.waitForCall(QStringLiteral("RequestConfirmation")));
            recorder.clear();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("pairer"));

        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        // A request to an agent still on the bus is withdrawn; the link and the new object go.
        QStringList expected;
        if (defaultAgentAsked)
            expected << QStringLiteral("agent:Cancel");
        expected << QStringList({ "PropertyChanged:Connected", "PropertyChanged:Devices", "DeviceRemoved" });
        QCOMPARE(recorder.labels(), expected);
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QCOMPARE(adapterCall(QStringLiteral("CancelDeviceCreation"), { phone }).errorName(), bluezError("DoesNotExist"));
    }

    void incomingPairingAsksTheDefaultAgent()
    {
        // Nobody to ask: the remote is turned away.
        QVERIFY(!outcome(sim()->incomingPairing(printer)).isEmpty());
        QVERIFY(!hasObject(printer));

        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent defaultAgent(QDBusConnection::systemBus(), defaultAgentPath, &recorder);
        QVERIFY(registerDefaultAgent(defaultAgent));
        defaultAgent.answer(QStringLiteral("RequestPinCode"), QStringLiteral("1234"));
        QCOMPARE(outcome(sim()->incomingPairing(printer)), QString());
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Paired")));
        QCOMPARE(labelsUntil(recorder, QStringLiteral("PropertyChanged:Paired")),
                 linkUp + QStringList({ "agent:RequestPinCode", "PropertyChanged:Paired" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(defaultAgent.calls().first().arguments, QVariantList({ devicePath(printer) }));
        // The default agent stays registered: nothing releases it.
        QCOMPARE(defaultAgent.members(), QStringList({ "RequestPinCode" }));
        QCOMPARE(deviceProperties(printer).value(QStringLiteral("Paired")), QVariant(true));
    }

    void authorizationAsksTheAgentUnlessTrusted()
    {
        const QString uuid = QStringLiteral("0000111F-0000-1000-8000-00805F9B34FB");
        QVERIFY(!outcome(sim()->requestAuthorization(laptop, uuid)).isEmpty());

        TestAgent agent(QDBusConnection::systemBus(), defaultAgentPath);
        QVERIFY(registerDefaultAgent(agent));
        QCOMPARE(outcome(sim()->requestAuthorization(carKit, uuid)), QString());
        QCOMPARE(agent.calls().size(), 0);

        // The agent decides; its error name is the answer.
        agent.refuse(QStringLiteral("Authorize"), QStringLiteral("org.bluez.Error.Canceled"));
        QCOMPARE(outcome(sim()->requestAuthorization(laptop, uuid)), QStringLiteral("org.bluez.Error.Canceled"));
        QCOMPARE(agent.calls().last().arguments, QVariantList({ devicePath(laptop), uuid.toLower() }));

        // While it thinks about one, another connection is refused without asking.
        agent.answer(QStringLiteral("Authorize"), QVariant());
        agent.hold(QStringLiteral("Authorize"));
        const uint first = sim()->requestAuthorization(laptop, uuid);
        QVERIFY(agent.waitForCall(QStringLiteral("Authorize"), 5000, 2));
        QVERIFY(!outcome(sim()->requestAuthorization(laptop, QStringLiteral("00001105-0000-1000-8000-00805f9b34fb"))).isEmpty());
        QCOMPARE(agent.callCount(QStringLiteral("Authorize")), 2);
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
        QVERIFY(registerDefaultAgent(defaultAgent));
        uint ticket = 0;
        TestAgent &asked = incoming ? defaultAgent : agent;
        const QString question = incoming ? QStringLiteral("RequestPinCode") : QStringLiteral("RequestConfirmation");
        asked.hold(question);
        if (incoming)
            ticket = sim()->incomingPairing(printer);
        else
            recorder.callAsync(createPairedDevice(phone));
        QVERIFY(asked.waitForCall(question));

        recorder.clear();
        recorder.callAsync(adapterMessage(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QStringList expected { QStringLiteral("agent:Cancel") };
        if (!incoming)
            expected << pairingError("AuthenticationCanceled");
        expected << (incoming ? failureEnd.mid(1) : failureEnd)
                 << QStringList({ "PropertyChanged:Pairable", "PropertyChanged:Powered", "reply:SetProperty" });
        QCOMPARE(recorder.labels(), expected);
        if (incoming)
            QCOMPARE(outcome(ticket), bluezError("AuthenticationCanceled"));

        // A late answer finds nothing to continue.
        asked.answerHeld(incoming ? QVariant(QStringLiteral("1234")) : QVariant());
        QVERIFY(!hasObject(incoming ? printer : phone));
        QCOMPARE(adapterCall(QStringLiteral("GetProperties")).type(), QDBusMessage::ReplyMessage);
    }

    void failingAfterBondingReleasesTheAgentOnce()
    {
        // Service discovery slow enough to switch off in the middle of it.
        QVERIFY(sim()->setTiming({ { "sdpMs", 400 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        recorder.callAsync(createPairedDevice(headset));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Paired")));
        QVERIFY(powerOff());
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected"), 5000, 2));
        QCOMPARE(labelsAfter(recorder, QStringLiteral("PropertyChanged:Paired")).mid(0, 3),
                 QStringList({ "agent:Release", pairingError("AuthenticationCanceled"), "PropertyChanged:Connected" }));
        QCOMPARE(agent.members(), QStringList({ "Release" }));
        // Bonded before the end: the device stays.
        QCOMPARE(deviceProperties(headset).value(QStringLiteral("Paired")), QVariant(true));
    }

    void losingTheLinkFailsThePairing()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), pairingAgentPath, &recorder);
        agent.hold(QStringLiteral("RequestConfirmation"));
        // The answer comes late on purpose; on a slow machine BlueZ has given
        // up on it by then.
        AgentCallWatch::allowUnanswered();
        recorder.callAsync(createPairedDevice(phone));
        QVERIFY(agent.waitForCall(QStringLiteral("RequestConfirmation")));
        recorder.callAsync(bluezMessage(devicePath(phone), QStringLiteral("org.bluez.Device"), QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(pairingError("AuthenticationCanceled")));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.members(), QStringList({ "RequestConfirmation", "Cancel", "Release" }));
        // A late answer finds nothing to continue.
        agent.answerHeld();
        QVERIFY(!hasObject(phone));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
    }
};

OVRIN_TEST_MAIN(TestSimPairing)
#include "tst_simpairing.moc"
