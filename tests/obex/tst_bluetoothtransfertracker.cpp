// The transfer tracker as the transfer UI and another bus client see it: the
// calls on the entry and their order, the window, contact cards, the end of a
// transfer, NFC and its context property, speeds, and where received files go.

#include "bluetoothtransfertracker.h"
#include "obexworld.h"
#include "ovrintranslations.h"

#include <QDBusMessage>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

using Ovrin::BluetoothTransferTracker;
using TransferUI::RecordedCall;
using TransferUI::Registry;

namespace {

const QString contextService = QStringLiteral("com.brivo.bt_ui.context");
const QString nfcKey = QStringLiteral("/com/brivo/bt_ui/nfcTransferStatus");
const QString imageIcon = QStringLiteral("icon-m-content-image-inverse");

Registry *registry()
{
    return Registry::instance();
}

// The calls on the transfer UI since the last look, each as "method(arg,arg)",
// with "!" when the transfer UI refused it.
QStringList newCalls()
{
    static qsizetype seen = 0;
    const QList<RecordedCall> calls = registry()->calls();
    QStringList result;
    for (const RecordedCall &call : calls.mid(calls.size() < seen ? 0 : seen)) {
        QStringList arguments;
        for (const QVariant &argument : call.arguments)
            arguments << argument.toString();
        result << call.method + u'(' + arguments.join(u',') + u')' + (call.accepted ? "" : "!");
    }
    seen = calls.size();
    return result;
}

QString waiting(const QString &device)
{
    return QStringLiteral("setPending(%1)")
        .arg(qtTrId("qtn_conn_bt_t_waiting_response").arg(device));
}

} // namespace

class TestBluetoothTransferTracker : public QObject
{
    Q_OBJECT

    // Another client of the system bus, as the status bar would be.
    QDBusConnection m_reader = QDBusConnection::connectToBus(QDBusConnection::SystemBus, "reader");
    QTemporaryDir m_files;

    // The NFC status as the reader gets it; asynchronous, because the
    // provider answers from this thread.
    QVariantList nfcStatus()
    {
        QDBusPendingCall call = m_reader.asyncCall(QDBusMessage::createMethodCall(
            contextService, nfcKey, "com.brivo.ContextProvider.Property", QStringLiteral("Get")));
        if (!QTest::qWaitFor([&call] { return call.isFinished(); }))
            return {};
        return qdbus_cast<QVariantList>(call.reply().arguments().value(0));
    }

    QString localFile(const QString &name) { return m_files.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(m_reader.isConnected());
        QVERIFY(m_files.isValid());
    }

    void init()
    {
        registry()->clear();
        newCalls();
        QTest::failOnWarning(QRegularExpression("."));
    }

    void cleanup() { BluetoothTransferTracker::setBasePath(QString()); }

    void uploadFollowsItsFilesInOrder()
    {
        const QString photo = localFile("photo.jpg");
        const QString notes = localFile("notes.txt");
        auto tracker = std::make_unique<BluetoothTransferTracker>(BluetoothTransferTracker::Upload);
        tracker->addFile(photo, "image/jpeg", QString());
        tracker->addFile(notes, "text/plain", QString());
        tracker->setSize(3000);
        tracker->setTargetName("Car kit");
        QCOMPARE(tracker->files(), QStringList({ photo, notes }));
        QVERIFY(newCalls().isEmpty());

        // The entry appears, named after the first file, without the window.
        tracker->updateStatus(0.0f, 0);
        const QString id = OvrinTest::onlyTransfer().id;
        QCOMPARE(
            newCalls(),
            QStringList({ "registerTransfer(photo.jpg,0,)", "setSize(3000)", "setEstimate(0)",
                          "setCanPause(false)", waiting("Car kit"), "setFilesCount(2)",
                          "setTargetName(Car kit)",
                          "setTransferTypeString(" + qtTrId("qtn_conn_bt_t_send") + ")",
                          "setIcon(" + imageIcon + ")",
                          "setThumbnailForFile(" + photo + ",image/jpeg)", "updateStatus(0,0)" }));

        tracker->setFileState(photo, BluetoothTransferTracker::Active);
        QCOMPARE(newCalls(),
                 QStringList({ "setName(photo.jpg)", "setIcon(" + imageIcon + ")",
                               "setThumbnailForFile(" + photo + ",image/jpeg)", "setActive(0)",
                               "setCurrentFileIndex(1)" }));
        // The same state again changes nothing.
        tracker->setFileState(photo, BluetoothTransferTracker::Active);
        QVERIFY(newCalls().isEmpty());

        // The first progress brings the window up, once.
        tracker->updateStatus(0.25f, 9);
        tracker->updateStatus(0.5f, 6);
        QCOMPARE(newCalls(),
                 QStringList({ "showUI()", "updateStatus(0.25,9)", "updateStatus(0.5,6)" }));

        tracker->setFileState(photo, BluetoothTransferTracker::Done);
        QCOMPARE(newCalls(), QStringList({ "setCurrentFileIndex(2)" }));
        tracker->setFileState(notes, BluetoothTransferTracker::Active);
        QCOMPARE(newCalls(),
                 QStringList({ "setName(notes.txt)", "setIcon(icon-m-content-text-inverse)",
                               "setActive(0)", "setCurrentFileIndex(2)" }));
        // A stall shows the waiting text again.
        tracker->setFileState(notes, BluetoothTransferTracker::Pending);
        QCOMPARE(newCalls(), QStringList({ waiting("Car kit") }));
        tracker->setFileState(notes, BluetoothTransferTracker::Done);
        QCOMPARE(newCalls(), QStringList({ "markCompleted(true,,)", "markDone()" }));
        QCOMPARE(registry()->uiRequests(), 1);
        QCOMPARE(registry()->transfer(id).state, TransferUI::TransferInfo::Done);

        // Once over, neither progress nor a failure reaches the entry.
        tracker->updateStatus(0.9f, 1);
        tracker->setError("Sending failed", QString());
        QVERIFY(newCalls().isEmpty());

        tracker.reset();
        QCOMPARE(newCalls(), QStringList({ "removeTransfer(" + id + ")" }));
    }

