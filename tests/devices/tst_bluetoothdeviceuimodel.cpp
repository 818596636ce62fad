// The grouped device model: its groups, header texts and placeholders, and
// the exact notifications it gives while the device model changes under it,
// each checked against a copy of the tree kept from the notifications alone.

#include "bluetoothdeviceuimodel.h"
#include "devicesworld.h"

using namespace Ovrin;
using namespace OvrinTest;
using namespace OvrinTest::Neighbourhood;

namespace {
QString line(const char *headerId, const QStringList &children)
{
    return qtTrId(headerId) + QStringLiteral(": ") + children.join(QStringLiteral(", "));
}

QString placeholder(const char *textId)
{
    return QLatin1Char('<') + (textId ? qtTrId(textId) : QString()) + QLatin1Char('>');
}

const char pairedGroup[] = "qtn_conn_bt_paired_devices";
const char otherGroup[] = "qtn_conn_bt_other_devices";
const char inRangeGroup[] = "qtn_conn_bt_devices_in_range";
const char blockedGroup[] = "qtn_conn_bt_blocked_devices";

// The scenario's paired and blocked devices, with other in the middle group.
QStringList knownTree(const QStringList &other)
{
    return { line(pairedGroup, { "Alpha", "Bravo" }), line(otherGroup, other),
             line(blockedGroup, { "Blocked paired", "Blocked one" }) };
}
} // namespace

// The grouped model at rest equals its copy and the expected tree.
#define QVERIFY_SETTLED(...) QVERIFY2(settled(__VA_ARGS__), qPrintable(m_why))

class TestBluetoothDeviceUiModel : public QObject
{
    Q_OBJECT

    DevicesWorld w { "devices/scenarios/neighbourhood.json" };
    std::unique_ptr<BluetoothDeviceModel> m_model;
    std::unique_ptr<BluetoothDeviceUiModel> m_ui;
    std::unique_ptr<TreeMirror> m_mirror;
    std::unique_ptr<ModelLog> m_log;

    // The device model (watched by Qt's own tester) and the grouped model over it.
    BluetoothDeviceUiModel *makeModels()
    {
        m_model = testedModel(w.adapter.get());
        m_ui = std::make_unique<BluetoothDeviceUiModel>(m_model.get());
        m_mirror = std::make_unique<TreeMirror>(m_ui.get());
        m_log = std::make_unique<ModelLog>(m_ui.get());
        return m_ui.get();
    }

    void forget(const QStringList &addresses)
    {
        for (const QString &address : addresses)
            QVERIFY2(sim()->removeDevice(address), qPrintable(sim()->lastError()));
        // BlueZ's word of it reaches the adapter before the models are made.
        const auto listed = [this, &addresses] {
            const QList<BluetoothDevice> known = w.adapter->listDevices();
            return std::any_of(known.cbegin(), known.cend(), [&addresses](const auto &device) {
                return addresses.contains(device.address());
            });
        };
        QTRY_VERIFY(!listed());
    }

    // m_why tells how not.
    bool settled(const QStringList &expected)
    {
        m_mirror->verify();
        const QStringList actual = treeText(m_ui.get());
        m_why = (QStringList { "tree:" } + actual + QStringList { "copy:" } + m_mirror->text()
                 + QStringList { "problems:" } + m_mirror->problems)
                    .join(QLatin1String(" | "));
        return actual == expected && m_mirror->problems.isEmpty() && m_mirror->text() == expected;
    }
    QString m_why;

private Q_SLOTS:
    void init() { w.init(); }
    void cleanup()
    {
        m_log.reset();
        m_mirror.reset();
        m_ui.reset();
        m_model.reset();
        w.cleanup();
    }

