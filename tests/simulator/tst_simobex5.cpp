// The simulated obexd of BlueZ 5 ("org.bluez.obex") where a client leans on
// what 5.66 really does: one agent, objects announced before the agent is
// asked, late-read property signals, files created before the root check.

#include "simtest5.h"

#include <QRegularExpression>

using namespace OvrinTest;

namespace {
const QString obexd5 = u"org.bluez.obex"_s;
const QString transfer1 = u"org.bluez.obex.Transfer1"_s;
const QString session1 = u"org.bluez.obex.Session1"_s;
const QString agentPath = u"/test/obexagent"_s;
const QString phone = u"F4:0E:22:13:33:03"_s;
const QString handset = u"00:1A:7D:DA:71:13"_s;
const QString farAway = u"5C:51:88:0F:77:0B"_s;
const QString client1 = u"org.bluez.obex.Client1"_s;

QDBusMessage obex5Message(const QString &path, const QString &interface, const QString &member,
                          const QVariantList &args = {})
{
    return busMessage(obexd5, path, interface, member, args);
}

QString obexAgentError(const QString &member, const QString &path = agentPath,
                       const QDBusConnection &bus = QDBusConnection::sessionBus())
{
    return bus
        .call(obex5Message(u"/org/bluez/obex"_s, u"org.bluez.obex.AgentManager1"_s, member,
                           { objectPath(path) }))
        .errorName();
}

QVariant obex5Get(const QString &path, const QString &interface, const QString &name)
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        obex5Message(path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s, { interface, name }));
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QDBusMessage createSessionMessage(const QString &destination, const QVariantMap &dict)
{
    return obex5Message(u"/org/bluez/obex"_s, client1, u"CreateSession"_s, { destination, dict });
}

QDBusMessage sendFileMessage(const QString &session, const QString &file)
{
    return obex5Message(session, u"org.bluez.obex.ObjectPush1"_s, u"SendFile"_s, { file });
}

QString obex5Error(const char *name)
{
    return u"org.bluez.obex.Error."_s + QLatin1String(name);
}
} // namespace

class TestSimObex5 : public SimTest5
{
    Q_OBJECT

    std::unique_ptr<SignalRecorder> m_recorder;
    std::unique_ptr<Bluez5Signals> m_signals;
    std::unique_ptr<ScriptedAgent> m_agent;

    QString push(const QJsonObject &json, uint *ticket)
    {
        QJsonObject full = json;
        full.insert("address"_L1, phone);
        QString transfer;
        *ticket = sim()->pushFiles(full, &transfer);
        return transfer;
    }
    // The timeline of one connection's objects and the agent.
    QStringList timeline(const QString &transfer) const
    {
        const QString session = leaf(transfer.section(u'/', 0, -2));
        QStringList list;
        for (const QString &label : m_recorder->labels()) {
            const QString object = label.contains("Interfaces"_L1) ? label.section(u':', 1)
                                                                   : label.section(u':', 0, 0);
            if (object == leaf(transfer) || object == session || label.startsWith("agent:"_L1))
                list.append(label);
        }
        return list;
    }
    QList<SignalRecorder::Entry> changes(const QString &transfer) const
    {
        QList<SignalRecorder::Entry> list;
        for (const SignalRecorder::Entry &e : m_recorder->entries()) {
            if (e.label.startsWith(leaf(transfer) + u':'))
                list.append(e);
        }
        return list;
    }

private Q_SLOTS:
    void initTestCase() { registerTypes(); }

    void init()
    {
        QVERIFY(loadObexWorld());
        m_recorder = std::make_unique<SignalRecorder>(QDBusConnection::sessionBus(), obexd5);
        m_signals = std::make_unique<Bluez5Signals>(m_recorder.get(), QDBusConnection::sessionBus(),
                                                    obexd5);
        m_agent = std::make_unique<ScriptedAgent>(QDBusConnection::sessionBus(), agentPath,
                                                  m_recorder.get());
        QCOMPARE(obexAgentError(u"RegisterAgent"_s), QString());
    }

