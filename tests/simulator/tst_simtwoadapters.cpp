// btsim's bluetoothd 5 and obexd 5 with a second controller, as the genuine
// daemons run with two emulated controllers (btvirt -l2) in one bluetoothd:
// hci1 is the phone at the other end, driven over plain D-Bus like hci0.

#include "simtest5.h"

#include <QFile>

using namespace OvrinTest;

namespace {
const QString hci1 = u"/org/bluez/hci1"_s;
const QString first = u"00:AA:01:00:00:00"_s;
const QString second = u"00:AA:01:01:00:01"_s;
const QString obexd5 = u"org.bluez.obex"_s;
const QString obexAgentPath = u"/test/obexagent"_s;

QString devOf(const QString &adapter, const QString &address)
{
    return devicePath(adapter, address);
}

QDBusMessage obexMessage(const QString &path, const QString &interface, const QString &member,
                         const QVariantList &args = {})
{
    return busMessage(obexd5, path, interface, member, args);
}
} // namespace

class TestSimTwoAdapters : public SimTest5
{
    Q_OBJECT

    // The user of the other phone: the default agent, on a connection of its own.
    struct RemoteUser
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus,
                                                            u"remote-user"_s);
        ScriptedAgent agent { bus, u"/test/remoteuser"_s };
        RemoteUser()
        {
            agentManagerError("RegisterAgent", bus, agent.path());
            agentManagerError("RequestDefaultAgent", bus, agent.path());
        }
        ~RemoteUser() { QDBusConnection::disconnectFromBus(u"remote-user"_s); }
    };

    bool set(const QString &adapter, const QString &name, const QVariant &value)
    {
        return ok(QDBusConnection::systemBus().call(setMessage(adapter, adapter1, name, value)));
    }
    // A discovery on observer until the device of address appears.
    static bool find(SignalRecorder &recorder, const QString &observer, const QString &address)
    {
        return ok(bluezCall(observer, adapter1, u"StartDiscovery"_s))
            && recorder.waitFor(u"InterfacesAdded:"_s + leaf(devOf(observer, address)), 3000);
    }
    // hci1 visible and found from hci0.
    static bool findSecond(SignalRecorder &recorder)
    {
        return ok(QDBusConnection::systemBus().call(
                   setMessage(hci1, adapter1, u"Discoverable"_s, true)))
            && find(recorder, hci0, second);
    }

