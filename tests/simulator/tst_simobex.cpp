// The simulated obexd ("org.openobex") and obex-client ("org.openobex.client")
// as 0.45 has them. obexd: one agent, Authorize with a real waiting call, the
// file written where the agent says at the chosen speed, the signals in their
// order, refusals, aborts, cancel, restarts and D-Bus activation. obex-client:
// SendFiles answered once connected, Request per file with a real waiting call,
// Progress, Complete or Error, Release at the end, files really read from disk,
// and the remote's speed, stalls and refusals as a test chooses them.

#include "simtest.h"

#include <QCryptographicHash>

using namespace OvrinTest;

namespace {
const QString managerInterface = u"org.openobex.Manager"_s;
const QString transferInterface = u"org.openobex.Transfer"_s;
const QString agentPath = u"/test/obexagent"_s;
const QString phone = u"F4:0E:22:13:33:03"_s;
const QString laptop = u"3C:15:C2:E4:44:04"_s;

QDBusMessage managerCall(const QString &member, const QVariantList &args,
                         const QDBusConnection &connection = QDBusConnection::sessionBus())
{
    return obexCall(obexd, u"/"_s, managerInterface, member, args, connection);
}

const QString sendAgentPath = u"/test/sendagent"_s;

QDBusMessage sendFilesMessage(const QStringList &files,
                              const QVariantMap &device = { { "Destination", phone } },
                              const QString &agent = sendAgentPath)
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

class TestSimObex : public SimTest
{
    Q_OBJECT

    QString m_inbox;
    QString m_outside;
    // Every test starts with this agent registered; it notes its calls in the recorder.
    std::unique_ptr<SignalRecorder> m_recorder;
    std::unique_ptr<ObexTestAgent> m_agent;

    // The signals and agent calls of one push, Progress signals folded into one.
    static QStringList folded(const SignalRecorder &recorder)
    {
        QStringList labels = recorder.labels();
        for (int i = labels.size() - 1; i > 0; --i) {
            if (labels.at(i) == "Progress"_L1 && labels.at(i - 1) == "Progress"_L1)
                labels.removeAt(i);
        }
        return labels;
    }
    static QList<QVariantList> progressOf(const SignalRecorder &recorder)
    {
        QList<QVariantList> list;
        for (const SignalRecorder::Entry &entry : recorder.entries()) {
            if (entry.member == "Progress"_L1)
                list.append(entry.arguments);
        }
        return list;
    }
    QJsonValue serverState(const char *key)
    {
        return sim()->obexServerState().value(QLatin1String(key));
    }
    bool stalled(const QString &transfer)
    {
        for (const QJsonValue &value : serverState("transfers").toArray()) {
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
        m_inbox = TestEnvironment::instance()->directory() + u"/inbox"_s;
        m_outside = TestEnvironment::instance()->directory() + u"/outside"_s;
        for (const QString &dir : { m_inbox, m_outside }) {
            QDir(dir).removeRecursively();
            QVERIFY(QDir().mkpath(dir));
        }
        QVERIFY(sim()->setObexOptions({ { "rootFolder", m_inbox } }));
        m_recorder = std::make_unique<SignalRecorder>(QDBusConnection::sessionBus(), obexd);
        m_agent = std::make_unique<ObexTestAgent>(QDBusConnection::sessionBus(), agentPath,
                                                  m_recorder.get());
        QCOMPARE(m_agent->registerWithObexd(), QString());
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
        if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(obexd))
            QVERIFY(sim()->restoreService(obexd));
        QVERIFY(sim()->setActivatable(obexd, true));
        // Our agent, if one is left registered, goes.
        const QJsonValue agent = serverState("agent");
        if (agent.isObject())
            managerCall(u"UnregisterAgent"_s, { objectPath(agent["path"_L1].toString()) });
        m_agent.reset();
        m_recorder.reset();
    }