    void cleanup()
    {
        obexAgentError(u"UnregisterAgent"_s);
        m_agent.reset();
        m_signals.reset();
        m_recorder.reset();
    }

    void oneAgentBoundToItsCaller()
    {
        // One agent per obexd, even for the same caller and path.
        QCOMPARE(obexAgentError(u"RegisterAgent"_s), obex5Error("AlreadyExists"));
        OtherClient other(QDBusConnection::SessionBus);
        QCOMPARE(obexAgentError(u"UnregisterAgent"_s, agentPath, other.bus),
                 obex5Error("NotAuthorized"));
        QCOMPARE(obexAgentError(u"UnregisterAgent"_s, u"/elsewhere"_s), obex5Error("DoesNotExist"));
        QCOMPARE(obexAgentError(u"UnregisterAgent"_s), QString());
        QCOMPARE(obexAgentError(u"UnregisterAgent"_s), obex5Error("DoesNotExist"));

        // An agent whose owner leaves the bus is dropped without a word.
        QCOMPARE(obexAgentError(u"RegisterAgent"_s, u"/other"_s, other.bus), QString());
        other.leave();
        QTRY_VERIFY(sim()->obexServerState().value("agent"_L1).isNull());
        QCOMPARE(obexAgentError(u"RegisterAgent"_s), QString());
        QCOMPARE(m_agent->members(), QStringList());

        // Faults and the call log reach obexd 5 as any daemon.
        QVERIFY(sim()->clearCallLog());
        QVERIFY(sim()->failNext(u"UnregisterAgent"_s, obex5Error("Failed")));
        QCOMPARE(obexAgentError(u"UnregisterAgent"_s), obex5Error("Failed"));
        QCOMPARE(sim()->countCalls(u"UnregisterAgent"_s, u"org.bluez.obex.AgentManager1"_s), 1);
    }

