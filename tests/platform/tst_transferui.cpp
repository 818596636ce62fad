// The transfer UI service: entries registered by clients, their state after
// each call, refused calls and the user's cancel. How the Bluetooth transfers
// drive it (and the log of calls) is checked with the transfer tracker.

#include "client.h"
#include "registry.h"
#include "testenvironment.h"
#include "transfer.h"

#include <QSignalSpy>

#include <cmath>
#include <memory>

using namespace TransferUI;

class TestTransferUI : public QObject
{
    Q_OBJECT

    Registry *const registry = Registry::instance();
    Client m_client;

    std::unique_ptr<Transfer> registerUpload()
    {
        return std::unique_ptr<Transfer>(
            m_client.registerTransfer(QStringLiteral("photo.jpg"), Client::TransferTypeUpload));
    }

private Q_SLOTS:
    void init() { registry->clear(); }

    void registeredEntryIsListedAndAnnounced()
    {
        QSignalSpy added(registry, &Registry::transferAdded);
        std::unique_ptr<Transfer> upload = registerUpload();
        std::unique_ptr<Transfer> download(m_client.registerTransfer(
            QStringLiteral("song.mp3"), Client::TransferTypeDownload, QStringLiteral("bt")));
        QVERIFY(upload->transferId() != download->transferId());
        QCOMPARE(added.count(), 2);
        QCOMPARE(added.at(0).at(0).toString(), upload->transferId());
        const QList<TransferInfo> entries = registry->transfers();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).name, QStringLiteral("photo.jpg"));
        QCOMPARE(entries.at(0).type, 0);
        QCOMPARE(entries.at(0).state, TransferInfo::New);
        QCOMPARE(entries.at(1).type, 1);
        QCOMPARE(entries.at(1).clientId, QStringLiteral("bt"));
    }

    void stateFollowsTheTransferToItsEnd()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        const QString id = transfer->transferId();
        QSignalSpy changed(registry, &Registry::transferChanged);
        QVERIFY(transfer->setTargetName(QStringLiteral("Car kit")));
        QVERIFY(transfer->setThumbnailForFile(QStringLiteral("/tmp/photo.jpg"),
                                              QStringLiteral("image/jpeg")));
        QVERIFY(!transfer->setCurrentFileIndex(0));
        QVERIFY(transfer->setFilesCount(2));
        QVERIFY(transfer->setPending(QStringLiteral("Waiting for Car kit")));
        TransferInfo info = registry->transfer(id);
        QCOMPARE(info.state, TransferInfo::Pending);
        QCOMPARE(info.pendingReason, QStringLiteral("Waiting for Car kit"));
        QCOMPARE(info.targetName, QStringLiteral("Car kit"));
        QCOMPARE(info.thumbnailMimeType, QStringLiteral("image/jpeg"));
        QCOMPARE(info.currentFileIndex, 0);

        QVERIFY(transfer->setActive());
        QVERIFY(transfer->updateStatus(0.5f, 12));
        QVERIFY(transfer->setCurrentFileIndex(2));
        info = registry->transfer(id);
        QCOMPARE(info.state, TransferInfo::Active);
        QCOMPARE(info.progress, 0.5f);
        QCOMPARE(info.secondsLeft, 12);
        QCOMPARE(info.currentFileIndex, 2);

        QVERIFY(transfer->markCompleted(true, QString(), QStringLiteral("file:///tmp/photo.jpg")));
        QCOMPARE(registry->transfer(id).state, TransferInfo::Completed);
        QVERIFY(transfer->markDone());
        info = registry->transfer(id);
        QCOMPARE(info.state, TransferInfo::Done);
        QCOMPARE(info.progress, 1.0f);
        QVERIFY(info.openable);
        QCOMPARE(info.resultUri, QStringLiteral("file:///tmp/photo.jpg"));
        QCOMPARE(changed.count(), 9);
        QCOMPARE(changed.at(0).at(0).toString(), id);
    }

    void finishedEntryRefusesNewProgress_data()
    {
        QTest::addColumn<int>("end");
        QTest::newRow("done") << int(TransferInfo::Done);
        QTest::newRow("failed") << int(TransferInfo::Failed);
        QTest::newRow("cancelled") << int(TransferInfo::Cancelled);
    }

    void finishedEntryRefusesNewProgress()
    {
        QFETCH(int, end);
        std::unique_ptr<Transfer> transfer = registerUpload();
        QVERIFY(transfer->setActive(0.25f));
        QVERIFY(end == TransferInfo::Done ? transfer->markDone()
                    : end == TransferInfo::Failed
                    ? transfer->markFailure(QStringLiteral("a"), QStringLiteral("b"))
                    : transfer->markCancelled());
        QCOMPARE(int(registry->transfer(transfer->transferId()).state), end);

        QVERIFY(!transfer->updateStatus(0.5f, 3));
        QVERIFY(!transfer->setActive());
        QVERIFY(!transfer->setPending(QStringLiteral("Waiting")));
        QVERIFY(!transfer->markCompleted());
        QVERIFY(!transfer->markCancelled());
        QVERIFY(!transfer->markFailure(QStringLiteral("a"), QStringLiteral("b")));
        const TransferInfo after = registry->transfer(transfer->transferId());
        QCOMPARE(int(after.state), end);
        QCOMPARE(after.progress, 0.25f);
        // Texts may still change, as the NFC heading does after completion.
        QVERIFY(transfer->setTransferTypeString(QStringLiteral("Sent with NFC")));
    }

    void nonsenseValuesAreRefusedAndLeaveTheEntry()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        QVERIFY(transfer->setFilesCount(3));
        QVERIFY(transfer->updateStatus(0.3f, 5));
        QVERIFY(!transfer->updateStatus(-0.1f, 5));
        QVERIFY(!transfer->updateStatus(std::nanf(""), 5));
        QVERIFY(!transfer->updateStatus(0.4f, -1));
        QVERIFY(!transfer->setCurrentFileIndex(4));
        QVERIFY(!transfer->setFilesCount(0));
        QVERIFY(!transfer->setEstimate(-5));
        QVERIFY(!transfer->setIcon(QString()));
        const TransferInfo info = registry->transfer(transfer->transferId());
        QCOMPARE(info.progress, 0.3f);
        QCOMPARE(info.secondsLeft, 5);
        QCOMPARE(info.filesCount, 3);
        QCOMPARE(info.estimate, -1);
    }

    void userCancelReachesTheOwnerOnlyWhileRunning()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        QSignalSpy cancelled(transfer.get(), &Transfer::cancel);
        QVERIFY(registry->requestCancel(transfer->transferId()));
        QCOMPARE(registry->transfer(transfer->transferId()).state, TransferInfo::New);
        QVERIFY(transfer->markCancelled());
        QVERIFY(!registry->requestCancel(transfer->transferId()));
        QVERIFY(!registry->requestCancel(QStringLiteral("transfer-unknown")));
        QCOMPARE(cancelled.count(), 1);

        std::unique_ptr<Transfer> orphan = registerUpload();
        const QString orphanId = orphan->transferId();
        orphan.reset();
        QVERIFY(registry->contains(orphanId));
        QVERIFY(!registry->requestCancel(orphanId));
    }

    void removedEntryIsGoneAndRefusesCalls()
    {
        std::unique_ptr<Transfer> transfer = registerUpload();
        const QString id = transfer->transferId();
        QSignalSpy removed(registry, &Registry::transferRemoved);
        QVERIFY(m_client.removeTransfer(id));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toString(), id);
        QVERIFY(!registry->contains(id));
        QVERIFY(registry->transfers().isEmpty());
        QVERIFY(!transfer->setSize(1));
        QVERIFY(!m_client.removeTransfer(id));
    }

    void showUiIsAnnouncedUnlessTheServiceIsGone()
    {
        QSignalSpy requested(registry, &Registry::uiRequested);
        QVERIFY(m_client.showUI());
        QCOMPARE(requested.count(), 1);

        // Gone, it refuses every call and its entries stay as they were.
        std::unique_ptr<Transfer> transfer = registerUpload();
        registry->setAvailable(false);
        QVERIFY(!Client().isValid());
        QVERIFY(!transfer->setName(QStringLiteral("b.txt")));
        QVERIFY(!m_client.showUI());
        QVERIFY(!m_client.removeTransfer(transfer->transferId()));
        QCOMPARE(requested.count(), 1);
        QCOMPARE(registry->transfers().size(), 1);
        QCOMPARE(registry->transfers().at(0).name, QStringLiteral("photo.jpg"));
        registry->setAvailable(true);
        QVERIFY(transfer->setName(QStringLiteral("b.txt")));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestTransferUI)
#include "tst_transferui.moc"
