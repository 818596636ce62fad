// The device model against the simulated daemon: row order, discovery
// results, property changes, the filter, pairing marks, the adapter switching
// off and the model outliving it.

#include "bluetoothagent.h"
#include "devicesworld.h"

#include <QJsonArray>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace OvrinTest::Neighbourhood;
using Model = BluetoothDeviceModel;

namespace {
const QString twinA = QStringLiteral("AA:00:00:00:00:03"); // "Twin", -50
const QString twinB = QStringLiteral("AA:00:00:00:00:04"); // "Twin", -50
const QString pairer = QStringLiteral("AA:00:00:00:00:05"); // refuses pairing
const QString printer = QStringLiteral("AA:00:00:00:00:06"); // object transfer class, -60
const QString pairsFine = QStringLiteral("AA:00:00:00:00:07");
const QString opp = QStringLiteral("00001105-0000-1000-8000-00805f9b34fb");

const QStringList knownRows { "Alpha", "Bravo", "Blocked paired", "Blocked one" };
// The known rows with these between the paired and the blocked ones.
QStringList knownRowsWith(const QStringList &middle)
{
    return QStringList { "Alpha", "Bravo" } + middle
        + QStringList { "Blocked paired", "Blocked one" };
}

QStringList column(const QAbstractItemModel *model, int column)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, column).data().toString();
    return values;
}
QStringList names(const QAbstractItemModel *model)
{
    return column(model, Model::NameColumn);
}
int rowOf(const QAbstractItemModel *model, const QString &address)
{
    return int(column(model, Model::AddressColumn).indexOf(address));
}
QVariant cell(const QAbstractItemModel *m, int row, int col)
{
    return m->index(row, col).data();
}
} // namespace

class TestBluetoothDeviceModel : public QObject
{
    Q_OBJECT

    DevicesWorld w { "devices/scenarios/neighbourhood.json" };
    std::unique_ptr<Model> m_model;
    bool found(const QString &address) { return w.found(address); }

    Model *makeModel()
    {
        m_model = testedModel(w.adapter.get());
        return m_model.get();
    }

    Model *modelWithFound(const QStringList &addresses)
    {
        Model *model = makeModel();
        w.adapter->startDiscovery();
        for (const QString &address : addresses)
            found(address);
        if (!QTest::qWaitFor([&] { return model->rowCount() == 4 + addresses.size(); }))
            QTest::qFail("the found devices did not come", __FILE__, __LINE__);
        return model;
    }

private Q_SLOTS:
    void init() { w.init(); }
    void cleanup()
    {
        m_model.reset();
        w.cleanup();
    }

    void rowsAreSortedAndEqualRowsKeepTheirOrder()
    {
        Model *model = makeModel();
        QCOMPARE(names(model), knownRows);
        w.adapter->startDiscovery();
        QVERIFY(found(foundOne));
        QTRY_COMPARE(names(model), knownRowsWith({ "Found one" }));
        // Stronger signal goes above; equal ones go below those already there.
        for (const QString &address : { foundTwo, twinB, twinA, printer })
            QVERIFY(found(address));
        QTRY_COMPARE(column(model, Model::AddressColumn),
                     (QStringList { alpha, bravo, foundTwo, foundOne, twinB, twinA, printer,
                                    blockedPaired, blockedOne }));
        // Every column of a row, for the display role only.
        const QVariantList alphaRow { 0x240404u, "Alpha", true,  true, false,
                                      true,      false,   false, alpha };
        for (int c = 0; c < Model::ColumnCount; ++c) {
            QCOMPARE(cell(model, 0, c), alphaRow.at(c));
            QVERIFY(!model->index(0, c).data(Qt::EditRole).isValid());
        }
        // A paired phone offers no audio; a found device is never connectable.
        QCOMPARE(cell(model, 1, Model::ConnectableColumn), QVariant(false));
        QCOMPARE(cell(model, 3, Model::CodColumn), QVariant(0x5a020cu));
        QCOMPARE(cell(model, 3, Model::PairedColumn), QVariant(false));
        QCOMPARE(cell(model, 7, Model::BlockedColumn), QVariant(true));
        for (int row = 0; row < model->rowCount(); ++row)
            QCOMPARE(model->deviceFromList(row)->address(),
                     cell(model, row, Model::AddressColumn).toString());
        QTest::ignoreMessage(QtWarningMsg, "deviceFromList: no row 9");
        QVERIFY(!model->deviceFromList(9));
    }

