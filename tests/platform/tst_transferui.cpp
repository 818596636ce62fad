// The transfer UI service: entries registered by clients, their state after
// each call, refused calls, the user's cancel, and the log of every call.

#include "client.h"
#include "registry.h"
#include "testenvironment.h"
#include "transfer.h"

#include <QSignalSpy>

#include <cmath>
#include <memory>

using namespace TransferUI;

namespace {

Registry *registry()
{
    return Registry::instance();
}

QStringList methods(const QList<RecordedCall> &calls)
{
    QStringList names;
    for (const RecordedCall &call : calls)
        names << call.method;
    return names;
}

} // namespace

class TestTransferUI : public QObject
{
    Q_OBJECT

    Client m_client;

    std::unique_ptr<Transfer> registerUpload(const QString &name = QStringLiteral("photo.jpg"))
    {
        return std::unique_ptr<Transfer>(
            m_client.registerTransfer(name, Client::TransferTypeUpload));
    }

private Q_SLOTS:
    void init() { registry()->clear(); }

    void registeredEntryIsListedAndAnnounced()
    {
        QSignalSpy added(registry(), &Registry::transferAdded);
        std::unique_ptr<Transfer> upload = registerUpload();
        std::unique_ptr<Transfer> download(m_client.registerTransfer(
            QStringLiteral("song.mp3"), Client::TransferTypeDownload, QStringLiteral("bt")));
        QVERIFY(upload && download);
        QVERIFY(upload->transferId() != download->transferId());
        QCOMPARE(added.count(), 2);
        QCOMPARE(added.at(0).at(0).toString(), upload->transferId());

        const QList<TransferInfo> entries = registry()->transfers();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).name, QStringLiteral("photo.jpg"));
        QCOMPARE(entries.at(0).type, 0);
        QCOMPARE(entries.at(1).type, 1);
        QCOMPARE(entries.at(1).clientId, QStringLiteral("bt"));
        QCOMPARE(entries.at(0).state, TransferInfo::New);
    }

    void everyCallIsRecordedWithItsArguments()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        QSignalSpy recorded(registry(), &Registry::callRecorded);
        QVERIFY(transfer->setSize(2048));
        QVERIFY(transfer->setTargetName(QStringLiteral("Car kit")));
        QVERIFY(transfer->setThumbnailForFile(QStringLiteral("/tmp/photo.jpg"),
                                              QStringLiteral("image/jpeg")));
        QVERIFY(!transfer->setCurrentFileIndex(0));
        QCOMPARE(recorded.count(), 4);

        const QList<RecordedCall> calls = registry()->calls(transfer->transferId());
        QCOMPARE(methods(calls),
                 (QStringList { "registerTransfer", "setSize", "setTargetName",
                                "setThumbnailForFile", "setCurrentFileIndex" }));
        QCOMPARE(calls.at(0).arguments, (QVariantList { "photo.jpg", 0, QString() }));
        QCOMPARE(calls.at(1).arguments.at(0).toULongLong(), 2048u);
        QCOMPARE(calls.at(3).arguments,
                 (QVariantList { QStringLiteral("/tmp/photo.jpg"), QStringLiteral("image/jpeg") }));
        QVERIFY(calls.at(3).accepted);
        QVERIFY(!calls.at(4).accepted);

        const TransferInfo info = registry()->transfer(transfer->transferId());
        QCOMPARE(info.size, 2048u);
        QCOMPARE(info.targetName, QStringLiteral("Car kit"));
        QCOMPARE(info.thumbnailMimeType, QStringLiteral("image/jpeg"));
        QCOMPARE(info.currentFileIndex, 0);
    }

    void stateFollowsTheTransferToItsEnd()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        const QString id = transfer->transferId();
        QSignalSpy changed(registry(), &Registry::transferChanged);
        QVERIFY(transfer->setFilesCount(2));
        QVERIFY(transfer->setPending(QStringLiteral("Waiting for Car kit")));
        QCOMPARE(registry()->transfer(id).state, TransferInfo::Pending);
        QCOMPARE(registry()->transfer(id).pendingReason, QStringLiteral("Waiting for Car kit"));

        QVERIFY(transfer->setActive());
        QVERIFY(transfer->updateStatus(0.5f, 12));
        QVERIFY(transfer->setCurrentFileIndex(2));
        TransferInfo info = registry()->transfer(id);
        QCOMPARE(info.state, TransferInfo::Active);
        QCOMPARE(info.progress, 0.5f);
        QCOMPARE(info.secondsLeft, 12);
        QCOMPARE(info.currentFileIndex, 2);

        QVERIFY(transfer->markCompleted(true, QString(), QStringLiteral("file:///tmp/photo.jpg")));
        QCOMPARE(registry()->transfer(id).state, TransferInfo::Completed);
        QVERIFY(transfer->markDone());
        info = registry()->transfer(id);
        QCOMPARE(info.state, TransferInfo::Done);
        QCOMPARE(info.progress, 1.0f);
        QVERIFY(info.openable);
        QCOMPARE(info.resultUri, QStringLiteral("file:///tmp/photo.jpg"));
        QCOMPARE(changed.count(), 7);
        QVERIFY(changed.at(0).at(0).toString() == id);
    }

    void finishedEntryRefusesNewProgress_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("done") << "done";
        QTest::newRow("failed") << "failed";
        QTest::newRow("cancelled") << "cancelled";
    }

    void finishedEntryRefusesNewProgress()
    {
        QFETCH(QString, end);
        std::unique_ptr<Transfer> transfer = registerUpload();
        QVERIFY(transfer->setActive(0.25f));
        if (end == QLatin1String("done"))
            QVERIFY(transfer->markDone());
        else if (end == QLatin1String("failed"))
            QVERIFY(transfer->markFailure(QStringLiteral("Sending failed"),
                                          QStringLiteral("Connection lost")));
        else
            QVERIFY(transfer->markCancelled());
        const TransferInfo finished = registry()->transfer(transfer->transferId());
        QVERIFY(finished.isFinished());

        QVERIFY(!transfer->updateStatus(0.5f, 3));
        QVERIFY(!transfer->setActive());
        QVERIFY(!transfer->setPending(QStringLiteral("Waiting")));
        QVERIFY(!transfer->markCompleted());
        QVERIFY(!transfer->markCancelled());
        QVERIFY(!transfer->markFailure(QStringLiteral("a"), QStringLiteral("b")));
        const TransferInfo after = registry()->transfer(transfer->transferId());
        QCOMPARE(after.state, finished.state);
        QCOMPARE(after.progress, 0.25f);
        // Texts may still change, as the NFC heading does after completion.
        QVERIFY(transfer->setTransferTypeString(QStringLiteral("Sent with NFC")));
    }

    void nonsenseValuesAreRefusedAndLeaveTheEntry()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        QVERIFY(transfer->setFilesCount(3));
        QVERIFY(transfer->updateStatus(0.3f, 5));
        QVERIFY(!transfer->updateStatus(1.5f, 5));
        QVERIFY(!transfer->updateStatus(-0.1f, 5));
        QVERIFY(!transfer->updateStatus(std::nanf(""), 5));
        QVERIFY(!transfer->updateStatus(0.4f, -1));
        QVERIFY(!transfer->setCurrentFileIndex(4));
        QVERIFY(!transfer->setFilesCount(0));
        QVERIFY(!transfer->setEstimate(-5));
        QVERIFY(!transfer->setIcon(QString()));
        const TransferInfo info = registry()->transfer(transfer->transferId());
        QCOMPARE(info.progress, 0.3f);
        QCOMPARE(info.secondsLeft, 5);
        QCOMPARE(info.filesCount, 3);
        QCOMPARE(info.estimate, -1);
    }

    void userCancelReachesTheOwnerOnlyWhileRunning()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        QSignalSpy cancelled(transfer.get(), &Transfer::cancel);
        QVERIFY(registry()->requestCancel(transfer->transferId()));
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(registry()->transfer(transfer->transferId()).state, TransferInfo::New);

        QVERIFY(transfer->markCancelled());
        QVERIFY(!registry()->requestCancel(transfer->transferId()));
        QVERIFY(!registry()->requestCancel(QStringLiteral("transfer-unknown")));
        QCOMPARE(cancelled.count(), 1);

        std::unique_ptr<Transfer> orphan = registerUpload();
        const QString orphanId = orphan->transferId();
        orphan.reset();
        QVERIFY(registry()->contains(orphanId));
        QVERIFY(!registry()->requestCancel(orphanId));
    }

    void removedEntryIsGoneAndRefusesCalls()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        const QString id = transfer->transferId();
        QSignalSpy removed(registry(), &Registry::transferRemoved);
        QVERIFY(m_client.removeTransfer(id));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), id);
        QVERIFY(!registry()->contains(id));
        QVERIFY(registry()->transfers().isEmpty());
        QVERIFY(!transfer->setSize(1));
        QVERIFY(!m_client.removeTransfer(id));
        QCOMPARE(
            methods(registry()->calls(id)),
            (QStringList { "registerTransfer", "removeTransfer", "setSize", "removeTransfer" }));
    }

    void showUiIsCountedUnlessTheServiceIsGone()
    {
        QSignalSpy requested(registry(), &Registry::uiRequested);
        QVERIFY(m_client.showUI());
        QVERIFY(m_client.showUI());
        QCOMPARE(registry()->uiRequests(), 2);
        QCOMPARE(requested.count(), 2);
        QCOMPARE(methods(registry()->calls(QString())), (QStringList { "showUI", "showUI" }));

        // Gone, it refuses everything and the entries stay as they were.
        registry()->clear();
        std::unique_ptr<Transfer> transfer = registerUpload();
        registry()->setAvailable(false);
        QVERIFY(!m_client.isValid());
        QVERIFY(!Client().isValid());
        QCOMPARE(m_client.registerTransfer(QStringLiteral("a.txt"), Client::TransferTypeDownload),
                 nullptr);
        QVERIFY(!transfer->setName(QStringLiteral("b.txt")));
        QVERIFY(!m_client.showUI());
        QVERIFY(!m_client.removeTransfer(transfer->transferId()));
        QCOMPARE(registry()->uiRequests(), 0);
        QCOMPARE(registry()->transfers().size(), 1);
        QCOMPARE(registry()->transfers().at(0).name, QStringLiteral("photo.jpg"));
        QCOMPARE(registry()->calls().last().method, QStringLiteral("removeTransfer"));
        QVERIFY(!registry()->calls().last().accepted);

        registry()->setAvailable(true);
        QVERIFY(m_client.isValid());
        QVERIFY(transfer->setName(QStringLiteral("b.txt")));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestTransferUI)
#include "tst_transferui.moc"
