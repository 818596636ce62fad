// The pairing agent: requests become signals and stay open until answered,
// matched by type and device; BlueZ's Cancel and Release close them all; and
// only the owner of "org.bluez" is heard. BlueZ 5 calls the process's one
// agent object, which hands each request to the agent of its device.

#include "allsignalsspy.h"
#include "bluetoothadapter.h"
#include "bluetoothagent.h"
#include "bluezworld.h"

#include <QDBusConnectionInterface>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;

namespace {
const QString deviceA = QStringLiteral("/org/bluez/1/hci0/dev_00_11_22_33_44_AA");
const QString deviceB = QStringLiteral("/org/bluez/1/hci0/dev_00_11_22_33_44_BB");
const QString agentInterface = QStringLiteral("org.bluez.Agent");
const QString canceledError = QStringLiteral("org.bluez.Error.Canceled");
const QString rejectedError = QStringLiteral("org.bluez.Error.Rejected");
// In bluez/scenarios/handset.json: asks for a confirmation, and for a PIN.
const QString phone = QStringLiteral("F4:0E:22:13:33:03");
const QString printer = QStringLiteral("00:80:92:A1:66:06");
// Paired, not trusted: its connections are authorized by the default agent.
const QString carKit = QStringLiteral("00:1E:AE:4C:22:02");
const QString audioSink = QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb");
// BlueZ 5 calls the process's one agent object here.
const QString routerPath = QStringLiteral("/com/brivo/btAgent/router");
} // namespace

// Plays the daemon's side of the agent dialogue by hand, so that several
// requests can be open at once (bluetoothd sends one at a time).
class HandPlayedBluez
{
public:
    explicit HandPlayedBluez(const QString &connectionName, bool ownName = true)
        : m_client(QDBusConnection::SystemBus, connectionName)
    {
        if (ownName)
            m_client.bus.registerService(QStringLiteral("org.bluez"));
    }

    QDBusPendingCall ask(const BluetoothAgent &agent, const QString &member,
                         const QVariantList &args = {})
    {
        return m_client.bus.asyncCall(message(agent, member, args), 5000);
    }
    void tell(const BluetoothAgent &agent, const QString &member)
    {
        m_client.bus.send(message(agent, member));
    }

private:
    static QDBusMessage message(const BluetoothAgent &agent, const QString &member,
                                const QVariantList &args = {})
    {
        return busMessage(QDBusConnection::systemBus().baseService(), agent.path(), agentInterface,
                          member, args);
    }
    OtherClient m_client;
};

// Waits while running the event loop: the agent answering lives in this process.
static QDBusMessage replyOf(QDBusPendingCall call)
{
    QTRY_LOOP_IMPL(call.isFinished(), 5000, 10);
    return call.reply();
}

// Every call BlueZ may make on an agent, and the signal it becomes.
static void agentCalls_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QByteArray>("signal");
    const QVariant device = objectPath(deviceA);
    const auto row = [](const char *member, const QVariantList &arguments, const char *signal) {
        QTest::newRow(member) << QString::fromLatin1(member) << arguments << QByteArray(signal);
    };
    row("Release", {}, "release()");
    row("Cancel", {}, "cancel()");
    row("RequestPinCode", { device }, "pinCodeRequested(Ovrin::BluetoothDevice)");
    row("RequestPasskey", { device }, "passkeyRequested(Ovrin::BluetoothDevice)");
    row("DisplayPasskey", { device, 1u, QVariant::fromValue(uchar(0)) },
        "passkeyDisplayRequested(Ovrin::BluetoothDevice,uint,uint)");
    row("RequestConfirmation", { device, 1u },
        "confirmationRequested(Ovrin::BluetoothDevice,uint)");
    row("Authorize", { device, "0000110b-0000-1000-8000-00805f9b34fb" },
        "authorizationRequested(Ovrin::BluetoothDevice,QString)");
    row("ConfirmModeChange", { "on" }, "modeChangeConfirmationRequested(QString)");
}

static BluetoothDevice device(const QString &path)
{
    return BluetoothDevice(QDBusObjectPath(path));
}

