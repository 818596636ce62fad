// The simulated obexd and obex-client as 0.45 has them where the library leans on
// them: agents asked and told in their order, files written and read, aborts and time-outs.

#include "simtest.h"

#include <QCryptographicHash>

using namespace OvrinTest;

namespace {
const QString managerInterface = u"org.openobex.Manager"_s;
const QString transferInterface = u"org.openobex.Transfer"_s;
const QString agentPath = u"/test/obexagent"_s;
const QString sendAgentPath = u"/test/sendagent"_s;
const QString phone = u"F4:0E:22:13:33:03"_s;
const QString laptop = u"3C:15:C2:E4:44:04"_s;

QDBusMessage managerCall(const QString &member, const QVariantList &args,
                         const QDBusConnection &connection = QDBusConnection::sessionBus())
{
    return obexCall(obexd, u"/"_s, managerInterface, member, args, connection);
}

// Registers or unregisters the agent every test starts with; the error name, "" on success.
QString manageAgent(const QString &member)
{
    return managerCall(member, { objectPath(agentPath) }).errorName();
}

QDBusMessage sendFilesMessage(const QStringList &files, const QString &agent = sendAgentPath)
{
    return busMessage(obexClient, u"/"_s, u"org.openobex.Client"_s, u"SendFiles"_s,
                      { QVariantMap({ { "Destination", phone } }), files,
                        QVariant::fromValue(QDBusObjectPath(agent)) });
}

bool sendFiles(const QStringList &files)
{
    return SimTest::ok(QDBusConnection::sessionBus().call(sendFilesMessage(files)));
}

// The agent's calls, member by member, with what Progress and Error told.
QStringList timeline(const ScriptedAgent &agent)
{
    QStringList list;
    for (const ScriptedAgent::Call &call : agent.calls()) {
        const bool told = call.member == "Progress"_L1 || call.member == "Error"_L1;
        list.append(told ? call.member + u':' + call.arguments.value(1).toString() : call.member);
    }
    return list;
}

QString firstTransfer(const ScriptedAgent &agent)
{
    return agent.calls().first().arguments.first().toString();
}
} // namespace

class TestSimObex : public SimTest
{
    Q_OBJECT

    // Every test starts with this agent registered; it notes its calls in the recorder.
    std::unique_ptr<SignalRecorder> m_recorder;
    std::unique_ptr<ScriptedAgent> m_agent;
    std::unique_ptr<ScriptedAgent> m_bluezAgent;

    bool stalled(const QString &transfer)
    {
        for (const QJsonValue &value : sim()->obexServerState().value("transfers"_L1).toArray()) {
            if (value["path"_L1].toString() == transfer)
                return value["state"_L1].toString() == "stalled"_L1;
        }
        return false;
    }
    // A push of size bytes that stops after stallAfter of them.
    uint stalledPush(const QString &name, int size, int stallAfter, QString *transfer)
    {
        return sim()->pushFiles({ { "address", phone },
                                  { "name", name },
                                  { "size", size },
                                  { "speed", 20000 },
                                  { "stallAfter", stallAfter } },
                                transfer);
    }
    QString writeFile(const QString &name, const QByteArray &contents)
    {
        const QString path = m_outbox + u'/' + name;
        return OvrinTest::writeFile(path, contents) ? path : QString();
    }
    QJsonArray sent() { return sim()->obexClientState().value("sent"_L1).toArray(); }

private Q_SLOTS:
    void initTestCase()
    {
        m_bluezAgent
            = std::make_unique<ScriptedAgent>(QDBusConnection::systemBus(), u"/test/bluezagent"_s);
    }

    void init()
    {
        QVERIFY(loadObexWorld());
        m_recorder = std::make_unique<SignalRecorder>(QDBusConnection::sessionBus(), obexd);
        m_agent = std::make_unique<ScriptedAgent>(QDBusConnection::sessionBus(), agentPath,
                                                  m_recorder.get());
        QCOMPARE(manageAgent(u"RegisterAgent"_s), QString());
        // BlueZ 4.82+ grants obex-client its adapter session only with an agent.
        QVERIFY(registerAgent(m_bluezAgent->path()));
    }

    void cleanup()
    {
        manageAgent(u"UnregisterAgent"_s);
        m_agent.reset();
        m_recorder.reset();
    }

