// Sending files and contacts to a device through the simulated OBEX client
// daemon: the files really read, progress and speed, the transfer UI entry,
// failures, cancellation, and the temporary contact cards.

#include "bluetoothadapter.h"
#include "bluetoothfilesendprocess.h"
#include "bluetoothobexagent.h"
#include "obexworld.h"
#include "ovrintranslations.h"
#include "scriptedagent.h"
#include "testdialogserver.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Ovrin;
using namespace OvrinTest;

namespace {

// A send with spies on its signals.
struct Send
{
    BluetoothFileSendProcess process;
    QSignalSpy progressed { &process, &BluetoothFileSendProcess::progress };
    QSignalSpy finished { &process, &BluetoothFileSendProcess::finished };
    QSignalSpy failed { &process, &BluetoothFileSendProcess::error };

    bool startTo(const BluetoothDevice &destination)
    {
        process.setDestination(destination);
        return process.start();
    }
};

// The session bus reads its service files again.
bool reloadSessionBus()
{
    return QDBusConnection::sessionBus()
               .call(QDBusMessage::createMethodCall(
                   QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                   QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig")))
               .type()
        == QDBusMessage::ReplyMessage;
}

} // namespace

class TestBluetoothFileSendProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_files;
    // obex-client asks BlueZ for a session, which needs an agent.
    ScriptedAgent m_bluezAgent { QDBusConnection::systemBus(), "/test/bluez_agent" };

    QString makeFile(const QString &name, int size)
    {
        QByteArray data;
        for (int i = 0; i < size; ++i)
            data += char('a' + i % 26);
        return writeFile(m_files.filePath(name), data) ? m_files.filePath(name) : QString();
    }

    // Whether obexd still holds a session of a send: none may outlive it.
    static bool sessionsLeft() { return !sim()->obexClientState()["sessions"].toArray().isEmpty(); }

    // What the remote device got: name -> SHA-1 of the bytes.
    QMap<QString, QString> received()
    {
        QMap<QString, QString> files;
        for (const QJsonValue &file : sim()->obexClientState()["sent"].toArray()) {
            if (file["outcome"].toString() == QLatin1String("complete"))
                files.insert(file["name"].toString(), file["sha1"].toString());
        }
        return files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(m_files.isValid());
    }

    void init()
    {
        QVERIFY(sim()->loadScenarioFile(TestEnvironment::testData(obexScenario)));
        QVERIFY(sim()->setObexOptions(
            { { "speed", 0 }, { "connectMs", 20 }, { "requestDelayMs", 0 } }));
        QVERIFY(registerAgent(m_bluezAgent.path()));
        TransferUI::Registry::instance()->clear();
        QTest::failOnWarning(QRegularExpression("."));
    }

    void cleanup() { QTRY_COMPARE(sim()->pendingAgentCalls().size(), 0); }

    void threeFilesAreSentWithProgressAndSpeed()
    {
        const QStringList files { makeFile("one.bin", 55000), makeFile("two.txt", 55000),
                                  makeFile("three.jpg", 55000) };
        QVERIFY(sim()->setObexSpeed(25000));
        Send send;
        send.process.addFiles(files);
        QVERIFY(send.startTo(knownDevice(anna)));
        QCOMPARE(send.process.totalFiles(), 3);
        QCOMPARE(send.process.totalBytes(), qulonglong(165000));
        QCOMPARE(onlyTransfer().targetName, annaName);
        QCOMPARE(onlyTransfer().size, quint64(165000));

        // Progress comes when a file is taken, at most once a second while it
        // runs, and when a file but the last is done.
        // obexd 5 samples with a coarse timer of its own, which may fire a little early.
        const qint64 minimumInterval = onObexd5() ? 900 : 950;
        QElapsedTimer clock;
        clock.start();
        QString file;
        int done = 0;
        qint64 lastSample = -1;
        int samples = 0;
        int secondsLeft = -1;
        connect(&send.process, &BluetoothFileSendProcess::progress, this, [&]() {
            const QString current = send.process.currentFile();
            if (current != file || send.process.transferedFiles() != done) {
                file = current; // the next file taken, or one done
                done = send.process.transferedFiles();
                lastSample = -1;
                return;
            }
            if (lastSample >= 0)
                QVERIFY(clock.elapsed() - lastSample >= minimumInterval);
            lastSample = clock.elapsed();
            ++samples;
            secondsLeft = onlyTransfer().secondsLeft;
        });
        QVERIFY(send.finished.wait(20000));
        QCOMPARE(send.finished.size(), 1);
        QVERIFY(send.failed.isEmpty());
        QCOMPARE(send.process.transferedFiles(), 3);
        QVERIFY(samples >= 3 && samples <= 6);
        QVERIFY(send.process.transferSpeed() > 15000 && send.process.transferSpeed() < 40000);
        QVERIFY(secondsLeft >= 0 && secondsLeft <= 7);
        QCOMPARE(send.progressed.size(), 3 + 2 + samples);

        // One after another, in the order given.
        QStringList order;
        for (const QJsonValue &file : sim()->obexClientState()["sent"].toArray())
            order << file["name"].toString();
        QCOMPARE(order, QStringList({ "one.bin", "two.txt", "three.jpg" }));
        const QMap<QString, QString> got = received();
        QCOMPARE(got.size(), 3);
        for (const QString &file : files)
            QCOMPARE(got.value(QFileInfo(file).fileName()).toLatin1(),
                     QCryptographicHash::hash(readFile(file), QCryptographicHash::Sha1).toHex());
        QTRY_VERIFY(onlyTransfer().isFinished());
        QCOMPARE(onlyTransfer().state, TransferUI::TransferInfo::Done);

        // A process sends once.
        QVERIFY(!send.process.start());
        QCOMPARE(send.failed.last().at(0).toString(), "Process already started");
    }

    // Missing files are dropped at the start; a contact becomes a card that
    // lives until the send ends; an unknown contact adds nothing.
    void onlyExistingFilesAndContactsAreSent()
    {
        const QString real = makeFile("my photo.jpg", 10);
        const QString missing = m_files.filePath("gone.jpg");
        Send none;
        none.process.addFile(missing);
        QVERIFY(!none.process.start());
        QCOMPARE(none.failed.last().at(0).toString(), "No destination specified");
        QVERIFY(!none.startTo(knownDevice(anna)));
        QCOMPARE(none.failed.last().at(0).toString(), "No files exist");
        QVERIFY(TransferUI::Registry::instance()->transfers().isEmpty());

        Send send;
        QTest::ignoreMessage(
            QtWarningMsg, "BluetoothFileSendProcess: File file:///nowhere/x.jpg does not exist!");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\.vcf\"$"));
        QTest::ignoreMessage(QtWarningMsg,
                             "Contact card file creation failed for \"contact:nobody\"");
        send.process.addFiles(
            { missing, "file:///nowhere/x.jpg", "contact:1", QStringLiteral("contact:nobody"),
              QStringLiteral("file://") + QString::fromUtf8(QUrl::toPercentEncoding(real, "/")) });
        QCOMPARE(send.process.fileNames().size(), 3);
        const QString card = send.process.fileNames().at(1);
        QVERIFY(card.endsWith(QLatin1String(".vcf")) && QFile::exists(card));
        QCOMPARE(send.process.fileNames(), QStringList({ missing, card, real }));
        QVERIFY(send.startTo(knownDevice(anna)));
        QCOMPARE(send.process.fileNames(), QStringList({ card, real }));
        QVERIFY(send.finished.wait());
        const QMap<QString, QString> got = received();
        QCOMPARE(got.size(), 2);
        QVERIFY(got.contains("my photo.jpg"));
        QCOMPARE(got.value(QFileInfo(card).fileName()).size(), 40);
        QVERIFY(!QFile::exists(card));
    }

    void failuresAreShownWithTheirReason_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("reasonId");
        for (const char *outcome : { "forbidden", "0x43", "message:FORBIDDEN by user" })
            QTest::newRow(outcome) << outcome << "qtn_conn_bt_t_canceled";
        // obexd 5 never tells why the remote refused: any refusal while
        // the link stays up is one.
        QTest::newRow("notfound") << "notfound"
                                  << (onObexd5() ? "qtn_conn_bt_t_canceled"
                                                 : "qtn_conn_bt_t_connection_failed");
        // The remote drops the link: obexd 5 takes the session with the file.
        QTest::newRow("link lost") << "disconnect"
                                   << "qtn_conn_bt_t_connection_failed";
    }

    void failuresAreShownWithTheirReason()
    {
        QFETCH(QString, outcome);
        QFETCH(QString, reasonId);
        // The older daemons' texts name the response, the newer ones give its code.
        QVERIFY(sim()->setObexOptions(
            { { "errorTexts", outcome == QLatin1String("0x43") ? "gobex" : "openobex" } }));
        QVERIFY(sim()->setSendOutcome(QString(), outcome));
        Send send;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\.vcf\"$"));
        send.process.addFiles({ "contact:1", makeFile("never.txt", 10) });
        const QString card = send.process.fileNames().first();
        QVERIFY(send.startTo(knownDevice(anna)));
        // A sanitized build beside other suites may take longer than the default wait.
        if (!QTest::qWaitFor([&send] { return !send.failed.isEmpty(); }, 30000))
            qInfo("no failure: %lld finished, obexd: %s", qlonglong(send.finished.size()),
                  QJsonDocument(sim()->obexClientState()).toJson(QJsonDocument::Compact).constData());
        QCOMPARE(send.failed.size(), 1);
        QVERIFY(!send.failed.first().at(0).toString().isEmpty());
        QVERIFY(send.finished.isEmpty());
        const TransferUI::TransferInfo info = onlyTransfer();
        QCOMPARE(info.state, TransferUI::TransferInfo::Failed);
        QCOMPARE(info.failureTitle, qtTrId("qtn_conn_bt_t_error"));
        QCOMPARE(info.failureMessage,
                 qtTrId("qtn_conn_bt_t_send_cant") + u' '
                     + qtTrId(reasonId.toUtf8().constData()).arg(annaName));
        QVERIFY(!QFile::exists(card));
        QTRY_VERIFY(!sessionsLeft());
        // The rest of the list is not sent.
        QTest::qWait(200);
        QVERIFY(!received().contains("never.txt"));
    }

    // A phone that walks away mid-file answers no more: obexd gives up after
    // its time-out while the link still lives. That is no refusal.
    void remoteGoneMidFileIsNoRefusal()
    {
        if (!onObexd5())
            QSKIP("obexd 4 tells the time-out in its error");
        QVERIFY(sim()->setObexOptions({ { "speed", 40000 }, { "responseTimeoutMs", 10000 } }));
        Send send;
        send.process.addFile(makeFile("walk.jpg", 400000));
        QVERIFY(send.startTo(knownDevice(anna)));
        // The remote answered packets after the first: the count moved on.
        QTRY_VERIFY_WITH_TIMEOUT(send.progressed.size() >= 3, 10000);
        const QJsonArray sessions = sim()->obexClientState()["sessions"].toArray();
        QCOMPARE(sessions.size(), 1);
        const QString transfer = sessions[0]["transfers"][0]["path"].toString();
        QVERIFY(sim()->stallTransfer(transfer));
        QVERIFY(send.failed.wait(20000));
        QCOMPARE(onlyTransfer().failureMessage,
                 qtTrId("qtn_conn_bt_t_send_cant") + u' '
                     + qtTrId("qtn_conn_bt_t_connection_failed").arg(annaName));
        QTRY_VERIFY(!sessionsLeft());
    }

    void cancelEndsTheSendOnce_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("before the first request") << false;
        QTest::newRow("while a file runs") << true;
    }

    void cancelEndsTheSendOnce()
    {
        QFETCH(bool, running);
        QVERIFY(sim()->setObexOptions({ { "connectMs", 300 }, { "speed", 5000 } }));
        Send send;
        send.process.addFile(makeFile("late.txt", 50000));
        QVERIFY(send.startTo(knownDevice(anna)));
        if (running)
            QVERIFY(send.progressed.wait());
        send.process.cancel();
        send.process.cancel();
        QCOMPARE(send.finished.size(), 1);
        QVERIFY(send.failed.isEmpty());
        QTRY_VERIFY(!sessionsLeft());
        // The entry has left the transfer UI.
        QVERIFY(TransferUI::Registry::instance()->transfers().isEmpty());
        // Nothing was sent; a running file was cancelled with obex-client.
        QVERIFY(received().isEmpty());
        if (running)
            QCOMPARE(sim()->obexClientState()["sent"].toArray().last()["outcome"].toString(),
                     "canceled");
        QTest::qWait(200);
        QCOMPARE(send.finished.size(), 1);
        QVERIFY(send.failed.isEmpty());
    }

    // The dialog server is told of the process when the send starts, and
    // lets go of it however the send ends: it must never hold a process
    // that is gone.
    void dialogServerLetsGoOfTheProcess_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("sent") << "sent";
        QTest::newRow("cancelled") << "cancelled";
        QTest::newRow("deleted while sending") << "deleted";
        QTest::newRow("deleted while connecting") << "deleted early";
        QTest::newRow("obex-client cannot be started") << "unstartable";
    }

    void dialogServerLetsGoOfTheProcess()
    {
        QFETCH(QString, end);
        const QString name = QStringLiteral("SendingBluetoothProcess");
        TestDialogServer server(nullptr);
        auto send = std::make_unique<BluetoothFileSendProcess>(&server);
        QSignalSpy finished(send.get(), &BluetoothFileSendProcess::finished);
        QSignalSpy progressed(send.get(), &BluetoothFileSendProcess::progress);
        send->addFile(makeFile("held.bin", 20000));
        send->setDestination(knownDevice(anna));
        const QString obexd = obexClient;
        if (end == QLatin1String("unstartable")) {
            QVERIFY(sim()->setActivatable(obexd, false));
            QVERIFY(sim()->dropService(obexd));
            QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(obexd));
            QSignalSpy failed(send.get(), &BluetoothFileSendProcess::error);
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^Unable to start an OBEX daemon"));
            QVERIFY(!send->start());
            QCOMPARE(failed.last().at(0).toString(),
                     QStringLiteral("Unable to start openobex client!"));
            QVERIFY(sim()->restoreService(obexd));
            QVERIFY(sim()->setActivatable(obexd, true));
        } else if (end == QLatin1String("deleted early")) {
            QVERIFY(sim()->setObexOptions({ { "connectMs", 300 } }));
            QVERIFY(send->start());
            QTRY_VERIFY(sessionsLeft());
            send.reset();
        } else {
            QVERIFY(sim()->setObexSpeed(end == QLatin1String("sent") ? 0 : 5000));
            QVERIFY(send->start());
            QCOMPARE(qvariant_cast<QObject *>(server.processObjects.value(name)), send.get());
            if (end == QLatin1String("sent")) {
                QVERIFY(finished.wait());
            } else {
                QVERIFY(progressed.wait());
                if (end == QLatin1String("cancelled"))
                    send->cancel();
                else
                    send.reset();
            }
        }
        QVERIFY(!server.processObjects.contains(name));
        // However it ended, the send leaves no session behind in obexd.
        QTRY_VERIFY(!sessionsLeft());
    }

    // obexd leaving the bus at any moment fails the send, once, as a lost
    // link; it is not brought back for the send's sake.
    void obexdLeavingFailsTheSend_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("while connecting") << false;
        QTest::newRow("while a file runs") << true;
    }

    void obexdLeavingFailsTheSend()
    {
        QFETCH(bool, running);
        QVERIFY(sim()->setObexOptions({ { "connectMs", 300 }, { "speed", 5000 } }));
        Send send;
        send.process.addFiles({ makeFile("cut.bin", 20000), makeFile("after.bin", 10) });
        QVERIFY(send.startTo(knownDevice(anna)));
        if (running)
            QVERIFY(send.progressed.wait());
        else
            QTRY_VERIFY(sessionsLeft());
        QVERIFY(sim()->dropService(obexClient));
        QVERIFY(send.failed.wait());
        QCOMPARE(send.failed.first().at(0).toString(), QString());
        QCOMPARE(onlyTransfer().state, TransferUI::TransferInfo::Failed);
        QCOMPARE(onlyTransfer().failureMessage,
                 qtTrId("qtn_conn_bt_t_send_cant") + u' '
                     + qtTrId("qtn_conn_bt_t_connection_failed").arg(annaName));
        QTest::qWait(300);
        QCOMPARE(send.failed.size(), 1);
        QVERIFY(send.finished.isEmpty());
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(obexClient));
        QVERIFY(sim()->restoreService(obexClient));
    }

    // A machine with BlueZ 5's obexd installed that cannot start (its
    // service leaves it to a systemd user session there is none of) and no
    // other obexd: a send fails once and says so, a receiving agent waits
    // quietly and registers once an obexd comes, and nothing asks again.
    void anInstalledObexdThatCannotStart()
    {
        const QString serviceFile = TestEnvironment::instance()->buses().serviceDirectory()
            + QStringLiteral("/org.bluez.obex.service");
        const QByteArray simulated = readFile(serviceFile);
        QVERIFY(writeFile(serviceFile,
                          "[D-BUS Service]\nName=org.bluez.obex\nExec=/bin/false\n"
                          "SystemdService=dbus-org.bluez.obex.service\n"));
        QVERIFY(reloadSessionBus());
        const QStringList running = onObexd5() ? QStringList { obexd } : QStringList { obexd, obexClient };
        for (const QString &name : running) {
            if (!onObexd5())
                QVERIFY(sim()->setActivatable(name, false));
            QVERIFY(sim()->dropService(name));
        }
        QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(obexClient));
        const QRegularExpression cannotStart(QStringLiteral(
            "^Unable to start an OBEX daemon \\(.*org\\.bluez\\.obex: Process "
            "org\\.bluez\\.obex exited with status 1"));

        Send send;
        send.process.addFile(makeFile("stays.bin", 100));
        QTest::ignoreMessage(QtWarningMsg, cannotStart);
        QVERIFY(!send.startTo(knownDevice(anna)));
        QCOMPARE(send.failed.size(), 1);
        QCOMPARE(send.failed.first().at(0).toString(),
                 QStringLiteral("Unable to start openobex client!"));

        BluetoothObexAgent agent(BluetoothObexAgent::Server);
        QSignalSpy registered(&agent, &BluetoothObexAgent::serviceRegistered);
        QTest::ignoreMessage(QtWarningMsg, cannotStart);
        agent.registerToObexService();
        // Any further attempt would warn again, and fail the test.
        QTest::qWait(2000);
        QCOMPARE(send.failed.size(), 1);
        QVERIFY(send.finished.isEmpty());
        QVERIFY(registered.isEmpty());

        QVERIFY(writeFile(serviceFile, simulated));
        QVERIFY(reloadSessionBus());
        for (const QString &name : running) {
            if (!onObexd5())
                QVERIFY(sim()->setActivatable(name, true));
            QVERIFY(sim()->restoreService(name));
        }
        QTRY_COMPARE(registered.size(), 1);
    }

    // Only obexd tells how a file went: the same words from anyone else
    // change nothing, and the file is sent as if they had not been said.
    void othersCannotEndTheSend()
    {
        QVERIFY(sim()->setObexSpeed(20000));
        Send send;
        send.process.addFile(makeFile("mine.bin", 40000));
        QVERIFY(send.startTo(knownDevice(anna)));
        QVERIFY(send.progressed.wait());
        const QJsonValue session = sim()->obexClientState()["sessions"][0];
        const QString transfer = session["transfers"][0]["path"].toString();
        QVERIFY(!transfer.isEmpty());
        OtherClient other(QDBusConnection::SessionBus);
        if (onObexd5()) {
            QDBusMessage failed = QDBusMessage::createSignal(
                transfer, "org.freedesktop.DBus.Properties", "PropertiesChanged");
            failed << "org.bluez.obex.Transfer1" << QVariantMap { { "Status", "error" } }
                   << QStringList();
            QDBusMessage removed = QDBusMessage::createSignal(
                "/", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved");
            removed << objectPath(transfer) << QStringList { "org.bluez.obex.Transfer1" };
            QVERIFY(other.bus.send(failed) && other.bus.send(removed));
        } else {
            // Not waited for: this thread answers it.
            other.bus.asyncCall(busMessage(
                QDBusConnection::sessionBus().baseService(), session["agent"]["path"].toString(),
                "org.openobex.Agent", "Error", { objectPath(transfer), "Forbidden" }));
        }
        QVERIFY(send.finished.wait());
        QVERIFY(send.failed.isEmpty());
        QVERIFY(received().contains("mine.bin"));
    }

    // Nothing to measure progress against: 0 done until the end, then all.
    void emptyFilesAreSentToo()
    {
        Send send;
        send.process.addFiles({ makeFile("empty1", 0), makeFile("empty2", 0) });
        QVERIFY(send.startTo(knownDevice(anna)));
        QVERIFY(send.finished.wait());
        QCOMPARE(send.process.transferedFiles(), 2);
        QCOMPARE(onlyTransfer().progress, 1.0f);
    }
};

OVRIN_TEST_MAIN(TestBluetoothFileSendProcess)
#include "tst_bluetoothfilesendprocess.moc"