// Deletes the agent from inside whichever of its signals it is connected to.
class AgentDeleter : public QObject
{
    Q_OBJECT
public:
    QPointer<BluetoothAgent> agent;
public Q_SLOTS:
    void deleteAgent() { delete agent; }
};

class TestBluetoothAgent : public QObject
{
    Q_OBJECT

    std::unique_ptr<HandPlayedBluez> m_bluez;

    // The simulator plays BlueZ (5) again instead of the hand.
    bool useSimulatedBluez()
    {
        m_bluez.reset();
        if (!restoreBluez(sim()))
            return false;
        settleBluez();
        return true;
    }

private Q_SLOTS:
    void init()
    {
        OVRIN_FRESH_WORLD("bluez/scenarios/handset.json");
        QVERIFY(dropBluez(sim()));
        m_bluez = std::make_unique<HandPlayedBluez>(QStringLiteral("bluez-by-hand"));
        QTRY_VERIFY(QDBusConnection::systemBus().interface()->isServiceRegistered(
            QStringLiteral("org.bluez")));
    }

    void cleanup()
    {
        if (m_bluez) {
            m_bluez.reset();
            QVERIFY(restoreBluez(sim()));
        }
        verifyBluezHygiene(sim());
    }

    void answersMatchTypeAndDeviceOldestFirst()
    {
        BluetoothAgent agent;
        QSignalSpy pins(&agent, &BluetoothAgent::pinCodeRequested);
        QSignalSpy passkeys(&agent, &BluetoothAgent::passkeyRequested);
        QDBusPendingCall first = m_bluez->ask(agent, "RequestPinCode", { objectPath(deviceA) });
        QDBusPendingCall second = m_bluez->ask(agent, "RequestPinCode", { objectPath(deviceA) });
        QDBusPendingCall passkey = m_bluez->ask(agent, "RequestPasskey", { objectPath(deviceB) });
        QTRY_COMPARE(pins.size(), 2);
        QTRY_COMPARE(passkeys.size(), 1);
        QCOMPARE(pins.first().first().value<BluetoothDevice>().path(), deviceA);
        QVERIFY(agent.agentCalled());

        // A PIN for a device that only has a passkey request open goes nowhere.
        QTest::ignoreMessage(QtWarningMsg, "No request for agent request type 0");
        agent.providePinCode(device(deviceB), QStringLiteral("1111"));
        agent.providePinCode(device(deviceA), QStringLiteral("1234"));
        agent.providePinCode(device(deviceA), QStringLiteral("5678"));
        agent.providePasskey(device(deviceB), 123456);
        QCOMPARE(replyOf(first).arguments(), QVariantList({ QStringLiteral("1234") }));
        QCOMPARE(replyOf(second).arguments(), QVariantList({ QStringLiteral("5678") }));
        const QDBusMessage passkeyReply = replyOf(passkey);
        QCOMPARE(passkeyReply.signature(), QStringLiteral("u"));
        QCOMPARE(passkeyReply.arguments().value(0).toUInt(), 123456u);
    }

    void rejectTakesTheOldestRequestOfTheDevice()
    {
        BluetoothAgent agent;
        QSignalSpy confirmations(&agent, &BluetoothAgent::confirmationRequested);
        QSignalSpy authorizations(&agent, &BluetoothAgent::authorizationRequested);
        QDBusPendingCall confirm
            = m_bluez->ask(agent, "RequestConfirmation", { objectPath(deviceA), 4821u });
        const QString uuid = QStringLiteral("0000111f-0000-1000-8000-00805f9b34fb");
        QDBusPendingCall authorize
            = m_bluez->ask(agent, "Authorize", { objectPath(deviceA), uuid });
        QTRY_COMPARE(authorizations.size(), 1);
        QCOMPARE(confirmations.first().at(1).toUInt(), 4821u);
        QCOMPARE(authorizations.first().at(1).toString(), uuid);
        agent.rejectDevice(device(deviceA));
        QCOMPARE(replyOf(confirm).errorName(), rejectedError);
        QTest::qWait(50);
        QVERIFY(!authorize.isFinished());
        agent.authorizeDevice(device(deviceA));
        QCOMPARE(replyOf(authorize).type(), QDBusMessage::ReplyMessage);
    }

