// The simulated obex-client ("org.openobex.client") sends files as obex-client
// 0.45 does: SendFiles answered once connected, Request per file with a real
// waiting call, Progress, Complete or Error, Release at the end, files really
// read from disk, and the remote's speed, stalls and refusals as a test
// chooses them.

#include "simtest.h"

#include <QCryptographicHash>

using namespace OvrinTest;

namespace {

const QString transferInterface = u"org.openobex.Transfer"_s;
const QString agentPath = u"/test/sendagent"_s;
const QString phone = u"F4:0E:22:13:33:03"_s;

QDBusMessage sendFilesMessage(const QStringList &files,
                              const QVariantMap &device = { { "Destination", phone } },
                              const QString &agent = agentPath)
{
    return obexMessage(obexClient, u"/"_s, u"org.openobex.Client"_s, u"SendFiles"_s,
                       { device, files, QVariant::fromValue(QDBusObjectPath(agent)) });
}

QDBusMessage sendFiles(const QStringList &files,
                       const QVariantMap &device = { { "Destination", phone } })
{
    return QDBusConnection::sessionBus().call(sendFilesMessage(files, device));
}

QString sha1(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QByteArray bytes(int size, char seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(seed + i * 7 % 97);
    return data;
}

// The agent's calls, member by member, with what Progress and Error told.
QStringList timeline(const ObexTestAgent &agent)
{
    QStringList list;
    for (const ObexTestAgent::Call &call : agent.calls()) {
        const bool told = call.member == "Progress"_L1 || call.member == "Error"_L1;
        list.append(told ? call.member + u':' + call.arguments.value(1).toString() : call.member);
    }
    return list;
}

QString firstTransfer(const ObexTestAgent &agent)
{
    return agent.calls().first().arguments.first().toString();
}

} // namespace

class TestSimObexClient : public SimTest
{
    Q_OBJECT

    QString m_outbox;
    std::unique_ptr<TestAgent> m_bluezAgent;

    QString writeFile(const QString &name, const QByteArray &contents)
    {
        QFile file(m_outbox + u'/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            return {};
        return file.fileName();
    }
    QJsonArray clientState(const char *key)
    {
        return sim()->obexClientState().value(QLatin1String(key)).toArray();
    }
    bool sessionsGone()
    {
        QTRY_LOOP_IMPL(clientState("sessions").isEmpty(), 5000, 10);
        return clientState("sessions").isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bluezAgent
            = std::make_unique<TestAgent>(QDBusConnection::systemBus(), u"/test/bluezagent"_s);
    }

    void init()
    {
        QVERIFY(load(u"obex.json"_s));
        QVERIFY(sim()->clearFaults());
        // BlueZ 4.82+ grants obex-client its adapter session only with an agent.
        QVERIFY(registerAgent(m_bluezAgent->path()));
        m_outbox = TestEnvironment::instance()->directory() + u"/outbox"_s;
        QDir(m_outbox).removeRecursively();
        QVERIFY(QDir().mkpath(m_outbox));
    }

    void cleanup()
    {
        if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(obexClient))
            QVERIFY(sim()->restoreService(obexClient));
        if (!QDBusConnection::systemBus().interface()->isServiceRegistered(u"org.bluez"_s))
            QVERIFY(sim()->restoreService(u"org.bluez"_s));
        QVERIFY(sim()->setActivatable(obexClient, true));
    }

    void sendFilesRunsTheExactSequence()
    {
        const QByteArray first = bytes(1000, 'a');
        const QByteArray second = bytes(2500, 'B');
        const QString a = writeFile(u"a.txt"_s, first);
        const QString b = writeFile(u"b.jpg"_s, second);
        QVERIFY(sim()->setObexSpeed(10000));
        QVERIFY(sim()->clearCallLog());
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexClient);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        agent.hold(u"Request"_s);
        recorder.callAsync(sendFilesMessage({ a, b }));
        QVERIFY(agent.waitForCall(u"Request"_s));
        // SendFiles has returned although the agent has not answered yet.
        QVERIFY(recorder.waitFor(u"reply:SendFiles"_s));
        QCOMPARE(recorder.replyOf(u"SendFiles"_s).signature(), QString());