    void downloadShowsTheStoredFile()
    {
        const QString stored = localFile("photo.jpg");
        const QString uri = QUrl::fromLocalFile(stored).toString();
        BluetoothTransferTracker tracker(BluetoothTransferTracker::Download);
        tracker.addFile("photo.jpg", "image/jpeg", uri);
        tracker.setTargetName("Phone");

        // Progress before anything else: the entry comes before the window.
        tracker.updateStatus(0.5f, 3);
        QStringList calls = newCalls();
        QCOMPARE(calls.first(), "registerTransfer(photo.jpg,1,)");
        QVERIFY(calls.contains("setTransferTypeString(" + qtTrId("qtn_conn_bt_t_receive") + ")"));
        // No picture of a file that is not stored yet.
        QVERIFY(!calls.join(u' ').contains(QLatin1String("setThumbnailForFile")));
        QCOMPARE(calls.mid(calls.size() - 2), QStringList({ "showUI()", "updateStatus(0.5,3)" }));

        tracker.setFileState("photo.jpg", BluetoothTransferTracker::Active);
        QVERIFY(!newCalls().join(u' ').contains(QLatin1String("setThumbnailForFile")));
        tracker.setFileState("photo.jpg", BluetoothTransferTracker::Done);
        QCOMPARE(newCalls(),
                 QStringList({ "setIcon(" + imageIcon + ")",
                               "setThumbnailForFile(" + stored + ",image/jpeg)",
                               "markCompleted(true,," + uri + ")", "markDone()" }));
        QCOMPARE(registry()->transfer(OvrinTest::onlyTransfer().id).resultUri, uri);
        QCOMPARE(registry()->uiRequests(), 1);
    }