    void cancelIsSignalledBeforeTheRequestsClose()
    {
        BluetoothAgent agent;
        QSignalSpy pins(&agent, &BluetoothAgent::pinCodeRequested);
        QSignalSpy modes(&agent, &BluetoothAgent::modeChangeConfirmationRequested);
        QDBusPendingCall first = m_bluez->ask(agent, "RequestPinCode", { objectPath(deviceA) });
        QDBusPendingCall second = m_bluez->ask(agent, "RequestPasskey", { objectPath(deviceB) });
        QDBusPendingCall mode = m_bluez->ask(agent, "ConfirmModeChange", { "connectable" });
        QTRY_COMPARE(pins.size(), 1);
        QTRY_COMPARE(modes.size(), 1);
        // Whoever hears cancel() can still answer: the requests close after it.
        connect(&agent, &BluetoothAgent::cancel, &agent,
                [&agent]() { agent.providePinCode(device(deviceA), "4242"); });
        m_bluez->tell(agent, QStringLiteral("Cancel"));
        QCOMPARE(replyOf(first).arguments(), QVariantList({ "4242" }));
        QCOMPARE(replyOf(second).errorName(), canceledError);
        QCOMPARE(replyOf(mode).errorName(), canceledError);
    }

    // Release closes every request (destruction does too: see the deleting receivers below).
    void releaseClosesEverything()
    {
        BluetoothAgent agent;
        QSignalSpy released(&agent, &BluetoothAgent::release);
        QSignalSpy confirmations(&agent, &BluetoothAgent::confirmationRequested);
        QDBusPendingCall first
            = m_bluez->ask(agent, "RequestConfirmation", { objectPath(deviceA), 1u });
        QTRY_COMPARE(confirmations.size(), 1);
        m_bluez->tell(agent, "Release");
        QCOMPARE(replyOf(first).errorName(), canceledError);
        QCOMPARE(released.size(), 1);
    }

    void aNewModeChangeSupersedesTheOpenOne()
    {
        BluetoothAgent agent;
        QSignalSpy modes(&agent, &BluetoothAgent::modeChangeConfirmationRequested);
        QDBusPendingCall first = m_bluez->ask(agent, "ConfirmModeChange", { "connectable" });
        QDBusPendingCall second = m_bluez->ask(agent, "ConfirmModeChange", { "discoverable" });
        QTRY_COMPARE(modes.size(), 2);
        QCOMPARE(modes.last().first().toString(), "discoverable");
        QCOMPARE(replyOf(first).errorName(), canceledError);
        agent.rejectModeChange();
        QCOMPARE(replyOf(second).errorName(), rejectedError);
        QTest::ignoreMessage(QtWarningMsg, "No pending mode change request to reply");
        agent.confirmModeChange();
        QVERIFY(!agent.agentCalled()); // mode changes do not count
    }

    void authorizeAloneIsNoPairingCall()
    {
        BluetoothAgent agent;
        QSignalSpy authorizations(&agent, &BluetoothAgent::authorizationRequested);
        QDBusPendingCall authorize
            = m_bluez->ask(agent, "Authorize", { objectPath(deviceA), QStringLiteral("uuid") });
        QTRY_COMPARE(authorizations.size(), 1);
        QVERIFY(!agent.agentCalled());
        agent.rejectDevice(device(deviceA));
        QCOMPARE(replyOf(authorize).errorName(), rejectedError);

        // A passkey to show needs no answer; stock BlueZ 4 leaves out the count.
        QSignalSpy displays(&agent, &BluetoothAgent::passkeyDisplayRequested);
        const QDBusMessage shown
            = replyOf(m_bluez->ask(agent, "DisplayPasskey",
                                   { objectPath(deviceA), 4711u, QVariant::fromValue(uchar(3)) }));
        QCOMPARE(shown.type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.agentCalled());
        QCOMPARE(
            replyOf(m_bluez->ask(agent, "DisplayPasskey", { objectPath(deviceB), 42u })).type(),
            QDBusMessage::ReplyMessage);
        QCOMPARE(displays.size(), 2);
        QCOMPARE(displays[0].at(0).value<BluetoothDevice>().path(), deviceA);
        QCOMPARE(displays[0].mid(1), QVariantList({ 4711u, 3u }));
        QCOMPARE(displays[1].at(0).value<BluetoothDevice>().path(), deviceB);
        QCOMPARE(displays[1].mid(1), QVariantList({ 42u, 0u }));
    }

