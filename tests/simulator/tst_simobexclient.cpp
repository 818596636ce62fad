// The simulated obex-client ("org.openobex.client") sends files as obex-client
// 0.45 does (ref B.1-B.6): SendFiles answered once connected, Request per file
// with a real waiting call, Progress, Complete or Error, Release at the end,
// files really read from disk, and the remote's speed, stalls and refusals as
// a test chooses them.

#include "bluezcall.h"
#include "obexcall.h"
#include "obextestagent.h"
#include "signalrecorder.h"
#include "testagent.h"
#include "testenvironment.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

using namespace OvrinTest;

namespace {

const QString clientInterface = QStringLiteral("org.openobex.Client");
const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString agentPath = QStringLiteral("/test/sendagent");
const QString phone = QStringLiteral("F4:0E:22:13:33:03");
const QString farAway = QStringLiteral("5C:51:88:0F:77:0B");

QVariantMap device(const QString &address)
{
    return { { QStringLiteral("Destination"), address } };
}

QDBusMessage sendFilesMessage(const QVariantMap &device, const QStringList &files, const QString &agent = agentPath)
{
    return obexMessage(obexClient, QStringLiteral("/"), clientInterface, QStringLiteral("SendFiles"),
                       { device, files, QVariant::fromValue(QDBusObjectPath(agent)) });
}

QVariantMap transferProperties(const QString &transfer)
{
    return qdbus_cast<QVariantMap>(obexCall(obexClient, transfer, transferInterface, QStringLiteral("GetProperties")).arguments().value(0));
}

QString sha1(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

bool waitForName(const QString &name, bool present)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QTRY_LOOP_IMPL(bus->isServiceRegistered(name).value() == present, 5000, 10);
    return bus->isServiceRegistered(name).value() == present;
}

} // namespace

