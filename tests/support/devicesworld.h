#ifndef DEVICESWORLD_H
#define DEVICESWORLD_H

// The world the device and settings tests share: the simulated BlueZ on one
// scenario with a fresh adapter handle per test, a window in front for the
// screens, and ways to watch item models.

#include "bluetoothadapter.h"
#include "bluetoothdevicecontentitem.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdevicemodel.h"
#include "bluezhygiene.h"
#include "orvelapplicationwindow.h"
#include "ovrintranslations.h"
#include "simpleinformationbanner.h"
#include "testenvironment.h"
#include "toolkittesting.h"

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QAbstractProxyModel>
#include <QJsonObject>
#include <QRegularExpression>

#include <memory>

namespace OvrinTest {

// The devices of tests/devices/scenarios: neighbourhood.json (paired,
// blocked, known and found devices for the models) and selection.json (the
// screens' devices).
namespace Neighbourhood {
inline const QString bravo = QStringLiteral("00:11:22:33:44:01");
inline const QString alpha = QStringLiteral("00:11:22:33:44:02");
inline const QString blockedOne = QStringLiteral("00:11:22:33:44:03");
inline const QString blockedPaired = QStringLiteral("00:11:22:33:44:04");
inline const QString knownOne = QStringLiteral("00:11:22:33:44:05");
inline const QString foundOne = QStringLiteral("AA:00:00:00:00:01"); // phone, -40
inline const QString foundTwo = QStringLiteral("AA:00:00:00:00:02"); // computer with OPP, -30
} // namespace Neighbourhood
namespace Selection {
inline const QString headset = QStringLiteral("00:1B:66:0A:11:01"); // paired, trusted, connected
inline const QString brokenSpeaker = QStringLiteral("00:0D:3C:B7:44:04"); // audio connect fails
inline const QString speaker = QStringLiteral("00:0D:3C:B7:44:05");
inline const QString pairedPhone = QStringLiteral("F4:0E:22:13:33:10"); // no audio, pairs at once
inline const QString blockedOne = QStringLiteral("00:11:22:33:44:03");
inline const QString nearbyPhone = QStringLiteral("AA:00:00:00:00:01"); // found, confirms 004821
inline const QString laptop = QStringLiteral("AA:00:00:00:00:03"); // found, pairs at once
inline const QString printer = QStringLiteral("AA:00:00:00:00:04"); // found
} // namespace Selection

class DevicesWorld
{
public:
    // scenario: below tests/, e.g. "devices/scenarios/selection.json".
    explicit DevicesWorld(const char *scenario)
        : m_scenario(QString::fromLatin1(scenario))
    {
    }

    SimulatorClient *sim() const { return TestEnvironment::instance()->simulator(); }
    std::unique_ptr<Ovrin::BluetoothAdapter> adapter;
    OrvelApplicationWindow window;

    // initTestCase() of a test with screens: the English texts, the window in front.
    void showWindow()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(ToolkitTesting::activate(&window));
    }

    // init(): BlueZ back (a failed test may have stopped it), the scenario
    // anew, no faults, no calls logged, no banners, a fresh adapter handle;
    // and any warning not expected fails the test.
    void init(bool defaultAdapter = false, const char *scenario = nullptr)
    {
        QVERIFY(restoreBluez(sim()));
        const QString file = scenario ? QString::fromLatin1(scenario) : m_scenario;
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(file)),
                 qPrintable(sim()->lastError()));
        QVERIFY(sim()->clearFaults());
        QVERIFY(sim()->clearCallLog());
        Ovrin::SimpleInformationBanner::clearHistory();
        adapter.reset(defaultAdapter ? Ovrin::BluetoothAdapter::defaultAdapter()
                                     : new Ovrin::BluetoothAdapter);
        QTRY_VERIFY(adapter->isValid());
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    // cleanup(), after what the test made over the adapter is gone.
    void cleanup()
    {
        window.setCentralWidget(nullptr);
        adapter.reset();
        // Twice: deleting a handle schedules its shared part's deletion.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        verifyBluezHygiene(sim());
    }

    bool found(const QString &address) { return sim()->reportDeviceFound(address); }
    bool powerOff()
    {
        if (!sim()->changeAdapter({ { "powered", false } }))
            return false;
        QTRY_LOOP_IMPL(!adapter->isPowered(), 5000, 10);
        return !adapter->isPowered();
    }
    QJsonValue simDevice(const QString &address, const char *key)
    {
        return sim()->device(address).value(QLatin1String(key));
    }
    // The adapter as the simulator has it now.
    QJsonValue simAdapter(const char *key)
    {
        const QJsonObject bluez = sim()->state().value(QLatin1String("org.bluez")).toObject();
        return bluez.value(QLatin1String("adapter")).toObject().value(QLatin1String(key));
    }