    void placeholders()
    {
        forget({ bravo, alpha, blockedOne, blockedPaired });
        BluetoothDeviceUiModel *ui = makeModels();
        // Searching: an empty row under "devices in range".
        QVERIFY(!ui->isScanFinished());
        QVERIFY_SETTLED({ line(inRangeGroup, { placeholder(nullptr) }) });
        const QModelIndex empty = ui->index(0, 0, ui->index(0, 0));
        QCOMPARE(empty.data().typeId(), QMetaType::QString);
        QVERIFY(!ui->mapToSource(empty).isValid());
        QVERIFY(!(ui->flags(empty) & Qt::ItemIsSelectable));
        ui->setScanFinished(true);
        QCOMPARE(m_log->text(), QStringLiteral("reset"));
        QVERIFY_SETTLED({ line(inRangeGroup, { placeholder("qtn_conn_no_devices_found") }) });
        QVERIFY(w.powerOff());
        ui->setScanFinished(true);
        QVERIFY_SETTLED({ line(inRangeGroup, { placeholder("qtn_conn_bt_is_off") }) });
        // A model made while the adapter is off knows that no scan runs.
        BluetoothDeviceUiModel another(m_model.get());
        QVERIFY(another.isScanFinished());
        QCOMPARE(treeText(&another),
                 QStringList { line(inRangeGroup, { placeholder("qtn_conn_bt_is_off") }) });
    }

