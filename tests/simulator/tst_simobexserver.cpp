// The simulated obexd ("org.openobex") receives pushes as obexd 0.45 does
// (ref A.1-A.5): one agent, Authorize with a real waiting call, the file
// written where the agent says at the chosen speed, the signals in their
// order, refusals, aborts, cancel, restarts and D-Bus activation.

#include "obexcall.h"
#include "obextestagent.h"
#include "signalrecorder.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

using namespace OvrinTest;

namespace {

const QString managerInterface = QStringLiteral("org.openobex.Manager");
const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString agentPath = QStringLiteral("/test/obexagent");
const QString phone = QStringLiteral("F4:0E:22:13:33:03");
const QString laptop = QStringLiteral("3C:15:C2:E4:44:04");

QDBusMessage managerCall(const QString &member, const QVariantList &args,
                         const QDBusConnection &connection = QDBusConnection::sessionBus())
{
    return obexCall(obexd, QStringLiteral("/"), managerInterface, member, args, connection);
}

QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QString owner(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(name).value();
}

bool waitForName(const QString &name, bool present)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QTRY_LOOP_IMPL(bus->isServiceRegistered(name).value() == present, 5000, 10);
    return bus->isServiceRegistered(name).value() == present;
}

} // namespace

class TestSimObexServer : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_inbox;
    QString m_outside;

    QString outcome(uint ticket, int timeoutMs = 10000)
    {
        const std::optional<QString> result = sim()->waitForRequest(ticket, timeoutMs);
        return result ? *result : QStringLiteral("(unfinished)");
    }
    // The signals and agent calls of one push, Progress signals folded into one.
    static QStringList folded(const SignalRecorder &recorder)
    {
        QStringList labels;
        for (const QString &label : recorder.labels()) {
            if (label == QLatin1String("Progress") && !labels.isEmpty() && labels.last() == QLatin1String("Progress"))
                continue;
            labels.append(label);
        }
        return labels;
    }
    static QList<QVariantList> progressOf(const SignalRecorder &recorder)
    {
        QList<QVariantList> list;
        for (const SignalRecorder::Entry &entry : recorder.entries()) {
            if (entry.member == QLatin1String("Progress"))
                list.append(entry.arguments);
        }
        return list;
    }
    QJsonObject transferState(const QString &path)
    {
        for (const QJsonValue &transfer : sim()->obexServerState().value(QLatin1String("transfers")).toArray()) {
            if (transfer.toObject().value(QLatin1String("path")).toString() == path)
                return transfer.toObject();
        }
        return {};
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/obex.json"))),
                 qPrintable(sim()->lastError()));
        QVERIFY(sim()->clearFaults());
        const QString base = TestEnvironment::instance()->directory();
        m_inbox = base + QStringLiteral("/inbox");
        m_outside = base + QStringLiteral("/outside");
        for (const QString &dir : { m_inbox, m_outside }) {
            QDir(dir).removeRecursively();
            QVERIFY(QDir().mkpath(dir));
        }
        QVERIFY(sim()->setObexOptions({ { "rootFolder", m_inbox } }));
    }

    void cleanup()
    {
        if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(obexd))
            QVERIFY(sim()->restoreService(obexd));
        QVERIFY(sim()->setActivatable(obexd, true));
        // Our agent, if one is left registered, goes.
        const QJsonValue agent = sim()->obexServerState().value(QLatin1String("agent"));
        if (agent.isObject())
            managerCall(QStringLiteral("UnregisterAgent"), { objectPath(agent.toObject().value(QLatin1String("path")).toString()) });
    }

    void oneAgentBoundToItsCaller()
    {
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QCOMPARE(agent.registerWithObexd(), QString());
        const QJsonObject registered = sim()->obexServerState().value(QLatin1String("agent")).toObject();
        QCOMPARE(registered.value(QLatin1String("path")).toString(), agentPath);
        QCOMPARE(registered.value(QLatin1String("owner")).toString(), QDBusConnection::sessionBus().baseService());

        // One agent, by anyone.
        const QDBusMessage again = managerCall(QStringLiteral("RegisterAgent"), { objectPath(QStringLiteral("/other")) });
        QCOMPARE(again.errorName(), QStringLiteral("org.openobex.Error.AlreadyExists"));
        QCOMPARE(again.errorMessage(), QStringLiteral("Agent already exists"));
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QCOMPARE(managerCall(QStringLiteral("RegisterAgent"), { objectPath(agentPath) }, other).errorName(),
                 QStringLiteral("org.openobex.Error.AlreadyExists"));
        // Another path, or another caller, cannot unregister it.
        const QDBusMessage wrongPath = managerCall(QStringLiteral("UnregisterAgent"), { objectPath(QStringLiteral("/other")) });
        QCOMPARE(wrongPath.errorName(), QStringLiteral("org.openobex.Error.DoesNotExist"));
        QCOMPARE(wrongPath.errorMessage(), QStringLiteral("Agent does not exist"));
        const QDBusMessage wrongCaller = managerCall(QStringLiteral("UnregisterAgent"), { objectPath(agentPath) }, other);
        QCOMPARE(wrongCaller.errorName(), QStringLiteral("org.openobex.Error.NotAuthorized"));
        // A wrong signature is no match at all.
        QCOMPARE(managerCall(QStringLiteral("RegisterAgent"), { agentPath }).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));

        QCOMPARE(agent.unregisterFromObexd(), QString());
        QCOMPARE(agent.unregisterFromObexd(), QStringLiteral("org.openobex.Error.DoesNotExist"));
        // obexd never calls Release on its agent.
        QTest::qWait(100);
        QCOMPARE(agent.members(), QStringList());

        // An agent whose owner leaves the bus is dropped.
        QCOMPARE(managerCall(QStringLiteral("RegisterAgent"), { objectPath(QStringLiteral("/other")) }, other).errorName(), QString());
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        QTRY_VERIFY(sim()->obexServerState().value(QLatin1String("agent")).isNull());
        QCOMPARE(agent.registerWithObexd(), QString());
    }

    void introspectionAndLogFollowTheInterfaceXml()
    {
        QVERIFY(sim()->clearCallLog());
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QCOMPARE(agent.registerWithObexd(), QString());
        agent.hold(QStringLiteral("Authorize"));
        QString transfer;
        const uint ticket = sim()->pushFile(phone, QStringLiteral("a.txt"), QStringLiteral("text/plain"), "abc", -1, &transfer);
        QVERIFY(agent.waitForCall(QStringLiteral("Authorize")));

        const QString root = obexCall(obexd, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                      QStringLiteral("Introspect")).arguments().value(0).toString();
        QVERIFY2(root.contains(QLatin1String("<interface name=\"org.openobex.Manager\">")), qPrintable(root));
        QVERIFY(root.contains(QLatin1String("<signal name=\"TransferCompleted\">")));
        QVERIFY(root.contains(QStringLiteral("<node name=\"%1\"/>").arg(transfer.mid(1))));
        const QString object = obexCall(obexd, transfer, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                        QStringLiteral("Introspect")).arguments().value(0).toString();
        QVERIFY2(object.contains(QLatin1String("<signal name=\"Progress\">")), qPrintable(object));
        QVERIFY(!object.contains(QLatin1String("GetProperties")));

        agent.answerHeld(QStringLiteral("a.txt"));
        QCOMPARE(outcome(ticket), QString());
        int introspections = 0;
        int registrations = 0;
        for (const SimulatorClient::Call &call : sim()->callLog()) {
            if (call.destination != obexd)
                continue;
            QCOMPARE(call.bus, QStringLiteral("session"));
            introspections += call.member == QLatin1String("Introspect");
            registrations += call.member == QLatin1String("RegisterAgent") && call.signature == QLatin1String("o");
        }
        QCOMPARE(introspections, 2);
        QCOMPARE(registrations, 1);
    }

    void pushIsStoredWhereTheAgentSays()
    {
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QCOMPARE(agent.registerWithObexd(), QString());
        const QString target = m_inbox + QStringLiteral("/Documents/renamed.txt");
        QVERIFY(QDir().mkpath(m_inbox + QStringLiteral("/Documents")));
        agent.answer(QStringLiteral("Authorize"), target);

        const QByteArray contents = "Hello, world: the body of a pushed note.\n";
        QString transfer;
        const uint ticket = sim()->pushFile(phone, QStringLiteral("note.txt"), QStringLiteral("text/plain"), contents, -1, &transfer);
        QVERIFY(ticket != 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^/transfer\\d+$")).match(transfer).hasMatch(), qPrintable(transfer));
        QCOMPARE(outcome(ticket), QString());

        QCOMPARE(readFile(target), contents);
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/note.txt")));
        const QList<ObexTestAgent::Call> authorize = agent.callsOf(QStringLiteral("Authorize"));
        QCOMPARE(authorize.size(), 1);
        QCOMPARE(authorize.first().arguments, QVariantList({ transfer, phone, QStringLiteral("note.txt"),
                                                             QStringLiteral("text/plain"), int(contents.size()), 0 }));
        QVERIFY(recorder.waitFor(QStringLiteral("TransferCompleted")));
        QCOMPARE(folded(recorder), QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));

        // Signatures: o; ii (total first); ob.
        const SignalRecorder::Entry started = recorder.entries().at(recorder.indexOf(QStringLiteral("TransferStarted")));
        QCOMPARE(started.path, QStringLiteral("/"));
        QCOMPARE(started.interface, QStringLiteral("org.openobex.Manager"));
        QCOMPARE(started.arguments, QVariantList({ objectPath(transfer) }));
        const SignalRecorder::Entry completed = recorder.entries().last();
        QCOMPARE(completed.arguments, QVariantList({ objectPath(transfer), true }));
        const SignalRecorder::Entry progress = recorder.entries().at(recorder.indexOf(QStringLiteral("Progress")));
        QCOMPARE(progress.path, transfer);
        QCOMPARE(progress.interface, transferInterface);
        QCOMPARE(progressOf(recorder).last(), QVariantList({ int(contents.size()), int(contents.size()) }));
        QCOMPARE(progressOf(recorder).last().first().metaType(), QMetaType::fromType<int>());

        // The remote disconnected: the transfer object is gone.
        QCOMPARE(obexCall(obexd, transfer, transferInterface, QStringLiteral("Cancel")).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
        const QJsonArray received = sim()->obexServerState().value(QLatin1String("received")).toArray();
        QCOMPARE(received.last().toObject().value(QLatin1String("file")).toString(), target);
        QCOMPARE(received.last().toObject().value(QLatin1String("success")).toBool(), true);
    }

    void severalObjectsShareOneConnection()
    {
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QCOMPARE(agent.registerWithObexd(), QString());
        // Bare names (the default answer is the remote's name) land in the root folder.
        QString transfer;
        const QJsonArray objects { QJsonObject { { "name", "one.vcf" }, { "type", "text/x-vcard" }, { "contents", "BEGIN:VCARD" } },
                                   QJsonObject { { "name", "two.jpg" }, { "type", "image/jpeg" }, { "size", 3000 } } };
        const uint ticket = sim()->pushFiles({ { "address", laptop }, { "objects", objects } }, &transfer);
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(m_inbox + QStringLiteral("/one.vcf")), QByteArray("BEGIN:VCARD"));
        const QByteArray two = readFile(m_inbox + QStringLiteral("/two.jpg"));
        QCOMPARE(two.size(), 3000);
        QVERIFY(two.startsWith("abcdefghijklmnopqrstuvwxyzabc"));
        QCOMPARE(two.at(2999), char('a' + 2999 % 26));

        QCOMPARE(folded(recorder), QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted",
                                                 "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));
        for (const ObexTestAgent::Call &call : agent.callsOf(QStringLiteral("Authorize")))
            QCOMPARE(call.arguments.first().toString(), transfer);
        QCOMPARE(agent.callsOf(QStringLiteral("Authorize")).last().arguments.mid(2),
                 QVariantList({ QStringLiteral("two.jpg"), QStringLiteral("image/jpeg"), 3000, 0 }));

        // The next connection gets the next number.
        QString next;
        QCOMPARE(outcome(sim()->pushFile(phone, QStringLiteral("three.txt"), QString(), "3", -1, &next)), QString());
        QCOMPARE(next.mid(9).toInt(), transfer.mid(9).toInt() + 1);
    }

    void refusalsEndThePushWithoutSignals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("answer");       // "!" refuses, "-" registers no agent
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("authorizeCalls");
        QTest::newRow("agent refuses") << "a.txt" << "!" << "Forbidden" << 1;
        QTest::newRow("no agent") << "a.txt" << "-" << "Forbidden" << 0;
        QTest::newRow("outside the root") << "a.txt" << "%OUTSIDE%/a.txt" << "Forbidden" << 1;
        QTest::newRow("missing folder") << "a.txt" << "%INBOX%/nowhere/a.txt" << "Forbidden" << 1;
        QTest::newRow("empty answer") << "a.txt" << "" << "BadRequest" << 1;
        QTest::newRow("folder without name") << "a.txt" << "%INBOX%/" << "BadRequest" << 1;
        QTest::newRow("name with a slash") << "../a.txt" << "a.txt" << "BadRequest" << 0;
        QTest::newRow("dot dot") << ".." << "a.txt" << "BadRequest" << 0;
    }

    void refusalsEndThePushWithoutSignals()
    {
        QFETCH(QString, name);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        QFETCH(int, authorizeCalls);
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        if (answer != QLatin1String("-"))
            QCOMPARE(agent.registerWithObexd(), QString());
        if (answer == QLatin1String("!"))
            agent.refuse(QStringLiteral("Authorize"));
        else
            agent.answer(QStringLiteral("Authorize"), QString(answer).replace(QLatin1String("%OUTSIDE%"), m_outside)
                                                                  .replace(QLatin1String("%INBOX%"), m_inbox));
        QCOMPARE(outcome(sim()->pushFile(phone, name, QStringLiteral("text/plain"), "refused")), expected);
        QCOMPARE(agent.callCount(QStringLiteral("Authorize")), authorizeCalls);
        QTest::qWait(50);
        QCOMPARE(recorder.count(QStringLiteral("TransferStarted")), 0);
        QCOMPARE(recorder.count(QStringLiteral("TransferCompleted")), 0);
        QCOMPARE(QDir(m_inbox).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(m_outside).entryList(QDir::Files), QStringList());
    }

    void optionsOfTheDaemon()
    {
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QCOMPARE(agent.registerWithObexd(), QString());
        // -l: paths outside the root folder are taken.
        QVERIFY(sim()->setObexOptions({ { "symlinks", true } }));
        agent.answer(QStringLiteral("Authorize"), m_outside + QStringLiteral("/elsewhere.txt"));
        QCOMPARE(outcome(sim()->pushFile(phone, QStringLiteral("a.txt"), QString(), "outside")), QString());
        QCOMPARE(readFile(m_outside + QStringLiteral("/elsewhere.txt")), QByteArray("outside"));
        // A folder that does not exist cannot be written: the object fails after it started.
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        agent.answer(QStringLiteral("Authorize"), m_outside + QStringLiteral("/missing/x.txt"));
        QCOMPARE(outcome(sim()->pushFile(phone, QStringLiteral("x.txt"), QString(), "x")), QStringLiteral("NotFound"));
        QCOMPARE(recorder.labels(), QStringList({ "TransferStarted", "TransferCompleted" }));
        QCOMPARE(recorder.entries().last().arguments.value(1), QVariant(false));

        // -a: nobody is asked, the remote's name is used in the root folder.
        QVERIFY(sim()->setObexOptions({ { "autoAccept", true }, { "symlinks", false } }));
        agent.clear();
        QCOMPARE(outcome(sim()->pushFile(phone, QStringLiteral("auto.txt"), QString(), "auto")), QString());
        QCOMPARE(readFile(m_inbox + QStringLiteral("/auto.txt")), QByteArray("auto"));
        QCOMPARE(agent.members(), QStringList());

        const QJsonObject options = sim()->obexServerState().value(QLatin1String("options")).toObject();
        QCOMPARE(options.value(QLatin1String("rootFolder")).toString(), m_inbox);
        QCOMPARE(options.value(QLatin1String("autoAccept")).toBool(), true);
    }

    void speedSetsThePaceOfProgress()
    {
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QCOMPARE(agent.registerWithObexd(), QString());
        QElapsedTimer clock;
        QString transfer;
        clock.start();
        const uint ticket = sim()->pushFiles({ { "address", phone }, { "name", "big.bin" }, { "size", 20000 },
                                               { "speed", 10000 }, { "announcedSize", -1 } },
                                             &transfer);
        QCOMPARE(outcome(ticket), QString());
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1800 && elapsed < 5000, qPrintable(QString::number(elapsed)));
        QCOMPARE(agent.callsOf(QStringLiteral("Authorize")).first().arguments.value(4), QVariant(-1));
        // A packet of a tenth of a second's worth each time, total unknown.
        const QList<QVariantList> progress = progressOf(recorder);
        QCOMPARE(progress.size(), 20);
        for (int i = 0; i < progress.size(); ++i)
            QCOMPARE(progress.at(i), QVariantList({ -1, (i + 1) * 1000 }));
        QCOMPARE(readFile(m_inbox + QStringLiteral("/big.bin")).size(), 20000);
    }

    void stalledPushMovesNothingUntilResumed()
    {
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QCOMPARE(agent.registerWithObexd(), QString());
        QString transfer;
        const uint ticket = sim()->pushFiles({ { "address", phone }, { "name", "slow.bin" }, { "size", 8000 },
                                               { "speed", 40000 }, { "stallAfter", 4000 } },
                                             &transfer);
        QTRY_COMPARE(transferState(transfer).value(QLatin1String("state")).toString(), QStringLiteral("stalled"));
        const int before = recorder.count(QStringLiteral("Progress"));
        QCOMPARE(progressOf(recorder).last(), QVariantList({ 8000, 4000 }));
        QCOMPARE(readFile(m_inbox + QStringLiteral("/slow.bin")).size(), 4000);
        QTest::qWait(500);
        QCOMPARE(recorder.count(QStringLiteral("Progress")), before);
        QVERIFY(!sim()->waitForRequest(ticket, 1));

        // Faster from now on; a stall by hand holds it again.
        QVERIFY(sim()->setTransferSpeed(transfer, 1000));
        QVERIFY(sim()->resumeTransfer(transfer));
        QVERIFY(recorder.waitFor(QStringLiteral("Progress"), 5000, before + 1));
        QVERIFY(sim()->stallTransfer(transfer));
        const int stalledAt = recorder.count(QStringLiteral("Progress"));
        QTest::qWait(400);
        QCOMPARE(recorder.count(QStringLiteral("Progress")), stalledAt);
        QVERIFY(sim()->setTransferSpeed(transfer, 0));
        QVERIFY(sim()->resumeTransfer(transfer));
        QCOMPARE(outcome(ticket), QString());
        QCOMPARE(readFile(m_inbox + QStringLiteral("/slow.bin")).size(), 8000);
        QVERIFY(!sim()->stallTransfer(transfer));
    }

    void remoteAbortDeletesThePartialFile()
    {
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QCOMPARE(agent.registerWithObexd(), QString());
        QString transfer;
        uint ticket = sim()->pushFiles({ { "address", phone }, { "name", "part.bin" }, { "size", 6000 },
                                         { "speed", 20000 }, { "stallAfter", 2000 } },
                                       &transfer);
        QTRY_COMPARE(transferState(transfer).value(QLatin1String("state")).toString(), QStringLiteral("stalled"));
        QVERIFY(QFile::exists(m_inbox + QStringLiteral("/part.bin")));
        QVERIFY(sim()->failTransfer(transfer, QStringLiteral("abort")));
        QCOMPARE(outcome(ticket), QStringLiteral("Aborted"));
        QCOMPARE(folded(recorder), QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));
        QCOMPARE(recorder.entries().last().arguments, QVariantList({ objectPath(transfer), false }));
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/part.bin")));

        // Planned in the push: the remote aborts after 3000 bytes.
        recorder.clear();
        ticket = sim()->pushFiles({ { "address", phone }, { "name", "cut.bin" }, { "size", 9000 }, { "speed", 30000 },
                                    { "abortAfter", 3000 } });
        QCOMPARE(outcome(ticket), QStringLiteral("Aborted"));
        QCOMPARE(progressOf(recorder).last(), QVariantList({ 9000, 3000 }));
        QCOMPARE(recorder.entries().last().arguments.value(1), QVariant(false));
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/cut.bin")));

        // The link drops while the agent decides: obexd cancels the agent's request.
        recorder.clear();
        agent.hold(QStringLiteral("Authorize"));
        ticket = sim()->pushFile(phone, QStringLiteral("gone.txt"), QString(), "gone", -1, &transfer);
        QVERIFY(agent.waitForCall(QStringLiteral("Authorize"), 5000, 3));
        QVERIFY(sim()->failTransfer(transfer, QStringLiteral("disconnect")));
        QCOMPARE(outcome(ticket), QStringLiteral("Disconnected"));
        QVERIFY(agent.waitForCall(QStringLiteral("Cancel")));
        QCOMPARE(agent.calls().last().replyExpected, false);
        QCOMPARE(recorder.labels(), QStringList({ "agent:Authorize", "agent:Cancel" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        agent.answerHeld(QStringLiteral("gone.txt"));  // too late: nothing happens
        QTest::qWait(100);
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/gone.txt")));
        QVERIFY(!sim()->failTransfer(QStringLiteral("/transfer999")));
    }

    void agentCancelsARunningTransfer()
    {
        SignalRecorder recorder(QDBusConnection::sessionBus(), obexd);
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath, &recorder);
        QCOMPARE(agent.registerWithObexd(), QString());
        QString transfer;
        const uint ticket = sim()->pushFiles({ { "address", phone }, { "name", "c.bin" }, { "size", 5000 },
                                               { "speed", 10000 }, { "stallAfter", 1000 } },
                                             &transfer);
        QTRY_COMPARE(transferState(transfer).value(QLatin1String("state")).toString(), QStringLiteral("stalled"));

        // Only the agent's owner may cancel.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        const QDBusMessage refused = obexCall(obexd, transfer, transferInterface, QStringLiteral("Cancel"), {}, other);
        QCOMPARE(refused.errorName(), QStringLiteral("org.openobex.Error.NotAuthorized"));
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));

        recorder.callAsync(obexMessage(obexd, transfer, transferInterface, QStringLiteral("Cancel")));
        QCOMPARE(outcome(ticket), QStringLiteral("Canceled"));
        QVERIFY(recorder.waitFor(QStringLiteral("TransferCompleted")));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:Cancel")));
        // (QtDBus may hand a reply and a signal over in either order.)
        QStringList labels = folded(recorder);
        labels.removeAll(QStringLiteral("reply:Cancel"));
        QCOMPARE(labels, QStringList({ "agent:Authorize", "TransferStarted", "Progress", "TransferCompleted" }));
        QCOMPARE(recorder.entries().at(recorder.indexOf(QStringLiteral("TransferCompleted"))).arguments.value(1), QVariant(false));
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/c.bin")));

        // A cancel while the agent is deciding ends the object as soon as it starts.
        recorder.clear();
        agent.hold(QStringLiteral("Authorize"));
        const uint second = sim()->pushFile(phone, QStringLiteral("d.txt"), QString(), "data", -1, &transfer);
        QVERIFY(agent.waitForCall(QStringLiteral("Authorize"), 5000, 2));
        QCOMPARE(obexCall(obexd, transfer, transferInterface, QStringLiteral("Cancel")).type(), QDBusMessage::ReplyMessage);
        agent.answerHeld(QStringLiteral("d.txt"));
        QCOMPARE(outcome(second), QStringLiteral("Canceled"));
        QCOMPARE(recorder.labels(), QStringList({ "agent:Authorize", "TransferStarted", "TransferCompleted" }));
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/d.txt")));
    }

    void unansweredAuthorizeIsReportedAndTimesOut()
    {
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QCOMPARE(agent.registerWithObexd(), QString());
        agent.hold(QStringLiteral("Authorize"));
        QString transfer;
        const uint first = sim()->pushFile(phone, QStringLiteral("wait.txt"), QStringLiteral("text/plain"), "12345", -1, &transfer);
        QVERIFY(agent.waitForCall(QStringLiteral("Authorize")));
        const QJsonArray pending = sim()->pendingAgentCalls();
        QCOMPARE(pending.size(), 1);
        const QJsonObject call = pending.first().toObject();
        QCOMPARE(call.value(QLatin1String("service")).toString(), obexd);
        QCOMPARE(call.value(QLatin1String("interface")).toString(), QStringLiteral("org.openobex.Agent"));
        QCOMPARE(call.value(QLatin1String("member")).toString(), QStringLiteral("Authorize"));
        QCOMPARE(call.value(QLatin1String("path")).toString(), agentPath);
        QCOMPARE(call.value(QLatin1String("owner")).toString(), QDBusConnection::sessionBus().baseService());
        QCOMPARE(call.value(QLatin1String("arguments")).toArray(),
                 QJsonArray({ transfer, phone, "wait.txt", "text/plain", 5, 0 }));

        // One authorization at a time: a second push is refused at once.
        QCOMPARE(outcome(sim()->pushFile(laptop, QStringLiteral("other.txt"), QString(), "x")), QStringLiteral("Forbidden"));
        QCOMPARE(agent.callCount(QStringLiteral("Authorize")), 1);

        agent.answerHeld(QStringLiteral("wait.txt"));
        QCOMPARE(outcome(first), QString());
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);

        // No answer in time: NoReply, then Cancel, and the push is refused.
        QVERIFY(sim()->setObexOptions({ { "authorizeTimeoutMs", 300 } }));
        agent.hold(QStringLiteral("Authorize"));
        AgentCallWatch::expectUnanswered();
        const uint late = sim()->pushFile(phone, QStringLiteral("late.txt"), QString(), "late");
        QCOMPARE(outcome(late), QStringLiteral("Forbidden"));
        QVERIFY(agent.waitForCall(QStringLiteral("Cancel")));
        QCOMPARE(agent.members(), QStringList({ "Authorize", "Authorize", "Cancel" }));
        QCOMPARE(sim()->pendingAgentCalls().size(), 0);
        QVERIFY(!QFile::exists(m_inbox + QStringLiteral("/late.txt")));
    }

    void plannedFaultsApplyToObexMethods()
    {
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QVERIFY(sim()->failNext(QStringLiteral("org.openobex.Manager.RegisterAgent"), QStringLiteral("org.openobex.Error.Failed"),
                                QStringLiteral("Injected")));
        QCOMPARE(agent.registerWithObexd(), QStringLiteral("org.openobex.Error.Failed"));
        QVERIFY(sim()->obexServerState().value(QLatin1String("agent")).isNull());
        QVERIFY(sim()->delayNext(QStringLiteral("RegisterAgent"), 400));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(agent.registerWithObexd(), QString());
        QVERIFY(clock.elapsed() >= 350);
        QVERIFY(sim()->neverAnswerNext(QStringLiteral("UnregisterAgent")));
        QDBusMessage call = obexMessage(obexd, QStringLiteral("/"), managerInterface, QStringLiteral("UnregisterAgent"),
                                        { objectPath(agentPath) });
        QCOMPARE(QDBusConnection::sessionBus().call(call, QDBus::Block, 300).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
        // It did unregister; only the answer was kept.
        QVERIFY(sim()->obexServerState().value(QLatin1String("agent")).isNull());
    }

    void restartDropsConnectionsAndTheAgent()
    {
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QCOMPARE(agent.registerWithObexd(), QString());
        QString transfer;
        const uint ticket = sim()->pushFiles({ { "address", phone }, { "name", "r.bin" }, { "size", 4000 },
                                               { "speed", 10000 }, { "stallAfter", 1000 } },
                                             &transfer);
        QTRY_COMPARE(transferState(transfer).value(QLatin1String("state")).toString(), QStringLiteral("stalled"));
        const QString before = owner(obexd);

        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(obexd, false));
        QCOMPARE(outcome(ticket), QStringLiteral("Disconnected"));
        QVERIFY(sim()->restoreService(obexd));
        QVERIFY(waitForName(obexd, true));
        QVERIFY(owner(obexd) != before);
        // A new process: no agent, and connections are counted from 1 again.
        QVERIFY(sim()->obexServerState().value(QLatin1String("agent")).isNull());
        QCOMPARE(outcome(sim()->pushFile(phone, QStringLiteral("x.txt"), QString(), "x", -1, &transfer)), QStringLiteral("Forbidden"));
        QCOMPARE(transfer, QStringLiteral("/transfer1"));
        QCOMPARE(agent.registerWithObexd(), QString());
        QCOMPARE(outcome(sim()->pushFile(phone, QStringLiteral("x.txt"), QString(), "x")), QString());
    }

    void callingTheDroppedNameActivatesIt()
    {
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(obexd, false));
        const int activations = sim()->obexServerState().value(QLatin1String("activations")).toInt();

        // Any call with the auto-start flag (QtDBus sets it) brings obexd back.
        ObexTestAgent agent(QDBusConnection::sessionBus(), agentPath);
        QCOMPARE(agent.registerWithObexd(), QString());
        QCOMPARE(sim()->obexServerState().value(QLatin1String("activations")).toInt(), activations + 1);
        // It is the running simulator that took the name, not a second one.
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        QCOMPARE(qint64(bus->servicePid(obexd).value()), TestEnvironment::instance()->simulatorPid());
        QCOMPARE(qint64(bus->servicePid(QStringLiteral("com.brivo.BtSim")).value()),
                 TestEnvironment::instance()->simulatorPid());

        // StartServiceByName, as the library asks after the daemon vanished.
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(obexd, false));
        const QDBusReply<void> started = bus->startService(obexd);
        QVERIFY2(started.isValid(), qPrintable(started.error().message()));
        QVERIFY(bus->isServiceRegistered(obexd).value());
        QCOMPARE(sim()->obexServerState().value(QLatin1String("activations")).toInt(), activations + 2);

        // A daemon that cannot be started.
        QVERIFY(sim()->setActivatable(obexd, false));
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(waitForName(obexd, false));
        const QDBusMessage failed = managerCall(QStringLiteral("RegisterAgent"), { objectPath(agentPath) });
        QCOMPARE(failed.errorName(), QStringLiteral("org.freedesktop.DBus.Error.Spawn.ChildExited"));
        QVERIFY(!bus->isServiceRegistered(obexd).value());
    }
};

OVRIN_TEST_MAIN(TestSimObexServer)
#include "tst_simobexserver.moc"