    void foundDevicesAreReplacedOnlyWhenTheyChange()
    {
        Model *model = modelWithFound({ foundTwo, foundOne, printer });
        QCOMPARE(names(model), knownRowsWith({ "Found two", "Found one", "Printer" }));
        ModelLog log(model);
        // The same values again change nothing; reports arrive in order, so
        // the next device's insertion tells that the repeat was handled.
        QVERIFY(found(foundOne));
        QVERIFY(found(twinA));
        QTRY_COMPARE(log.text(), QStringLiteral("+4"));
        // Weaker than the printer now: the row moves below it.
        QVERIFY(sim()->changeDevice(foundOne, { { "rssi", -70 } }));
        QVERIFY(found(foundOne));
        QTRY_COMPARE(log.text(), QStringLiteral("+4 -3 +5"));
        QCOMPARE(rowOf(model, foundOne), 5);
        // A new name replaces the row too.
        log.entries.clear();
        QVERIFY(sim()->changeDevice(foundOne, { { "name", "Found uno" } }));
        QVERIFY(found(foundOne));
        QTRY_COMPARE(log.text(), QStringLiteral("-5 +5"));
        QCOMPARE(cell(model, 5, Model::NameColumn).toString(), QStringLiteral("Found uno"));
    }

    // In place, a finger on a row stays on it while discovery updates it.
    void changesThatKeepTheOrderAreInPlaceOthersMove()
    {
        Model *model = makeModel();
        ModelLog log(model);
        QVERIFY(sim()->changeDevice(bravo, { { "connected", true } }));
        QTRY_COMPARE(log.text(), QStringLiteral("~1"));
        QCOMPARE(cell(model, 1, Model::ConnectionStatusColumn), QVariant(true));
        // An audio profile found later makes the phone connectable, in place.
        QVERIFY(sim()->changeDevice(
            bravo, { { "uuids", QJsonArray { opp, "0000110b-0000-1000-8000-00805f9b34fb" } } }));
        QTRY_COMPARE(log.text(), QStringLiteral("~1 ~1"));
        QCOMPARE(cell(model, 1, Model::ConnectableColumn), QVariant(true));
        log.entries.clear();
        // A new name that sorts where the row is leaves it there.
        QVERIFY(sim()->changeDevice(bravo, { { "alias", "Bravo two" } }));
        QTRY_COMPARE(log.text(), QStringLiteral("~1"));
        QCOMPARE(cell(model, 1, Model::NameColumn).toString(), QStringLiteral("Bravo two"));
        log.entries.clear();
        // The list draws a trusted row as a cell of its own kind: made anew.
        QVERIFY(sim()->changeDevice(bravo, { { "trusted", true } }));
        QTRY_COMPARE(log.text(), QStringLiteral("-1 +1"));
        QCOMPARE(cell(model, 1, Model::TrustedColumn), QVariant(true));
        // A new name moves the row to its place; blocking among the blocked, paired first.
        log.entries.clear();
        QVERIFY(sim()->changeDevice(alpha, { { "alias", "Zulu" } }));
        QTRY_COMPARE(log.text(), QStringLiteral("-0 +1"));
        QCOMPARE(names(model),
                 (QStringList { "Bravo two", "Zulu", "Blocked paired", "Blocked one" }));
        log.entries.clear();
        QVERIFY(sim()->changeDevice(alpha, { { "blocked", true } }));
        QTRY_COMPARE(log.text(), QStringLiteral("-1 +2"));
        QCOMPARE(names(model),
                 (QStringList { "Bravo two", "Blocked paired", "Zulu", "Blocked one" }));
    }