    void oneAgentBoundToItsCaller()
    {
        OtherClient other(QDBusConnection::SessionBus);
        QCOMPARE(managerCall(u"RegisterAgent"_s, { objectPath(agentPath) }, other.bus).errorName(),
                 u"org.openobex.Error.AlreadyExists"_s);
        QCOMPARE(
            managerCall(u"UnregisterAgent"_s, { objectPath(agentPath) }, other.bus).errorName(),
            u"org.openobex.Error.NotAuthorized"_s);
        QCOMPARE(manageAgent(u"UnregisterAgent"_s), QString());
        // obexd never calls Release on its agent.
        QTest::qWait(100);
        QCOMPARE(m_agent->members(), QStringList());

        // An agent whose owner leaves the bus is dropped.
        QCOMPARE(
            managerCall(u"RegisterAgent"_s, { objectPath(u"/other"_s) }, other.bus).errorName(),
            QString());
        other.leave();
        QTRY_VERIFY(sim()->obexServerState().value("agent"_L1).isNull());
        QCOMPARE(manageAgent(u"RegisterAgent"_s), QString());
    }

    void pushIsStoredWhereTheAgentSays()
    {
        const QString target = m_inbox + u"/Documents/renamed.txt"_s;
        QVERIFY(QDir().mkpath(m_inbox + u"/Documents"_s));
        m_agent->answer(u"Authorize"_s, target);
        const QByteArray contents = "Hello, world: the body of a pushed note.\n";
        QString transfer;
        QCOMPARE(outcome(sim()->pushFile(phone, u"note.txt"_s, u"text/plain"_s, contents, -1,
                                         &transfer)),
                 QString());
        QCOMPARE(readFile(target), contents);
        QVERIFY(!QFile::exists(m_inbox + u"/note.txt"_s));
        QCOMPARE(m_agent->calls().first().arguments, // Authorize
                 QVariantList(
                     { transfer, phone, u"note.txt"_s, u"text/plain"_s, int(contents.size()), 0 }));
        QVERIFY(m_recorder->waitFor(u"TransferCompleted"_s));
        QStringList labels = m_recorder->labels();
        labels.removeDuplicates(); // one Progress or several
        QCOMPARE(
            labels,
            QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));
        QCOMPARE(m_recorder->entries().last().arguments,
                 QVariantList({ objectPath(transfer), true }));
    }

    void refusalsEndThePushWithoutSignals_data()
    {
        QTest::addColumn<bool>("forbidden"); // or a bad request
        QTest::addColumn<QString>("answer"); // "!" refuses, "-" registers no agent
        QTest::newRow("agent refuses") << true << "!";
        QTest::newRow("no agent") << true << "-";
        QTest::newRow("outside the root") << true << "%OUTSIDE%/a.txt";
        QTest::newRow("empty answer") << false << "";
    }

    void refusalsEndThePushWithoutSignals()
    {
        QFETCH(bool, forbidden);
        QFETCH(QString, answer);
        if (answer == "-"_L1)
            QCOMPARE(manageAgent(u"UnregisterAgent"_s), QString());
        if (answer == "!"_L1)
            m_agent->refuse(u"Authorize"_s);
        else
            m_agent->answer(u"Authorize"_s, answer.replace("%OUTSIDE%"_L1, m_outside));
        QCOMPARE(outcome(sim()->pushFile(phone, u"a.txt"_s, u"text/plain"_s, "refused")),
                 forbidden ? u"Forbidden"_s : u"BadRequest"_s);
        QTest::qWait(50);
        QCOMPARE(m_recorder->count(u"TransferStarted"_s), 0);
        QCOMPARE(QDir(m_inbox).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(m_outside).entryList(QDir::Files), QStringList());
    }

    void stalledPushTellsTheSizeFirstAndWaits()
    {
        QString transfer;
        const uint ticket = stalledPush(u"slow.bin"_s, 8000, 4000, &transfer);
        // Progress(size, received so far), the last one sent before the stall.
        const auto &entries = m_recorder->entries();
        QTRY_COMPARE(entries.value(entries.size() - 1).arguments, QVariantList({ 8000, 4000 }));
        const int before = m_recorder->count(u"Progress"_s);
        QTest::qWait(300);
        QCOMPARE(m_recorder->count(u"Progress"_s), before);
        QVERIFY(sim()->resumeTransfer(transfer));
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(m_inbox + u"/slow.bin"_s).size(), 8000);
    }

    void remoteAbortDeletesThePartialFile()
    {
        QString transfer;
        uint ticket = stalledPush(u"partial.bin"_s, 6000, 2000, &transfer);
        QTRY_VERIFY(stalled(transfer));
        QVERIFY(sim()->failTransfer(transfer));
        QCOMPARE(outcome(ticket), u"Aborted"_s);
        QVERIFY(m_recorder->waitFor(u"TransferCompleted"_s));
        QCOMPARE(m_recorder->entries().last().arguments,
                 QVariantList({ objectPath(transfer), false }));
        QVERIFY(!QFile::exists(m_inbox + u"/partial.bin"_s));

        // The link drops while the agent decides: obexd cancels the agent's request.
        m_recorder->clear();
        m_agent->hold(u"Authorize"_s);
        ticket = sim()->pushFile(phone, u"gone.txt"_s, QString(), "gone", -1, &transfer);
        QVERIFY(m_agent->waitForCall(u"Authorize"_s, 5000, 2));
        QVERIFY(sim()->failTransfer(transfer, u"disconnect"_s));
        QCOMPARE(outcome(ticket), u"Disconnected"_s);
        QVERIFY(m_agent->waitForCall(u"Cancel"_s));
        QCOMPARE(m_recorder->labels(), QStringList({ "agent:Authorize", "agent:Cancel" }));
        m_agent->answerHeld(u"gone.txt"_s); // too late: nothing happens
        QTest::qWait(100);
        QCOMPARE(m_recorder->labels().size(), 2);
        QVERIFY(!QFile::exists(m_inbox + u"/gone.txt"_s));
    }

    void oneAuthorizationAtATimeAndItTimesOut()
    {
        m_agent->hold(u"Authorize"_s);
        const uint first = sim()->pushFile(phone, u"wait.txt"_s, u"text/plain"_s, "12345");
        QVERIFY(m_agent->waitForCall(u"Authorize"_s));
        QCOMPARE(outcome(sim()->pushFile(laptop, u"other.txt"_s, QString(), "x")), u"Forbidden"_s);
        m_agent->answerHeld(u"wait.txt"_s);
        QCOMPARE(outcome(first), QString());

        // No answer in time: Cancel, and the push is refused.
        QVERIFY(sim()->setObexOptions({ { "authorizeTimeoutMs", 300 } }));
        m_agent->hold(u"Authorize"_s);
        AgentCallWatch::expectUnanswered();
        QCOMPARE(outcome(sim()->pushFile(phone, u"late.txt"_s, QString(), "late")), u"Forbidden"_s);
        QVERIFY(m_agent->waitForCall(u"Cancel"_s));
        QCOMPARE(m_agent->members(), QStringList({ "Authorize", "Authorize", "Cancel" }));
        QVERIFY(!QFile::exists(m_inbox + u"/late.txt"_s));
    }

    void sendFilesRunsTheExactSequence()
    {
        const QByteArray first(1000, 'a');
        const QString a = writeFile(u"a.txt"_s, first);
        const QString b = writeFile(u"b.jpg"_s, QByteArray(2500, 'B'));
        QVERIFY(sim()->setObexSpeed(10000));
        QVERIFY(sim()->clearCallLog());
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexClient);
        ScriptedAgent agent(QDBusConnection::sessionBus(), sendAgentPath, &recorder);
        agent.hold(u"Request"_s);
        recorder.callAsync(sendFilesMessage({ a, b }));
        QVERIFY(agent.waitForCall(u"Request"_s));
        // SendFiles has returned although the agent has not answered yet.
        QVERIFY(recorder.waitFor(u"reply:SendFiles"_s));
        agent.answerHeld(QString());
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Progress:1000", "Complete", "Request",
                               "Progress:0", "Progress:1000", "Progress:2000", "Progress:2500",
                               "Complete", "Release" }));
        for (const ScriptedAgent::Call &call : agent.calls())
            QCOMPARE(call.replyExpected, call.member == "Request"_L1);
        QCOMPARE(agent.calls().at(1).arguments.value(1).metaType(), // the first Progress
                 QMetaType::fromType<qulonglong>());
        QCOMPARE(sent().size(), 2);
        QCOMPARE(
            sent().first()["sha1"_L1].toString(),
            QString::fromLatin1(QCryptographicHash::hash(first, QCryptographicHash::Sha1).toHex()));

        // An adapter session for the send, released at the end.
        QTRY_COMPARE(sim()->countCalls(u"ReleaseSession"_s), 1);
        QCOMPARE(sim()->countCalls(u"RequestSession"_s), 1);
    }

    void requestAnswersRenameOrDropOneFile()
    {
        const QString a = writeFile(u"a.txt"_s, "first");
        const QString c = writeFile(u"c.txt"_s, "third");
        ScriptedAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
        agent.hold(u"Request"_s);
        QVERIFY(sendFiles({ a, writeFile(u"b.txt"_s, "second"), c }));
        QVERIFY(agent.waitForCall(u"Request"_s));
        agent.hold(u"Request"_s);
        agent.answerHeld(u"renamed.txt"_s);
        QVERIFY(agent.waitForCall(u"Request"_s, 5000, 2));
        QCOMPARE(sent().last()["name"_L1].toString(), u"renamed.txt"_s);
        agent.refuseHeld(u"org.openobex.Error.Canceled"_s);
        QVERIFY(agent.waitForCall(u"Release"_s));
        // A refused file is dropped without a word; the next one goes on.
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Progress:5", "Complete", "Request",
                               "Request", "Progress:0", "Progress:5", "Complete", "Release" }));
        QCOMPARE(sent().at(1)["outcome"_L1].toString(), u"refused"_s);
        QCOMPARE(sent().at(2)["filename"_L1].toString(), c);
    }

    void agentCancelsATransfer()
    {
        const QString a = writeFile(u"a.bin"_s, QByteArray(3000, 'a'));
        const QString b = writeFile(u"b.bin"_s, QByteArray(10, 'b'));
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexClient);
        ScriptedAgent agent(QDBusConnection::sessionBus(), sendAgentPath, &recorder);
        QVERIFY(sim()->setSendOutcome(a, u"stall"_s));
        QVERIFY(sendFiles({ a, b }));
        QVERIFY(agent.waitForCall(u"Progress"_s));
        const QString transfer = firstTransfer(agent);
        {
            OtherClient other(QDBusConnection::SessionBus);
            QCOMPARE(obexCall(obexClient, transfer, transferInterface, u"Cancel"_s, {}, other.bus)
                         .errorName(),
                     u"org.openobex.Error.NotAuthorized"_s);
        }
        recorder.clear();
        recorder.callAsync(busMessage(obexClient, transfer, transferInterface, u"Cancel"_s));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QVERIFY(recorder.waitFor(u"reply:Cancel"_s));
        // The agent hears of the abort before Cancel returns; the next file goes on.
        QCOMPARE(recorder.labels().first(), u"agent:Error"_s);
        QCOMPARE(timeline(agent).mid(2),
                 QStringList({ "Error:Operation canceled", "Request", "Progress:0", "Progress:10",
                               "Complete", "Release" }));
    }

    void unansweredRequestDropsTheFile()
    {
        ScriptedAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
        agent.hold(u"Request"_s);
        AgentCallWatch::expectUnanswered();
        QVERIFY(sim()->setObexOptions({ { "requestTimeoutMs", 600 } }));
        QVERIFY(sendFiles({ writeFile(u"a.txt"_s, "a"), writeFile(u"b.txt"_s, "b") }));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(timeline(agent),
                 QStringList(
                     { "Request", "Request", "Progress:0", "Progress:1", "Complete", "Release" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
    }

    void sameCallerJoinsTheRunningSession()
    {
        const QString a = writeFile(u"a.txt"_s, "first");
        ScriptedAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
        ScriptedAgent ignored(QDBusConnection::sessionBus(), u"/test/ignored"_s);
        QVERIFY(sim()->setSendOutcome(a, u"stall"_s));
        QVERIFY(sendFiles({ a }));
        QVERIFY(agent.waitForCall(u"Progress"_s));
        QVERIFY(ok(QDBusConnection::sessionBus().call(
            sendFilesMessage({ writeFile(u"b.txt"_s, "second") }, ignored.path()))));
        QVERIFY(sim()->resumeTransfer(firstTransfer(agent)));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(agent.callCount(u"Complete"_s), 2);
        QCOMPARE(agent.callCount(u"Release"_s), 1);
        QCOMPARE(ignored.members(), QStringList());
    }
};

OVRIN_TEST_MAIN(TestSimObex)
#include "tst_simobex.moc"