        // Every file has its object from the start.
        const QString t0 = firstTransfer(agent);
        const QString t1 = u"/org/openobex/transfer%1"_s.arg(t0.mid(22).toInt() + 1);
        auto transferProperties = [](const QString &transfer) {
            return qdbus_cast<QVariantMap>(
                obexCall(obexClient, transfer, transferInterface, u"GetProperties"_s)
                    .arguments()
                    .value(0));
        };
        const QVariantMap p0 = transferProperties(t0);
        QCOMPARE(
            p0, QVariantMap({ { "Name", "a.txt" }, { "Size", quint64(1000) }, { "Filename", a } }));
        QCOMPARE(p0.value(u"Size"_s).metaType(), QMetaType::fromType<qulonglong>());
        QCOMPARE(transferProperties(t1).value(u"Filename"_s).toString(), b);

        agent.answerHeld(QString());
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Progress:1000", "Complete", "Request",
                               "Progress:0", "Progress:1000", "Progress:2000", "Progress:2500",
                               "Complete", "Release" }));
        bool secondFile = false;
        for (const ObexTestAgent::Call &call : agent.calls()) {
            QCOMPARE(call.replyExpected, call.member == "Request"_L1);
            if (call.member != "Release"_L1)
                QCOMPARE(call.arguments.first().toString(), secondFile ? t1 : t0);
            secondFile = secondFile || call.member == "Complete"_L1;
        }
        QCOMPARE(agent.callsOf(u"Progress"_s).first().arguments.value(1).metaType(),
                 QMetaType::fromType<qulonglong>());

        // The remote got the files' bytes; the objects are gone.
        const QJsonArray sent = clientState("sent");
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0)["sha1"_L1].toString(), sha1(first));
        QCOMPARE(sent.at(1)["sha1"_L1].toString(), sha1(second));
        QCOMPARE(obexCall(obexClient, t0, transferInterface, u"GetProperties"_s).errorName(),
                 u"org.freedesktop.DBus.Error.UnknownObject"_s);

        // BlueZ first, released at the end.
        QTRY_COMPARE(sim()->countCalls(u"ReleaseSession"_s), 1);
        QStringList bluez;
        for (const SimulatorClient::Call &call : sim()->callLog()) {
            if (call.destination == "org.bluez"_L1)
                bluez.append(call.member);
        }
        QCOMPARE(bluez, QStringList({ "DefaultAdapter", "RequestSession", "ReleaseSession" }));
        QVERIFY(sessionsGone());
    }

    void requestAnswersRenameOrDropOneFile()
    {
        const QString a = writeFile(u"a.txt"_s, "first");
        const QString b = writeFile(u"b.txt"_s, "second");
        const QString c = writeFile(u"c.txt"_s, "third");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        agent.hold(u"Request"_s);
        QVERIFY(ok(sendFiles({ a, b, c })));
        QVERIFY(agent.waitForCall(u"Request"_s));
        agent.hold(u"Request"_s);
        agent.answerHeld(u"renamed.txt"_s);
        QVERIFY(agent.waitForCall(u"Request"_s, 5000, 2));
        QCOMPARE(clientState("sent").last()["name"_L1].toString(), u"renamed.txt"_s);
        QCOMPARE(clientState("sent").last()["filename"_L1].toString(), a);
        agent.refuseHeld(u"org.openobex.Error.Canceled"_s);
        QVERIFY(agent.waitForCall(u"Release"_s));
        // A refused file is dropped without a word; the next one goes on.
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Progress:5", "Complete", "Request",
                               "Request", "Progress:0", "Progress:5", "Complete", "Release" }));
        const QList<ObexTestAgent::Call> requests = agent.callsOf(u"Request"_s);
        QCOMPARE(agent.callsOf(u"Complete"_s).last().arguments,
                 QVariantList({ requests.at(2).arguments.first() }));
        QCOMPARE(clientState("sent").at(1)["outcome"_L1].toString(), u"refused"_s);
        QCOMPARE(clientState("sent").at(2)["name"_L1].toString(), u"c.txt"_s);
    }

    void filesThatCannotBeOpenedAreDropped_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("timeline");
        // The queue stops at the first file that cannot be opened.
        QTest::newRow("missing in the middle")
            << QStringList({ "a.txt", "missing.txt", "b.txt" })
            << QStringList({ "Request", "Progress:0", "Progress:4", "Complete", "Release" });
        QTest::newRow("missing and a folder")
            << QStringList({ "missing.txt", "" }) << QStringList({ "Release" });
        // An empty file goes straight to Complete.
        QTest::newRow("empty") << QStringList({ "empty.txt" })
                               << QStringList({ "Request", "Progress:0", "Complete", "Release" });
    }

    void filesThatCannotBeOpenedAreDropped()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, timeline);
        writeFile(u"a.txt"_s, "here");
        writeFile(u"b.txt"_s, "not reached");
        writeFile(u"empty.txt"_s, QByteArray());
        for (QString &file : files)
            file = file.isEmpty() ? m_outbox : m_outbox + u'/' + file;
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        // SendFiles succeeds all the same.
        QVERIFY(ok(sendFiles(files)));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(::timeline(agent), timeline);
    }

    void badCallsAndFailedConnectionsReachNoAgent()
    {
        const QString a = writeFile(u"a.txt"_s, "data");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        const QString invalid = u"org.openobex.Error.InvalidArguments"_s;
        QCOMPARE(sendFiles({ a }, { { "Source", phone } }).errorName(), invalid);
        QCOMPARE(sendFiles({ a }, { { "Destination", 42 } }).errorName(), invalid);
        QCOMPARE(sendFiles({}).errorName(), invalid);
        // The agent as a string is no match at all.
        const QVariantMap device { { "Destination", phone } };
        QCOMPARE(obexCall(obexClient, u"/"_s, u"org.openobex.Client"_s, u"SendFiles"_s,
                          { device, QStringList({ a }), agentPath })
                     .errorName(),
                 unknownMethod);

        // Nobody there: the page times out.
        QElapsedTimer clock;
        clock.start();
        const QDBusMessage down = sendFiles({ a }, { { "Destination", u"5C:51:88:0F:77:0B"_s } });
        QCOMPARE(down.errorName(), u"org.openobex.Error.Failed"_s);
        QCOMPARE(down.errorMessage(), u"Host is down"_s);
        QVERIFY(clock.elapsed() >= 250);

        // No BlueZ agent, no adapter session.
        QVERIFY(ok(adapterCall(u"UnregisterAgent"_s, { objectPath(m_bluezAgent->path()) })));
        QCOMPARE(sendFiles({ a }).errorMessage(), u"Unable to request session"_s);
        // No BlueZ at all.
        QVERIFY(sim()->dropService(u"org.bluez"_s));
        QCOMPARE(sendFiles({ a }).errorMessage(), u"No adapter found"_s);
        QVERIFY(sim()->restoreService(u"org.bluez"_s));
        QTest::qWait(100);
        QCOMPARE(agent.members(), QStringList());
        QVERIFY(sessionsGone());
    }

    void remoteRefusalsReachTheAgentAsErrors()
    {
        const QString a = writeFile(u"a.txt"_s, "refused");
        const QString b = writeFile(u"b.txt"_s, "taken");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->setSendOutcome(u"a.txt"_s, u"forbidden"_s));
        QVERIFY(!sim()->setSendOutcome(u"a.txt"_s, u"maybe"_s));
        QVERIFY(ok(sendFiles({ a, b })));
        QVERIFY(agent.waitForCall(u"Release"_s));
        // The failed file ends with Error; the next one is still sent.
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Error:Transfer failed (0x43)", "Request",
                               "Progress:0", "Progress:5", "Complete", "Release" }));
        QCOMPARE(agent.callsOf(u"Error"_s).first().replyExpected, false);

        // 0.3x words it as OpenOBEX does; any text can be asked for.
        QVERIFY(sim()->setObexOptions({ { "errorTexts", "openobex" } }));
        QVERIFY(sim()->setSendOutcome(a, u"0x43"_s));
        QVERIFY(sim()->failTransfer(u"next"_s, u"message:Remote said no"_s));
        agent.clear();
        QVERIFY(ok(sendFiles({ a, b })));
        QVERIFY(agent.waitForCall(u"Release"_s));
        const QList<ObexTestAgent::Call> errors = agent.callsOf(u"Error"_s);
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.at(0).arguments.value(1).toString(), u"Forbidden"_s);
        QCOMPARE(errors.at(1).arguments.value(1).toString(), u"Remote said no"_s);
        QVERIFY(sim()->obexClientState().value("plannedOutcomes"_L1).toArray().isEmpty());
    }

    void speedSetsThePaceOfProgress()
    {
        const QByteArray data = bytes(20000, 'x');
        const QString file = writeFile(u"big.bin"_s, data);
        QVERIFY(sim()->setObexSpeed(10000));
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(ok(sendFiles({ file })));
        QVERIFY(agent.waitForCall(u"Complete"_s, 10000));
        QVERIFY2(clock.elapsed() >= 1800 && clock.elapsed() < 5000,
                 qPrintable(QString::number(clock.elapsed())));
        const QList<ObexTestAgent::Call> progress = agent.callsOf(u"Progress"_s);
        QCOMPARE(progress.size(), 21);
        for (int i = 0; i < progress.size(); ++i)
            QCOMPARE(progress.at(i).arguments.value(1).toULongLong(),
                     quint64(qMin(i * 1000, 20000)));
        QCOMPARE(clientState("sent").last()["sha1"_L1].toString(), sha1(data));
    }

    void stallHoldsTheSendUntilResumed()
    {
        const QString a = writeFile(u"a.bin"_s, bytes(4000, 'a'));
        QVERIFY(sim()->setObexSpeed(20000));
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->setSendOutcome(a, u"stall"_s));
        QVERIFY(ok(sendFiles({ a })));
        QVERIFY(agent.waitForCall(u"Progress"_s));
        QTest::qWait(400);
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0" }));
        QVERIFY(sim()->resumeTransfer(firstTransfer(agent)));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Progress:2000", "Progress:4000",
                               "Complete", "Release" }));
    }

    void agentCancelsATransfer()
    {
        const QString a = writeFile(u"a.bin"_s, bytes(3000, 'a'));
        const QString b = writeFile(u"b.bin"_s, bytes(10, 'b'));
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexClient);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QVERIFY(sim()->setSendOutcome(a, u"stall"_s));
        QVERIFY(ok(sendFiles({ a, b })));
        QVERIFY(agent.waitForCall(u"Progress"_s));
        const QString transfer = firstTransfer(agent);
        {
            OtherClient other(QDBusConnection::SessionBus);
            const QDBusMessage refused
                = obexCall(obexClient, transfer, transferInterface, u"Cancel"_s, {}, other.bus);
            QCOMPARE(refused.errorName(), u"org.openobex.Error.NotAuthorized"_s);
            QCOMPARE(refused.errorMessage(), u"Not Authorized"_s);
        }
        recorder.clear();
        recorder.callAsync(obexMessage(obexClient, transfer, transferInterface, u"Cancel"_s));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QVERIFY(recorder.waitFor(u"reply:Cancel"_s));
        // The agent hears of the abort (before Cancel returns); the next file goes on.
        QCOMPARE(recorder.labels().first(), u"agent:Error"_s);
        QCOMPARE(agent.callsOf(u"Error"_s).first().arguments,
                 QVariantList({ transfer, u"Operation canceled"_s }));
        QCOMPARE(timeline(agent).mid(2),
                 QStringList({ "Error:Operation canceled", "Request", "Progress:0", "Progress:10",
                               "Complete", "Release" }));
    }

    void unansweredRequestIsReportedAndTimesOut()
    {
        const QString a = writeFile(u"a.txt"_s, "a");
        const QString b = writeFile(u"b.txt"_s, "b");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        agent.hold(u"Request"_s);
        AgentCallWatch::expectUnanswered();
        QVERIFY(sim()->setObexOptions({ { "requestTimeoutMs", 600 } }));
        QVERIFY(ok(sendFiles({ a, b })));
        QVERIFY(agent.waitForCall(u"Request"_s));
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        QCOMPARE(pending.first()["member"_L1].toString(), u"Request"_s);
        QCOMPARE(pending.first()["path"_L1].toString(), agentPath);
        QCOMPARE(pending.first()["arguments"_L1].toArray(), QJsonArray({ firstTransfer(agent) }));
        // No answer in time: that file is dropped as if refused.
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(timeline(agent),
                 QStringList(
                     { "Request", "Request", "Progress:0", "Progress:1", "Complete", "Release" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
    }

    void sameCallerJoinsTheRunningSession()
    {
        const QString a = writeFile(u"a.txt"_s, "first");
        const QString b = writeFile(u"b.txt"_s, "second");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        ObexTestAgent ignored(QDBusConnection::sessionBus(), u"/test/ignored"_s);
        QVERIFY(sim()->setSendOutcome(a, u"stall"_s));
        QVERIFY(ok(sendFiles({ a })));
        QVERIFY(agent.waitForCall(u"Progress"_s));
        QVERIFY(ok(QDBusConnection::sessionBus().call(
            sendFilesMessage({ b }, { { "Destination", phone } }, ignored.path()))));
        QCOMPARE(clientState("sessions").size(), 1);
        QVERIFY(sim()->resumeTransfer(firstTransfer(agent)));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(agent.callCount(u"Complete"_s), 2);
        QCOMPARE(agent.callCount(u"Release"_s), 1);
        QCOMPARE(ignored.members(), QStringList());
    }

    void restartAndActivation()
    {
        const QString a = writeFile(u"a.txt"_s, "once");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->setSendOutcome(a, u"stall"_s));
        QVERIFY(ok(sendFiles({ a })));
        QVERIFY(agent.waitForCall(u"Progress"_s));
        const QString transfer = firstTransfer(agent);

        // The daemon dies: nothing more reaches the agent, not even Release.
        QVERIFY(sim()->dropService(obexClient));
        QVERIFY(waitForName(QDBusConnection::sessionBus(), obexClient, false));
        QVERIFY(!sim()->resumeTransfer(transfer));
        QTest::qWait(200);
        QCOMPARE(agent.members(), QStringList({ "Request", "Progress" }));

        // The next SendFiles makes the bus start it again.
        const int activations = sim()->obexClientState().value("activations"_L1).toInt();
        agent.clear();
        QVERIFY(ok(sendFiles({ a })));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(timeline(agent),
                 QStringList({ "Request", "Progress:0", "Progress:4", "Complete", "Release" }));
        // A fresh process counts its transfers from 0 again.
        QCOMPARE(firstTransfer(agent), u"/org/openobex/transfer0"_s);
        QCOMPARE(sim()->obexClientState().value("activations"_L1).toInt(), activations + 1);
        QCOMPARE(qint64(QDBusConnection::sessionBus().interface()->servicePid(obexClient).value()),
                 TestEnvironment::instance()->simulatorPid());

        QVERIFY(sim()->setActivatable(obexClient, false));
        QVERIFY(sim()->dropService(obexClient));
        QVERIFY(waitForName(QDBusConnection::sessionBus(), obexClient, false));
        QCOMPARE(sendFiles({ a }).errorName(), u"org.freedesktop.DBus.Error.Spawn.ChildExited"_s);
    }
};

OVRIN_TEST_MAIN(TestSimObexClient)
#include "tst_simobexclient.moc"