private:
    QString m_scenario;
};

// A device model over adapter, watched by Qt's own model tester.
inline std::unique_ptr<Ovrin::BluetoothDeviceModel> testedModel(Ovrin::BluetoothAdapter *adapter)
{
    auto model = std::make_unique<Ovrin::BluetoothDeviceModel>(adapter);
    new QAbstractItemModelTester(
        model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest, model.get());
    return model;
}

// The visible row of list labelled label, once the layout has settled.
inline Ovrin::BluetoothDeviceContentItem *deviceCell(Ovrin::BluetoothDeviceList *list,
                                                     const QString &label)
{
    ToolkitTesting::settle();
    const auto cells = list ? list->visibleCells() : QList<OrvelWidget *>();
    for (OrvelWidget *cell : cells) {
        auto *item = qobject_cast<Ovrin::BluetoothDeviceContentItem *>(cell);
        if (item && item->isVisible() && item->label() == label)
            return item;
    }
    return nullptr;
}

// "r" for a top-level row, "p/r" for row r under top-level row p; "a..b" for a range.
inline QString rowLabel(const QModelIndex &parent, int first, int last = -1)
{
    QString label = parent.isValid() ? QStringLiteral("%1/%2").arg(parent.row()).arg(first)
                                     : QString::number(first);
    return last > first ? label + QStringLiteral("..") + QString::number(last) : label;
}

// The notifications of a model as text, in order: "+2" (row 2 inserted),
// "-0..4" (rows 0 to 4 removed at once), "~1" (every column of row 1
// changed), "~1:6" (column 6 only), "reset", "layout".
class ModelLog : public QObject
{
public:
    explicit ModelLog(QAbstractItemModel *model)
    {
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &p, int f, int l) { entries << '+' + rowLabel(p, f, l); });
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex &p, int f, int l) { entries << '-' + rowLabel(p, f, l); });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this, model](const QModelIndex &from, const QModelIndex &to) {
                    const bool all = from.column() == 0
                        && to.column() == model->columnCount(from.parent()) - 1;
                    for (int row = from.row(); row <= to.row(); ++row) {
                        QString entry = '~' + rowLabel(from.parent(), row);
                        if (!all)
                            entry += ':' + QString::number(from.column())
                                + (to.column() != from.column() ? '-' + QString::number(to.column())
                                                                : QString());
                        entries << entry;
                    }
                });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { entries << "reset"; });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { entries << "layout"; });
    }
    QStringList entries;
    QString text() const { return entries.join(' '); }
};

// A child that is a list (a device row) reads as its element 1 (the name),
// one that is a text (a placeholder) as <text>.
inline QString childText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantList)
        return value.toList().value(1).toString();
    return value.typeId() == QMetaType::QString ? '<' + value.toString() + '>'
                                                : QStringLiteral("?");
}

struct TreeNode
{
    QVariant value;
    QList<QVariant> children;
    QString text() const
    {
        QStringList texts;
        for (const QVariant &child : children)
            texts << childText(child);
        return value.toString() + QStringLiteral(": ") + texts.join(QStringLiteral(", "));
    }
};

inline TreeNode readNode(const QAbstractItemModel *model, const QModelIndex &header)
{
    TreeNode node { header.data(), {} };
    for (int row = 0; row < model->rowCount(header); ++row)
        node.children << model->index(row, 0, header).data();
    return node;
}

inline QList<TreeNode> readTree(const QAbstractItemModel *model)
{
    QList<TreeNode> nodes;
    for (int top = 0; top < model->rowCount(); ++top)
        nodes << readNode(model, model->index(top, 0));
    return nodes;
}

// A two-level model as text: one line per top-level row, "header: a, b".
inline QStringList treeText(const QList<TreeNode> &nodes)
{
    QStringList lines;
    for (const TreeNode &node : nodes)
        lines << node.text();
    return lines;
}
inline QStringList treeText(const QAbstractItemModel *model)
{
    return treeText(readTree(model));
}