class TestSimObexClient : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_outbox;
    std::unique_ptr<TestAgent> m_bluezAgent;

    QString writeFile(const QString &name, const QByteArray &contents)
    {
        QFile file(m_outbox + QLatin1Char('/') + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            return {};
        return file.fileName();
    }
    static QByteArray bytes(int size, char seed)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char(seed + i * 7 % 97);
        return data;
    }
    bool registerBluezAgent()
    {
        const QString adapter = defaultAdapterPath();
        return bluezCall(adapter, QStringLiteral("org.bluez.Adapter"), QStringLiteral("RegisterAgent"),
                         { objectPath(m_bluezAgent->path()), QString() }).type() == QDBusMessage::ReplyMessage;
    }
    // The transfer arguments of the agent's calls, member by member.
    static QStringList timeline(const ObexTestAgent &agent)
    {
        QStringList list;
        for (const ObexTestAgent::Call &call : agent.calls()) {
            QString entry = call.member;
            if (call.member == QLatin1String("Progress"))
                entry += QLatin1Char(':') + call.arguments.value(1).toString();
            else if (call.member == QLatin1String("Error"))
                entry += QLatin1Char(':') + call.arguments.value(1).toString();
            list.append(entry);
        }
        return list;
    }
    QJsonObject lastSent() { return sim()->obexClientState().value(QLatin1String("sent")).toArray().last().toObject(); }
    QJsonObject transferState(const QString &path)
    {
        for (const QJsonValue &session : sim()->obexClientState().value(QLatin1String("sessions")).toArray()) {
            for (const QJsonValue &transfer : session.toObject().value(QLatin1String("transfers")).toArray()) {
                if (transfer.toObject().value(QLatin1String("path")).toString() == path)
                    return transfer.toObject();
            }
        }
        return {};
    }
    bool sessionsGone()
    {
        QTRY_LOOP_IMPL(sim()->obexClientState().value(QLatin1String("sessions")).toArray().isEmpty(), 5000, 10);
        return sim()->obexClientState().value(QLatin1String("sessions")).toArray().isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bluezAgent = std::make_unique<TestAgent>(QDBusConnection::systemBus(), QStringLiteral("/test/bluezagent"));
    }

    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/obex.json"))),
                 qPrintable(sim()->lastError()));
        QVERIFY(sim()->clearFaults());
        // BlueZ 4.82+ grants obex-client its adapter session only with an agent.
        QVERIFY(registerBluezAgent());
        m_outbox = TestEnvironment::instance()->directory() + QStringLiteral("/outbox");
        QDir(m_outbox).removeRecursively();
        QVERIFY(QDir().mkpath(m_outbox));
    }

    void cleanup()
    {
        for (const QString &name : { obexClient, QStringLiteral("org.bluez") }) {
            if (!(name == obexClient ? QDBusConnection::sessionBus() : QDBusConnection::systemBus())
                         .interface()->isServiceRegistered(name).value())
                QVERIFY(sim()->restoreService(name));
        }
        QVERIFY(sim()->setActivatable(obexClient, true));
    }

    void sendFilesRunsTheExactSequence()
    {
        const QByteArray first = bytes(1000, 'a');
        const QByteArray second = bytes(2500, 'B');
        const QString a = writeFile(QStringLiteral("a.txt"), first);
        const QString b = writeFile(QStringLiteral("b.jpg"), second);
        QVERIFY(sim()->setObexSpeed(10000));
        QVERIFY(sim()->clearCallLog());
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexClient);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        agent.hold(QStringLiteral("Request"));
        recorder.callAsync(sendFilesMessage(device(phone), { a, b }));
        QVERIFY(agent.waitForCall(QStringLiteral("Request")));
        // SendFiles has returned although the agent has not answered yet.
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SendFiles")));
        QCOMPARE(recorder.count(QStringLiteral("agent:Request")), 1);
        QCOMPARE(recorder.replyOf(QStringLiteral("SendFiles")).signature(), QString());

        // Every file has its object from the start.
        const QString t0 = agent.calls().first().arguments.value(0).toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^/org/openobex/transfer\\d+$")).match(t0).hasMatch(), qPrintable(t0));
        const QString t1 = QStringLiteral("/org/openobex/transfer%1").arg(t0.mid(22).toInt() + 1);
        const QVariantMap p0 = transferProperties(t0);
        QCOMPARE(p0, QVariantMap({ { "Name", "a.txt" }, { "Size", quint64(1000) }, { "Filename", a } }));
        QCOMPARE(p0.value(QStringLiteral("Size")).metaType(), QMetaType::fromType<qulonglong>());
        QCOMPARE(transferProperties(t1).value(QStringLiteral("Filename")).toString(), b);
        const QString xml = obexCall(obexClient, t0, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                     QStringLiteral("Introspect")).arguments().value(0).toString();
        QVERIFY2(xml.contains(QLatin1String("<method name=\"GetProperties\">")) && !xml.contains(QLatin1String("Progress")),
                 qPrintable(xml));

        agent.answerHeld(QString());
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Progress:1000", "Complete",
                                                "Request", "Progress:0", "Progress:1000", "Progress:2000",
                                                "Progress:2500", "Complete", "Release" }));
        bool secondFile = false;
        for (const ObexTestAgent::Call &call : agent.calls()) {
            QCOMPARE(call.replyExpected, call.member == QLatin1String("Request"));
            if (call.member == QLatin1String("Release"))
                continue;
            QCOMPARE(call.arguments.first().toString(), secondFile ? t1 : t0);
            secondFile = secondFile || call.member == QLatin1String("Complete");
        }
        QCOMPARE(agent.callsOf(QStringLiteral("Progress")).first().arguments.value(1).metaType(), QMetaType::fromType<qulonglong>());

        // The remote got the files' bytes; the objects are gone.
        const QJsonArray sent = sim()->obexClientState().value(QLatin1String("sent")).toArray();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).toObject().value(QLatin1String("sha1")).toString(), sha1(first));
        QCOMPARE(sent.at(1).toObject().value(QLatin1String("sha1")).toString(), sha1(second));
        QCOMPARE(sent.at(1).toObject().value(QLatin1String("delivered")).toInt(), 2500);
        QCOMPARE(sent.at(1).toObject().value(QLatin1String("destination")).toString(), phone);
        QCOMPARE(obexCall(obexClient, t0, transferInterface, QStringLiteral("GetProperties")).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));

        // BlueZ first (ref B.6), released at the end.
        QStringList bluez;
        QTRY_VERIFY([&]() {
            bluez.clear();
            for (const SimulatorClient::Call &call : sim()->callLog()) {
                if (call.destination == QLatin1String("org.bluez"))
                    bluez.append(call.member);
            }
            return bluez.contains(QStringLiteral("ReleaseSession"));
        }());
        QCOMPARE(bluez, QStringList({ "DefaultAdapter", "RequestSession", "ReleaseSession" }));
        QVERIFY(sessionsGone());
    }

    void requestAnswersRenameOrDropOneFile()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "first");
        const QString b = writeFile(QStringLiteral("b.txt"), "second");
        const QString c = writeFile(QStringLiteral("c.txt"), "third");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        agent.hold(QStringLiteral("Request"));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a, b, c })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Request")));
        agent.hold(QStringLiteral("Request"));
        agent.answerHeld(QStringLiteral("renamed.txt"));
        QVERIFY(agent.waitForCall(QStringLiteral("Request"), 5000, 2));
        QCOMPARE(lastSent().value(QLatin1String("name")).toString(), QStringLiteral("renamed.txt"));
        QCOMPARE(lastSent().value(QLatin1String("filename")).toString(), a);
        agent.refuseHeld(QStringLiteral("org.openobex.Error.Canceled"));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        // A refused file is dropped without a word; the next one goes on.
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Progress:5", "Complete", "Request", "Request",
                                                "Progress:0", "Progress:5", "Complete", "Release" }));
        const QList<ObexTestAgent::Call> requests = agent.callsOf(QStringLiteral("Request"));
        QCOMPARE(agent.callsOf(QStringLiteral("Complete")).last().arguments, QVariantList({ requests.at(2).arguments.first() }));
        const QJsonArray sent = sim()->obexClientState().value(QLatin1String("sent")).toArray();
        QCOMPARE(sent.at(1).toObject().value(QLatin1String("outcome")).toString(), QStringLiteral("refused"));
        QCOMPARE(sent.at(2).toObject().value(QLatin1String("name")).toString(), QStringLiteral("c.txt"));
    }

    void filesThatCannotBeOpenedAreDropped()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "here");
        const QString b = writeFile(QStringLiteral("b.txt"), "not reached");
        const QString missing = m_outbox + QStringLiteral("/missing.txt");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        // SendFiles succeeds; the queue stops at the first file that cannot be opened.
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a, missing, b })).type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Progress:4", "Complete", "Release" }));

        agent.clear();
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { missing, m_outbox })).type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.members(), QStringList({ "Release" }));

        // An empty file goes straight to Complete.
        agent.clear();
        const QString empty = writeFile(QStringLiteral("empty.txt"), QByteArray());
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { empty })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Complete", "Release" }));
    }

    void badCallsAndFailedConnectionsReachNoAgent()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "data");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusMessage noDestination = bus.call(sendFilesMessage({ { QStringLiteral("Source"), phone } }, { a }));
        QCOMPARE(noDestination.errorName(), QStringLiteral("org.openobex.Error.InvalidArguments"));
        QCOMPARE(noDestination.errorMessage(), QString());
        QCOMPARE(bus.call(sendFilesMessage({ { QStringLiteral("Destination"), 42 } }, { a })).errorName(),
                 QStringLiteral("org.openobex.Error.InvalidArguments"));
        QCOMPARE(bus.call(sendFilesMessage(device(phone), {})).errorName(), QStringLiteral("org.openobex.Error.InvalidArguments"));
        QCOMPARE(bus.call(obexMessage(obexClient, QStringLiteral("/"), clientInterface, QStringLiteral("SendFiles"),
                                      { device(phone), QStringList { a }, agentPath })).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
        QCOMPARE(bus.call(obexMessage(obexClient, QStringLiteral("/"), clientInterface, QStringLiteral("ExchangeBusinessCards"),
                                      { device(phone), a, a })).errorName(),
                 QStringLiteral("org.openobex.Error.Failed"));

        // Nobody there: the page times out.
        QElapsedTimer clock;
        clock.start();
        const QDBusMessage down = bus.call(sendFilesMessage(device(farAway), { a }));
        QCOMPARE(down.errorName(), QStringLiteral("org.openobex.Error.Failed"));
        QCOMPARE(down.errorMessage(), QStringLiteral("Host is down"));
        QVERIFY(clock.elapsed() >= 250);

        // No BlueZ agent, no adapter session.
        QCOMPARE(bluezCall(defaultAdapterPath(), QStringLiteral("org.bluez.Adapter"), QStringLiteral("UnregisterAgent"),
                           { objectPath(m_bluezAgent->path()) }).type(), QDBusMessage::ReplyMessage);
        const QDBusMessage noSession = bus.call(sendFilesMessage(device(phone), { a }));
        QCOMPARE(noSession.errorName(), QStringLiteral("org.openobex.Error.Failed"));
        QCOMPARE(noSession.errorMessage(), QStringLiteral("Unable to request session"));

        // No BlueZ at all.
        QVERIFY(sim()->dropService(QStringLiteral("org.bluez")));
        const QDBusMessage noAdapter = bus.call(sendFilesMessage(device(phone), { a }));
        QCOMPARE(noAdapter.errorMessage(), QStringLiteral("No adapter found"));
        QVERIFY(sim()->restoreService(QStringLiteral("org.bluez")));

        QTest::qWait(100);
        QCOMPARE(agent.members(), QStringList());
        QVERIFY(sessionsGone());
    }

    void remoteRefusalsReachTheAgentAsErrors()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "refused");
        const QString b = writeFile(QStringLiteral("b.txt"), "taken");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->setSendOutcome(QStringLiteral("a.txt"), QStringLiteral("forbidden")));
        QVERIFY(!sim()->setSendOutcome(QStringLiteral("a.txt"), QStringLiteral("maybe")));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a, b })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        // The failed file ends with Error; the next one is still sent.
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Error:Transfer failed (0x43)", "Request",
                                                "Progress:0", "Progress:5", "Complete", "Release" }));
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).first().replyExpected, false);

        // 0.3x words it as OpenOBEX does; any text can be asked for.
        QVERIFY(sim()->setObexOptions({ { "errorTexts", "openobex" } }));
        QVERIFY(sim()->setSendOutcome(a, QStringLiteral("0x43")));
        QVERIFY(sim()->failTransfer(QStringLiteral("next"), QStringLiteral("message:Remote said no")));
        agent.clear();
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a, b })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).size(), 2);
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).at(0).arguments.value(1).toString(), QStringLiteral("Forbidden"));
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).at(1).arguments.value(1).toString(), QStringLiteral("Remote said no"));
        QVERIFY(sim()->obexClientState().value(QLatin1String("plannedOutcomes")).toArray().isEmpty());
    }

    void speedSetsThePaceOfProgress()
    {
        const QByteArray data = bytes(20000, 'x');
        const QString file = writeFile(QStringLiteral("big.bin"), data);
        QVERIFY(sim()->setObexSpeed(10000));
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { file })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Complete"), 10000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1800 && elapsed < 5000, qPrintable(QString::number(elapsed)));
        const QList<ObexTestAgent::Call> progress = agent.callsOf(QStringLiteral("Progress"));
        QCOMPARE(progress.size(), 21);
        for (int i = 0; i < progress.size(); ++i)
            QCOMPARE(progress.at(i).arguments.value(1).toULongLong(), quint64(qMin(i * 1000, 20000)));
        QCOMPARE(lastSent().value(QLatin1String("sha1")).toString(), sha1(data));
    }

    void stallsHoldTheSendUntilResumedOrTimedOut()
    {
        const QString a = writeFile(QStringLiteral("a.bin"), bytes(4000, 'a'));
        QVERIFY(sim()->setObexSpeed(20000));
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->stallTransfer(QStringLiteral("next")));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Progress")));
        const QString transfer = agent.calls().first().arguments.first().toString();
        QTRY_COMPARE(transferState(transfer).value(QLatin1String("state")).toString(), QStringLiteral("stalled"));
        QTest::qWait(400);
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0" }));
        QVERIFY(sim()->resumeTransfer(transfer));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Progress:2000", "Progress:4000", "Complete", "Release" }));

        // A remote that stops answering: gobex gives up after its timeout.
        QVERIFY(sim()->setObexOptions({ { "responseTimeoutMs", 300 }, { "speed", 2000 } }));
        agent.clear();
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Progress"), 5000, 2));
        const QString second = agent.calls().first().arguments.first().toString();
        QVERIFY(sim()->stallTransfer(second));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(agent.waitForCall(QStringLiteral("Error")));
        QVERIFY(clock.elapsed() >= 250);
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).first().arguments,
                 QVariantList({ second, QStringLiteral("Timed out waiting for response") }));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));

        // Failing a running send by hand.
        agent.clear();
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Progress"), 5000, 2));
        QVERIFY(sim()->failTransfer(agent.calls().first().arguments.first().toString(), QStringLiteral("notacceptable")));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).first().arguments.value(1).toString(), QStringLiteral("Transfer failed (0x46)"));
        QVERIFY(!sim()->failTransfer(QStringLiteral("/org/openobex/transfer999")));
    }

    void agentCancelsATransfer()
    {
        const QString a = writeFile(QStringLiteral("a.bin"), bytes(3000, 'a'));
        const QString b = writeFile(QStringLiteral("b.bin"), bytes(10, 'b'));
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexClient);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QVERIFY(sim()->setSendOutcome(a, QStringLiteral("stall")));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a, b })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Progress")));
        const QString transfer = agent.calls().first().arguments.first().toString();

        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        const QDBusMessage refused = obexCall(obexClient, transfer, transferInterface, QStringLiteral("Cancel"), {}, other);
        QCOMPARE(refused.errorName(), QStringLiteral("org.openobex.Error.NotAuthorized"));
        QCOMPARE(refused.errorMessage(), QStringLiteral("Not Authorized"));
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));

        recorder.clear();
        recorder.callAsync(obexMessage(obexClient, transfer, transferInterface, QStringLiteral("Cancel")));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:Cancel")));
        // The agent hears of the abort (before Cancel returns); the next file goes on.
        QCOMPARE(recorder.labels().first(), QStringLiteral("agent:Error"));
        QCOMPARE(agent.callsOf(QStringLiteral("Error")).first().arguments, QVariantList({ transfer, QStringLiteral("Operation canceled") }));
        QCOMPARE(timeline(agent).mid(2), QStringList({ "Error:Operation canceled", "Request", "Progress:0", "Progress:10",
                                                       "Complete", "Release" }));
    }

    void unansweredRequestIsReportedAndTimesOut()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "a");
        const QString b = writeFile(QStringLiteral("b.txt"), "b");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        agent.hold(QStringLiteral("Request"));
        AgentCallWatch::expectUnanswered();
        QVERIFY(sim()->setObexOptions({ { "requestTimeoutMs", 600 } }));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a, b })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Request")));
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        const QJsonObject call = pending.first().toObject();
        QCOMPARE(call.value(QLatin1String("service")).toString(), obexClient);
        QCOMPARE(call.value(QLatin1String("member")).toString(), QStringLiteral("Request"));
        QCOMPARE(call.value(QLatin1String("path")).toString(), agentPath);
        QCOMPARE(call.value(QLatin1String("arguments")).toArray(), QJsonArray({ agent.calls().first().arguments.first().toString() }));
        // No answer in time: that file is dropped as if refused.
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(timeline(agent), QStringList({ "Request", "Request", "Progress:0", "Progress:1", "Complete", "Release" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
    }

    void sameCallerJoinsTheRunningSession()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "first");
        const QString b = writeFile(QStringLiteral("b.txt"), "second");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        ObexTestAgent ignored(QDBusConnection::sessionBus(), QStringLiteral("/test/ignored"));
        QVERIFY(sim()->setSendOutcome(a, QStringLiteral("stall")));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Progress")));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { b }, ignored.path())).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(sim()->obexClientState().value(QLatin1String("sessions")).toArray().size(), 1);
        QVERIFY(sim()->resumeTransfer(agent.calls().first().arguments.first().toString()));
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(agent.callCount(QStringLiteral("Complete")), 2);
        QCOMPARE(agent.callCount(QStringLiteral("Release")), 1);
        QCOMPARE(ignored.members(), QStringList());
    }

    void callerLeavingEndsItsSession()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "left behind");
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaver"));
        {
            ObexTestAgent agent(other, agentPath);
            QVERIFY(sim()->setSendOutcome(a, QStringLiteral("stall")));
            QCOMPARE(other.call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
            QVERIFY(agent.waitForCall(QStringLiteral("Progress")));
            QVERIFY(sim()->clearCallLog());
        }
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("leaver"));
        QVERIFY(sessionsGone());
        // The adapter session is given back.
        QTRY_COMPARE(sim()->countCalls(QStringLiteral("ReleaseSession")), 1);
    }

    void restartAndActivation()
    {
        const QString a = writeFile(QStringLiteral("a.txt"), "once");
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->setSendOutcome(a, QStringLiteral("stall")));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Progress")));
        const QString transfer = agent.calls().first().arguments.first().toString();

        // The daemon dies: nothing more reaches the agent, not even Release.
        QVERIFY(sim()->dropService(obexClient));
        QVERIFY(waitForName(obexClient, false));
        QVERIFY(!sim()->resumeTransfer(transfer));
        QTest::qWait(200);
        QCOMPARE(agent.members(), QStringList({ "Request", "Progress" }));

        // The next SendFiles makes the bus start it again.
        const int activations = sim()->obexClientState().value(QLatin1String("activations")).toInt();
        agent.clear();
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).type(), QDBusMessage::ReplyMessage);
        QVERIFY(agent.waitForCall(QStringLiteral("Release")));
        QCOMPARE(timeline(agent), QStringList({ "Request", "Progress:0", "Progress:4", "Complete", "Release" }));
        // A fresh process counts its transfers from 0 again.
        QCOMPARE(agent.calls().first().arguments.first().toString(), QStringLiteral("/org/openobex/transfer0"));
        QCOMPARE(sim()->obexClientState().value(QLatin1String("activations")).toInt(), activations + 1);
        QCOMPARE(qint64(QDBusConnection::sessionBus().interface()->servicePid(obexClient).value()),
                 TestEnvironment::instance()->simulatorPid());

        QVERIFY(sim()->setActivatable(obexClient, false));
        QVERIFY(sim()->dropService(obexClient));
        QVERIFY(waitForName(obexClient, false));
        QCOMPARE(QDBusConnection::sessionBus().call(sendFilesMessage(device(phone), { a })).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.Spawn.ChildExited"));
    }
};

OVRIN_TEST_MAIN(TestSimObexClient)
#include "tst_simobexclient.moc"