private Q_SLOTS:
    void initTestCase() { registerTypes(); }
    void init()
    {
        QVERIFY(sim()->loadScenarioFile(
            TestEnvironment::testData(u"real/scenarios/two-controllers.json"_s)));
        // The emulated pair's inquiry takes its full 5 s; these checks need
        // only the order of things.
        QVERIFY(sim()->setTiming({ { "inquiryMs", 400 } }));
        QVERIFY(managedObjects().contains(QDBusObjectPath(hci1)));
    }
    void cleanup()
    {
        // obexd keeps its one agent across scenarios.
        QDBusConnection::sessionBus().call(
            obexMessage(u"/org/bluez/obex"_s, u"org.bluez.obex.AgentManager1"_s,
                        u"UnregisterAgent"_s, { objectPath(obexAgentPath) }));
    }

    void bothControllersAreAdapters()
    {
        const ManagedObjects objects = managedObjects();
        for (const auto &[path, address] :
             { std::pair { hci0, first }, std::pair { hci1, second } }) {
            const QVariantMap adapter = objects.value(QDBusObjectPath(path)).value(adapter1);
            QCOMPARE(adapter.value(u"Address"_s), QVariant(address));
            QCOMPARE(adapter.value(u"AddressType"_s), QVariant(u"public"_s));
            QCOMPARE(adapter.value(u"Name"_s), QVariant(u"BlueZ 5.66"_s));
            QCOMPARE(adapter.value(u"Alias"_s), QVariant(u"BlueZ 5.66"_s));
            QCOMPARE(adapter.value(u"Class"_s), QVariant(0x100000u));
            QCOMPARE(adapter.value(u"Powered"_s), QVariant(true));
            QCOMPARE(adapter.value(u"Discoverable"_s), QVariant(false));
            QCOMPARE(adapter.value(u"DiscoverableTimeout"_s), QVariant(180u));
            QCOMPARE(adapter.value(u"Pairable"_s), QVariant(true));
            for (const char *name : { "PairableTimeout", "Discovering", "UUIDs", "Modalias" })
                QVERIFY2(adapter.contains(QLatin1String(name)), name);
        }
        // Each controller sees only the other, and only once found.
        QVERIFY(!objects.contains(QDBusObjectPath(devOf(hci0, second))));
        QVERIFY(!objects.contains(QDBusObjectPath(devOf(hci1, first))));
    }

    void secondControllerIsWrittenAsTheFirst()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(set(hci1, u"Alias"_s, u"Other phone"_s));
        QVERIFY(recorder.waitFor(u"hci1:Alias"_s));
        QVERIFY(set(hci1, u"Powered"_s, false));
        QTRY_COMPARE(get(hci1, adapter1, u"Powered"_s), QVariant(false));
        QCOMPARE(get(hci0, adapter1, u"Powered"_s), QVariant(true));
        QCOMPARE(errorOf(bluezMessage(hci1, adapter1, u"StartDiscovery"_s)),
                 bluezError("NotReady"));
        QVERIFY(set(hci1, u"Powered"_s, true));
        QVERIFY(ok(bluezCall(hci1, adapter1, u"StartDiscovery"_s)));
        QVERIFY(recorder.waitFor(u"hci1:Discovering"_s));
        QCOMPARE(get(hci0, adapter1, u"Discovering"_s), QVariant(false));
        QVERIFY(ok(bluezCall(hci1, adapter1, u"StopDiscovery"_s)));
        QCOMPARE(errorOf(bluezMessage(hci1, adapter1, u"RemoveDevice"_s,
                                      { objectPath(devOf(hci1, first)) })),
                 bluezError("DoesNotExist"));
    }

    void discoveryFindsOnlyAVisibleController()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        // Not discoverable: not found.
        QVERIFY(ok(bluezCall(hci0, adapter1, u"StartDiscovery"_s)));
        QVERIFY(!recorder.waitFor(u"InterfacesAdded:"_s + leaf(devOf(hci0, second)), 1000));
        QVERIFY(set(hci1, u"Discoverable"_s, true));
        QVERIFY(recorder.waitFor(u"InterfacesAdded:"_s + leaf(devOf(hci0, second)), 1000));
        const QVariantMap found
            = managedObjects().value(QDBusObjectPath(devOf(hci0, second))).value(device1);
        QCOMPARE(found.value(u"Address"_s), QVariant(second));
        QCOMPARE(found.value(u"Name"_s), QVariant(u"BlueZ 5.66"_s));
        QCOMPARE(found.value(u"Alias"_s), QVariant(u"BlueZ 5.66"_s));
        QCOMPARE(found.value(u"Class"_s), QVariant(0x100000u));
        QVERIFY(found.contains(u"RSSI"_s));
        for (const char *name : { "Paired", "Trusted", "Connected", "LegacyPairing" })
            QCOMPARE(found.value(QLatin1String(name)), QVariant(false));
        // The same the other way round, with hci0 made visible.
        QVERIFY(set(hci0, u"Discoverable"_s, true));
        QVERIFY(find(recorder, hci1, first));
    }

    void poweredOffControllerIsNotFound()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(set(hci1, u"DiscoverableTimeout"_s, 0u));
        QVERIFY(set(hci1, u"Discoverable"_s, true));
        QVERIFY(set(hci1, u"Powered"_s, false));
        QTRY_COMPARE(get(hci1, adapter1, u"Powered"_s), QVariant(false));
        QVERIFY(ok(bluezCall(hci0, adapter1, u"StartDiscovery"_s)));
        QVERIFY(!recorder.waitFor(u"InterfacesAdded:"_s + leaf(devOf(hci0, second)), 1000));
    }

    void discoverableEndsAfterItsTimeout()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(set(hci1, u"DiscoverableTimeout"_s, 1u));
        QVERIFY(set(hci1, u"Discoverable"_s, true));
        QVERIFY(recorder.waitFor(u"hci1:Discoverable"_s));
        QVERIFY(recorder.waitFor(u"hci1:Discoverable"_s, 3000, 2));
        QCOMPARE(get(hci1, adapter1, u"Discoverable"_s), QVariant(false));
    }

    // Each side asks its own user to compare the emulated controllers' 0.
    // The controllers settle once both have answered: a No from one side
    // fails the pairing on both only when the other has answered too.
    void pairingAsksBothUsersToConfirmZero_data()
    {
        QTest::addColumn<bool>("weAccept");
        QTest::addColumn<bool>("theyAccept");
        QTest::newRow("both agree") << true << true;
        QTest::newRow("we refuse") << false << true;
        QTest::newRow("they refuse") << true << false;
    }
    void pairingAsksBothUsersToConfirmZero()
    {
        QFETCH(bool, weAccept);
        QFETCH(bool, theyAccept);
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        RemoteUser them;
        Agent1 us(&recorder);
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        QVERIFY(findSecond(recorder));
        us.hold(u"RequestConfirmation"_s);
        them.agent.hold(u"RequestConfirmation"_s);
        recorder.callAsync(bluezMessage(devOf(hci0, second), device1, u"Pair"_s));
        QVERIFY(us.waitForCall(u"RequestConfirmation"_s));
        QVERIFY(them.agent.waitForCall(u"RequestConfirmation"_s));
        QCOMPARE(us.calls().first().arguments, (QVariantList { devOf(hci0, second), 0u }));
        QCOMPARE(them.agent.calls().first().arguments, (QVariantList { devOf(hci1, first), 0u }));

        // The one who says No answers first; the other is still asked.
        ScriptedAgent &firstToAnswer = weAccept ? them.agent : us;
        ScriptedAgent &secondToAnswer = weAccept ? us : them.agent;
        if (weAccept && theyAccept)
            firstToAnswer.answerHeld();
        else
            firstToAnswer.refuseHeld();
        QTest::qWait(300);
        QCOMPARE(recorder.replyOf(u"Pair"_s).type(), QDBusMessage::InvalidMessage);
        secondToAnswer.answerHeld();

        QTRY_VERIFY(recorder.replyOf(u"Pair"_s).type() != QDBusMessage::InvalidMessage);
        const bool paired = weAccept && theyAccept;
        QCOMPARE(recorder.replyOf(u"Pair"_s).errorName(),
                 paired ? QString() : bluezError("AuthenticationFailed"));
        // Nobody's question was taken back.
        QCOMPARE(us.members(), QStringList { u"RequestConfirmation"_s });
        QCOMPARE(them.agent.members(), QStringList { u"RequestConfirmation"_s });
        QCOMPARE(get(devOf(hci0, second), device1, u"Paired"_s), QVariant(paired));
        // Their side stores the bond once its own service search is done.
        QTRY_COMPARE(managedObjects().value(QDBusObjectPath(devOf(hci1, first)))
                         .value(device1).value(u"Paired"_s, false),
                     QVariant(paired));
        if (!paired)
            return;
        QCOMPARE(get(devOf(hci0, second), device1, u"Connected"_s), QVariant(true));
        // No audio profile on a phone's controller: nothing for Connect to connect.
        QCOMPARE(errorOf(bluezMessage(devOf(hci0, second), device1, u"Connect"_s)),
                 bluezError("NotAvailable"));
    }

    // One agent for both users is still busy with our question when theirs
    // comes: theirs is refused at once, and the pairing fails once ours is answered.
    void oneAgentForBothSidesFailsThePairing()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        Agent1 agent(&recorder);
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        QVERIFY(findSecond(recorder));
        agent.hold(u"RequestConfirmation"_s);
        recorder.callAsync(bluezMessage(devOf(hci0, second), device1, u"Pair"_s));
        QVERIFY(agent.waitForCall(u"RequestConfirmation"_s));
        QTest::qWait(300);
        agent.answerHeld();
        QTRY_VERIFY(recorder.replyOf(u"Pair"_s).type() != QDBusMessage::InvalidMessage);
        QCOMPARE(recorder.replyOf(u"Pair"_s).errorName(), bluezError("AuthenticationFailed"));
        QCOMPARE(agent.members(), QStringList { u"RequestConfirmation"_s });
    }

    void pairingWithAHiddenControllerFindsNobody()
    {
        QVERIFY(sim()->setTiming({ { "pageTimeoutMs", 300 } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        RemoteUser them;
        QVERIFY(findSecond(recorder));
        QVERIFY(set(hci1, u"Discoverable"_s, false));
        QCOMPARE(errorOf(bluezMessage(devOf(hci0, second), device1, u"Pair"_s)),
                 bluezError("ConnectionAttemptFailed"));
        QVERIFY(them.agent.calls().isEmpty());
    }

    void pairingWithAControllerSwitchedOffTimesOut()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        Bluez5Signals bluez5(&recorder);
        QVERIFY(sim()->setTiming({ { "pageTimeoutMs", 300 } }));
        QVERIFY(findSecond(recorder));
        QVERIFY(set(hci1, u"Powered"_s, false));
        QTRY_COMPARE(get(hci1, adapter1, u"Powered"_s), QVariant(false));
        QCOMPARE(errorOf(bluezMessage(devOf(hci0, second), device1, u"Pair"_s)),
                 bluezError("ConnectionAttemptFailed"));
    }

    void bothControllersComeBackWithTheDaemon()
    {
        QVERIFY(sim()->dropService());
        QVERIFY(sim()->restoreService());
        QTRY_VERIFY(managedObjects().contains(QDBusObjectPath(hci1)));
        QVERIFY(managedObjects().contains(QDBusObjectPath(hci0)));
        QCOMPARE(get(hci1, adapter1, u"Address"_s), QVariant(second));
    }

    void pushBetweenTheControllers_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::newRow("hci1 to hci0") << second << first;
        QTest::newRow("hci0 to hci1") << QString() << second;
    }
    void pushBetweenTheControllers()
    {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        const QString root = TestEnvironment::instance()->directory() + u"/obexroot"_s;
        QVERIFY(QDir(root).removeRecursively() && QDir().mkpath(root));
        QVERIFY(sim()->setObexOptions({ { "rootFolder", root }, { "speed", 0 } }));
        QFile file(root + u"/../outgoing.bin"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray contents;
        for (int i = 0; i < 70000; ++i)
            contents.append(char(i * 7));
        file.write(contents);
        file.close();

        // Neither knows the other: the receiving one takes the link only while visible.
        const QString receiver = destination == first ? hci0 : hci1;
        QVERIFY(set(receiver, u"DiscoverableTimeout"_s, 0u));
        QVERIFY(set(receiver, u"Discoverable"_s, true));

        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd5);
        Bluez5Signals obex(&recorder, QDBusConnection::sessionBus(), obexd5);
        SignalRecorder bluezRecorder(QDBusConnection::systemBus());
        Agent1 pairingAgent(&bluezRecorder);
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        ScriptedAgent agent(QDBusConnection::sessionBus(), obexAgentPath, &recorder);
        QVERIFY(ok(QDBusConnection::sessionBus().call(
            obexMessage(u"/org/bluez/obex"_s, u"org.bluez.obex.AgentManager1"_s, u"RegisterAgent"_s,
                        { objectPath(obexAgentPath) }))));
        agent.answer(u"AuthorizePush"_s, root + u"/received.bin"_s);

        QVariantMap dict { { u"Target"_s, u"opp"_s } };
        if (!source.isEmpty())
            dict.insert(u"Source"_s, source);
        // Asynchronous: the pairing agent lives on this process's connection.
        recorder.callAsync(obexMessage(u"/org/bluez/obex"_s, u"org.bluez.obex.Client1"_s,
                                       u"CreateSession"_s, { destination, dict }));
        QTRY_VERIFY(recorder.replyOf(u"CreateSession"_s).type() != QDBusMessage::InvalidMessage);
        const QDBusMessage created = recorder.replyOf(u"CreateSession"_s);
        QCOMPARE(created.errorName(), QString());
        // Unpaired: the receiving side put the just-works bond to the default agent.
        QCOMPARE(pairingAgent.members(), QStringList { u"RequestAuthorization"_s });
        const QString sender = source.isEmpty() ? first : source;
        QCOMPARE(pairingAgent.calls().first().arguments.value(0).toString(),
                 devOf(destination == first ? hci0 : hci1, sender));

        const QString session = created.arguments().value(0).value<QDBusObjectPath>().path();
        QVERIFY(ok(QDBusConnection::sessionBus().call(obexMessage(
            session, u"org.bluez.obex.ObjectPush1"_s, u"SendFile"_s, { file.fileName() }))));
        QVERIFY(agent.waitForCall(u"AuthorizePush"_s));
        const QString transfer = agent.calls().first().arguments.value(0).toString();
        QVERIFY(transfer.startsWith(u"/org/bluez/obex/server/session"_s));
        const QString serverSession = transfer.section(u'/', 0, -2);
        // The server session as announced: it may be gone by now.
        QVariantMap announced;
        for (const SignalRecorder::Entry &entry : recorder.entries()) {
            if (entry.label == u"InterfacesAdded:"_s + leaf(serverSession))
                announced = qdbus_cast<InterfaceMap>(entry.arguments.value(1))
                                .value(u"org.bluez.obex.Session1"_s);
        }
        QCOMPARE(announced.value(u"Source"_s), QVariant(destination));
        QCOMPARE(announced.value(u"Destination"_s), QVariant(sender));
        QTRY_VERIFY(QFile(root + u"/received.bin"_s).size() == contents.size());
        QFile received(root + u"/received.bin"_s);
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), contents);
    }

    // A hidden controller pages in only what it has paired: a push from the
    // other one fails as if nobody answered, and nothing is asked.
    void pushToAHiddenControllerFromAStrangerFails()
    {
        QVERIFY(sim()->setTiming({ { "pageTimeoutMs", 300 } }));
        Agent1 pairingAgent;
        QCOMPARE(agentManagerError("RegisterAgent", QDBusConnection::systemBus()), QString());
        const QDBusMessage created = QDBusConnection::sessionBus().call(
            obexMessage(u"/org/bluez/obex"_s, u"org.bluez.obex.Client1"_s, u"CreateSession"_s,
                        { second, QVariantMap { { u"Target"_s, u"opp"_s } } }));
        QCOMPARE(created.errorName(), u"org.bluez.obex.Error.Failed"_s);
        QCOMPARE(created.errorMessage(), u"Unable to find service record"_s);
        QVERIFY(pairingAgent.calls().isEmpty());
    }

    void pushToAControllerSwitchedOffFails()
    {
        QVERIFY(sim()->setTiming({ { "pageTimeoutMs", 300 } }));
        QVERIFY(set(hci1, u"Powered"_s, false));
        QTRY_COMPARE(get(hci1, adapter1, u"Powered"_s), QVariant(false));
        const QDBusMessage created = QDBusConnection::sessionBus().call(
            obexMessage(u"/org/bluez/obex"_s, u"org.bluez.obex.Client1"_s, u"CreateSession"_s,
                        { second, QVariantMap { { u"Target"_s, u"opp"_s } } }));
        QCOMPARE(created.errorName(), u"org.bluez.obex.Error.Failed"_s);
        // Nor can it send from there.
        const QDBusMessage fromIt = QDBusConnection::sessionBus().call(obexMessage(
            u"/org/bluez/obex"_s, u"org.bluez.obex.Client1"_s, u"CreateSession"_s,
            { first, QVariantMap { { u"Target"_s, u"opp"_s }, { u"Source"_s, second } } }));
        QCOMPARE(fromIt.errorName(), u"org.bluez.obex.Error.Failed"_s);
    }
};

int main(int argc, char **argv)
{
    qputenv("OVRIN_BLUEZ", "5");
    qputenv("OVRIN_OBEXD", "5");
    return OvrinTest::run<TestSimTwoAdapters>(argc, argv, OvrinTest::Simulator::Start);
}

#include "tst_simtwoadapters.moc"