    void knownDevicesAreFollowedOutOfSight()
    {
        Model *model = makeModel();
        QCOMPARE(rowOf(model, knownOne), -1);
        ModelLog log(model);
        // Known to BlueZ (trusted) but neither paired nor found: its first
        // change brings it in among the found devices (pairing it moves it
        // among the paired ones, see aSuccessfulPairingClearsTheMarkOfItsDeviceOnly).
        QVERIFY(sim()->changeDevice(knownOne, { { "connected", true } }));
        QTRY_COMPARE(log.text(), QStringLiteral("+2"));
        QCOMPARE(cell(model, 2, Model::PairedColumn), QVariant(false));
        QCOMPARE(cell(model, 2, Model::TrustedColumn), QVariant(true));
        QCOMPARE(cell(model, 2, Model::ConnectionStatusColumn), QVariant(true));
    }

    void switchingOffDropsFoundDevices()
    {
        Model *model = modelWithFound({ foundOne, foundTwo });
        ModelLog log(model);
        QVERIFY(sim()->changeAdapter({ { "powered", false } }));
        QTRY_COMPARE(log.text(), QStringLiteral("-2 -2"));
        // While off, a found device stays out and a paired one comes in.
        QVERIFY(found(foundOne));
        QVERIFY(sim()->addDevice({ { "address", "00:11:22:33:44:09" },
                                   { "name", "Charlie" },
                                   { "class", 5898764 },
                                   { "paired", true } }));
        QTRY_COMPARE(log.text(), QStringLiteral("-2 -2 +2"));
        QCOMPARE(names(model), knownRowsWith({ "Charlie" }));
    }

    void filters()
    {
        // Object transfer by class or by UUID: either will do.
        Model *model = makeModel();
        w.adapter->startDiscovery();
        QVERIFY(sim()->addDevice({ { "address", "AA:00:00:00:00:08" },
                                   { "name", "Speaker" },
                                   { "class", 0x200414 },
                                   { "rssi", -20 },
                                   { "inRange", false } }));
        model->setFilter({ { "serviceClass", int(BluetoothDevice::ObjectTransfer) },
                           { "uuids", QStringList { opp } } });
        for (const QString &address :
             { QStringLiteral("AA:00:00:00:00:08"), foundTwo, foundOne, printer })
            QVERIFY(found(address));
        QTRY_COMPARE(names(model),
                     (QStringList { "Bravo", "Found two", "Found one", "Printer", "Blocked paired",
                                    "Blocked one" }));
        // A whole class of device compares major and minor class only.
        model->setFilter({ { "classOfDevice", 0x00020cu } });
        QCOMPARE(names(model),
                 (QStringList { "Bravo", "Found one", "Blocked paired", "Blocked one" }));
        // A major class decides alone. Widening again brings the known devices
        // back at once, and only those: found ones come with their next result.
        model->setFilter({ { "majorClass", int(BluetoothDevice::AudioVideo) } });
        QCOMPARE(names(model), QStringList { "Alpha" });
        model->setFilter({});
        QCOMPARE(names(model), knownRows);
        QVERIFY(found(foundOne));
        QTRY_COMPARE(names(model), knownRowsWith({ "Found one" }));
    }

