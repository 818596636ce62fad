// The simulated bluetoothd 5.66 answers where the library will lean on it:
// the object tree, Properties and the order of PropertiesChanged around
// replies, discovery sessions per bus name, temporary devices, Pair through
// Agent1, RemoveDevice, audio Connect and rfkill.

#include "simtest5.h"

#include <QDBusPendingCall>
#include <QFile>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <linux/rfkill.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace OvrinTest;

namespace {
const QString phone = u"F4:0E:22:13:33:03"_s; // found by discovery, pairs by confirmation
const QString justWorks = u"00:1B:66:0A:11:02"_s; // found, pairs without asking
const QString carKit = u"00:1E:AE:4C:21:09"_s; // stored, paired, trusted, hands-free
const QString laptop = u"00:21:86:5B:7A:0A"_s; // stored, paired, no audio
const QString printer = u"00:80:92:A1:66:06"_s; // found, legacy PIN 1234

// A reader of the rfkill device btsim serves, as the library opens it.
class RfkillReader
{
public:
    RfkillReader()
    {
        const QByteArray path = qgetenv("OVRIN_RFKILL_DEVICE");
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RfkillReader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // "op index soft" of the next event, or "" when none comes within a second.
    QString next()
    {
        QSocketNotifier readable(m_fd, QSocketNotifier::Read);
        if (!QTest::qWaitFor([this]() { return hasData(); }, 1000))
            return QString();
        rfkill_event event {};
        if (::read(m_fd, &event, RFKILL_EVENT_SIZE_V1) != RFKILL_EVENT_SIZE_V1
            || event.type != RFKILL_TYPE_BLUETOOTH)
            return u"bad event"_s;
        const char *ops[] = { "add", "del", "change", "change-all" };
        return u"%1 %2 %3"_s.arg(QLatin1String(ops[event.op & 3])).arg(event.idx).arg(event.soft);
    }
    bool isOpen() const { return m_fd >= 0; }

private:
    bool hasData() const
    {
        char byte;
        return ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
    }
    int m_fd = -1;
};
} // namespace

class TestSimBluez5 : public SimTest5
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { registerTypes(); }
    void init()
    {
        QVERIFY(load(u"pairing-partners.json"_s));
        // A round trip: nothing of an earlier test is still on its way.
        QVERIFY(managedObjects().contains(QDBusObjectPath(hci0)));
    }

    // bluetoothd's own default where the scenario names none: visible for
    // three minutes, then hidden by the countdown; a 0 written first keeps it.
    void discoverableTimeoutIsBluetoothdsUnlessNamed()
    {
        const auto visible = [] { return get(hci0, adapter1, u"Discoverable"_s).toBool(); };
        QCOMPARE(get(hci0, adapter1, u"DiscoverableTimeout"_s), QVariant(180u));
        QVERIFY(sim()->changeAdapter({ { "discoverableTimeout", 1 } }));
        QCOMPARE(errorOf(setMessage(hci0, adapter1, u"Discoverable"_s, true)), QString());
        QVERIFY(visible());
        QTRY_VERIFY_WITH_TIMEOUT(!visible(), 3000);
        QCOMPARE(errorOf(setMessage(hci0, adapter1, u"DiscoverableTimeout"_s, 0u)), QString());
        QCOMPARE(errorOf(setMessage(hci0, adapter1, u"Discoverable"_s, true)), QString());
        QTest::qWait(1500);
        QVERIFY(visible());
    }

