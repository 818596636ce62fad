// Receiving pushed files through the OBEX agent, end to end against the
// simulated obexd: names chosen, files really written, transfers followed,
// obexd leaving and coming back, and callers that are not obexd.

#include "allsignalsspy.h"
#include "bluetoothobexagent.h"
#include "bluetoothtransfertracker.h"
#include "obexcall.h"
#include "obexworld.h"
#include "ovrintranslations.h"
#include "registry.h"

#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Ovrin;
using namespace OvrinTest;

namespace {

const QString agentInterface = QStringLiteral("org.openobex.Agent");

// What a remote sender may call its file to get it stored where it should
// not be, over something that exists, or not at all.
QStringList hostileNames()
{
    QStringList names;
    const auto add = [&names](std::initializer_list<const char16_t *> list) {
        for (const char16_t *name : list)
            names << QString::fromUtf16(name);
    };
    // Out of the folder.
    add({ u"../escape.jpg",
          u"../../../../etc/passwd",
          u"/etc/passwd",
          u"/tmp/ovrin-hostile-absolute.jpg",
          u"a/../../b.jpg",
          u"..\\..\\windows.jpg",
          u"C:\\Windows\\system.ini",
          u"\\\\server\\share\\x.jpg",
          u"....//....//escape.jpg",
          u"a/./b/../c.jpg",
          u"~/escape.jpg",
          u"~root",
          u"$HOME.jpg",
          u"%2e%2e%2fescape.jpg",
          u"file:///etc/passwd",
          u"/dev/null",
          u"/proc/self/mem",
          u"dir/",
          u"/",
          u"..\u2215lookalike.jpg" });
    // Only dots.
    add({ u"..", u".", u"...", u"....", u"./hidden.jpg", u"..jpg", u".jpg" });
    names << QString(300, u'.');
    // Control and format characters.
    add({ u"a\u0001b.jpg", u"tab\tname.jpg", u"new\nline.jpg", u"cr\rname.jpg", u"\u007f.jpg",
          u"\u001b[2J.png", u"\u202egpj.exe", u"zero\u200bwidth.jpg", u"\ufeffbom.jpg" });
    // Too long for the file system.
    names << QString(4096, u'a') + QStringLiteral(".jpg");
    names << QString(4096, QChar(0xe4));
    names << QStringLiteral("../") + QString(4000, u'b');
    names << QString(2000, u'/') + QStringLiteral("x.jpg");
    names << QString(250, u'x') + QStringLiteral("\U0001F600.jpg");
    // Names of what already exists, also in another case.
    add({ u"photo.jpg", u"Photo.jpg", u"PHOTO.JPG", u"photo_1.jpg", u"notes", u"Notes",
          u"received_file", u"received_file.jpg", u"Pictures", u"Music", u"trailing.jpg.",
          u"-rf" });
    return names;
}

} // namespace