    void aReceiverMayDeleteTheAgent_data() { agentCalls_data(); }

    // Whoever hears the agent may delete it at once; BlueZ still gets every
    // answer, and the agent touches nothing of itself afterwards.
    void aReceiverMayDeleteTheAgent()
    {
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(QByteArray, signal);
        QPointer<BluetoothAgent> agent = new BluetoothAgent;
        QSignalSpy confirmations(agent.data(), &BluetoothAgent::confirmationRequested);
        QDBusPendingCall open
            = m_bluez->ask(*agent, "RequestConfirmation", { objectPath(deviceB), 2u });
        QTRY_COMPARE(confirmations.size(), 1);
        AgentDeleter deleter;
        deleter.agent = agent;
        QVERIFY(connect(agent, "2" + signal, &deleter, SLOT(deleteAgent())));

        if (arguments.isEmpty()) {
            m_bluez->tell(*agent, member);
        } else {
            const QDBusMessage reply = replyOf(m_bluez->ask(*agent, member, arguments));
            QVERIFY(reply.type() == QDBusMessage::ReplyMessage
                    || reply.errorName() == canceledError);
        }
        QCOMPARE(replyOf(open).errorName(), canceledError);
        QVERIFY(agent.isNull());
    }

    void strangersAreRefusedWithoutEffect_data() { agentCalls_data(); }

    // Whatever another connection asks, the answer is a refusal, and the
    // requests BlueZ itself has open are neither closed nor joined by another.
    void strangersAreRefusedWithoutEffect()
    {
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        BluetoothAgent agent;
        QDBusPendingCall confirmation
            = m_bluez->ask(agent, "RequestConfirmation", { objectPath(deviceB), 4711u });
        QDBusPendingCall modeChange
            = m_bluez->ask(agent, "ConfirmModeChange", { QStringLiteral("on") });
        QSignalSpy confirmations(&agent, &BluetoothAgent::confirmationRequested);
        QSignalSpy modeChanges(&agent, &BluetoothAgent::modeChangeConfirmationRequested);
        QTRY_COMPARE(confirmations.size(), 1);
        QTRY_COMPARE(modeChanges.size(), 1);
        AllSignalsSpy anySignal(&agent);
        const bool calledBefore = agent.agentCalled();

        HandPlayedBluez stranger(QStringLiteral("stranger"), false);
        QCOMPARE(replyOf(stranger.ask(agent, member, arguments)).errorName(), rejectedError);
        QTest::qWait(50);
        QCOMPARE(anySignal.emitted(), QByteArray());
        QCOMPARE(agent.agentCalled(), calledBefore);

        // Nothing of the stranger's was kept to be answered.
        QTest::ignoreMessage(QtWarningMsg, "No request for agent request type 4");
        agent.rejectDevice(device(deviceA));
        // BlueZ's own requests are still open and get their answers.
        agent.confirmPasskey(device(deviceB));
        QCOMPARE(replyOf(confirmation).type(), QDBusMessage::ReplyMessage);
        agent.confirmModeChange();
        QCOMPARE(replyOf(modeChange).type(), QDBusMessage::ReplyMessage);
    }

    void bluez5RequestsGoToTheAgentOfTheirDevice_data()
    {
        QTest::addColumn<bool>("withDefault");
        QTest::addColumn<QString>("incoming"); // a pairing the remote side starts, if any
        QTest::addColumn<QString>("answering"); // "attempt", "default" or none
        QTest::newRow("a device of a pairing attempt: its agent") << true << QString() << "attempt";
        QTest::newRow("another device: the default agent") << true << printer << "default";
        QTest::newRow("another device, no default agent: refused") << false << printer << QString();
    }