    void managedObjectsHoldTheTreeBelowTheRoot()
    {
        const ManagedObjects objects = managedObjects();
        QVERIFY(!objects.contains(QDBusObjectPath(u"/"_s)));
        QVERIFY(
            objects.value(QDBusObjectPath(u"/org/bluez"_s)).contains(u"org.bluez.AgentManager1"_s));
        const InterfaceMap adapter = objects.value(QDBusObjectPath(hci0));
        QCOMPARE(adapter.value(propertiesInterface), QVariantMap());
        QCOMPARE(adapter.value(u"org.freedesktop.DBus.Introspectable"_s), QVariantMap());
        QCOMPARE(adapter.value(adapter1).value(u"Alias"_s), QVariant(u"Test handset"_s));
        QCOMPARE(adapter.value(adapter1).value(u"Powered"_s), QVariant(true));
        // Stored devices are objects from the start; others only once found.
        const QVariantMap stored = objects.value(QDBusObjectPath(dev(carKit))).value(device1);
        QCOMPARE(stored.value(u"Paired"_s), QVariant(true));
        QCOMPARE(stored.value(u"Adapter"_s).value<QDBusObjectPath>().path(), hci0);
        QVERIFY(!stored.contains(u"RSSI"_s));
        QVERIFY(!objects.contains(QDBusObjectPath(dev(phone))));
    }

    void propertiesAnswerWithTheDaemonsErrors_data()
    {
        QTest::addColumn<QDBusMessage>("message");
        QTest::addColumn<QString>("error");
        QTest::newRow("Name is read-only") << setMessage(hci0, adapter1, u"Name"_s, u"x"_s)
                                           << u"org.freedesktop.DBus.Error.PropertyReadOnly"_s;
        QTest::newRow("Alias is writable")
            << setMessage(hci0, adapter1, u"Alias"_s, u"Renamed"_s) << QString();
        QTest::newRow("unknown property") << setMessage(hci0, adapter1, u"Colour"_s, true)
                                          << u"org.freedesktop.DBus.Error.UnknownProperty"_s;
        QTest::newRow("wrong type") << setMessage(hci0, adapter1, u"Powered"_s, u"yes"_s)
                                    << u"org.freedesktop.DBus.Error.InvalidSignature"_s;
        QTest::newRow("absent RSSI")
            << bluezMessage(dev(carKit), propertiesInterface, u"Get"_s, { device1, u"RSSI"_s })
            << u"org.freedesktop.DBus.Error.InvalidArgs"_s;
        QTest::newRow("other interface")
            << bluezMessage(hci0, propertiesInterface, u"GetAll"_s, { device1 })
            << u"org.freedesktop.DBus.Error.InvalidArgs"_s;
    }
    void propertiesAnswerWithTheDaemonsErrors()
    {
        QFETCH(QDBusMessage, message);
        QFETCH(QString, error);
        QCOMPARE(errorOf(message), error);
    }

    void propertiesChangedComesOnItsSideOfTheReply_data()
    {
        QTest::addColumn<QDBusMessage>("message");
        QTest::addColumn<QStringList>("expected");
        // The kernel acknowledges adapter settings after the reply went.
        QTest::newRow("Discoverable") << setMessage(hci0, adapter1, u"Discoverable"_s, true)
                                      << QStringList { "reply:Set", "hci0:Discoverable" };
        QTest::newRow("Alias") << setMessage(hci0, adapter1, u"Alias"_s, u"Renamed"_s)
                               << QStringList { "reply:Set", "hci0:Alias" };
        // One batch once powered off, the transition before the reply.
        QTest::newRow("Powered") << setMessage(hci0, adapter1, u"Powered"_s, false)
                                 << QStringList { "reply:Set", "hci0:Class,Discovering,Powered" };
        // Device setters queue the change before they reply.
        QTest::newRow("Trusted") << setMessage(dev(laptop), device1, u"Trusted"_s, true)
                                 << QStringList { "dev_00_21_86_5B_7A_0A:Trusted", "reply:Set" };
    }
    void propertiesChangedComesOnItsSideOfTheReply()
    {
        QFETCH(QDBusMessage, message);
        QFETCH(QStringList, expected);
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        recorder.callAsync(message);
        QCOMPARE(labelsOnce(recorder, expected.last()), expected);
    }