class TestBluetoothObexAgent : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;

    QString pictures() const { return m_base.filePath(QStringLiteral("Pictures")); }
    QString music() const { return m_base.filePath(QStringLiteral("Music")); }

    uint push(const QString &name, const QString &type, const QByteArray &contents, int speed = -1,
              QString *transfer = nullptr)
    {
        return sim()->pushFile(anna, name, type, contents, speed, transfer);
    }

    QStringList storedFiles() const { return filesUnder(m_base.path()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(m_base.isValid());
        BluetoothTransferTracker::setBasePath(m_base.path());
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(obexScenario)),
                 qPrintable(sim()->lastError()));
    }

    void init()
    {
        QDir base(m_base.path());
        QVERIFY(base.removeRecursively());
        QVERIFY(base.mkpath(QStringLiteral("Pictures")));
        QVERIFY(base.mkpath(QStringLiteral("Music")));
        // obexd stores only under its root unless told otherwise.
        QVERIFY(sim()->setObexOptions(
            { { "rootFolder", m_base.path() }, { "speed", 0 }, { "autoAccept", false } }));
        QVERIFY(sim()->clearCallLog());
        TransferUI::Registry::instance()->clear();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void cleanup() { QTRY_COMPARE(sim()->pendingAgentCalls().size(), 0); }

    void agentsOfEitherKindHaveTheirOwnPaths()
    {
        BluetoothObexAgent server(BluetoothObexAgent::Server);
        BluetoothObexAgent client(BluetoothObexAgent::Client);
        const QRegularExpression form(QStringLiteral("^/com/brivo/obex_agent/[0-9a-f]{32}$"));
        QVERIFY2(form.match(server.path()).hasMatch(), qPrintable(server.path()));
        QVERIFY2(form.match(client.path()).hasMatch(), qPrintable(client.path()));
        QVERIFY(server.path() != client.path());
    }

    void pushIsStoredUnderAFreeNameInItsTypeFolder()
    {
        QVERIFY(writeFile(pictures() + QStringLiteral("/photo.jpg"), "older photo"));
        PushReceiver receiver;
        QCOMPARE(receiver.registered.size(), 1);

        QString transfer;
        const QByteArray contents(4096, 'j');
        const uint ticket = push(QStringLiteral("photo.jpg"), QStringLiteral("image/jpeg"),
                                 contents, -1, &transfer);
        QVERIFY(ticket);
        QVERIFY(receiver.requested.wait());
        const QList<QVariant> request = receiver.requested.first();
        QCOMPARE(request.at(0).toString(), transfer);
        QCOMPARE(request.at(1).toString(), QStringLiteral("photo_1.jpg"));
        QCOMPARE(request.at(2).toString(), QStringLiteral("image/jpeg"));
        QCOMPARE(request.at(3).toULongLong(), qulonglong(contents.size()));
        QCOMPARE(request.at(4).toInt(), 0);
        // Without a speed limit the end may come with the question.
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(receiver.completed.first().at(0).toString(), transfer);
        QCOMPARE(sim()->waitForRequest(ticket), std::optional<QString>(QString()));

        QCOMPARE(readFile(pictures() + QStringLiteral("/photo_1.jpg")), contents);
        QCOMPARE(readFile(pictures() + QStringLiteral("/photo.jpg")), QByteArray("older photo"));
        QVERIFY(receiver.failed.isEmpty());
        // What described the transfer is gone with it.
        QCOMPARE(receiver.agent.fileName(), QString());
        QCOMPARE(receiver.agent.remoteDeviceAddress(), QString());

        const auto transfers = TransferUI::Registry::instance()->transfers();
        QCOMPARE(transfers.size(), 1);
        QCOMPARE(transfers[0].targetName, anna);

        // The next one finds both taken.
        QVERIFY(push(QStringLiteral("photo.jpg"), QStringLiteral("image/jpeg"), "third"));
        QTRY_COMPARE(receiver.completed.size(), 2);
        QCOMPARE(receiver.lastName(), QStringLiteral("photo_2.jpg"));
        QCOMPARE(readFile(pictures() + QStringLiteral("/photo_2.jpg")), QByteArray("third"));
    }

    void typeComesFromTheNameWhenObexdHasNone()
    {
        PushReceiver receiver;
        QVERIFY(push(QStringLiteral("song.tar.mp3"), QString(), "ID3"));
        QVERIFY(receiver.requested.wait());
        QCOMPARE(receiver.requested.first().at(2).toString(), QStringLiteral("audio/mpeg"));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(readFile(music() + QStringLiteral("/song.tar.mp3")), QByteArray("ID3"));

        // A taken name gets its number before the first dot.
        QVERIFY(push(QStringLiteral("song.tar.mp3"), QString(), "ID3 again"));
        QTRY_COMPARE(receiver.completed.size(), 2);
        QCOMPARE(receiver.lastName(), QStringLiteral("song_1.tar.mp3"));
        QVERIFY(push(QStringLiteral("notes"), QStringLiteral("text/plain"), "a"));
        QTRY_COMPARE(receiver.completed.size(), 3);
        QVERIFY(push(QStringLiteral("notes"), QStringLiteral("text/plain"), "b"));
        QTRY_COMPARE(receiver.completed.size(), 4);
        QCOMPARE(receiver.lastName(), QStringLiteral("notes_1."));
    }

    // Rejected, or accepted with an answer obexd would store under the
    // sender's name in a folder of its own: nothing is stored, and the
    // request is answered once.
    void refusedPushStoresNothing_data()
    {
        QTest::addColumn<bool>("reject");
        QTest::addColumn<QString>("answer");
        QTest::newRow("rejected") << true << QString();
        QTest::newRow("empty answer") << false << QString();
        QTest::newRow("bare name") << false << QStringLiteral("photo.jpg");
    }

    void refusedPushStoresNothing()
    {
        QFETCH(bool, reject);
        QFETCH(QString, answer);
        PushReceiver receiver(PushReceiver::Asked);
        QString transfer;
        const uint ticket = push(QStringLiteral("photo.jpg"), QStringLiteral("image/jpeg"), "data",
                                 -1, &transfer);
        QVERIFY(receiver.requested.wait());
        if (reject) {
            receiver.agent.rejectTransfer(transfer);
        } else {
            QTest::ignoreMessage(
                QtWarningMsg,
                qPrintable(QStringLiteral("Refusing transfer '%1': '%2' is no absolute path")
                               .arg(transfer, answer)));
            receiver.agent.authorizeTransfer(transfer, answer);
        }
        QCOMPARE(sim()->waitForRequest(ticket),
                 std::optional<QString>(QStringLiteral("Forbidden")));
        QCOMPARE(storedFiles(), QStringList());
        QVERIFY(receiver.completed.isEmpty());
        QCOMPARE(receiver.agent.fileName(), QString());

        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Invalid request for transfer '%1'").arg(transfer)));
        receiver.agent.authorizeTransfer(transfer, pictures() + QStringLiteral("/photo.jpg"));
    }

    void answeringTwiceSendsOneAnswer()
    {
        PushReceiver receiver;
        QString transfer;
        const uint ticket
            = push(QStringLiteral("a.jpg"), QStringLiteral("image/jpeg"), "a", -1, &transfer);
        QTRY_COMPARE(receiver.completed.size(), 1);
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Invalid request for transfer '%1'").arg(transfer)));
        receiver.agent.authorizeTransfer(transfer, QStringLiteral("b.jpg"));
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Invalid request for transfer '%1'").arg(transfer)));
        receiver.agent.rejectTransfer(transfer);
        QCOMPARE(sim()->waitForRequest(ticket), std::optional<QString>(QString()));
        QCOMPARE(storedFiles(), QStringList { QStringLiteral("Pictures/a.jpg") });
    }

    void runningTransferFollowedAndCancelled_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("cancelled by the owner") << true;
        QTest::newRow("aborted by the sender") << false;
    }

    void runningTransferFollowedAndCancelled()
    {
        QFETCH(bool, cancelled);
        PushReceiver receiver;
        QString transfer;
        const uint ticket = push(QStringLiteral("film.jpg"), QStringLiteral("image/jpeg"),
                                 QByteArray(60000, 'f'), 20000, &transfer);
        QVERIFY(receiver.progressed.wait());
        const QList<QVariant> progress = receiver.progressed.first();
        QCOMPARE(progress.at(0).toString(), transfer);
        QVERIFY(progress.at(1).toULongLong() < 60000);
        QCOMPARE(progress.at(2).toULongLong(), qulonglong(60000));

        if (cancelled)
            receiver.agent.cancelTransfer(transfer);
        else
            QVERIFY(sim()->failTransfer(transfer));
        QVERIFY(receiver.failed.wait());
        QCOMPARE(receiver.failed.first().at(0).toString(), transfer);
        QCOMPARE(receiver.failed.first().at(1).toString(),
                 cancelled ? QStringLiteral("Transfer canceled")
                           : QStringLiteral("Transfer completed unsuccessfully"));
        QVERIFY(receiver.completed.isEmpty());
        QCOMPARE(sim()->waitForRequest(ticket),
                 std::optional<QString>(cancelled ? QStringLiteral("Canceled")
                                                  : QStringLiteral("Aborted")));
        QCOMPARE(storedFiles(), QStringList());

        // The flag belongs to the cancelled transfer only.
        QVERIFY(push(QStringLiteral("next.jpg"), QStringLiteral("image/jpeg"), "n"));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(receiver.failed.size(), 1);
    }

    // Several pushes at once: each keeps its own record, and obexd leaving
    // fails every one and takes away what each had written; the agent is
    // registered again with the next obexd.
    void everyPushKeepsItsOwnRecord()
    {
        // A fresh obexd, so that the next one numbers its transfers alike.
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(sim()->restoreService(obexd));
        PushReceiver receiver;
        QCOMPARE(receiver.registered.size(), 1);
        QStringList transfers;
        for (const char *name : { "first.jpg", "second.jpg", "third.jpg" }) {
            QString transfer;
            QVERIFY(push(QLatin1String(name), QStringLiteral("image/jpeg"), QByteArray(100000, 'p'),
                         10000, &transfer));
            QTRY_COMPARE(receiver.requested.size(), transfers.size() + 1);
            transfers << transfer;
        }
        QTRY_COMPARE(storedFiles().size(), 3);

        // The end of one push leaves the last one asked about described.
        QVERIFY(sim()->failTransfer(transfers.at(0)));
        QVERIFY(receiver.failed.wait());
        QCOMPARE(receiver.agent.fileName(), QStringLiteral("third.jpg"));
        QCOMPARE(receiver.agent.mimeType(), QStringLiteral("image/jpeg"));
        QCOMPARE(receiver.agent.remoteDeviceAddress(), anna);

        QVERIFY(sim()->setActivatable(obexd, false));
        QTest::ignoreMessage(QtWarningMsg,
                             "BluetoothObexAgentPrivate: Unable to start service org.openobex");
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(receiver.unregistered.wait());
        QCOMPARE(receiver.registered.size(), 1);
        QStringList failed;
        for (const QList<QVariant> &failure : std::as_const(receiver.failed))
            failed << failure.at(0).toString() + u' ' + failure.at(1).toString();
        QCOMPARE(
            failed,
            QStringList({ transfers.at(0) + QStringLiteral(" Transfer completed unsuccessfully"),
                          transfers.at(1) + u' ', transfers.at(2) + u' ' }));
        QCOMPARE(storedFiles(), QStringList());
        QCOMPARE(receiver.agent.fileName(), QString());

        // The next obexd's transfers take the lost ones' paths; pushes it
        // takes without asking are none of this agent's.
        QVERIFY(sim()->setObexOptions({ { "autoAccept", true } }));
        QVERIFY(sim()->restoreService(obexd));
        QVERIFY(receiver.registered.wait());
        receiver.progressed.clear();
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral("^Ignoring TransferCompleted of /transfer1:")));
        for (int i = 0; i < 3; ++i) {
            const uint ticket = push(QStringLiteral("auto%1.txt").arg(i),
                                     QStringLiteral("text/plain"), QByteArray(20000, 'a'), 40000);
            QCOMPARE(sim()->waitForRequest(ticket), std::optional<QString>(QString()));
        }
        QVERIFY(sim()->setObexOptions({ { "autoAccept", false } }));
        QString asked;
        QVERIFY(push(QStringLiteral("asked.jpg"), QStringLiteral("image/jpeg"),
                     QByteArray(20000, 'q'), 40000, &asked));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QVERIFY(!receiver.progressed.isEmpty());
        for (const QList<QVariant> &report : std::as_const(receiver.progressed))
            QCOMPARE(report.at(0).toString(), asked);
        QCOMPARE(readFile(pictures() + QStringLiteral("/asked.jpg")), QByteArray(20000, 'q'));
        QVERIFY(sim()->setActivatable(obexd, true));
    }

    // obexd tells sizes as int32: -1 when the sender gave none, and sizes
    // above 2 GiB wrap to negative numbers.
    void sizesObexdCannotTellAreZero_data()
    {
        QTest::addColumn<qint64>("announced");
        QTest::newRow("none") << qint64(-1);
        QTest::newRow("above 2 GiB") << qint64(3000000000LL);
    }

    void sizesObexdCannotTellAreZero()
    {
        QFETCH(qint64, announced);
        PushReceiver receiver;
        QVERIFY(sim()->pushFiles({ { "address", anna },
                                   { "name", "sized.jpg" },
                                   { "type", "image/jpeg" },
                                   { "size", 20000 },
                                   { "announcedSize", announced },
                                   { "speed", 40000 } }));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(receiver.requested.first().at(3).toULongLong(), qulonglong(0));
        QVERIFY(!receiver.progressed.isEmpty());
        for (const QList<QVariant> &report : std::as_const(receiver.progressed))
            QCOMPARE(report.at(2).toULongLong(), qulonglong(0));
    }

    // obexd stops waiting for an answer (the sender went): the agent forgets
    // the question and says which one it was.
    void withdrawnRequestIsForgotten()
    {
        PushReceiver receiver(PushReceiver::Asked);
        QSignalSpy withdrawn(&receiver.agent, &BluetoothObexAgent::cancel);
        QString transfer;
        const uint ticket = push(QStringLiteral("asked.jpg"), QStringLiteral("image/jpeg"), "data",
                                 -1, &transfer);
        QVERIFY(receiver.requested.wait());
        QVERIFY(sim()->failTransfer(transfer, QStringLiteral("disconnect")));
        QVERIFY(withdrawn.wait());
        QCOMPARE(withdrawn.first().at(0).toString(), transfer);
        QCOMPARE(receiver.agent.fileName(), QString());
        QCOMPARE(receiver.agent.remoteDeviceAddress(), QString());
        QCOMPARE(sim()->waitForRequest(ticket),
                 std::optional<QString>(QStringLiteral("Disconnected")));
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Invalid request for transfer '%1'").arg(transfer)));
        receiver.agent.authorizeTransfer(transfer, pictures() + QStringLiteral("/asked.jpg"));
        QCOMPARE(storedFiles(), QStringList());
    }

    void obexdLeavingIsAskedBackByTheAgent()
    {
        PushReceiver receiver;
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(receiver.unregistered.wait());
        // The agent asks the bus to start obexd, which registers it again.
        QTRY_COMPARE(receiver.registered.size(), 2);
        QVERIFY(push(QStringLiteral("again.jpg"), QStringLiteral("image/jpeg"), "again"));
        QTRY_COMPARE(receiver.completed.size(), 1);
    }

    void remoteNamesStayInTheirFolder_data()
    {
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<QString>("stored");
        QTest::newRow("backslashes")
            << QStringLiteral("..\\..\\etc\\passwd.jpg") << QStringLiteral("Pictures/passwd.jpg");
        QTest::newRow("only dots") << QStringLiteral("...") << QStringLiteral("received_file");
        QTest::newRow("control character")
            << QStringLiteral("a\u0007b.jpg") << QStringLiteral("Pictures/received_file.jpg");
        QTest::newRow("escape sequence")
            << QStringLiteral("\u001b[31mred.png") << QStringLiteral("Pictures/received_file.png");
        QTest::newRow("line break")
            << QStringLiteral("two\nlines") << QStringLiteral("received_file");
        QTest::newRow("hidden") << QStringLiteral(".profile") << QStringLiteral("_profile");
        QTest::newRow("hidden with a type")
            << QStringLiteral(".hidden.jpg") << QStringLiteral("Pictures/_hidden.jpg");
        QTest::newRow("long") << QString(4000, u'x') + QStringLiteral(".jpg")
                              << QStringLiteral("Pictures/") + QString(236, u'x')
                + QStringLiteral(".jpg");
    }

    void remoteNamesStayInTheirFolder()
    {
        QFETCH(QString, remoteName);
        QFETCH(QString, stored);
        PushReceiver receiver;
        const QString type = stored.startsWith(QLatin1String("Pictures/"))
            ? QStringLiteral("image/jpeg")
            : QString();
        QVERIFY(push(remoteName, type, "data"));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(storedFiles(), QStringList { stored });
    }

    // Names a hostile or broken sender may give, while the folders already
    // hold files of the same names.
    void hostileRemoteNamesNeitherEscapeNorOverwrite()
    {
        const QStringList existing { QStringLiteral("Pictures/photo.jpg"),
                                     QStringLiteral("Pictures/photo_1.jpg"),
                                     QStringLiteral("notes"), QStringLiteral("received_file"),
                                     QStringLiteral("Pictures/received_file.jpg") };
        for (const QString &file : existing)
            QVERIFY(writeFile(m_base.filePath(file), "older " + file.toUtf8()));
        const QStringList names = hostileNames();
        QVERIFY(names.size() >= 50);

        PushReceiver receiver;
        QHash<QString, QByteArray> expected;
        for (const QString &file : existing)
            expected.insert(file, "older " + file.toUtf8());
        int refusedByObexd = 0;
        for (int i = 0; i < names.size(); ++i) {
            const QStringList before = storedFiles();
            const QByteArray contents = "hostile #" + QByteArray::number(i);
            const uint ticket = push(names.at(i), QString(), contents);
            QVERIFY(ticket);
            // obexd itself turns away some names (a "/" in them) before any agent sees them.
            const std::optional<QString> outcome = sim()->waitForRequest(ticket);
            QVERIFY(outcome.has_value());
            if (!outcome->isEmpty()) {
                QCOMPARE(*outcome, QStringLiteral("BadRequest"));
                QCOMPARE(storedFiles(), before);
                ++refusedByObexd;
                continue;
            }
            QTRY_COMPARE(receiver.completed.size(), i + 1 - refusedByObexd);
            QStringList added = storedFiles();
            for (const QString &file : before)
                added.removeOne(file);
            QVERIFY2(added.size() == 1,
                     qPrintable(QStringLiteral("name #%1 gave %2").arg(i).arg(added.join(u'|'))));
            QCOMPARE(readFile(m_base.filePath(added.first())), contents);
            // Never a hidden file, which could pass for a start-up file.
            QVERIFY2(!QFileInfo(added.first()).fileName().startsWith(u'.'),
                     qPrintable(added.first()));
            expected.insert(added.first(), contents);
        }
        qInfo("%lld hostile names: %lld stored inside their folder under a free name, %d refused "
              "by obexd",
              qlonglong(names.size()), qlonglong(names.size() - refusedByObexd), refusedByObexd);
        // Nothing was overwritten, nothing landed elsewhere.
        QCOMPARE(storedFiles().size(), expected.size());
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(readFile(m_base.filePath(it.key())), it.value());
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/ovrin-hostile-absolute.jpg")));
        QVERIFY(receiver.failed.isEmpty());
    }

    void callersOtherThanTheDaemonAreRefused_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        const QVariant transfer = QVariant::fromValue(QDBusObjectPath("/transfer99"));
        const QList<std::pair<const char *, QVariantList>> calls {
            { "Release", {} },
            { "Request", { transfer } },
            { "Progress", { transfer, qulonglong(5) } },
            { "Complete", { transfer } },
            { "Error", { transfer, QStringLiteral("boom") } },
            { "Authorize",
              { transfer, anna, QStringLiteral("evil.jpg"), QStringLiteral("image/jpeg"), 10, 0 } },
            { "Cancel", {} },
            { "obexServiceRegistered", { obexd } },
            { "obexServiceUnregistered", { obexd } },
        };
        for (const int type : { BluetoothObexAgent::Server, BluetoothObexAgent::Client }) {
            for (const auto &[member, arguments] : calls) {
                QTest::addRow("%s %s", type == BluetoothObexAgent::Server ? "server" : "client",
                              member)
                    << type << QString::fromLatin1(member) << arguments;
            }
        }
    }

    // Only the daemon an agent serves may ask it anything; anyone else is
    // refused and nothing happens: no signal, no request kept, no file.
    void callersOtherThanTheDaemonAreRefused()
    {
        QFETCH(int, type);
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        BluetoothObexAgent agent(BluetoothObexAgent::Type(type), nullptr);
        if (type == BluetoothObexAgent::Server) {
            QSignalSpy registered(&agent, &BluetoothObexAgent::serviceRegistered);
            agent.registerToObexService();
            QTRY_COMPARE(registered.size(), 1);
        }
        AllSignalsSpy anySignal(&agent);
        QCOMPARE(anySignal.signalCount(), 7);

        const QString stranger = QStringLiteral("stranger");
        QDBusConnection connection
            = QDBusConnection::connectToBus(QDBusConnection::SessionBus, stranger);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QDBusConnection::sessionBus().baseService(), agent.path(), agentInterface, member);
        call.setArguments(arguments);
        // The agent lives on this thread: wait with the event loop running.
        QDBusPendingCall pending = connection.asyncCall(call, 5000);
        QVERIFY(QTest::qWaitFor([&pending]() { return pending.isFinished(); }, 6000));
        QCOMPARE(pending.reply().errorName(), QStringLiteral("org.openobex.Error.Rejected"));
        QDBusConnection::disconnectFromBus(stranger);

        QTest::qWait(50);
        QCOMPARE(anySignal.emitted(), QByteArray());
        QCOMPARE(agent.fileName(), QString());
        QCOMPARE(agent.remoteDeviceAddress(), QString());
        QTest::ignoreMessage(QtWarningMsg, "Invalid request for transfer '/transfer99'");
        agent.authorizeTransfer(QStringLiteral("/transfer99"),
                                pictures() + QStringLiteral("/evil.jpg"));
        QCOMPARE(storedFiles(), QStringList());
    }
};

OVRIN_TEST_MAIN(TestBluetoothObexAgent)
#include "tst_bluetoothobexagent.moc"