    void bluez5RequestsGoToTheAgentOfTheirDevice()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 calls each agent on its own path");
        QFETCH(bool, withDefault);
        QFETCH(QString, incoming);
        QFETCH(QString, answering);
        QVERIFY(useSimulatedBluez());
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        BluetoothAgent defaultAgent, attemptAgent;
        if (withDefault)
            adapter->registerAgent(defaultAgent);
        // The attempt's own request comes only after the remote side's.
        if (!incoming.isEmpty())
            QVERIFY(
                sim()->changeDevice(phone, { { "pairing", QJsonObject { { "delayMs", 500 } } } }));
        QSignalSpy created(adapter.get(), &BluetoothAdapter::deviceCreated);
        QSignalSpy confirmations(&attemptAgent, &BluetoothAgent::confirmationRequested);
        QSignalSpy pins(&defaultAgent, &BluetoothAgent::pinCodeRequested);
        AllSignalsSpy defaultHeard(&defaultAgent);
        adapter->startCreatingPairedDevice(addressOnly(phone), &attemptAgent);
        QTRY_COMPARE(sim()->countCalls("Pair"), 1);

        if (!incoming.isEmpty()) {
            AllSignalsSpy attemptHeard(&attemptAgent);
            if (answering.isEmpty())
                expectWarning("^No agent answers for .*" + QString(incoming).replace(':', '_'));
            QVERIFY(makeVisibleToStrangers());
            const uint ticket = sim()->incomingPairing(incoming);
            QVERIFY(ticket);
            if (answering == QLatin1String("default")) {
                QTRY_COMPARE(pins.size(), 1);
                QCOMPARE(pins[0][0].value<BluetoothDevice>().address(), incoming);
                defaultAgent.providePinCode(pins[0][0].value<BluetoothDevice>(), "1234");
            }
            QCOMPARE(sim()->waitForRequest(ticket).value_or(QStringLiteral("<none>")),
                     answering.isEmpty() ? "org.bluez.Error.AuthenticationFailed" : QString());
            QCOMPARE(simFlag(incoming, "paired"), !answering.isEmpty());
            QCOMPARE(attemptHeard.emitted(), QByteArray());
            if (answering.isEmpty()) {
                QCOMPARE(sim()->agentAnswers().last()[QLatin1String("error")].toString(),
                         rejectedError);
                QCOMPARE(defaultHeard.emitted(), QByteArray());
            }
        }
        // The attempt's own request reaches its agent alone.
        QTRY_COMPARE(confirmations.size(), 1);
        QCOMPARE(confirmations[0][1].toUInt(), 4821u);
        attemptAgent.confirmPasskey(confirmations[0][0].value<BluetoothDevice>());
        QVERIFY(created.wait());
        QVERIFY(simFlag(phone, "paired"));
        if (incoming.isEmpty())
            QCOMPARE(defaultHeard.emitted(), QByteArray());
        if (withDefault)
            adapter->unregisterAgent(defaultAgent);
    }

    void bluez5OverlappingRequestsOfTwoAgentsBothReachTheirOwners_data()
    {
        QTest::addColumn<bool>("authorizationFirst");
        QTest::newRow("an authorization open, then a pairing") << true;
        QTest::newRow("a pairing open, then an authorization") << false;
    }

    // bluetoothd lets the agent of a connection answer one request at a time
    // and refuses the rest at once: a pairing with its own agent is not
    // refused because the default agent has a question open, nor a
    // connection because a pairing has one open.
    void bluez5OverlappingRequestsOfTwoAgentsBothReachTheirOwners()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 asks each agent on its own");
        QFETCH(bool, authorizationFirst);
        QVERIFY(useSimulatedBluez());
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        BluetoothAgent defaultAgent, attemptAgent;
        adapter->registerAgent(defaultAgent);
        QSignalSpy authorizations(&defaultAgent, &BluetoothAgent::authorizationRequested);
        QSignalSpy confirmations(&attemptAgent, &BluetoothAgent::confirmationRequested);
        QSignalSpy failed(adapter.get(), &BluetoothAdapter::deviceCreationFailed);
        uint ticket = 0;
        if (authorizationFirst) {
            ticket = sim()->requestAuthorization(carKit, audioSink);
            QTRY_COMPARE(authorizations.size(), 1);
        }
        adapter->startCreatingPairedDevice(addressOnly(phone), &attemptAgent);
        QTRY_COMPARE(confirmations.size() + failed.size(), 1);
        QCOMPARE(failed.size(), 0);
        if (!authorizationFirst) {
            ticket = sim()->requestAuthorization(carKit, audioSink);
            QTRY_COMPARE(authorizations.size(), 1);
        }
        QVERIFY(ticket);

        defaultAgent.authorizeDevice(authorizations[0][0].value<BluetoothDevice>());
        QCOMPARE(sim()->waitForRequest(ticket).value_or(QStringLiteral("<none>")), QString());
        attemptAgent.confirmPasskey(confirmations[0][0].value<BluetoothDevice>());
        QTRY_VERIFY(simFlag(phone, "paired"));
        QCOMPARE(failed.size(), 0);
        adapter->unregisterAgent(defaultAgent);
    }

    void bluez5StrangersAreRefusedWithoutEffect_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        // BlueZ has a request open with the default agent, or no agent answers at all.
        QTest::addColumn<bool>("open");
        const QVariant device = objectPath(devicePath("/org/bluez/hci0", printer));
        for (const bool open : { true, false }) {
            const auto row = [open](const char *member, const QVariantList &arguments) {
                QTest::addRow("%s, %s", member, open ? "BlueZ asking" : "nobody answering")
                    << QString::fromLatin1(member) << arguments << open;
            };
            row("Release", {});
            row("Cancel", {});
            row("RequestPinCode", { device });
            row("DisplayPinCode", { device, "1234" });
            row("RequestPasskey", { device });
            row("DisplayPasskey", { device, 1u, QVariant::fromValue(ushort(0)) });
            row("RequestConfirmation", { device, 1u });
            row("RequestAuthorization", { device });
            row("AuthorizeService", { device, "0000110b-0000-1000-8000-00805f9b34fb" });
        }
    }

    // Only BlueZ is heard on the process's one agent object too: whatever
    // another connection asks is refused, and BlueZ's own request stays open.
    void bluez5StrangersAreRefusedWithoutEffect()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 calls each agent on its own path");
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(bool, open);
        QVERIFY(useSimulatedBluez());
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        BluetoothAgent agent;
        QSignalSpy pins(&agent, &BluetoothAgent::pinCodeRequested);
        uint ticket = 0;
        if (open) {
            adapter->registerAgent(agent);
            QVERIFY(makeVisibleToStrangers());
            ticket = sim()->incomingPairing(printer);
            QVERIFY(ticket);
            QTRY_COMPARE(pins.size(), 1);
        }
        AllSignalsSpy anySignal(&agent);

        OtherClient stranger(QDBusConnection::SystemBus, QStringLiteral("stranger"));
        const QDBusMessage call = busMessage(QDBusConnection::systemBus().baseService(), routerPath,
                                             QStringLiteral("org.bluez.Agent1"), member, arguments);
        QCOMPARE(replyOf(stranger.bus.asyncCall(call, 5000)).errorName(), rejectedError);
        QTest::qWait(50);
        QCOMPARE(anySignal.emitted(), QByteArray());
        if (!open)
            return;

        agent.providePinCode(pins[0][0].value<BluetoothDevice>(), "1234");
        QCOMPARE(sim()->waitForRequest(ticket).value_or(QStringLiteral("<none>")), QString());
        QVERIFY(simFlag(printer, "paired"));
        adapter->unregisterAgent(agent);
    }
};

OVRIN_TEST_MAIN(TestBluetoothAgent)
#include "tst_bluetoothagent.moc"