    void discoverySessionsBelongToBusNames()
    {
        OtherClient other(QDBusConnection::SystemBus);
        const QDBusMessage start = bluezMessage(hci0, adapter1, u"StartDiscovery"_s);
        const QDBusMessage stop = bluezMessage(hci0, adapter1, u"StopDiscovery"_s);
        QCOMPARE(errorOf(start), QString());
        QCOMPARE(errorOf(start), bluezError("InProgress"));
        // Another client cannot end our session...
        QDBusMessage stopped = other.bus.call(stop);
        QCOMPARE(stopped.errorName(), bluezError("Failed"));
        QCOMPARE(stopped.errorMessage(), u"No discovery started"_s);
        // ...and its own session keeps the scan after ours ends.
        QCOMPARE(errorOf(start, other.bus), QString());
        QCOMPARE(errorOf(stop), QString());
        QCOMPARE(get(hci0, adapter1, u"Discovering"_s), QVariant(true));
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        other.leave();
        QVERIFY(recorder.waitFor(u"hci0:Discovering"_s));
        QCOMPARE(get(hci0, adapter1, u"Discovering"_s), QVariant(false));
    }

    void stopBetweenScansTellsDiscoveringFirst_data()
    {
        QTest::addColumn<bool>("betweenScans");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mid-scan: the reply waits for the kernel")
            << false << QStringList { "reply:StopDiscovery", "hci0:Discovering" };
        QTest::newRow("between scans: nothing to stop")
            << true << QStringList { "hci0:Discovering", "reply:StopDiscovery" };
    }
    // bluetoothd pauses between two scans of a discovery with Discovering
    // still true; a StopDiscovery then has no kernel scan to stop.
    void stopBetweenScansTellsDiscoveringFirst()
    {
        QFETCH(bool, betweenScans);
        QFETCH(QStringList, expected);
        QVERIFY(sim()->setTiming({ { "inquiryMs", betweenScans ? 100 : 60000 },
                                   { "nameResolveMs", 10 },
                                   { "discoveryIdleMs", 60000 } }));
        QCOMPARE(errorOf(bluezMessage(hci0, adapter1, u"StartDiscovery"_s)), QString());
        if (betweenScans)
            QTest::qWait(500);
        QCOMPARE(get(hci0, adapter1, u"Discovering"_s), QVariant(true));
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        recorder.callAsync(bluezMessage(hci0, adapter1, u"StopDiscovery"_s));
        QVERIFY(recorder.waitFor(u"reply:StopDiscovery"_s));
        QVERIFY(recorder.waitFor(u"hci0:Discovering"_s));
        QStringList order = recorder.labels();
        order.removeIf([](const QString &label) { return !label.startsWith(u"hci0:"_s)
                                                         && !label.startsWith(u"reply:"_s); });
        QCOMPARE(order, expected);
    }

