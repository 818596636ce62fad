// Receiving pushed files through the OBEX agent, end to end against the
// simulated obexd: names chosen, files really written, transfers followed,
// obexd leaving and coming back, and callers that are not obexd.

#include "allsignalsspy.h"
#include "obexworld.h"
#include "ovrintranslations.h"


#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QThread>
#include <QJsonArray>
#include <QStandardPaths>
#include <QUuid>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Ovrin;
using namespace OvrinTest;

namespace {

const QString agentInterface = QStringLiteral("org.openobex.Agent");
const QString agent5Interface = QStringLiteral("org.bluez.obex.Agent1");

// Names a remote sender may give, each with where it is stored when that is
// known: ordinary ones, and ones that would get a file stored where it should
// not be, over something that exists, or not at all.
QList<std::pair<QString, QString>> remoteNames()
{
    QList<std::pair<QString, QString>> names {
        // Without a type the agent takes it from the name; a taken name gets
        // its number before the first dot.
        { "song.tar.mp3", "Music/song.tar.mp3" },
        { "song.tar.mp3", "Music/song_1.tar.mp3" },
        { "notes", "notes" },
        { "notes", "notes_1." },
        { "..\\..\\etc\\passwd.jpg", "Pictures/passwd.jpg" },
        { "...", "received_file" },
        { "a\u0007b.jpg", "Pictures/received_file.jpg" },
        { ".profile", "_profile" },
        { ".hidden.jpg", "Pictures/_hidden.jpg" },
        { QString(4000, u'x') + ".jpg", "Pictures/" + QString(236, u'x') + ".jpg" },
        { "photo.jpg", "Pictures/photo_2.jpg" },
    };
    const QStringList hostile
        = QString::fromUtf16(u"../escape.jpg|../../../../etc/passwd|/etc/passwd|a/../../b.jpg|"
                             u"/tmp/ovrin-hostile-absolute.jpg|..\\..\\windows.jpg|~/escape.jpg|"
                             u"C:\\Windows\\system.ini|\\\\server\\share\\x.jpg|/dev/null|dir/|/|"
                             u"....//....//escape.jpg|%2e%2e%2fescape.jpg|file:///etc/passwd|"
                             u"..\u2215lookalike.jpg|..|.|./hidden.jpg|..jpg|.jpg|a\u0001b.jpg|"
                             u"new\nline.jpg|two\nlines|\u007f.jpg|\u001b[2J.png|\u202egpj.exe|"
                             u"\ufeffbom.jpg|PHOTO.JPG|photo_1.jpg|received_file|Pictures|"
                             u"received_file.jpg|trailing.jpg.|-rf")
              .split(u'|')
        << QString(300, u'.') << QString(4096, u'a') + ".jpg" << QString(4096, QChar(0xe4))
        << "../" + QString(4000, u'b') << QString(250, u'x') + "\U0001F600.jpg";
    for (const QString &name : hostile)
        names.append({ name, QString() });
    return names;
}

void expectInvalid(const QString &transfer)
{
    QTest::ignoreMessage(
        QtWarningMsg,
        qPrintable(QStringLiteral("Invalid request for transfer '%1'").arg(transfer)));
}

} // namespace