    void aFailedPairingLeavesTheFoundDevice()
    {
        Model *model = modelWithFound({ pairer });
        QCOMPARE(rowOf(model, pairer), 2);
        w.adapter->stopDiscovery();
        ModelLog log(model);
        BluetoothDevice *listed = model->deviceFromList(2);
        model->setPairingDevice(listed);
        BluetoothAgent agent;
        QSignalSpy failed(w.adapter.get(), &BluetoothAdapter::deviceCreationFailed);
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable("Device creation failed: org.bluez.Error.AuthenticationFailed, "
                       + dialect("Remote device refused pairing", "Authentication Failed")));
        w.adapter->startCreatingPairedDevice(*listed, &agent);
        QVERIFY(failed.wait());
        // BlueZ dropped the device it made for the pairing; the found one stays.
        QTRY_VERIFY(!model->pairingDevice());
        QCOMPARE(names(model), knownRowsWith({ "Pairer" }));
        QVERIFY(model->deviceFromList(2)->path().isEmpty());
        QCOMPARE(cell(model, 2, Model::ActiveColumn), QVariant(false));
        QCOMPARE(log.entries.last(), QStringLiteral("~2:6"));
        QVERIFY(!model->isDeletingPairingDevice());
    }

    void aSuccessfulPairingClearsTheMarkOfItsDeviceOnly()
    {
        Model *model = modelWithFound({ pairsFine });
        QCOMPARE(rowOf(model, pairsFine), 2);
        w.adapter->stopDiscovery();
        model->setPairingDevice(model->deviceFromList(2));
        // Another device pairing meanwhile is not the one being paired.
        QVERIFY(sim()->changeDevice(knownOne, { { "paired", true } }));
        QTRY_COMPARE(rowOf(model, knownOne), 2);
        QCOMPARE(cell(model, 3, Model::ActiveColumn), QVariant(true));
        // While the mark is dropped, views can tell.
        QList<bool> deleting;
        connect(model, &QAbstractItemModel::dataChanged, this,
                [&deleting, model](const QModelIndex &from) {
                    if (from.column() == Model::ActiveColumn)
                        deleting << model->isDeletingPairingDevice();
                });
        BluetoothAgent agent;
        w.adapter->startCreatingPairedDevice(*model->deviceFromList(3), &agent);
        QTRY_VERIFY(!model->pairingDevice());
        QCOMPARE(deleting, QList<bool> { true });
        QTRY_COMPARE(names(model), knownRowsWith({ "Known", "Pairs fine" }));
        QCOMPARE(cell(model, 3, Model::ActiveColumn), QVariant(false));
        QCOMPARE(cell(model, 3, Model::PairedColumn), QVariant(true));
    }

    // Forgotten and paired again at once, as a forced new pairing does: on
    // BlueZ 5 the object went with the pairing, and the device is looked for first.
    void aForgottenDeviceIsPairedAgain()
    {
        Model *model = makeModel();
        const BluetoothDevice forgotten = *model->deviceFromList(1);
        BluetoothAgent agent;
        QVERIFY(w.adapter->removeDevice(forgotten));
        w.adapter->startCreatingPairedDevice(forgotten, &agent);
        if (onBluez5()) {
            QTRY_VERIFY(w.adapter->isDiscovering());
            QVERIFY(found(bravo));
        }
        QTRY_VERIFY(simFlag(bravo, "paired"));
        QTRY_COMPARE(cell(model, 1, Model::PairedColumn), QVariant(true));
        QCOMPARE(names(model), knownRows);
    }

    void thePairingMarkMoves()
    {
        Model *model = makeModel();
        ModelLog log(model);
        model->setPairingDevice(model->deviceFromList(0));
        model->setPairingDevice(model->deviceFromList(1));
        QCOMPARE(log.text(), QStringLiteral("~0:6 ~0:6 ~1:6"));
        QCOMPARE(cell(model, 0, Model::ActiveColumn), QVariant(false));
        QCOMPARE(cell(model, 1, Model::ActiveColumn), QVariant(true));
        model->setPairingDevice(nullptr);
        QCOMPARE(model->pairingDevice()->address(), bravo);
    }

    void theModelOutlivesItsAdapterHandle()
    {
        auto *handle = new BluetoothAdapter;
        m_model = std::make_unique<Model>(handle);
        QCOMPARE(m_model->adapter(), handle);
        delete handle;
        QVERIFY(!m_model->adapter());
        // A device followed out of sight changes: the rows stay as they were.
        BluetoothDevice known = w.adapter->deviceForAddress(knownOne);
        QSignalSpy changed(&known, &BluetoothDevice::propertyChanged);
        QVERIFY(sim()->changeDevice(knownOne, { { "connected", true } }));
        QVERIFY(changed.wait());
        QCOMPARE(names(m_model.get()), knownRows);
    }

    void withoutAnAdapterTheModelStaysEmpty()
    {
        QTest::ignoreMessage(QtWarningMsg, "Constructing BluetoothDeviceModel without adapter!");
        Model model(nullptr);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        model.setFilter({ { "majorClass", 2 } });
        QCOMPARE(model.rowCount(), 0);
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceModel)
#include "tst_bluetoothdevicemodel.moc"