    // Without a discovery filter bluetoothd tells a found device's RSSI again
    // only once it moved 8 dBm or more from the value it told; with one, any move.
    void rssiIsToldAgainOnlyForAMoveOfEightWithoutAFilter()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(discover(recorder, phone));
        // The report that brings its name settles first.
        QTest::qWait(800);
        const int told = get(dev(phone), device1, u"RSSI"_s).toInt();
        const QString rssiTold = leaf(dev(phone)) + u":RSSI"_s;
        const auto movesTo = [&](int rssi) {
            const int before = recorder.count(rssiTold);
            if (!sim()->changeDevice(phone, { { "rssi", rssi } }))
                return false;
            // Two cycles of the scenario's short inquiry.
            QTest::qWait(800);
            return recorder.count(rssiTold) > before;
        };
        QVERIFY(!movesTo(told + 5));
        QVERIFY(!movesTo(told - 7));
        QVERIFY(movesTo(told + 9));
        QCOMPARE(get(dev(phone), device1, u"RSSI"_s).toInt(), told + 9);
        QVERIFY(ok(bluezCall(hci0, adapter1, u"SetDiscoveryFilter"_s,
                             { QVariantMap { { "Transport", u"bredr"_s } } })));
        QVERIFY(movesTo(told + 7));
        QCOMPARE(errorOf(bluezMessage(hci0, adapter1, u"StopDiscovery"_s)), QString());
    }

    void foundDevicesStayOnlyWhenKept_data()
    {
        QTest::addColumn<QString>("keep");
        QTest::addColumn<bool>("stays");
        QTest::newRow("untouched") << QString() << false;
        QTest::newRow("trusted") << u"Trusted"_s << false;
        QTest::newRow("paired") << u"Pair"_s << true;
        QTest::newRow("blocked") << u"Blocked"_s << true;
    }
    void foundDevicesStayOnlyWhenKept()
    {
        QFETCH(QString, keep);
        QFETCH(bool, stays);
        QVERIFY(sim()->setTiming({ { "temporaryTimeoutMs", 400 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(discover(recorder, justWorks));
        QVERIFY(recorder.waitFor(u"InterfacesAdded:"_s + leaf(dev(phone))));
        const int added = recorder.indexOf(u"InterfacesAdded:"_s + leaf(dev(justWorks)));
        const QVariantMap found
            = qdbus_cast<InterfaceMap>(recorder.entries().at(added).arguments.value(1))
                  .value(device1);
        QCOMPARE(found.value(u"Name"_s), QVariant(u"Just-works headset"_s));
        QVERIFY(found.contains(u"RSSI"_s));

        if (keep == QLatin1String("Pair"))
            QVERIFY(ok(QDBusConnection::systemBus().call(deviceMessage(justWorks, u"Pair"_s))));
        else if (!keep.isEmpty())
            QVERIFY(ok(QDBusConnection::systemBus().call(
                setMessage(dev(justWorks), device1, keep, true))));
        // Inquiry results keep found devices; the end of the last session
        // takes their RSSI, and time then runs out for them.
        QVERIFY(ok(bluezCall(hci0, adapter1, u"StopDiscovery"_s)));
        QVERIFY(recorder.waitFor(leaf(dev(phone)) + u":RSSI"_s));
        QVERIFY(get(dev(phone), device1, u"Alias"_s).isValid());
        // The phone, found alike and left alone, goes first or at the same time.
        QVERIFY(recorder.waitFor(u"InterfacesRemoved:"_s + leaf(dev(phone)), 3000));
        const bool gone
            = recorder.waitFor(u"InterfacesRemoved:"_s + leaf(dev(justWorks)), stays ? 0 : 3000);
        QCOMPARE(!gone, stays);
        QCOMPARE(managedObjects().contains(QDBusObjectPath(dev(justWorks))), stays);
    }

    void aFoundDeviceLearnsItsNameLater()
    {
        QVERIFY(load(u"mixed-neighbours.json"_s));
        const QString printer = u"00:80:92:00:00:03"_s; // its name comes after inquiry
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(discover(recorder, printer));
        const QString object = leaf(dev(printer));
        const QVariantMap found
            = qdbus_cast<InterfaceMap>(recorder.entries()
                                           .at(recorder.indexOf(u"InterfacesAdded:"_s + object))
                                           .arguments.value(1))
                  .value(device1);
        QVERIFY(!found.contains(u"Name"_s));
        QCOMPARE(found.value(u"Alias"_s), QVariant(u"00-80-92-00-00-03"_s));
        // Name and Alias come together with the report that resolved them.
        QVERIFY(recorder.waitFor(object + u":Alias,Name,RSSI"_s));
        QCOMPARE(get(dev(printer), device1, u"Alias"_s), QVariant(u"Printer"_s));
        // A report of the control sends the RSSI again.
        QVERIFY(sim()->reportDeviceFound(printer));
        QVERIFY(recorder.waitFor(object + u":RSSI"_s));
    }

    void pairGoesThroughTheAgent_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QVariantList>("arguments"); // after the device path
        QTest::addColumn<QVariant>("answer"); // invalid: refused
        QTest::addColumn<QString>("error");
        const QString confirm = u"RequestConfirmation"_s;
        QTest::newRow("confirmed")
            << phone << confirm << QVariantList { 4821u } << QVariant(u""_s) << QString();
        QTest::newRow("not confirmed") << phone << confirm << QVariantList { 4821u } << QVariant()
                                       << bluezError("AuthenticationFailed");
        QTest::newRow("right PIN")
            << printer << u"RequestPinCode"_s << QVariantList() << QVariant(u"1234"_s) << QString();
        QTest::newRow("wrong PIN") << printer << u"RequestPinCode"_s << QVariantList()
                                   << QVariant(u"9999"_s) << bluezError("AuthenticationFailed");
    }
    void pairGoesThroughTheAgent()
    {
        QFETCH(QString, address);
        QFETCH(QString, request);
        QFETCH(QVariantList, arguments);
        QFETCH(QVariant, answer);
        QFETCH(QString, error);
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        Agent1 agent(&recorder);
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        QVERIFY(discover(recorder, address));
        if (answer.isValid())
            agent.answer(request, answer);
        else
            agent.refuse(request);
        // Asynchronous: the agent lives on this connection.
        recorder.callAsync(deviceMessage(address, u"Pair"_s));
        QTRY_VERIFY(recorder.replyOf(u"Pair"_s).type() != QDBusMessage::InvalidMessage);
        QCOMPARE(recorder.replyOf(u"Pair"_s).errorName(), error);
        const QList<ScriptedAgent::Call> calls = agent.calls();
        const auto asked = std::find_if(calls.cbegin(), calls.cend(),
                                        [&](const auto &call) { return call.member == request; });
        QVERIFY(asked != calls.cend());
        QCOMPARE(asked->arguments, QVariantList { dev(address) } + arguments);
        QCOMPARE(get(dev(address), device1, u"Paired"_s), QVariant(error.isEmpty()));
        QCOMPARE(sim()->device(address).value(u"paired"_s).toBool(), error.isEmpty());
    }

    void oneAgentPerBusName()
    {
        Agent1 agent;
        const QDBusConnection bus = QDBusConnection::systemBus();
        QCOMPARE(agentManagerError("RegisterAgent", bus), QString());
        QCOMPARE(agentManagerError("RegisterAgent", bus), bluezError("AlreadyExists"));
        QCOMPARE(agentManagerError("RegisterAgent", bus, u"/test/other"_s),
                 bluezError("AlreadyExists"));
        // The first agent is the default; another client's queues behind it.
        OtherClient other(QDBusConnection::SystemBus);
        QCOMPARE(agentManagerError("RegisterAgent", other.bus), QString());
        const QJsonObject defaultAgent
            = sim()->state().value(u"org.bluez"_s).toObject().value(u"defaultAgent"_s).toObject();
        QCOMPARE(defaultAgent.value(u"owner"_s).toString(), bus.baseService());
        QCOMPARE(agentManagerError("UnregisterAgent", bus, u"/test/other"_s),
                 bluezError("DoesNotExist"));
        QCOMPARE(agentManagerError("UnregisterAgent", bus), QString());
        // Pairable goes with the last agent and comes with the first.
        QCOMPARE(get(hci0, adapter1, u"Pairable"_s), QVariant(true));
        other.leave();
        QTRY_COMPARE(get(hci0, adapter1, u"Pairable"_s), QVariant(false));
        QCOMPARE(agentManagerError("RegisterAgent", bus), QString());
        QCOMPARE(get(hci0, adapter1, u"Pairable"_s), QVariant(true));
        // Release only when the daemon goes away.
        QVERIFY(agent.calls().isEmpty());
        QVERIFY(sim()->dropService());
        QVERIFY(agent.waitForCall(u"Release"_s));
        QVERIFY(sim()->restoreService());
    }

    void remoteRequestsGoToTheDefaultAgent_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("request"); // "" for an incoming pairing
        QTest::addColumn<QString>("agentMember");
        QTest::newRow("service") << phone << u"0000111f-0000-1000-8000-00805f9b34fb"_s
                                 << u"AuthorizeService"_s;
        QTest::newRow("numeric comparison") << phone << QString() << u"RequestConfirmation"_s;
        QTest::newRow("just works") << justWorks << QString() << u"RequestAuthorization"_s;
    }
    void remoteRequestsGoToTheDefaultAgent()
    {
        QFETCH(QString, address);
        QFETCH(QString, request);
        QFETCH(QString, agentMember);
        Agent1 agent;
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        QVERIFY(sim()->changeAdapter({ { "discoverable", true }, { "discoverableTimeout", 0 } }));
        const uint ticket = request.isEmpty() ? sim()->incomingPairing(address)
                                              : sim()->requestAuthorization(address, request);
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(agent.members(), QStringList { agentMember });
        QCOMPARE(agent.calls().first().arguments.value(0).toString(), dev(address));
        QCOMPARE(sim()->device(address).value(u"paired"_s).toBool(), request.isEmpty());
    }

    // With the kernel's connection control, a hidden adapter pages in only
    // the devices it has paired: a stranger's pairing, connection or push
    // never reaches bluetoothd, obexd or an agent; a paired device's does.
    void aHiddenAdapterTakesNoLinkFromStrangers()
    {
        Agent1 agent;
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        const QString failed = u"org.bluez.Error.ConnectionAttemptFailed"_s;
        const QString handsFree = u"0000111f-0000-1000-8000-00805f9b34fb"_s;
        QCOMPARE(outcome(sim()->incomingPairing(phone)), failed);
        QCOMPARE(outcome(sim()->requestAuthorization(phone, handsFree)), failed);
        QCOMPARE(outcome(sim()->pushFile(phone, u"a.txt"_s, u"text/plain"_s, "hello")), failed);
        QVERIFY(agent.calls().isEmpty());
        QVERIFY(!managedObjects().contains(QDBusObjectPath(dev(phone))));

        QCOMPARE(outcome(sim()->requestAuthorization(laptop, handsFree)), QString());
        QCOMPARE(agent.members(), QStringList { u"AuthorizeService"_s });
        QVERIFY(sim()->changeAdapter({ { "discoverable", true }, { "discoverableTimeout", 0 } }));
        QCOMPARE(outcome(sim()->incomingPairing(phone)), QString());
        QVERIFY(sim()->device(phone).value(u"paired"_s).toBool());
    }

    void cancelPairingAnswersPairFirst()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        Agent1 agent(&recorder);
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        QVERIFY(discover(recorder, phone));
        agent.hold(u"RequestConfirmation"_s);
        recorder.callAsync(deviceMessage(phone, u"Pair"_s));
        QVERIFY(agent.waitForCall(u"RequestConfirmation"_s));
        recorder.callAsync(deviceMessage(phone, u"CancelPairing"_s));
        QVERIFY(recorder.waitFor(u"reply:CancelPairing"_s));
        const QString canceled = u"error:Pair:"_s + bluezError("AuthenticationCanceled");
        QVERIFY(recorder.indexOf(canceled) >= 0);
        QVERIFY(recorder.indexOf(canceled) < recorder.indexOf(u"reply:CancelPairing"_s));
        QVERIFY(agent.waitForCall(u"Cancel"_s));
        QCOMPARE(errorOf(deviceMessage(phone, u"CancelPairing"_s)), bluezError("DoesNotExist"));
        // The agent told of the cancel ends the question it held.
        agent.refuseHeld(u"org.bluez.Error.Canceled"_s);
    }

    void removeDeviceAnnouncesTheRemovalBeforeItsReply()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        recorder.callAsync(
            bluezMessage(hci0, adapter1, u"RemoveDevice"_s, { objectPath(dev(laptop)) }));
        QCOMPARE(labelsOnce(recorder, u"reply:RemoveDevice"_s),
                 QStringList({ "InterfacesRemoved:dev_00_21_86_5B_7A_0A", "reply:RemoveDevice" }));
        QCOMPARE(recorder.entries().first().arguments.value(1).toStringList(),
                 QStringList({ "org.bluez.Device1", "org.freedesktop.DBus.Introspectable",
                               "org.freedesktop.DBus.Properties" }));
        QVERIFY(!sim()->device(laptop).value(u"paired"_s).toBool());
        QCOMPARE(
            errorOf(bluezMessage(hci0, adapter1, u"RemoveDevice"_s, { objectPath(dev(laptop)) })),
            bluezError("DoesNotExist"));
    }

    void connectReachesTheAudioProfile_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("audioState");
        QTest::newRow("hands-free") << carKit << QString() << u"connected"_s;
        QTest::newRow("no audio") << laptop << bluezError("NotAvailable") << u"disconnected"_s;
    }
    void connectReachesTheAudioProfile()
    {
        QFETCH(QString, address);
        QFETCH(QString, error);
        QFETCH(QString, audioState);
        QCOMPARE(errorOf(deviceMessage(address, u"Connect"_s)), error);
        QCOMPARE(get(dev(address), device1, u"Connected"_s), QVariant(true));
        QCOMPARE(sim()->device(address).value(u"audioState"_s).toString(), audioState);
    }

    // A call still waiting for the radio when the world is reloaded is
    // answered, not left hanging.
    void aReloadAnswersTheCallsThatWait()
    {
        QVERIFY(loadExperimental());
        QVERIFY(sim()->setTiming({ { "powerMs", 60000 } }));
        QDBusPendingCall pending = QDBusConnection::systemBus().asyncCall(
            setMessage(hci0, adapter1, u"Powered"_s, false), 5000);
        QTRY_COMPARE(get(hci0, adapter1, u"PowerState"_s), QVariant(u"on-disabling"_s));
        QVERIFY(load(u"pairing-partners.json"_s));
        pending.waitForFinished();
        QCOMPARE(pending.error().name(), bluezError("Failed"));
    }

    // A stock bluetoothd has no "PowerState" (experimental: -E). The kernel's
    // rfkill device tells the block either way: btsim serves its events.
    void rfkillKeepsThePowerOff_data()
    {
        QTest::addColumn<bool>("experimental");
        QTest::newRow("stock") << false;
        QTest::newRow("-E") << true;
    }
    void rfkillKeepsThePowerOff()
    {
        QFETCH(bool, experimental);
        if (experimental)
            QVERIFY(loadExperimental());
        RfkillReader rfkill;
        QVERIFY(rfkill.isOpen());
        QCOMPARE(rfkill.next(), u"add 0 0"_s);
        QCOMPARE(rfkill.next(), QString());
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", true } }));
        QCOMPARE(rfkill.next(), u"change 0 1"_s);
        QVERIFY(recorder.waitFor(experimental ? u"hci0:Class,Discovering,PowerState,Powered"_s
                                              : u"hci0:Class,Discovering,Powered"_s));
        const QDBusMessage reply
            = QDBusConnection::systemBus().call(setMessage(hci0, adapter1, u"Powered"_s, true));
        QCOMPARE(reply.errorName(), bluezError("Blocked"));
        QCOMPARE(reply.errorMessage(), u"Blocked through rfkill"_s);
        const QVariantMap properties = managedObjects().value(QDBusObjectPath(hci0)).value(adapter1);
        QCOMPARE(properties.value(u"PowerState"_s),
                 experimental ? QVariant(u"off-blocked"_s) : QVariant());
        // Unblocked, the radio comes back as it was.
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", false } }));
        QCOMPARE(rfkill.next(), u"change 0 0"_s);
        QTRY_COMPARE(get(hci0, adapter1, u"Powered"_s), QVariant(true));
        if (experimental)
            QCOMPARE(get(hci0, adapter1, u"PowerState"_s), QVariant(u"on"_s));
        // A reader that comes later gets the switches present, as added.
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", true } }));
        RfkillReader late;
        QCOMPARE(late.next(), u"add 0 1"_s);
        QVERIFY(sim()->changeAdapter({ { "present", false } }));
        QCOMPARE(late.next(), u"del 0 1"_s);
    }

private:
    bool loadExperimental()
    {
        QFile file(TestEnvironment::testData(u"simulator/scenarios/pairing-partners.json"_s));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QJsonObject scenario = QJsonDocument::fromJson(file.readAll()).object();
        scenario.insert(u"experimental"_s, true);
        return sim()->loadScenario(scenario)
            && managedObjects().contains(QDBusObjectPath(hci0));
    }
};

int main(int argc, char **argv)
{
    // The fixture switch every suite will use: btsim plays bluetoothd 5.
    qputenv("OVRIN_BLUEZ", "5");
    return OvrinTest::run<TestSimBluez5>(argc, argv, OvrinTest::Simulator::Start);
}

#include "tst_simbluez5.moc"