    void pushIsAnnouncedAskedAndStoredInTheRoot()
    {
        m_agent->answer(u"AuthorizePush"_s, u"kept.txt"_s);
        const int size = 100000;
        uint ticket = 0;
        const QString transfer = push({ { "name", "report.txt" },
                                        { "type", "text/plain" },
                                        { "size", size },
                                        { "speed", 200000 } },
                                      &ticket);
        QVERIFY(QRegularExpression(u"^/org/bluez/obex/server/session[1-9]\\d*/transfer\\d+$"_s)
                    .match(transfer)
                    .hasMatch());
        const QString session = transfer.section(u'/', 0, -2);
        QVERIFY(m_agent->waitForCall(u"AuthorizePush"_s));
        QCOMPARE(m_agent->calls().first().arguments, QVariantList({ transfer }));

        // The session as obexd shows it; no Target for OPP.
        const InterfaceMap objects = managedObjects5().value(QDBusObjectPath(session));
        QCOMPARE(
            objects.value(session1),
            QVariantMap({ { "Source", handset }, { "Destination", phone }, { "Root", m_inbox } }));

        // While the body comes, Name and Filename are the agent's choice; the
        // receiving side tells no progress until the end.
        QVERIFY(m_recorder->waitFor(leaf(transfer) + u":Size,Status,Transferred"_s));
        QCOMPARE(obex5Get(transfer, transfer1, u"Status"_s), QVariant(u"active"_s));
        QCOMPARE(obex5Get(transfer, transfer1, u"Filename"_s), QVariant(m_inbox + u"/kept.txt"_s));
        QCOMPARE(obex5Get(transfer, transfer1, u"Name"_s), QVariant(u"kept.txt"_s));
        QCOMPARE(obex5Get(transfer, transfer1, u"Size"_s), QVariant(quint64(size)));

        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(m_inbox + u"/kept.txt"_s).size(), size);
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(session)));
        QStringList labels = timeline(transfer);
        labels.removeDuplicates();
        const QString t = leaf(transfer);
        QCOMPARE(
            labels,
            QStringList({ u"InterfacesAdded:"_s + leaf(session), u"InterfacesAdded:"_s + t,
                          u"agent:AuthorizePush"_s, t + u":Size,Status,Transferred"_s,
                          t + u":Status,Transferred"_s, u"InterfacesRemoved:"_s + t,
                          u"InterfacesRemoved:"_s + leaf(session) }));
        // The last signal reads the values after obexd cleared them.
        QVERIFY(!changes(transfer).isEmpty());
        const QVariantList last = changes(transfer).last().arguments;
        QCOMPARE(qdbus_cast<QVariantMap>(last.value(1)),
                 QVariantMap({ { "Status", u"complete"_s }, { "Transferred", quint64(0) } }));
    }

    // An object cut short by its sender: with a Length obexd deletes it and
    // says error; without one it cannot tell, keeps what came and says complete.
    void objectCutShortIsKeptOnlyWithoutALength_data()
    {
        QTest::addColumn<int>("announced");
        QTest::newRow("with a Length") << 60000;
        QTest::newRow("without a Length") << -1;
    }
    void objectCutShortIsKeptOnlyWithoutALength()
    {
        QFETCH(int, announced);
        m_agent->answer(u"AuthorizePush"_s, u"cut.bin"_s);
        uint ticket = 0;
        const QString transfer = push({ { "name", "cut.bin" },
                                        { "type", "application/octet-stream" },
                                        { "size", 60000 },
                                        { "announcedSize", announced },
                                        { "abortAfter", 20000 },
                                        { "speed", 200000 } },
                                      &ticket);
        QVERIFY(m_agent->waitForCall(u"AuthorizePush"_s));
        QVERIFY(!outcome(ticket).isEmpty());
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(transfer)));
        const QVariantList last = changes(transfer).last().arguments;
        const bool kept = announced < 0;
        QCOMPARE(qdbus_cast<QVariantMap>(last.value(1)).value(u"Status"_s).toString(),
                 kept ? u"complete"_s : u"error"_s);
        QCOMPARE(QFile::exists(m_inbox + u"/cut.bin"_s), kept);
        if (kept)
            QVERIFY(readFile(m_inbox + u"/cut.bin"_s).size() < 60000);
    }

    void smallObjectCompletesInOneSignalInTheDefaultRoot()
    {
        QVERIFY(sim()->setObexOptions({ { "rootFolder", QString() } }));
        QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
        if (cache.isEmpty())
            cache = QDir::homePath() + u"/.cache"_s;
        const QString root = cache + u"/obexd"_s;
        m_agent->answer(u"AuthorizePush"_s, u"card.vcf"_s);
        uint ticket = 0;
        const QString transfer = push(
            { { "name", "card.vcf" }, { "type", "text/x-vcard" }, { "contents", "BEGIN:VCARD" } },
            &ticket);
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(root + u"/card.vcf"_s), "BEGIN:VCARD");
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(transfer)));
        const QList<SignalRecorder::Entry> signalled = changes(transfer);
        QCOMPARE(signalled.size(), 1);
        QCOMPARE(qdbus_cast<QVariantMap>(signalled.first().arguments.value(1)),
                 QVariantMap({ { "Status", u"complete"_s }, { "Transferred", quint64(0) } }));
        QVERIFY(signalled.first().arguments.value(2).toStringList().contains(u"Size"_s));
    }

    void refusalsLeaveTheStatusQueued_data()
    {
        // "!": the agent refuses; "#": it answers a number; "~": it goes
        // while asked (unregisters).
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        QTest::newRow("rejected") << "!"
                                  << "Forbidden";
        QTest::newRow("not a path") << "#"
                                    << "Forbidden";
        QTest::newRow("agent gone while asked") << "~"
                                                << "Forbidden";
        QTest::newRow("outside the root") << "%OUTSIDE%/old.txt"
                                          << "Forbidden";
        QTest::newRow("missing folder") << "%INBOX%/none/x.txt"
                                        << "NotFound";
    }

    void refusalsLeaveTheStatusQueued()
    {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        const QString old = m_outside + u"/old.txt"_s;
        QVERIFY(writeFile(old, "what was there before"));
        if (answer == "!"_L1)
            m_agent->refuse(u"AuthorizePush"_s);
        else if (answer == "#"_L1 || answer == "~"_L1)
            m_agent->hold(u"AuthorizePush"_s);
        else
            m_agent->answer(
                u"AuthorizePush"_s,
                answer.replace("%OUTSIDE%"_L1, m_outside).replace("%INBOX%"_L1, m_inbox));
        uint ticket = 0;
        const QString transfer = push({ { "name", "x.txt" }, { "size", 5000 } }, &ticket);
        if (answer == "#"_L1 || answer == "~"_L1)
            QVERIFY(m_agent->waitForCall(u"AuthorizePush"_s));
        if (answer == "#"_L1)
            m_agent->answerHeld(42);
        if (answer == "~"_L1)
            QCOMPARE(obexAgentError(u"UnregisterAgent"_s), QString());
        QCOMPARE(outcome(ticket), result);
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(transfer)));
        if (answer != "!"_L1)
            QCOMPARE(m_agent->callCount(u"AuthorizePush"_s), 1);
        const QList<SignalRecorder::Entry> signalled = changes(transfer);
        for (const SignalRecorder::Entry &e : signalled)
            QVERIFY(!qdbus_cast<QVariantMap>(e.arguments.value(1)).contains(u"Status"_s));
        // The file outside was truncated before the check refused it.
        QCOMPARE(QFileInfo(old).size(), answer.endsWith("old.txt"_L1) ? 0 : 21);
    }

    void onlyTheAgentCancels()
    {
        m_agent->answer(u"AuthorizePush"_s, u"big.bin"_s);
        uint ticket = 0;
        const QString transfer
            = push({ { "name", "big.bin" }, { "size", 50000 }, { "stallAfter", 1000 } }, &ticket);
        QVERIFY(m_recorder->waitFor(leaf(transfer) + u":Size,Status,Transferred"_s));
        const QDBusMessage cancel = obex5Message(transfer, transfer1, u"Cancel"_s);
        OtherClient other(QDBusConnection::SessionBus);
        QCOMPARE(other.bus.call(cancel).errorName(), obex5Error("NotAuthorized"));
        QVERIFY(ok(QDBusConnection::sessionBus().call(cancel)));
        QCOMPARE(outcome(ticket), u"Canceled"_s);
        QVERIFY(!QFile::exists(m_inbox + u"/big.bin"_s));
        QVERIFY(!changes(transfer).isEmpty());
        QCOMPARE(
            qdbus_cast<QVariantMap>(changes(transfer).last().arguments.value(1)).value(u"Status"_s),
            QVariant(u"error"_s));
    }

    void sessionSendsFilesOneByOne()
    {
        QVERIFY(sim()->setObexSpeed(20000));
        const QString file = m_outbox + u"/holiday.jpg"_s;
        QVERIFY(writeFile(file, QByteArray(30000, 'h')));
        // The reply comes once the link is up, after the session's announcement.
        m_recorder->callAsync(createSessionMessage(phone, { { "Target", u"OPP"_s } }));
        QVERIFY(m_recorder->waitFor(u"reply:CreateSession"_s));
        const QString session = m_recorder->replyOf(u"CreateSession"_s)
                                    .arguments()
                                    .value(0)
                                    .value<QDBusObjectPath>()
                                    .path();
        QVERIFY(QRegularExpression(u"^/org/bluez/obex/client/session\\d+$"_s)
                    .match(session)
                    .hasMatch());
        QCOMPARE(
            m_recorder->labels().mid(m_recorder->indexOf(u"InterfacesAdded:"_s + leaf(session))),
            QStringList({ u"InterfacesAdded:"_s + leaf(session), u"reply:CreateSession"_s }));
        const InterfaceMap objects = managedObjects5().value(QDBusObjectPath(session));
        QCOMPARE(objects.value(session1).value(u"Destination"_s), QVariant(phone));
        QVERIFY(objects.contains(u"org.bluez.obex.ObjectPush1"_s));

        const QDBusMessage sent
            = QDBusConnection::sessionBus().call(sendFileMessage(session, file));
        QVERIFY(ok(sent));
        const QString transfer = sent.arguments().value(0).value<QDBusObjectPath>().path();
        QCOMPARE(transfer.section(u'/', 0, -2), session);
        QCOMPARE(qdbus_cast<QVariantMap>(sent.arguments().value(1)),
                 QVariantMap({ { "Status", u"queued"_s },
                               { "Name", u"holiday.jpg"_s },
                               { "Size", quint64(30000) },
                               { "Filename", file },
                               { "Session", QVariant::fromValue(QDBusObjectPath(session)) } }));

        const QString t = leaf(transfer);
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + t, 10000));
        QStringList labels = timeline(transfer).filter(t);
        labels.removeDuplicates();
        QCOMPARE(labels,
                 QStringList({ u"InterfacesAdded:"_s + t, t + u":Status,Transferred"_s,
                               t + u":Status"_s, u"InterfacesRemoved:"_s + t }));
        // Once a second at most, and never the final value.
        const QList<SignalRecorder::Entry> signalled = changes(transfer);
        QCOMPARE(signalled.size(), 2);
        for (const SignalRecorder::Entry &e : signalled) {
            const QVariantMap values = qdbus_cast<QVariantMap>(e.arguments.value(1));
            if (values.contains(u"Transferred"_s))
                QVERIFY(values.value(u"Transferred"_s).toULongLong() < 30000);
        }
        QCOMPARE(qdbus_cast<QVariantMap>(signalled.last().arguments.value(1)),
                 QVariantMap({ { "Status", u"complete"_s } }));

        // A refusal of the remote shows only as Status "error"; the session stays.
        QVERIFY(sim()->setSendOutcome(file, u"forbidden"_s));
        const QDBusMessage refused
            = QDBusConnection::sessionBus().call(sendFileMessage(session, file));
        const QString second = refused.arguments().value(0).value<QDBusObjectPath>().path();
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(second)));
        QCOMPARE(qdbus_cast<QVariantMap>(changes(second).last().arguments.value(1)),
                 QVariantMap({ { "Status", u"error"_s } }));
        // The control side reads it as for obex-client 0.45.
        const QJsonArray sentFiles = sim()->obexClientState().value("sent"_L1).toArray();
        QCOMPARE(sentFiles.size(), 2);
        QCOMPARE(sentFiles.at(0)["delivered"_L1].toInt(), 30000);
        QCOMPARE(sentFiles.at(1)["outcome"_L1].toString(), u"error"_s);

        OtherClient other(QDBusConnection::SessionBus);
        const QDBusMessage remove = obex5Message(u"/org/bluez/obex"_s, client1, u"RemoveSession"_s,
                                                 { objectPath(session) });
        QCOMPARE(other.bus.call(remove).errorName(), obex5Error("NotAuthorized"));
        QVERIFY(ok(QDBusConnection::sessionBus().call(remove)));
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(session)));
        QCOMPARE(QDBusConnection::sessionBus().call(remove).errorName(),
                 obex5Error("InvalidArguments"));
    }

    // The other device walks out of range in the middle of a file: the link
    // drops, the file ends "error" and the session goes with it, as obexd
    // tells a broken link (RemoveSession then knows no such session).
    void aLinkThatDropsTakesTheSessionWithIt()
    {
        QVERIFY(sim()->setObexSpeed(20000));
        const QString file = m_outbox + u"/walk.jpg"_s;
        QVERIFY(writeFile(file, QByteArray(200000, 'w')));
        const QDBusMessage created = QDBusConnection::sessionBus().call(
            createSessionMessage(phone, { { "Target", u"OPP"_s } }));
        QVERIFY(ok(created));
        const QString session = created.arguments().value(0).value<QDBusObjectPath>().path();
        const QDBusMessage sent = QDBusConnection::sessionBus().call(sendFileMessage(session, file));
        QVERIFY(ok(sent));
        const QString transfer = sent.arguments().value(0).value<QDBusObjectPath>().path();
        QVERIFY(m_recorder->waitFor(leaf(transfer) + u":Status,Transferred"_s));
        QVERIFY(sim()->changeDevice(phone, { { "inRange", false } }));
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(session), 3000));
        QCOMPARE(qdbus_cast<QVariantMap>(changes(transfer).last().arguments.value(1)),
                 QVariantMap({ { "Status", u"error"_s } }));
        QVERIFY(sim()->obexClientState().value("sent"_L1).toArray().at(0)["delivered"_L1].toInt()
                < 200000);
        QCOMPARE(QDBusConnection::sessionBus()
                     .call(obex5Message(u"/org/bluez/obex"_s, client1, u"RemoveSession"_s,
                                        { objectPath(session) }))
                     .errorName(),
                 obex5Error("InvalidArguments"));
    }

    // obexd reuses a connected session only for the same owner, destination
    // and the driver's own spelling of the target ("OPP"): a lower-case
    // "opp" or the UUID opens a new connection each time.
    void sessionsAreReusedOnlyForTheDriversSpelling()
    {
        const auto sessionFor = [](const QString &target) {
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                createSessionMessage(phone, { { "Target", target } }), QDBus::Block, 10000);
            return reply.arguments().value(0).value<QDBusObjectPath>().path();
        };
        const QString first = sessionFor(u"OPP"_s);
        QVERIFY(!first.isEmpty());
        QCOMPARE(sessionFor(u"OPP"_s), first);
        const QString lower = sessionFor(u"opp"_s);
        QVERIFY(!lower.isEmpty() && lower != first);
        const QString again = sessionFor(u"opp"_s);
        QVERIFY(!again.isEmpty() && again != lower && again != first);
        const QString uuid = sessionFor(u"00001105-0000-1000-8000-00805f9b34fb"_s);
        QVERIFY(!uuid.isEmpty() && uuid != first && uuid != lower && uuid != again);
        for (const QString &session : { first, lower, again, uuid })
            QVERIFY(ok(QDBusConnection::sessionBus().call(obex5Message(
                u"/org/bluez/obex"_s, client1, u"RemoveSession"_s,
                { QVariant::fromValue(QDBusObjectPath(session)) }))));
    }

    void sessionErrorsAndCancel()
    {
        // An owner leaving the bus takes its sessions along.
        OtherClient leaving(QDBusConnection::SessionBus, u"leaving"_s);
        const QString theirs
            = leaving.bus.call(createSessionMessage(phone, { { "Target", u"opp"_s } }))
                  .arguments()
                  .value(0)
                  .value<QDBusObjectPath>()
                  .path();
        QVERIFY(!theirs.isEmpty());
        leaving.leave();
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(theirs)));

        QCOMPARE(errorOf(createSessionMessage(phone, {}), QDBusConnection::sessionBus()),
                 obex5Error("InvalidArguments"));
        const QDBusMessage unreachable = QDBusConnection::sessionBus().call(
            createSessionMessage(farAway, { { "Target", u"opp"_s } }));
        QCOMPARE(unreachable.errorName(), obex5Error("Failed"));
        QCOMPARE(unreachable.errorMessage(), u"Unable to find service record"_s);

        const QString file = m_outbox + u"/notes.txt"_s;
        QVERIFY(writeFile(file, QByteArray(5000, 'n')));
        const QDBusMessage created = QDBusConnection::sessionBus().call(
            createSessionMessage(phone, { { "Target", u"opp"_s } }));
        const QString session = created.arguments().value(0).value<QDBusObjectPath>().path();
        QCOMPARE(
            errorOf(sendFileMessage(session, m_outbox + u"/none"_s), QDBusConnection::sessionBus()),
            obex5Error("Failed"));
        QVERIFY(sim()->setSendOutcome(file, u"stall"_s));
        const QDBusMessage sent
            = QDBusConnection::sessionBus().call(sendFileMessage(session, file));
        const QString transfer = sent.arguments().value(0).value<QDBusObjectPath>().path();
        const QDBusMessage cancel = obex5Message(transfer, transfer1, u"Cancel"_s);
        OtherClient other(QDBusConnection::SessionBus);
        // A queued transfer can be suspended, by its label.
        const QDBusMessage suspend = obex5Message(transfer, transfer1, u"Suspend"_s);
        const QDBusMessage resume = obex5Message(transfer, transfer1, u"Resume"_s);
        QCOMPARE(other.bus.call(suspend).errorName(), obex5Error("NotAuthorized"));
        QCOMPARE(errorOf(resume, QDBusConnection::sessionBus()), obex5Error("NotInProgress"));
        QVERIFY(ok(QDBusConnection::sessionBus().call(suspend)));
        QCOMPARE(obex5Get(transfer, transfer1, u"Status"_s), QVariant(u"suspended"_s));
        QVERIFY(ok(QDBusConnection::sessionBus().call(resume)));
        QCOMPARE(obex5Get(transfer, transfer1, u"Status"_s), QVariant(u"queued"_s));
        QCOMPARE(other.bus.call(cancel).errorName(), obex5Error("NotAuthorized"));
        QVERIFY(m_recorder->waitFor(leaf(transfer) + u":Status"_s, 5000, 2));
        const qsizetype before = changes(transfer).size();
        QVERIFY(ok(QDBusConnection::sessionBus().call(cancel)));
        QVERIFY(m_recorder->waitFor(u"InterfacesRemoved:"_s + leaf(transfer)));
        // A cancel sets no Status: the object just goes.
        for (const SignalRecorder::Entry &e : changes(transfer).mid(before))
            QVERIFY(!qdbus_cast<QVariantMap>(e.arguments.value(1)).contains(u"Status"_s));
        QVERIFY(ok(QDBusConnection::sessionBus().call(obex5Message(
            u"/org/bluez/obex"_s, client1, u"RemoveSession"_s, { objectPath(session) }))));
    }

    void liesComeInObexd5Words()
    {
        const QJsonObject told = sim()->tellLies(40, 7);
        QVERIFY(told.value("transfer-nowhere"_L1).toInt() > 0);
        QTRY_VERIFY(!m_recorder->labels()
                         .filter(QRegularExpression(u"^transfer9\\d{4}:Status$"_s))
                         .isEmpty());
    }

    void obexdLeavingTakesItsAgentAndObjects()
    {
        m_agent->hold(u"AuthorizePush"_s);
        uint ticket = 0;
        push({ { "name", "late.txt" }, { "contents", "late" } }, &ticket);
        QVERIFY(m_agent->waitForCall(u"AuthorizePush"_s));
        QVERIFY(ok(QDBusConnection::sessionBus().call(
            createSessionMessage(phone, { { "Target", u"opp"_s } }))));
        QVERIFY(sim()->dropService(obexd5));
        QCOMPARE(outcome(ticket), u"Disconnected"_s);
        QVERIFY(sim()->restoreService(obexd5));
        QCOMPARE(managedObjects5().keys(), QList({ QDBusObjectPath(u"/org/bluez/obex"_s) }));
        // A new obexd knows no agent.
        QCOMPARE(obexAgentError(u"RegisterAgent"_s), QString());
        m_agent->answerHeld(u"late.txt"_s);
    }

private:
    static ManagedObjects managedObjects5()
    {
        return qdbus_cast<ManagedObjects>(
            QDBusConnection::sessionBus()
                .call(obex5Message(u"/"_s, u"org.freedesktop.DBus.ObjectManager"_s,
                                   u"GetManagedObjects"_s))
                .arguments()
                .value(0));
    }
};

int main(int argc, char **argv)
{
    // The switch every obex suite will use: btsim plays obexd 5.
    qputenv("OVRIN_OBEXD", "5");
    return OvrinTest::run<TestSimObex5>(argc, argv, OvrinTest::Simulator::Start);
}

#include "tst_simobex5.moc"