    void oneAgentBoundToItsCaller()
    {
        QCOMPARE(serverState("agent")["owner"_L1].toString(),
                 QDBusConnection::sessionBus().baseService());

        // One agent, by anyone; another path, or another caller, cannot unregister it.
        OtherClient other(QDBusConnection::SessionBus);
        const QDBusMessage again = managerCall(u"RegisterAgent"_s, { objectPath(u"/other"_s) });
        QCOMPARE(again.errorName(), u"org.openobex.Error.AlreadyExists"_s);
        QCOMPARE(again.errorMessage(), u"Agent already exists"_s);
        QCOMPARE(managerCall(u"RegisterAgent"_s, { objectPath(agentPath) }, other.bus).errorName(),
                 u"org.openobex.Error.AlreadyExists"_s);
        QCOMPARE(managerCall(u"UnregisterAgent"_s, { objectPath(u"/other"_s) }).errorName(),
                 u"org.openobex.Error.DoesNotExist"_s);
        QCOMPARE(
            managerCall(u"UnregisterAgent"_s, { objectPath(agentPath) }, other.bus).errorName(),
            u"org.openobex.Error.NotAuthorized"_s);
        QCOMPARE(managerCall(u"RegisterAgent"_s, { agentPath }).errorName(), unknownMethod);

        QCOMPARE(m_agent->unregisterFromObexd(), QString());
        QCOMPARE(m_agent->unregisterFromObexd(), u"org.openobex.Error.DoesNotExist"_s);
        // obexd never calls Release on its m_agent->
        QTest::qWait(100);
        QCOMPARE(m_agent->members(), QStringList());

        // An agent whose owner leaves the bus is dropped.
        QCOMPARE(
            managerCall(u"RegisterAgent"_s, { objectPath(u"/other"_s) }, other.bus).errorName(),
            QString());
        other.leave();
        QTRY_VERIFY(serverState("agent").isNull());
        QCOMPARE(m_agent->registerWithObexd(), QString());
    }

    void pushIsStoredWhereTheAgentSays()
    {
        const QString target = m_inbox + u"/Documents/renamed.txt"_s;
        QVERIFY(QDir().mkpath(m_inbox + u"/Documents"_s));
        m_agent->answer(u"Authorize"_s, target);

        const QByteArray contents = "Hello, world: the body of a pushed note.\n";
        QString transfer;
        const uint ticket
            = sim()->pushFile(phone, u"note.txt"_s, u"text/plain"_s, contents, -1, &transfer);
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(target), contents);
        QVERIFY(!QFile::exists(m_inbox + u"/note.txt"_s));
        QCOMPARE(m_agent->callsOf(u"Authorize"_s).first().arguments,
                 QVariantList(
                     { transfer, phone, u"note.txt"_s, u"text/plain"_s, int(contents.size()), 0 }));
        QVERIFY(m_recorder->waitFor(u"TransferCompleted"_s));
        QCOMPARE(
            folded(*m_recorder),
            QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));

        // Signatures: o; ii (total first); ob.
        const SignalRecorder::Entry started
            = m_recorder->entries().at(m_recorder->indexOf(u"TransferStarted"_s));
        QCOMPARE(started.path, u"/"_s);
        QCOMPARE(started.interface, managerInterface);
        QCOMPARE(started.arguments, QVariantList({ objectPath(transfer) }));
        QCOMPARE(m_recorder->entries().last().arguments,
                 QVariantList({ objectPath(transfer), true }));
        const SignalRecorder::Entry progress
            = m_recorder->entries().at(m_recorder->indexOf(u"Progress"_s));
        QCOMPARE(progress.path, transfer);
        QCOMPARE(progress.interface, transferInterface);
        QCOMPARE(progressOf(*m_recorder).last(),
                 QVariantList({ int(contents.size()), int(contents.size()) }));
        QCOMPARE(progressOf(*m_recorder).last().first().metaType(), QMetaType::fromType<int>());