// A copy of a two-level model kept up to date from its notifications alone.
// At every notification it checks that the model still looks as the copy
// says (before the change for "about to" notifications, after it for the
// others), so that a view following the notifications never reads a row
// that is not there or misses one that is. Header texts are compared only at
// rest (verify()): they may change between a structure change and the
// dataChanged that announces it.
class TreeMirror : public QObject
{
public:
    explicit TreeMirror(QAbstractItemModel *model)
        : m_model(model)
        , m_nodes(readTree(model))
    {
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex &parent, int first) {
                    check("before +" + rowLabel(parent, first));
                    if (first > childCount(parent))
                        problems << "insertion past the end at " + rowLabel(parent, first);
                });
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &parent, int first, int last) {
                    for (int row = first; row <= last; ++row) {
                        const QModelIndex index = m_model->index(row, 0, parent);
                        if (!parent.isValid())
                            m_nodes.insert(row, readNode(m_model, index));
                        else if (parent.row() < m_nodes.size())
                            m_nodes[parent.row()].children.insert(row, index.data());
                    }
                    check("after +" + rowLabel(parent, first));
                });
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex &parent, int first, int last) {
                    check("before -" + rowLabel(parent, first));
                    if (last >= childCount(parent))
                        problems << "removal past the end at " + rowLabel(parent, last);
                });
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex &parent, int first, int last) {
                    for (int row = last; row >= first; --row) {
                        if (!parent.isValid())
                            m_nodes.removeAt(row);
                        else if (parent.row() < m_nodes.size())
                            m_nodes[parent.row()].children.removeAt(row);
                    }
                    check("after -" + rowLabel(parent, first));
                });
        connect(model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &from, const QModelIndex &to) {
                    const QModelIndex parent = from.parent();
                    if (parent != to.parent())
                        problems << QStringLiteral("dataChanged across parents");
                    for (int row = from.row(); row <= to.row(); ++row) {
                        const QModelIndex index = m_model->index(row, 0, parent);
                        const int top = parent.isValid() ? parent.row() : row;
                        if (!index.isValid() || top >= m_nodes.size()
                            || (parent.isValid() && row >= m_nodes.at(top).children.size())) {
                            problems << "dataChanged of unknown row " + rowLabel(parent, row);
                        } else if (parent.isValid()) {
                            m_nodes[top].children[row] = index.data();
                        } else {
                            m_nodes[row].value = index.data();
                        }
                    }
                });
        connect(model, &QAbstractItemModel::modelReset, this,
                [this] { m_nodes = readTree(m_model); });
        connect(model, &QAbstractItemModel::layoutChanged, this,
                [this] { problems << QStringLiteral("layoutChanged"); });
        connect(model, &QAbstractItemModel::rowsMoved, this,
                [this] { problems << QStringLiteral("rowsMoved"); });
    }

    QStringList text() const { return treeText(m_nodes); }
    // Whether the model, headers included, equals the copy; mismatches go to problems.
    bool verify() { return check(QStringLiteral("at rest"), true); }
    QStringList problems;

private:
    int childCount(const QModelIndex &parent) const
    {
        if (!parent.isValid())
            return int(m_nodes.size());
        return parent.row() < m_nodes.size() ? int(m_nodes.at(parent.row()).children.size()) : 0;
    }

    bool check(const QString &when, bool withHeaders = false)
    {
        const qsizetype before = problems.size();
        const QList<TreeNode> actual = readTree(m_model);
        if (actual.size() != m_nodes.size()) {
            problems << when
                    + QStringLiteral(": %1 top rows, expected %2")
                          .arg(actual.size())
                          .arg(m_nodes.size());
            return false;
        }
        auto *proxy = qobject_cast<QAbstractProxyModel *>(m_model);
        for (int top = 0; top < actual.size(); ++top) {
            const QModelIndex header = m_model->index(top, 0);
            if (header.parent().isValid())
                problems << when + QStringLiteral(": header %1 has a parent").arg(top);
            if ((withHeaders && actual[top].value != m_nodes[top].value)
                || actual[top].children != m_nodes[top].children)
                problems << when
                        + QStringLiteral(": %1, expected %2")
                              .arg(actual[top].text(), m_nodes[top].text());
            for (int row = 0; row < actual[top].children.size(); ++row) {
                const QModelIndex child = m_model->index(row, 0, header);
                if (child.parent() != header
                    || (proxy && child.data().typeId() == QMetaType::QVariantList
                        && proxy->mapFromSource(proxy->mapToSource(child)) != child))
                    problems << when
                            + QStringLiteral(": %1/%2 has the wrong parent or source")
                                  .arg(top)
                                  .arg(row);
            }
        }
        return problems.size() == before;
    }

    QAbstractItemModel *m_model;
    QList<TreeNode> m_nodes;
};

} // namespace OvrinTest

#endif // DEVICESWORLD_H