    void groupsAndTheirRows()
    {
        BluetoothDeviceUiModel *ui = makeModels();
        w.adapter->startDiscovery();
        QVERIFY(sim()->reportDeviceFound(foundOne));
        QTRY_COMPARE(m_model->rowCount(), 5);
        QCOMPARE(m_log->text(), QStringLiteral("-1/0 +1/0"));
        QVERIFY_SETTLED(knownTree({ "Found one" }));
        // A device row is the source row's nine values, whatever the role.
        const QModelIndex other = ui->index(1, 0);
        const QModelIndex found = ui->index(0, 0, other);
        QVariantList values;
        for (int column = 0; column < BluetoothDeviceModel::ColumnCount; ++column)
            values.append(m_model->index(2, column).data());
        for (int role : { int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::UserRole) + 5 }) {
            QCOMPARE(found.data(role).toList(), values);
            QCOMPARE(other.data(role).toString(), qtTrId(otherGroup));
        }
        QCOMPARE(ui->mapToSource(found), m_model->index(2, BluetoothDeviceModel::NameColumn));
        QCOMPARE(ui->mapFromSource(m_model->index(2, BluetoothDeviceModel::AddressColumn)), found);
        QCOMPARE(ui->mapFromSource(4), ui->index(1, 0, ui->index(2, 0)));
        QVERIFY(!ui->mapFromSource(5).isValid());
        QVERIFY(!ui->mapToSource(other).isValid());
        // Two levels, one column.
        QCOMPARE(ui->columnCount(), 1);
        QVERIFY(!ui->hasChildren(found) && ui->hasChildren(other));
        QCOMPARE(ui->flags(other), Qt::ItemFlags(Qt::ItemIsEnabled));
        QVERIFY(ui->flags(found) & Qt::ItemIsSelectable);
        // Changes reach their row: a paired device's, the pairing mark of a found one.
        m_log->entries.clear();
        QVERIFY(sim()->changeDevice(bravo, { { "connected", true } }));
        QTRY_COMPARE(m_log->text(), QStringLiteral("~0/1"));
        const QVariantList bravoRow = ui->index(1, 0, ui->index(0, 0)).data().toList();
        QCOMPARE(bravoRow.at(BluetoothDeviceModel::ConnectionStatusColumn), QVariant(true));
        m_model->setPairingDevice(m_model->deviceFromList(2));
        QCOMPARE(m_log->text(), QStringLiteral("~0/1 ~1/0"));
        QVERIFY_SETTLED(knownTree({ "Found one" }));
    }

    void theFirstPairedDeviceOpensItsGroup()
    {
        forget({ bravo, alpha, blockedOne, blockedPaired });
        BluetoothDeviceUiModel *ui = makeModels();
        w.adapter->startDiscovery();
        QVERIFY(sim()->reportDeviceFound(foundOne));
        QTRY_VERIFY2(settled({ line(inRangeGroup, { "Found one" }) }), qPrintable(m_why));
        m_log->entries.clear();
        // Its header first, then the middle group's new name, then the device.
        QVERIFY(sim()->addDevice({ { "address", "00:11:22:33:44:09" },
                                   { "name", "Charlie" },
                                   { "class", 5898764 },
                                   { "paired", true } }));
        QTRY_COMPARE(m_log->text(), QStringLiteral("+0 ~1 +0/0"));
        QVERIFY_SETTLED({ line(pairedGroup, { "Charlie" }), line(otherGroup, { "Found one" }) });
        m_log->entries.clear();
        QVERIFY(sim()->removeDevice(QStringLiteral("00:11:22:33:44:09")));
        QTRY_COMPARE(m_log->text(), QStringLiteral("-0/0 -0 ~0"));
        QVERIFY_SETTLED({ line(inRangeGroup, { "Found one" }) });
        QCOMPARE(ui->rowCount(), 1);
    }

    void blockingMovesADeviceBetweenGroups()
    {
        forget({ blockedOne, blockedPaired });
        makeModels();
        BluetoothDeviceUiModel withoutBlocked(m_model.get());
        withoutBlocked.hideBlockedDevices(true);
        ModelLog hiddenLog(&withoutBlocked);
        QVERIFY_SETTLED({ line(pairedGroup, { "Alpha", "Bravo" }),
                          line(otherGroup, { placeholder(nullptr) }) });
        QVERIFY(sim()->changeDevice(bravo, { { "blocked", true } }));
        QTRY_COMPARE(m_log->text(), QStringLiteral("-0/1 +2 +2/0"));
        QVERIFY_SETTLED({ line(pairedGroup, { "Alpha" }),
                          line(otherGroup, { placeholder(nullptr) }),
                          line(blockedGroup, { "Bravo" }) });
        // Nothing about the blocked group where it is hidden.
        QCOMPARE(hiddenLog.text(), QStringLiteral("-0/1"));
        m_log->entries.clear();
        QVERIFY(sim()->changeDevice(bravo, { { "blocked", false } }));
        QTRY_COMPARE(m_log->text(), QStringLiteral("-2/0 -2 +0/1"));
        QVERIFY_SETTLED({ line(pairedGroup, { "Alpha", "Bravo" }),
                          line(otherGroup, { placeholder(nullptr) }) });
        QCOMPARE(hiddenLog.text(), QStringLiteral("-0/1 +0/1"));
        QCOMPARE(treeText(&withoutBlocked), treeText(m_ui.get()));
    }

    void theAdapterGoesAndComesBack()
    {
        makeModels();
        w.adapter->startDiscovery();
        QVERIFY(sim()->reportDeviceFound(foundOne));
        QTRY_COMPARE(m_model->rowCount(), 5);
        m_log->entries.clear();
        // All rows at once, announced from the last to the first.
        QVERIFY(dropBluez(sim()));
        QTRY_COMPARE(m_log->text(), QStringLiteral("-2/1 -2/0 -1/0 -0/1 -0/0 -0 ~0 -1 +0/0"));
        QVERIFY_SETTLED({ line(inRangeGroup, { placeholder(nullptr) }) });
        QVERIFY(sim()->restoreService());
        QTRY_COMPARE(m_model->rowCount(), 4);
        QVERIFY_SETTLED(knownTree({ placeholder(nullptr) }));
        QVERIFY(sim()->changeDevice(knownOne, { { "paired", true } }));
        QTRY_VERIFY2(settled({ line(pairedGroup, { "Alpha", "Bravo", "Known" }),
                               line(otherGroup, { placeholder(nullptr) }),
                               line(blockedGroup, { "Blocked paired", "Blocked one" }) }),
                     qPrintable(m_why));
    }

    void aSourceThatGoesFirstLeavesAnEmptyModel()
    {
        BluetoothDeviceUiModel *ui = makeModels();
        m_model.reset();
        QCOMPARE(m_log->text(), QStringLiteral("reset"));
        QCOMPARE(ui->rowCount(), 1);
        QCOMPARE(ui->rowCount(ui->index(0, 0)), 1);
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceUiModel)
#include "tst_bluetoothdeviceuimodel.moc"