        // The remote disconnected: the transfer object is gone.
        QCOMPARE(obexCall(obexd, transfer, transferInterface, u"Cancel"_s).errorName(),
                 u"org.freedesktop.DBus.Error.UnknownObject"_s);
    }

    void severalObjectsShareOneConnection()
    {
        // Bare names (the default answer is the remote's name) land in the root folder.
        QString transfer;
        const QJsonArray objects {
            QJsonObject {
                { "name", "one.vcf" }, { "type", "text/x-vcard" }, { "contents", "BEGIN:VCARD" } },
            QJsonObject { { "name", "two.jpg" }, { "type", "image/jpeg" }, { "size", 3000 } }
        };
        QCOMPARE(
            outcome(sim()->pushFiles({ { "address", laptop }, { "objects", objects } }, &transfer)),
            QString());
        QCOMPARE(readFile(m_inbox + u"/one.vcf"_s), QByteArray("BEGIN:VCARD"));
        const QStringList onePush { "agent:Authorize", "TransferStarted", "Progress",
                                    "TransferCompleted" };
        QCOMPARE(folded(*m_recorder), onePush + onePush);
        for (const ObexTestAgent::Call &call : m_agent->callsOf(u"Authorize"_s))
            QCOMPARE(call.arguments.first().toString(), transfer);
        QCOMPARE(m_agent->callsOf(u"Authorize"_s).last().arguments.mid(2),
                 QVariantList({ u"two.jpg"_s, u"image/jpeg"_s, 3000, 0 }));

        // The next connection gets the next number.
        QString next;
        QCOMPARE(outcome(sim()->pushFile(phone, u"three.txt"_s, QString(), "3", -1, &next)),
                 QString());
        QCOMPARE(next.mid(9).toInt(), transfer.mid(9).toInt() + 1);
    }

    void refusalsEndThePushWithoutSignals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("answer"); // "!" refuses, "-" registers no agent
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("authorizeCalls");
        QTest::newRow("agent refuses") << "a.txt"
                                       << "!"
                                       << "Forbidden" << 1;
        QTest::newRow("no agent") << "a.txt"
                                  << "-"
                                  << "Forbidden" << 0;
        QTest::newRow("outside the root") << "a.txt"
                                          << "%OUTSIDE%/a.txt"
                                          << "Forbidden" << 1;
        QTest::newRow("missing folder") << "a.txt"
                                        << "%INBOX%/nowhere/a.txt"
                                        << "Forbidden" << 1;
        QTest::newRow("empty answer") << "a.txt"
                                      << ""
                                      << "BadRequest" << 1;
        QTest::newRow("folder without name") << "a.txt"
                                             << "%INBOX%/"
                                             << "BadRequest" << 1;
        QTest::newRow("name with a slash") << "../a.txt"
                                           << "a.txt"
                                           << "BadRequest" << 0;
        QTest::newRow("dot dot") << ".."
                                 << "a.txt"
                                 << "BadRequest" << 0;
    }

    void refusalsEndThePushWithoutSignals()
    {
        QFETCH(QString, name);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        QFETCH(int, authorizeCalls);
        if (answer == "-"_L1)
            QCOMPARE(m_agent->unregisterFromObexd(), QString());
        if (answer == "!"_L1)
            m_agent->refuse(u"Authorize"_s);
        else
            m_agent->answer(
                u"Authorize"_s,
                answer.replace("%OUTSIDE%"_L1, m_outside).replace("%INBOX%"_L1, m_inbox));
        QCOMPARE(outcome(sim()->pushFile(phone, name, u"text/plain"_s, "refused")), expected);
        QCOMPARE(m_agent->callCount(u"Authorize"_s), authorizeCalls);
        QTest::qWait(50);
        QCOMPARE(m_recorder->count(u"TransferStarted"_s), 0);
        QCOMPARE(m_recorder->count(u"TransferCompleted"_s), 0);
        QCOMPARE(QDir(m_inbox).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(m_outside).entryList(QDir::Files), QStringList());
    }

    void autoAcceptAsksNobody()
    {
        // -a: the remote's name is used in the root folder.
        QVERIFY(sim()->setObexOptions({ { "autoAccept", true } }));
        QCOMPARE(outcome(sim()->pushFile(phone, u"auto.txt"_s, QString(), "auto")), QString());
        QCOMPARE(readFile(m_inbox + u"/auto.txt"_s), QByteArray("auto"));
        QCOMPARE(m_agent->members(), QStringList());
    }

    void receivingSpeedSetsThePaceOfProgress()
    {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(outcome(sim()->pushFiles({ { "address", phone },
                                            { "name", "big.bin" },
                                            { "size", 20000 },
                                            { "speed", 10000 },
                                            { "announcedSize", -1 } })),
                 QString());
        QVERIFY2(clock.elapsed() >= 1800 && clock.elapsed() < 5000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_agent->callsOf(u"Authorize"_s).first().arguments.value(4), QVariant(-1));
        // A packet of a tenth of a second's worth each time, total unknown.
        const QList<QVariantList> progress = progressOf(*m_recorder);
        QCOMPARE(progress.size(), 20);
        for (int i = 0; i < progress.size(); ++i)
            QCOMPARE(progress.at(i), QVariantList({ -1, (i + 1) * 1000 }));
        QCOMPARE(readFile(m_inbox + u"/big.bin"_s).size(), 20000);
    }

    void stalledPushMovesNothingUntilResumed()
    {
        QString transfer;
        const uint ticket = stalledPush(u"slow.bin"_s, 8000, 4000, &transfer);
        QTRY_VERIFY(stalled(transfer));
        const int before = m_recorder->count(u"Progress"_s);
        QCOMPARE(progressOf(*m_recorder).last(), QVariantList({ 8000, 4000 }));
        QCOMPARE(readFile(m_inbox + u"/slow.bin"_s).size(), 4000);
        QTest::qWait(300);
        QCOMPARE(m_recorder->count(u"Progress"_s), before);
        QVERIFY(!sim()->waitForRequest(ticket, 1));
        QVERIFY(sim()->resumeTransfer(transfer));
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(m_inbox + u"/slow.bin"_s).size(), 8000);
    }

    void remoteAbortDeletesThePartialFile()
    {
        QString transfer;
        uint ticket = stalledPush(u"part.bin"_s, 6000, 2000, &transfer);
        QTRY_VERIFY(stalled(transfer));
        QVERIFY(QFile::exists(m_inbox + u"/part.bin"_s));
        QVERIFY(sim()->failTransfer(transfer));
        QCOMPARE(outcome(ticket), u"Aborted"_s);
        QCOMPARE(
            folded(*m_recorder),
            QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));
        QCOMPARE(m_recorder->entries().last().arguments,
                 QVariantList({ objectPath(transfer), false }));
        QVERIFY(!QFile::exists(m_inbox + u"/part.bin"_s));

        // The link drops while the agent decides: obexd cancels the agent's request.
        m_recorder->clear();
        m_agent->hold(u"Authorize"_s);
        ticket = sim()->pushFile(phone, u"gone.txt"_s, QString(), "gone", -1, &transfer);
        QVERIFY(m_agent->waitForCall(u"Authorize"_s, 5000, 2));
        QVERIFY(sim()->failTransfer(transfer, u"disconnect"_s));
        QCOMPARE(outcome(ticket), u"Disconnected"_s);
        QVERIFY(m_agent->waitForCall(u"Cancel"_s));
        QCOMPARE(m_agent->calls().last().replyExpected, false);
        QCOMPARE(m_recorder->labels(), QStringList({ "agent:Authorize", "agent:Cancel" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        m_agent->answerHeld(u"gone.txt"_s); // too late: nothing happens
        QTest::qWait(100);
        QVERIFY(!QFile::exists(m_inbox + u"/gone.txt"_s));
    }

    void agentCancelsARunningTransfer()
    {
        QString transfer;
        const uint ticket = stalledPush(u"c.bin"_s, 5000, 1000, &transfer);
        QTRY_VERIFY(stalled(transfer));
        {
            // Only the agent's owner may cancel.
            OtherClient other(QDBusConnection::SessionBus);
            QCOMPARE(obexCall(obexd, transfer, transferInterface, u"Cancel"_s, {}, other.bus)
                         .errorName(),
                     u"org.openobex.Error.NotAuthorized"_s);
        }
        m_recorder->callAsync(obexMessage(obexd, transfer, transferInterface, u"Cancel"_s));
        QCOMPARE(outcome(ticket), u"Canceled"_s);
        QVERIFY(m_recorder->waitFor(u"TransferCompleted"_s));
        QVERIFY(m_recorder->waitFor(u"reply:Cancel"_s));
        // (QtDBus may hand a reply and a signal over in either order.)
        QStringList labels = folded(*m_recorder);
        labels.removeAll(u"reply:Cancel"_s);
        QCOMPARE(
            labels,
            QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));
        QCOMPARE(m_recorder->entries()
                     .at(m_recorder->indexOf(u"TransferCompleted"_s))
                     .arguments.value(1),
                 QVariant(false));
        QVERIFY(!QFile::exists(m_inbox + u"/c.bin"_s));

        // A cancel while the agent is deciding ends the object as soon as it starts.
        m_recorder->clear();
        m_agent->hold(u"Authorize"_s);
        const uint second = sim()->pushFile(phone, u"d.txt"_s, QString(), "data", -1, &transfer);
        QVERIFY(m_agent->waitForCall(u"Authorize"_s, 5000, 2));
        QVERIFY(ok(obexCall(obexd, transfer, transferInterface, u"Cancel"_s)));
        m_agent->answerHeld(u"d.txt"_s);
        QCOMPARE(outcome(second), u"Canceled"_s);
        QCOMPARE(m_recorder->labels(),
                 QStringList({ "agent:Authorize", "TransferStarted", "TransferCompleted" }));
        QVERIFY(!QFile::exists(m_inbox + u"/d.txt"_s));
    }

    void unansweredAuthorizeIsReportedAndTimesOut()
    {
        m_agent->hold(u"Authorize"_s);
        QString transfer;
        const uint first
            = sim()->pushFile(phone, u"wait.txt"_s, u"text/plain"_s, "12345", -1, &transfer);
        QVERIFY(m_agent->waitForCall(u"Authorize"_s));
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        const QJsonObject call = pending.first().toObject();
        QCOMPARE(call["member"_L1].toString(), u"Authorize"_s);
        QCOMPARE(call["path"_L1].toString(), agentPath);
        QCOMPARE(call["arguments"_L1].toArray(),
                 QJsonArray({ transfer, phone, "wait.txt", "text/plain", 5, 0 }));

        // One authorization at a time: a second push is refused at once.
        QCOMPARE(outcome(sim()->pushFile(laptop, u"other.txt"_s, QString(), "x")), u"Forbidden"_s);
        QCOMPARE(m_agent->callCount(u"Authorize"_s), 1);
        m_agent->answerHeld(u"wait.txt"_s);
        QCOMPARE(outcome(first), QString());

        // No answer in time: NoReply, then Cancel, and the push is refused.
        QVERIFY(sim()->setObexOptions({ { "authorizeTimeoutMs", 300 } }));
        m_agent->hold(u"Authorize"_s);
        AgentCallWatch::expectUnanswered();
        QCOMPARE(outcome(sim()->pushFile(phone, u"late.txt"_s, QString(), "late")), u"Forbidden"_s);
        QVERIFY(m_agent->waitForCall(u"Cancel"_s));
        QCOMPARE(m_agent->members(), QStringList({ "Authorize", "Authorize", "Cancel" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QVERIFY(!QFile::exists(m_inbox + u"/late.txt"_s));
    }

    void restartDropsConnectionsAndTheAgent()
    {
        QString transfer;
        const uint ticket = stalledPush(u"r.bin"_s, 4000, 1000, &transfer);
        QTRY_VERIFY(stalled(transfer));
        const QString before = owner(QDBusConnection::sessionBus(), obexd);

        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(QDBusConnection::sessionBus(), obexd, false));
        QCOMPARE(outcome(ticket), u"Disconnected"_s);
        QVERIFY(sim()->restoreService(obexd));
        QVERIFY(waitForName(QDBusConnection::sessionBus(), obexd, true));
        QVERIFY(owner(QDBusConnection::sessionBus(), obexd) != before);
        // A new process: no agent, and connections are counted from 1 again.
        QVERIFY(serverState("agent").isNull());
        QCOMPARE(outcome(sim()->pushFile(phone, u"x.txt"_s, QString(), "x", -1, &transfer)),
                 u"Forbidden"_s);
        QCOMPARE(transfer, u"/transfer1"_s);
        QCOMPARE(m_agent->registerWithObexd(), QString());
        QCOMPARE(outcome(sim()->pushFile(phone, u"x.txt"_s, QString(), "x")), QString());
    }

    void callingTheDroppedNameActivatesIt()
    {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(bus, obexd, false));
        const int activations = serverState("activations").toInt();

        // Any call with the auto-start flag (QtDBus sets it) brings obexd back.
        QCOMPARE(m_agent->registerWithObexd(), QString());
        QCOMPARE(serverState("activations").toInt(), activations + 1);

        // StartServiceByName, as the library asks after the daemon vanished.
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(bus, obexd, false));
        const QDBusReply<void> started = bus.interface()->startService(obexd);
        QVERIFY2(started.isValid(), qPrintable(started.error().message()));
        QCOMPARE(serverState("activations").toInt(), activations + 2);

        // A daemon that cannot be started.
        QVERIFY(sim()->setActivatable(obexd, false));
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(bus, obexd, false));
        QCOMPARE(managerCall(u"RegisterAgent"_s, { objectPath(agentPath) }).errorName(),
                 u"org.freedesktop.DBus.Error.Spawn.ChildExited"_s);
        QVERIFY(!bus.interface()->isServiceRegistered(obexd).value());
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath, &recorder);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
        // SendFiles succeeds all the same.
        QVERIFY(ok(sendFiles(files)));
        QVERIFY(agent.waitForCall(u"Release"_s));
        QCOMPARE(::timeline(agent), timeline);
    }

    void badCallsAndFailedConnectionsReachNoAgent()
    {
        const QString a = writeFile(u"a.txt"_s, "data");
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
        const QString invalid = u"org.openobex.Error.InvalidArguments"_s;
        QCOMPARE(sendFiles({ a }, { { "Source", phone } }).errorName(), invalid);
        QCOMPARE(sendFiles({ a }, { { "Destination", 42 } }).errorName(), invalid);
        QCOMPARE(sendFiles({}).errorName(), invalid);
        // The agent as a string is no match at all.
        const QVariantMap device { { "Destination", phone } };
        QCOMPARE(obexCall(obexClient, u"/"_s, u"org.openobex.Client"_s, u"SendFiles"_s,
                          { device, QStringList({ a }), sendAgentPath })
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
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

    void sendingSpeedSetsThePaceOfProgress()
    {
        const QByteArray data = bytes(20000, 'x');
        const QString file = writeFile(u"big.bin"_s, data);
        QVERIFY(sim()->setObexSpeed(10000));
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath, &recorder);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
        agent.hold(u"Request"_s);
        AgentCallWatch::expectUnanswered();
        QVERIFY(sim()->setObexOptions({ { "requestTimeoutMs", 600 } }));
        QVERIFY(ok(sendFiles({ a, b })));
        QVERIFY(agent.waitForCall(u"Request"_s));
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        QCOMPARE(pending.first()["member"_L1].toString(), u"Request"_s);
        QCOMPARE(pending.first()["path"_L1].toString(), sendAgentPath);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
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
        ObexTestAgent agent(QDBusConnection::sessionBus(), sendAgentPath);
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

OVRIN_TEST_MAIN(TestSimObex)
#include "tst_simobex.moc"