class TestBluetoothObexAgent : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;

    QString pictures() const { return m_base.filePath("Pictures"); }

    QStringList storedFiles() const { return filesUnder(m_base.path()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(m_base.isValid());
        BluetoothTransferTracker::setBasePath(m_base.path());
        QVERIFY(sim()->loadScenarioFile(TestEnvironment::testData(obexScenario)));
    }

    void init()
    {
        QDir base(m_base.path());
        QVERIFY(base.removeRecursively());
        QVERIFY(base.mkpath("Pictures") && base.mkpath("Music"));
        // obexd stores only under its root unless told otherwise.
        QVERIFY(sim()->setObexOptions(
            { { "rootFolder", m_base.path() }, { "speed", 0 }, { "autoAccept", false } }));
        TransferUI::Registry::instance()->clear();
        QTest::failOnWarning(QRegularExpression("."));
    }

    void cleanup() { QTRY_COMPARE(sim()->pendingAgentCalls().size(), 0); }

    void pushIsStoredUnderAFreeNameInItsTypeFolder()
    {
        QVERIFY(writeFile(pictures() + QStringLiteral("/photo.jpg"), "older photo"));
        PushReceiver receiver;
        QString transfer;
        const QByteArray contents(4096, 'j');
        const uint ticket = pushFromAnna("photo.jpg", "image/jpeg", contents, -1, &transfer);
        QVERIFY(receiver.requested.wait());
        QCOMPARE(receiver.requested.first(),
                 QVariantList({ transfer, "photo_1.jpg", QStringLiteral("image/jpeg"),
                                qulonglong(contents.size()), 0 }));
        // Without a speed limit the end may come with the question.
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(receiver.completed.first().at(0).toString(), transfer);
        QCOMPARE(readFile(pictures() + QStringLiteral("/photo_1.jpg")), contents);
        QCOMPARE(readFile(pictures() + QStringLiteral("/photo.jpg")), QByteArray("older photo"));
        QVERIFY(receiver.failed.isEmpty());
        // What described the transfer is gone with it.
        QCOMPARE(receiver.agent.fileName(), QString());
        QCOMPARE(receiver.agent.remoteDeviceAddress(), QString());
        QCOMPARE(onlyTransfer().targetName, anna);
        // Answering again sends nothing more.
        expectInvalid(transfer);
        receiver.agent.authorizeTransfer(transfer, "b.jpg");
        expectInvalid(transfer);
        receiver.agent.rejectTransfer(transfer);
        QCOMPARE(sim()->waitForRequest(ticket), std::optional<QString>(QString()));
    }

    void pushWithoutAFile_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("rejected") << "reject"
                                  << "Forbidden";
        QTest::newRow("empty answer") << ""
                                      << "Forbidden";
        QTest::newRow("bare name") << "photo.jpg"
                                   << "Forbidden";
        QTest::newRow("withdrawn by obexd") << "withdraw"
                                            << "Disconnected";
        QTest::newRow("cancelled by the owner") << "cancel"
                                                << "Canceled";
        QTest::newRow("aborted by the sender") << "abort"
                                               << "Aborted";
    }

    // Rejected, accepted with an answer obexd would store under the sender's
    // name in a folder of its own, withdrawn by obexd (the sender went), or
    // ended while it runs: nothing is stored, the request is answered once
    // and forgotten, and the next push is none of its business.
    void pushWithoutAFile()
    {
        QFETCH(QString, end);
        QFETCH(QString, outcome);
        PushReceiver receiver(PushReceiver::Asked);
        QSignalSpy withdrawn(&receiver.agent, &BluetoothObexAgent::cancel);
        QString transfer;
        const uint ticket
            = pushFromAnna("photo.jpg", "image/jpeg", QByteArray(60000, 'f'), 20000, &transfer);
        QVERIFY(receiver.requested.wait());
        const bool running = end == QLatin1String("cancel") || end == QLatin1String("abort");
        if (end == QLatin1String("reject")) {
            receiver.agent.rejectTransfer(transfer);
        } else if (end == QLatin1String("withdraw")) {
            QVERIFY(sim()->failTransfer(transfer, "disconnect"));
            QVERIFY(withdrawn.wait());
            QCOMPARE(withdrawn.first().at(0).toString(), transfer);
        } else if (!running) {
            QTest::ignoreMessage(
                QtWarningMsg,
                qPrintable(QStringLiteral("Refusing transfer '%1': '%2' is no absolute path")
                               .arg(transfer, end)));
            receiver.agent.authorizeTransfer(transfer, end);
        } else {
            receiver.agent.authorizeTransfer(transfer, pictures() + QStringLiteral("/photo.jpg"));
            QVERIFY(receiver.progressed.wait());
            const QList<QVariant> progress = receiver.progressed.first();
            QCOMPARE(progress.at(0).toString(), transfer);
            QVERIFY(progress.at(1).toULongLong() < 60000);
            QCOMPARE(progress.at(2).toULongLong(), qulonglong(60000));
            if (end == QLatin1String("cancel"))
                receiver.agent.cancelTransfer(transfer);
            else
                QVERIFY(sim()->failTransfer(transfer));
            QVERIFY(receiver.failed.wait());
            QCOMPARE(receiver.failed.first(),
                     QVariantList({ transfer,
                                    end == QLatin1String("cancel")
                                        ? "Transfer canceled"
                                        : "Transfer completed unsuccessfully" }));
        }
        QCOMPARE(sim()->waitForRequest(ticket), std::optional<QString>(outcome));
        QCOMPARE(receiver.agent.fileName(), QString());
        QCOMPARE(receiver.agent.remoteDeviceAddress(), QString());
        expectInvalid(transfer);
        receiver.agent.authorizeTransfer(transfer, pictures() + QStringLiteral("/photo.jpg"));
        QCOMPARE(storedFiles(), QStringList());

        QVERIFY(pushFromAnna("next.jpg", "image/jpeg", "n", -1, &transfer));
        QTRY_COMPARE(receiver.requested.size(), 2);
        receiver.agent.authorizeTransfer(transfer, pictures() + QStringLiteral("/next.jpg"));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(receiver.failed.size(), running ? 1 : 0);
    }

    // BlueZ 5's obexd takes only paths in its own folder and truncates the
    // file it is given before it checks that: it writes a fresh file there,
    // which goes where the owner wanted it once complete, under the name that
    // is free then. A push that fails leaves nothing in either folder.
    void obexd5ReceivesIntoItsOwnFolder()
    {
        if (!onObexd5())
            QSKIP("BlueZ 4's obexd writes where it is told");
        QTemporaryDir root;
        QVERIFY(sim()->setObexOptions({ { "rootFolder", root.path() } }));
        QVERIFY(writeFile(pictures() + "/photo.jpg", "older"));
        PushReceiver receiver(PushReceiver::Asked);
        QString transfer;
        const QByteArray contents(60000, 'p');
        pushFromAnna("photo.jpg", "image/jpeg", contents, 30000, &transfer);
        QVERIFY(receiver.requested.wait());
        QCOMPARE(receiver.requested.first().at(1).toString(), "photo_1.jpg");
        receiver.agent.authorizeTransfer(transfer, pictures() + "/photo_1.jpg");
        QVERIFY(receiver.progressed.wait());
        QCOMPARE(filesUnder(root.path()).size(), 1);
        QVERIFY(writeFile(pictures() + "/photo_1.jpg", "appeared"));
        QVERIFY(receiver.completed.wait());
        QCOMPARE(readFile(pictures() + "/photo.jpg"), QByteArray("older"));
        QCOMPARE(readFile(pictures() + "/photo_1.jpg"), QByteArray("appeared"));
        QCOMPARE(readFile(pictures() + "/photo_2.jpg"), contents);
        QCOMPARE(filesUnder(root.path()), QStringList());

        pushFromAnna("lost.jpg", "image/jpeg", contents, 30000, &transfer);
        QTRY_COMPARE(receiver.requested.size(), 2);
        receiver.agent.authorizeTransfer(transfer, pictures() + "/lost.jpg");
        QVERIFY(receiver.progressed.wait());
        QVERIFY(sim()->failTransfer(transfer, "disconnect"));
        QVERIFY(receiver.failed.wait());
        QCOMPARE(filesUnder(root.path()), QStringList());
        QCOMPARE(
            storedFiles(),
            QStringList({ "Pictures/photo.jpg", "Pictures/photo_1.jpg", "Pictures/photo_2.jpg" }));
    }

    // obexd 5 compares its root as given: reached through a symbolic link it
    // takes no file, says nothing on the bus, and the sender goes on with its
    // next object on the same transfer. The one before has failed: its owner
    // is told, and what obexd left of it is removed.
    void objectObexdFailedSilentlyEndsBeforeTheNext()
    {
        if (!onObexd5())
            QSKIP("one transfer per object on BlueZ 4's obexd");
        QTemporaryDir real;
        const QString root = m_base.filePath("obexd-root");
        QVERIFY(QFile::link(real.path(), root));
        QVERIFY(sim()->setObexOptions({ { "rootFolder", root } }));
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        qsizetype failedWhenAskedAgain = -1;
        connect(&receiver.agent, &BluetoothObexAgent::authorizationRequested, this,
                [&receiver, &failedWhenAskedAgain] {
                    // The spy has counted this question already.
                    if (receiver.requested.size() == 2)
                        failedWhenAskedAgain = receiver.failed.size();
                });
        QString transfer;
        const QJsonObject photo { { "name", "one.jpg" }, { "type", "image/jpeg" }, { "size", 4000 } };
        const QJsonObject next { { "name", "two.jpg" }, { "type", "image/jpeg" }, { "size", 4000 } };
        const uint ticket = sim()->pushFiles(
            { { "address", anna }, { "goesOnIfRefused", true }, { "objects", QJsonArray { photo, next } } },
            &transfer);
        QTRY_COMPARE(receiver.requested.size(), 2);
        QCOMPARE(receiver.requested.at(1).at(0).toString(), transfer);
        QCOMPARE(failedWhenAskedAgain, 1);
        QCOMPARE(receiver.failed.first().at(0).toString(), transfer);
        // The sender leaves after its last object: that one has failed too.
        QVERIFY(sim()->waitForRequest(ticket).has_value());
        QTRY_COMPARE(receiver.failed.size(), 2);
        QCOMPARE(receiver.completed.size(), 0);
        QCOMPARE(filesUnder(real.path()), QStringList());
        QCOMPARE(storedFiles(), QStringList());
    }

    // obexd's folder on another file system than the owner's: the file is
    // copied on a thread of its own and then named, under a name still free
    // when the copy is through; nothing is left on either side.
    void fileFromAnotherFileSystemIsCopiedWhole()
    {
        if (!onObexd5())
            QSKIP("BlueZ 4's obexd writes where it is told");
        QTemporaryDir root(QStringLiteral("/dev/shm/ovrin-obexd-XXXXXX"));
        struct stat rootInfo {};
        struct stat baseInfo {};
        if (!root.isValid() || ::stat(QFile::encodeName(root.path()).constData(), &rootInfo) != 0
            || ::stat(QFile::encodeName(m_base.path()).constData(), &baseInfo) != 0
            || rootInfo.st_dev == baseInfo.st_dev)
            QSKIP("no second file system at /dev/shm");
        QVERIFY(sim()->setObexOptions({ { "rootFolder", root.path() } }));
        QVERIFY(writeFile(pictures() + "/big.jpg", "older"));
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        const QByteArray contents(8 * 1024 * 1024 + 17, 'x');
        QString transfer;
        pushFromAnna("big.jpg", "image/jpeg", contents, -1, &transfer);
        QTRY_COMPARE_WITH_TIMEOUT(receiver.completed.size(), 1, 20000);
        QCOMPARE(receiver.failed.size(), 0);
        QCOMPARE(readFile(pictures() + "/big.jpg"), QByteArray("older"));
        QCOMPARE(readFile(pictures() + "/big_1.jpg"), contents);
        QCOMPARE(filesUnder(root.path()), QStringList());
        QCOMPARE(storedFiles(), QStringList({ "Pictures/big.jpg", "Pictures/big_1.jpg" }));
    }

    // A cancel that comes after a file of a connection ended, while the sender
    // is about to put its next one, does not spoil that next file.
    void cancelBetweenTwoFilesLeavesTheNextAlone()
    {
        if (!onObexd5())
            QSKIP("BlueZ 4's obexd is left as it was");
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        QString transfer;
        const QJsonObject first { { "name", "first.jpg" }, { "type", "image/jpeg" }, { "size", 3000 } };
        const QJsonObject second { { "name", "second.jpg" }, { "type", "image/jpeg" },
                                   { "size", 3000 },   { "pauseBeforeMs", 1000 } };
        const uint ticket = sim()->pushFiles(
            { { "address", anna }, { "objects", QJsonArray { first, second } } }, &transfer);
        QTRY_COMPARE(receiver.completed.size(), 1);
        const QString firstTransfer = receiver.completed.first().at(0).toString();
        receiver.agent.cancelTransfer(firstTransfer);
        QTRY_COMPARE_WITH_TIMEOUT(receiver.completed.size(), 2, 10000);
        QCOMPARE(receiver.failed.size(), 0);
        QCOMPARE(sim()->waitForRequest(ticket), std::optional<QString>(QString()));
        QCOMPARE(storedFiles(), QStringList({ "Pictures/first.jpg", "Pictures/second.jpg" }));
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
        // BlueZ 4's obexd tells sizes as int32: -1 when the sender gave none,
        // and sizes above 2 GiB wrap to negative numbers; such sizes are told
        // as 0. BlueZ 5's tells the size the sender announced, or none.
        const auto told = [](qint64 announced) {
            return announced == 100000 || (onObexd5() && announced > 0) ? announced : 0;
        };
        QStringList transfers;
        const QList<qint64> announcedSizes { -1, 3000000000LL, 100000 };
        for (const qint64 announced : announcedSizes) {
            QString transfer;
            QVERIFY(
                sim()->pushFiles({ { "address", anna },
                                   { "name", QStringLiteral("push%1.jpg").arg(transfers.size()) },
                                   { "type", "image/jpeg" },
                                   { "size", 100000 },
                                   { "announcedSize", announced },
                                   { "speed", 10000 } },
                                 &transfer));
            QTRY_COMPARE(receiver.requested.size(), transfers.size() + 1);
            QCOMPARE(receiver.requested.last().at(3).toLongLong(), told(announced));
            transfers << transfer;
        }
        QTRY_COMPARE(storedFiles().size(), 3);
        QTRY_VERIFY(receiver.progressed.size() >= 3);
        for (const QList<QVariant> &report : std::as_const(receiver.progressed))
            QCOMPARE(report.at(2).toLongLong(),
                     told(announcedSizes.value(transfers.indexOf(report.at(0).toString()))));

        // The end of one push leaves the last one asked about described. (One
        // with a size: obexd 5 cannot tell a push without one cut short.)
        QVERIFY(sim()->failTransfer(transfers.at(1)));
        QVERIFY(receiver.failed.wait());
        QCOMPARE(receiver.agent.fileName(), "push2.jpg");
        QCOMPARE(receiver.agent.mimeType(), "image/jpeg");
        QCOMPARE(receiver.agent.remoteDeviceAddress(), anna);

        QVERIFY(sim()->setActivatable(obexd, false));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Unable to start an OBEX daemon \\(.*"));
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(receiver.unregistered.wait());
        QCOMPARE(receiver.registered.size(), 1);
        QStringList failed;
        for (const QList<QVariant> &failure : std::as_const(receiver.failed))
            failed << failure.at(0).toString() + u' ' + failure.at(1).toString();
        QCOMPARE(
            failed,
            QStringList({ transfers.at(1) + QStringLiteral(" Transfer completed unsuccessfully"),
                          transfers.at(0) + u' ', transfers.at(2) + u' ' }));
        QCOMPARE(storedFiles(), QStringList());
        QCOMPARE(receiver.agent.fileName(), QString());

        // The next obexd's transfers take the lost ones' paths (unknown ones
        // are checked with the lying daemons): a new push is a new record.
        QVERIFY(sim()->restoreService(obexd));
        QVERIFY(receiver.registered.wait());
        QString asked;
        QVERIFY(pushFromAnna("asked.jpg", "image/jpeg", QByteArray(20000, 'q'), 40000, &asked));
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(asked, transfers.at(0));
        QCOMPARE(readFile(pictures() + "/asked.jpg"), QByteArray(20000, 'q'));
        QVERIFY(sim()->setActivatable(obexd, true));
    }

    // One push after the other, next to older files: each is stored once
    // inside the base folder under a free name that is not hidden, or
    // refused by obexd; nothing is overwritten.
    void remoteNamesNeitherEscapeNorOverwrite()
    {
        QHash<QString, QByteArray> expected;
        for (const char *file : { "Pictures/photo.jpg", "Pictures/photo_1.jpg" }) {
            expected.insert(QLatin1String(file), QByteArray("older ") + file);
            QVERIFY(writeFile(m_base.filePath(QLatin1String(file)), QByteArray("older ") + file));
        }
        PushReceiver receiver;
        int refusedByObexd = 0;
        int i = 0;
        for (const auto &[name, stored] : remoteNames()) {
            const QStringList before = storedFiles();
            const QByteArray contents = "remote #" + QByteArray::number(i++);
            const std::optional<QString> outcome
                = sim()->waitForRequest(pushFromAnna(name, QString(), contents));
            QVERIFY(outcome.has_value());
            // obexd itself turns away some names (a "/" in them) before any agent sees them.
            if (!outcome->isEmpty()) {
                QCOMPARE(*outcome, "BadRequest");
                QCOMPARE(storedFiles(), before);
                ++refusedByObexd;
                continue;
            }
            QTRY_COMPARE(receiver.completed.size(), i - refusedByObexd);
            QStringList added = storedFiles();
            for (const QString &file : before)
                added.removeOne(file);
            QCOMPARE(added.size(), 1);
            if (!stored.isEmpty())
                QCOMPARE(added.first(), stored);
            QCOMPARE(readFile(m_base.filePath(added.first())), contents);
            QVERIFY2(!QFileInfo(added.first()).fileName().startsWith(u'.'),
                     qPrintable(added.first()));
            expected.insert(added.first(), contents);
        }
        QCOMPARE(storedFiles().size(), expected.size());
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(readFile(m_base.filePath(it.key())), it.value());
        QVERIFY(!QFileInfo::exists("/tmp/ovrin-hostile-absolute.jpg"));
        QVERIFY(receiver.failed.isEmpty());
    }

    // obexd acts on a cancel at its next packet: one that comes after the
    // last finds the push complete. The user cancelled: the file is not
    // kept, in obexd's folder or elsewhere, and the push ends as cancelled.
    void aCancelAfterTheLastPacketStillCancels()
    {
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        const auto received = [] {
            return sim()->obexServerState().value(QStringLiteral("received")).toArray().size();
        };
        const int before = received();
        QString transfer;
        pushFromAnna("late.jpg", "image/jpeg", QByteArray(4096, 'l'), -1, &transfer);
        QVERIFY(receiver.requested.wait());
        // obexd stores the last packet before the cancel reaches it; this
        // process hears of it only after asking for the cancel.
        QDeadlineTimer deadline(5000);
        while (received() == before && !deadline.hasExpired())
            QThread::msleep(10);
        QVERIFY(received() > before);
        receiver.agent.cancelTransfer(transfer);
        QTRY_COMPARE(receiver.failed.size(), 1);
        QCOMPARE(receiver.failed.first(), QVariantList({ transfer, "Transfer canceled" }));
        QCOMPARE(receiver.completed.size(), 0);
        QCOMPARE(storedFiles(), QStringList());
    }

    // A receiver that died mid-push left obexd 5's file behind under a name
    // only our agents give: the next agent to register removes it, in obexd's
    // default folder and in any folder it has seen pushes go to, and nothing else.
    void filesOfAReceiverThatDiedAreRemoved()
    {
        if (!onObexd5())
            QSKIP("obexd 4 writes where the agent says");
        const auto leftBehind = [](const QString &folder) {
            const QString file = folder + QStringLiteral("/incoming-")
                + QUuid::createUuid().toString(QUuid::WithoutBraces);
            return writeFile(file, "half a photo") ? file : QString();
        };
        const QString defaultRoot
            = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/obexd";
        QVERIFY(QDir().mkpath(defaultRoot));
        const QString stale = leftBehind(defaultRoot);
        const QString notOurs = defaultRoot + QStringLiteral("/incoming-notes.txt");
        QVERIFY(!stale.isEmpty() && writeFile(notOurs, "someone else's"));
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(notOurs));

        // A push shows the folder obexd runs with; obexd dies and comes back.
        pushFromAnna("photo.jpg", "image/jpeg", "p");
        QTRY_COMPARE(receiver.completed.size(), 1);
        const QString staleInRoot = leftBehind(m_base.path());
        QVERIFY(!staleInRoot.isEmpty());
        QVERIFY(sim()->dropService(obexd));
        QVERIFY(sim()->restoreService(obexd));
        QTRY_COMPARE(receiver.registered.size(), 2);
        QVERIFY(!QFile::exists(staleInRoot));
        QCOMPARE(readFile(pictures() + QStringLiteral("/photo.jpg")), QByteArray("p"));
    }

    // A push larger than the free space where it would be stored is refused
    // before it starts, and its owner told so, rather than failing full.
    void aPushLargerThanTheFreeSpaceIsRefused()
    {
        if (!onObexd5())
            QSKIP("obexd 4 announces at most 2 GiB");
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        const qint64 petabyte = qint64(1) << 50;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Refusing transfer '.*': 1125899906842624 bytes "
                                                "do not fit in "));
        const uint ticket = sim()->pushFiles(
            { { "address", anna },
              { "objects", QJsonArray { QJsonObject { { "name", "huge.jpg" },
                                                      { "type", "image/jpeg" },
                                                      { "size", 1024 },
                                                      { "announcedSize", double(petabyte) } } } } });
        QTRY_COMPARE(receiver.failed.size(), 1);
        QCOMPARE(receiver.failed.first().at(1).toString(), "Not enough free space for the file");
        QCOMPARE(receiver.completed.size(), 0);
        QVERIFY(sim()->waitForRequest(ticket).has_value());
        QCOMPARE(storedFiles(), QStringList());
    }

    // obexd takes one agent, and a desktop's own came first: ours is refused
    // and says so once, asks again now and then, and is taken as soon as the
    // other lets go; from then on it receives.
    void anotherAgentHoldsObexd()
    {
        OtherClient desktop(QDBusConnection::SessionBus, QStringLiteral("desktop"));
        QDBusMessage take = onObexd5()
            ? QDBusMessage::createMethodCall(obexd, QStringLiteral("/org/bluez/obex"),
                                             QStringLiteral("org.bluez.obex.AgentManager1"),
                                             QStringLiteral("RegisterAgent"))
            : QDBusMessage::createMethodCall(obexd, QStringLiteral("/"),
                                             QStringLiteral("org.openobex.Manager"),
                                             QStringLiteral("RegisterAgent"));
        take << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/desktop/agent")));
        QCOMPARE(desktop.bus.call(take).type(), QDBusMessage::ReplyMessage);

        QTest::ignoreMessage(QtWarningMsg,
                             "Another agent receives obexd's pushes; asking again every 5 s");
        PushReceiver receiver(PushReceiver::Plain);
        QCOMPARE(receiver.refused.size(), 1);
        QCOMPARE(receiver.registered.size(), 0);
        QTest::qWait(5500);
        QCOMPARE(receiver.refused.size(), 1);
        QCOMPARE(receiver.registered.size(), 0);

        desktop.leave();
        QTRY_COMPARE_WITH_TIMEOUT(receiver.registered.size(), 1, 7000);
        QCOMPARE(receiver.refused.size(), 1);
        const QByteArray contents(2048, 'r');
        pushFromAnna("photo.jpg", "image/jpeg", contents);
        QTRY_COMPARE(receiver.completed.size(), 1);
        QCOMPARE(readFile(pictures() + QStringLiteral("/photo.jpg")), contents);
    }

    void callersOtherThanTheDaemonAreRefused_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        const QVariant transfer = QVariant::fromValue(QDBusObjectPath("/transfer99"));
        const QList<std::pair<const char *, QVariantList>> calls {
            { "Release", {} },
            { "Request", { transfer } },
            { "Progress", { transfer, qulonglong(5) } },
            { "Complete", { transfer } },
            { "Error", { transfer, "boom" } },
            { "Authorize", { transfer, anna, "evil.jpg", "image/jpeg", 10, 0 } },
            { "Cancel", {} },
        };
        for (const int type : { BluetoothObexAgent::Server, BluetoothObexAgent::Client }) {
            for (const auto &[member, arguments] : calls) {
                QTest::addRow("%s %s", type == BluetoothObexAgent::Server ? "server" : "client",
                              member)
                    << type << agentInterface << QString::fromLatin1(member) << arguments;
            }
        }
        // BlueZ 5's obexd asks the server agent through an interface of its own.
        for (const auto &[member, arguments] : QList<std::pair<const char *, QVariantList>> {
                 { "Release", {} }, { "AuthorizePush", { transfer } }, { "Cancel", {} } })
            QTest::addRow("server obexd 5 %s", member)
                << int(BluetoothObexAgent::Server) << agent5Interface << QString::fromLatin1(member)
                << arguments;
    }

    // Only the daemon an agent serves may ask it anything; anyone else is
    // refused and nothing happens: no signal, no request kept, no file.
    void callersOtherThanTheDaemonAreRefused()
    {
        QFETCH(int, type);
        QFETCH(QString, interface);
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        BluetoothObexAgent agent(BluetoothObexAgent::Type(type), nullptr);
        if (type == BluetoothObexAgent::Server) {
            QSignalSpy registered(&agent, &BluetoothObexAgent::serviceRegistered);
            agent.registerToObexService();
            QTRY_COMPARE(registered.size(), 1);
        }
        AllSignalsSpy anySignal(&agent);

        OtherClient stranger(QDBusConnection::SessionBus, QStringLiteral("stranger"));
        // The agent lives on this thread: wait with the event loop running.
        QDBusPendingCall pending
            = stranger.bus.asyncCall(busMessage(QDBusConnection::sessionBus().baseService(),
                                                agent.path(), interface, member, arguments),
                                     5000);
        QVERIFY(QTest::qWaitFor([&pending]() { return pending.isFinished(); }, 6000));
        QCOMPARE(pending.reply().errorName(), interface.section(u'.', 0, -2) + ".Error.Rejected");
        stranger.leave();

        QTest::qWait(50);
        QCOMPARE(anySignal.emitted(), QByteArray());
        QCOMPARE(agent.fileName(), QString());
        QCOMPARE(agent.remoteDeviceAddress(), QString());
        QTest::ignoreMessage(QtWarningMsg, "Invalid request for transfer '/transfer99'");
        agent.authorizeTransfer("/transfer99", pictures() + QStringLiteral("/evil.jpg"));
        QCOMPARE(storedFiles(), QStringList());
    }
};

OVRIN_TEST_MAIN(TestBluetoothObexAgent)
#include "tst_bluetoothobexagent.moc"