    void contactCardsShowNoSize_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint64>("shown");
        QTest::newRow("vcf") << "friend.vcf" << quint64(0);
        QTest::newRow("vcard") << "/tmp/friend.vcard" << quint64(0);
        QTest::newRow("upper case") << "friend.VCF" << quint64(4096);
        QTest::newRow("no dot") << "vcf" << quint64(4096);
    }
    void contactCardsShowNoSize()
    {
        QFETCH(QString, name);
        QFETCH(quint64, shown);
        BluetoothTransferTracker tracker(BluetoothTransferTracker::Upload);
        tracker.addFile(name, QString(), QString());
        tracker.setSize(4096);
        tracker.updateStatus(0.0f, 0);
        const QString id = OvrinTest::onlyTransfer().id;
        QCOMPARE(registry()->transfer(id).size, shown);
        // A size given once the entry exists is shown as given.
        tracker.setSize(512);
        QCOMPARE(registry()->transfer(id).size, quint64(512));
    }

    void filesAreFixedOnceShown()
    {
        BluetoothTransferTracker::setBasePath(m_files.path());
        BluetoothTransferTracker tracker(BluetoothTransferTracker::Download);
        tracker.addFile("a.txt", QString(), QString());
        // Stored again, not added twice.
        tracker.addFile("a.txt", "text/plain", QString());
        QCOMPARE(tracker.filePath("a.txt"),
                 BluetoothTransferTracker::filePath("a.txt", QStringLiteral("text/plain")));
        tracker.updateStatus(0.0f, 0);
        QVERIFY(newCalls().contains("setFilesCount(1)"));

        QTest::ignoreMessage(QtWarningMsg, "Unable to add files while transfer is ongoing!");
        tracker.addFile("b.txt", QString(), QString());
        QCOMPARE(tracker.files(), QStringList { "a.txt" });
        QCOMPARE(tracker.transferState("b.txt"), BluetoothTransferTracker::Pending);
        tracker.setFileState("b.txt", BluetoothTransferTracker::Done);
        QCOMPARE(tracker.files(), QStringList { "a.txt" });
        QVERIFY(newCalls().isEmpty());
    }

    void transferUiOutOfServiceIsRetried()
    {
        registry()->setAvailable(false);
        QTest::ignoreMessage(QtWarningMsg,
                             "BluetoothTransferTrackerPrivate: Unable to initialize TUI client!");
        BluetoothTransferTracker tracker(BluetoothTransferTracker::Upload);
        tracker.addFile("a.txt", QString(), QString());
        QTest::ignoreMessage(QtWarningMsg, "Creating Transfer UI transfer failed!");
        tracker.updateStatus(0.5f, 1);
        QVERIFY(registry()->transfers().isEmpty());
        QCOMPARE(registry()->uiRequests(), 0);

        registry()->setAvailable(true);
        tracker.updateStatus(0.5f, 1);
        QVERIFY(!OvrinTest::onlyTransfer().id.isEmpty());
        QCOMPARE(registry()->uiRequests(), 1);

        // A refused call is reported and the tracker goes on.
        QTest::ignoreMessage(QtWarningMsg,
                             "BluetoothTransferTracker: Transfer UI call "
                             "d_ptr->tuiTransfer->updateStatus(done, seconds) failed!");
        tracker.updateStatus(1.5f, 0);
        tracker.updateStatus(0.75f, 0);
        QCOMPARE(registry()->transfer(OvrinTest::onlyTransfer().id).progress, 0.75f);
    }

    void cancelOrErrorEndsTheTransferOnce_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled in the transfer UI") << true;
        QTest::newRow("failed") << false;
    }

    void cancelOrErrorEndsTheTransferOnce()
    {
        QFETCH(bool, cancel);
        BluetoothTransferTracker tracker(BluetoothTransferTracker::Upload);
        QSignalSpy canceled(&tracker, &BluetoothTransferTracker::canceled);
        // Nothing to cancel before the entry exists.
        tracker.cancelTransfer();
        tracker.addFile("a.txt", QString(), QString());
        tracker.updateStatus(0.0f, 0);
        const QString id = OvrinTest::onlyTransfer().id;
        newCalls();
        if (cancel) {
            QVERIFY(registry()->requestCancel(id));
            QCOMPARE(newCalls(), QStringList({ "markCancelled()", "removeTransfer(" + id + ")" }));
            QVERIFY(!registry()->contains(id));
        } else {
            tracker.setError("Sending failed", "Declined");
            QCOMPARE(newCalls(), QStringList({ "markFailure(Sending failed,Declined)" }));
            QCOMPARE(registry()->transfer(id).state, TransferUI::TransferInfo::Failed);
        }
        QCOMPARE(canceled.count(), cancel ? 1 : 0);
        // Over is over: no second cancel, no failure, no progress.
        tracker.cancelTransfer();
        tracker.setError("Failed", "Late");
        tracker.updateStatus(0.5f, 1);
        tracker.setFileState("a.txt", BluetoothTransferTracker::Done);
        QCOMPARE(canceled.count(), cancel ? 1 : 0);
        QVERIFY(newCalls().isEmpty());
        QCOMPARE(registry()->uiRequests(), 0);
    }

    // NFC transfers keep the window down, and the context property up while
    // any of them runs.
    void nfcStatusCountsEveryUnfinishedTransfer()
    {
        std::unique_ptr<BluetoothTransferTracker> nfc[4];
        for (auto &tracker : nfc) {
            tracker
                = std::make_unique<BluetoothTransferTracker>(BluetoothTransferTracker::Download);
            tracker->setNfcTransfer(true);
            tracker->addFile("one.jpg", "image/jpeg", "file:///x/one.jpg");
            tracker->updateStatus(0.0f, 0);
        }
        nfc[0]->setFileState("one.jpg", BluetoothTransferTracker::Active);
        QCOMPARE(nfcStatus(), QVariantList { true });
        nfc[0]->updateStatus(0.5f, 2);

        // Finished, failed, cancelled or gone: each stops counting.
        nfc[0]->setFileState("one.jpg", BluetoothTransferTracker::Done);
        QCOMPARE(nfcStatus(), QVariantList { true });
        nfc[1]->setError(qtTrId("qtn_nfc_tuidialog_nok_tit"), QString());
        QCOMPARE(nfcStatus(), QVariantList { true });
        nfc[2]->cancelTransfer();
        QCOMPARE(nfcStatus(), QVariantList { true });
        // Gone before it finished: no transfer runs any more.
        nfc[3].reset();
        QCOMPARE(nfcStatus(), QVariantList { false });
        QCOMPARE(registry()->uiRequests(), 0);
    }

    void medianOfTheLastTenSpeeds()
    {
        BluetoothTransferTracker tracker(BluetoothTransferTracker::Upload);
        QCOMPARE(tracker.calculateMedianSpeed(5), 5);
        QCOMPARE(tracker.calculateMedianSpeed(1), 1);
        QCOMPARE(tracker.calculateMedianSpeed(9), 5);
        // An even count takes the upper middle value: 1 3 [5] 9.
        QCOMPARE(tracker.calculateMedianSpeed(3), 5);

        BluetoothTransferTracker window(BluetoothTransferTracker::Upload);
        for (int speed = 1; speed <= 10; ++speed)
            window.calculateMedianSpeed(speed);
        // 2..10 and 0 remain: without dropping the 1 the answer would be 5.
        QCOMPARE(window.calculateMedianSpeed(0), 6);
        // Each tracker has its own samples.
        QCOMPARE(tracker.calculateMedianSpeed(100), 5);
    }

    void receivedFilesGoToTheFolderOfTheirType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QString>("folder");
        const char *const rows[][4] = {
            { "audio", "song.mp3", "audio/mpeg", "Music" },
            { "other", "doc.pdf", "application/pdf", "" },
            { "case-sensitive", "song.mp3", "Audio/mpeg", "" },
            { "up and out", "../../../etc/passwd", "audio/mpeg", "Music" },
            { "folders", "DCIM/100/photo.jpg", "image/jpeg", "Pictures" },
            { "hidden name", "..photo.jpg", "image/jpeg", "Pictures" },
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2])
                                  << QString::fromLatin1(row[3]);
    }
    void receivedFilesGoToTheFolderOfTheirType()
    {
        QFETCH(QString, name);
        QFETCH(QString, mimeType);
        QFETCH(QString, folder);
        QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath("Music"));
        QVERIFY(QDir(base.path()).mkpath("Pictures"));
        BluetoothTransferTracker::setBasePath(base.path());

        const QString path = BluetoothTransferTracker::filePath(name, mimeType);
        const QString expectedFolder = folder.isEmpty() ? base.path() : base.filePath(folder);
        QCOMPARE(path, expectedFolder + u'/' + name.section(u'/', -1));
        // Resolved by the file system, the file is still in that folder.
        QCOMPARE(QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath(),
                 QFileInfo(expectedFolder).canonicalFilePath());
    }

    void folderRuleFallsBackAndRefuses()
    {
        QTemporaryDir base;
        BluetoothTransferTracker::setBasePath(base.path());
        const auto expectMissing = [](const QString &folder) {
            QTest::ignoreMessage(QtWarningMsg,
                                 qPrintable("Directory " + folder + " does not exist!"));
        };
        // Absolute paths are the caller's own.
        QCOMPARE(BluetoothTransferTracker::filePath("/etc/passwd", "audio/mpeg"), "/etc/passwd");
        // A missing type folder gives the base folder; folders are not made.
        expectMissing(base.filePath("Movies"));
        QCOMPARE(BluetoothTransferTracker::filePath("clip.mp4", "video/mp4"),
                 base.filePath("clip.mp4"));
        QVERIFY(!QFileInfo::exists(base.filePath("Movies")));

        // Names with nothing left to store under are refused.
        for (const QString &bad : QStringList { QString(), ".", "..", "a/..", "dir/" }) {
            QTest::ignoreMessage(
                QtWarningMsg,
                qPrintable("BluetoothTransferTracker: no file name in '" + bad + "'"));
            QCOMPARE(BluetoothTransferTracker::filePath(bad, "text/plain"), QString());
        }

        // Without the base folder, nowhere: not the bare home folder.
        const QString gone = base.filePath("gone");
        BluetoothTransferTracker::setBasePath(gone);
        expectMissing(gone + "/Music");
        expectMissing(gone);
        QCOMPARE(BluetoothTransferTracker::filePath("song.mp3", "audio/mpeg"), QString());
        QVERIFY(!QFileInfo::exists(gone));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestBluetoothTransferTracker)
#include "tst_bluetoothtransfertracker.moc"
