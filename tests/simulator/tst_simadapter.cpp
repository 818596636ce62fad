// The simulated manager and adapter answer as bluetoothd 4.101 does.

#include "bluezcall.h"
#include "signalrecorder.h"
#include "testagent.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>

using namespace OvrinTest;

namespace {
const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString managerInterface = QStringLiteral("org.bluez.Manager");
} // namespace

class TestSimAdapter : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_adapter;

    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {})
    {
        return bluezCall(m_adapter, adapterInterface, member, args);
    }
    QVariantMap adapterProperties() { return qdbus_cast<QVariantMap>(adapterCall(QStringLiteral("GetProperties")).arguments().value(0)); }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/neighbourhood.json"))),
                 qPrintable(sim()->lastError()));
        m_adapter = defaultAdapterPath();
    }

    void managerFindsTheAdapterWhosePathHoldsThePid()
    {
        QCOMPARE(m_adapter, QStringLiteral("/org/bluez/%1/hci0").arg(TestEnvironment::instance()->simulatorPid()));
        const QDBusMessage find = bluezCall(QStringLiteral("/"), managerInterface, QStringLiteral("FindAdapter"), { QStringLiteral("00:1a:7d:da:71:13") });
        QCOMPARE(find.arguments().value(0).value<QDBusObjectPath>().path(), m_adapter);
        QCOMPARE(bluezCall(QStringLiteral("/"), managerInterface, QStringLiteral("FindAdapter"), { QStringLiteral("hci7") }).errorName(),
                 QStringLiteral("org.bluez.Error.NoSuchAdapter"));
        const QVariantMap props = qdbus_cast<QVariantMap>(bluezCall(QStringLiteral("/"), managerInterface, QStringLiteral("GetProperties")).arguments().value(0));
        QCOMPARE(qdbus_cast<QList<QDBusObjectPath>>(props.value(QStringLiteral("Adapters"))).value(0).path(), m_adapter);
    }

    void noAdapterMeansNoSuchAdapter()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->changeAdapter({ { "present", false } }));
        QCOMPARE(bluezCall(QStringLiteral("/"), managerInterface, QStringLiteral("DefaultAdapter")).errorName(),
                 QStringLiteral("org.bluez.Error.NoSuchAdapter"));
        QVERIFY(recorder.waitFor(QStringLiteral("AdapterRemoved")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Adapters", "AdapterRemoved" }));
        recorder.clear();
        QVERIFY(sim()->changeAdapter({ { "present", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("DefaultAdapterChanged")));
        QCOMPARE(recorder.labels(), QStringList({ "AdapterAdded", "PropertyChanged:Adapters", "DefaultAdapterChanged" }));
        QCOMPARE(defaultAdapterPath(), m_adapter);
    }

    void propertiesHaveTheDaemonsTypes()
    {
        const QDBusMessage reply = adapterCall(QStringLiteral("GetProperties"));
        QCOMPARE(reply.signature(), QStringLiteral("a{sv}"));
        const QVariantMap props = adapterProperties();
        QCOMPARE(props.value(QStringLiteral("Address")).toString(), QStringLiteral("00:1A:7D:DA:71:13"));
        QCOMPARE(props.value(QStringLiteral("Class")).userType(), int(QMetaType::UInt));
        QCOMPARE(props.value(QStringLiteral("Powered")).userType(), int(QMetaType::Bool));
        QCOMPARE(props.value(QStringLiteral("DiscoverableTimeout")).userType(), int(QMetaType::UInt));
        const auto devices = qdbus_cast<QList<QDBusObjectPath>>(props.value(QStringLiteral("Devices")));
        QCOMPARE(devices.size(), 1);  // only the paired headset has an object
        QCOMPARE(devices.first().path(), m_adapter + QStringLiteral("/dev_00_1B_66_0A_11_01"));
        QCOMPARE(qdbus_cast<QList<QDBusObjectPath>>(adapterCall(QStringLiteral("ListDevices")).arguments().value(0)), devices);
    }

    void wrongSignatureIsUnknownMethodAndBadValuesInvalidArguments()
    {
        QCOMPARE(adapterCall(QStringLiteral("StartDiscovery"), { 1 }).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
        QCOMPARE(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(QStringLiteral("yes")) }).errorName(),
                 QStringLiteral("org.bluez.Error.InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Address"), variant(QStringLiteral("00:00:00:00:00:01")) }).errorName(),
                 QStringLiteral("org.bluez.Error.InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("FindDevice"), { QStringLiteral("not an address") }).errorName(),
                 QStringLiteral("org.bluez.Error.InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("FindDevice"), { QStringLiteral("F4:0E:22:13:33:03") }).errorName(),
                 QStringLiteral("org.bluez.Error.DoesNotExist"));
        QCOMPARE(bluezCall(m_adapter, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"), { adapterInterface }).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    }

    void powerOffThenOnInTheDaemonsOrder()
    {
        // Discoverable and discovering, so that every step of power off shows.
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Discoverable"), variant(true) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(adapterCall(QStringLiteral("StartDiscovery")).type() == QDBusMessage::ReplyMessage);
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering")));
        recorder.clear();
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Discoverable", "PropertyChanged:Pairable",
                                                  "PropertyChanged:Discovering", "PropertyChanged:Powered",
                                                  "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Pairable")), QVariant(false));
        // Only the signal said false; the stored value is what GetProperties tells.
        QCOMPARE(adapterProperties().value(QStringLiteral("Pairable")), QVariant(true));
        QCOMPARE(adapterProperties().value(QStringLiteral("Discovering")), QVariant(false));
        QCOMPARE(adapterCall(QStringLiteral("StopDiscovery")).errorName(), QStringLiteral("org.bluez.Error.NotReady"));
        QCOMPARE(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Pairable"), variant(true) }).errorName(),
                 QStringLiteral("org.bluez.Error.NotReady"));

        recorder.clear();
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(true) }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                                                  "PropertyChanged:Discoverable", "reply:SetProperty" }));
        // The stored on-mode comes back: it was discoverable.
        QCOMPARE(recorder.lastValue(QStringLiteral("Discoverable")), QVariant(true));
    }

    void powerOffDisconnectsDevicesFirst()
    {
        QVERIFY(sim()->changeDevice(QStringLiteral("00:1B:66:0A:11:01"), { { "connected", true } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Powered")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Connected", "PropertyChanged:Pairable", "PropertyChanged:Powered" }));
        QCOMPARE(recorder.entries().first().path, m_adapter + QStringLiteral("/dev_00_1B_66_0A_11_01"));
    }

    void discoverableWhileOffPowersOn()
    {
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Discoverable"), variant(true) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discoverable")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable", "PropertyChanged:Discoverable" }));
        const QVariantMap props = adapterProperties();
        QCOMPARE(props.value(QStringLiteral("Powered")), QVariant(true));
        QCOMPARE(props.value(QStringLiteral("Discoverable")), QVariant(true));
    }

    void repliesFollowSignalsExceptForTheName()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("SetProperty"), { QStringLiteral("DiscoverableTimeout"), variant(180u) }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:DiscoverableTimeout", "reply:SetProperty" }));
        recorder.clear();
        // The controller confirms a new name after the reply.
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Renamed")) }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Name")));
        QCOMPARE(recorder.labels(), QStringList({ "reply:SetProperty", "PropertyChanged:Name" }));
        // Setting the same value again changes nothing and says nothing.
        recorder.clear();
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("DiscoverableTimeout"), variant(180u) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(true) }).type() == QDBusMessage::ReplyMessage);
        QTest::qWait(50);
        QCOMPARE(recorder.labels(), QStringList());
    }

    void nameWhileOffIsStoredSilently()
    {
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Quiet")) }).type() == QDBusMessage::ReplyMessage);
        QTest::qWait(50);
        QCOMPARE(recorder.count(QStringLiteral("PropertyChanged:Name")), 0);
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(), QStringLiteral("Quiet"));
        QVERIFY(sim()->changeAdapter({ { "nameChangeAllowed", false } }));
        const QDBusMessage refused = adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("X")) });
        QCOMPARE(refused.errorName(), QStringLiteral("org.bluez.Error.Failed"));
        QCOMPARE(refused.errorMessage(), QStringLiteral("Operation not permitted"));
    }

    void discoverableTimeoutEndsVisibility()
    {
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("DiscoverableTimeout"), variant(1u) }).type() == QDBusMessage::ReplyMessage);
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Discoverable"), variant(true) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discoverable"), 3000, 2));
        QCOMPARE(recorder.lastValue(QStringLiteral("Discoverable")), QVariant(false));
        QCOMPARE(adapterProperties().value(QStringLiteral("Discoverable")), QVariant(false));
    }

    void sessionsNeedAnAgentAndItsConsent()
    {
        QCOMPARE(adapterCall(QStringLiteral("RequestSession")).errorName(), QStringLiteral("org.bluez.Error.AgentNotAvailable"));
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), QStringLiteral("/test/agent"), &recorder);
        QVERIFY(adapterCall(QStringLiteral("RegisterAgent"), { objectPath(agent.path()), QStringLiteral("DisplayYesNo") }).type() == QDBusMessage::ReplyMessage);

        // A refusal reaches the caller under the agent's own error name.
        agent.refuse(QStringLiteral("ConfirmModeChange"), QStringLiteral("org.bluez.Error.Rejected"));
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("RequestSession")));
        QVERIFY(recorder.waitFor(QStringLiteral("error:RequestSession:org.bluez.Error.Rejected")));
        QCOMPARE(agent.calls().last().arguments, QVariantList({ QStringLiteral("connectable") }));

        // The session waits for the agent, then for the radio.
        recorder.clear();
        agent.answer(QStringLiteral("ConfirmModeChange"), {});
        agent.hold(QStringLiteral("ConfirmModeChange"));
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("RequestSession")));
        QVERIFY(agent.waitForCall(QStringLiteral("ConfirmModeChange"), 5000, 2));
        QVERIFY(agent.hasHeld());
        QTRY_COMPARE(sim()->pendingAgentCalls().size(), 1);
        QCOMPARE(recorder.count(QStringLiteral("reply:RequestSession")), 0);
        agent.answerHeld();
        QVERIFY(recorder.waitFor(QStringLiteral("reply:RequestSession")));
        QCOMPARE(recorder.labels().mid(1), QStringList({ "PropertyChanged:Powered", "PropertyChanged:Pairable",
                                                         "PropertyChanged:Discoverable", "reply:RequestSession" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);

        // The last session gone, the radio goes back off.
        recorder.clear();
        QVERIFY(adapterCall(QStringLiteral("ReleaseSession")).type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Powered")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Powered")), QVariant(false));
        const QDBusMessage again = adapterCall(QStringLiteral("ReleaseSession"));
        QCOMPARE(again.errorName(), QStringLiteral("org.bluez.Error.Failed"));
        QCOMPARE(again.errorMessage(), QStringLiteral("Invalid Session"));
        QVERIFY(adapterCall(QStringLiteral("UnregisterAgent"), { objectPath(agent.path()) }).type() == QDBusMessage::ReplyMessage);
    }

    void sessionKeepsAModeSetByHand()
    {
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        TestAgent agent(QDBusConnection::systemBus(), QStringLiteral("/test/agent"));
        QVERIFY(adapterCall(QStringLiteral("RegisterAgent"), { objectPath(agent.path()), QString() }).type() == QDBusMessage::ReplyMessage);
        // Asynchronous: the daemon asks our own agent before it answers.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(m_adapter, adapterInterface, QStringLiteral("RequestSession")));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:RequestSession")));
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(true) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(adapterCall(QStringLiteral("ReleaseSession")).type() == QDBusMessage::ReplyMessage);
        QTest::qWait(100);
        QCOMPARE(adapterProperties().value(QStringLiteral("Powered")), QVariant(true));
        QVERIFY(adapterCall(QStringLiteral("UnregisterAgent"), { objectPath(agent.path()) }).type() == QDBusMessage::ReplyMessage);
    }

    void oneDefaultAgentAndReleaseOnUnregister()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        TestAgent agent(QDBusConnection::systemBus(), QStringLiteral("/test/agent"), &recorder);
        QCOMPARE(adapterCall(QStringLiteral("RegisterAgent"), { objectPath(agent.path()), QStringLiteral("Telepathy") }).errorName(),
                 QStringLiteral("org.bluez.Error.InvalidArguments"));
        QVERIFY(adapterCall(QStringLiteral("RegisterAgent"), { objectPath(agent.path()), QStringLiteral("KeyboardDisplay") }).type() == QDBusMessage::ReplyMessage);
        // Any second agent is refused, from any client.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("other"));
        QCOMPARE(other.call(bluezMessage(m_adapter, adapterInterface, QStringLiteral("RegisterAgent"), { objectPath(QStringLiteral("/x")), QString() })).errorName(),
                 QStringLiteral("org.bluez.Error.AlreadyExists"));
        // Only the owner can unregister it.
        QCOMPARE(other.call(bluezMessage(m_adapter, adapterInterface, QStringLiteral("UnregisterAgent"), { objectPath(agent.path()) })).errorName(),
                 QStringLiteral("org.bluez.Error.DoesNotExist"));
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        QVERIFY(adapterCall(QStringLiteral("UnregisterAgent"), { objectPath(agent.path()) }).type() == QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.calls().last().replyExpected, false);
    }

    void introspectionIsAnsweredAndLogged()
    {
        QVERIFY(sim()->clearCallLog());
        const QDBusMessage xml = bluezCall(m_adapter, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
        QVERIFY(xml.arguments().value(0).toString().contains(QLatin1String("<method name=\"CreatePairedDevice\">")));
        QVERIFY(xml.arguments().value(0).toString().contains(QLatin1String("<node name=\"dev_00_1B_66_0A_11_01\"/>")));
        adapterCall(QStringLiteral("GetProperties"));
        QCOMPARE(sim()->countCalls(QStringLiteral("Introspect")), 1);
        QCOMPARE(sim()->countCalls(QStringLiteral("GetProperties"), adapterInterface), 1);
        const SimulatorClient::Call first = sim()->callLog().first();
        QCOMPARE(first.sender, QDBusConnection::systemBus().baseService());
        QCOMPARE(first.path, m_adapter);
        QCOMPARE(first.bus, QStringLiteral("system"));
    }
};

OVRIN_TEST_MAIN(TestSimAdapter)
#include "tst_simadapter.moc"
