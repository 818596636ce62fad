#ifndef DEVICESWORLD_H
#define DEVICESWORLD_H

// The world of the device and settings tests: the simulated BlueZ on one
// scenario, a fresh adapter handle per test, the GConf keys the pages read
// unset, a window for the screens, and ways to watch item models and pages.

#include "bluetoothadapter.h"
#include "bluetoothdevicecontentitem.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdevicemodel.h"
#include "offlinemode.h"
#include "orvelgconfitem.h"
#include "orvelscenewindow.h"
#include "orveltextedit.h"
#include "ovrintranslations.h"
#include "pairingworld.h"

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>
#include <QAbstractProxyModel>
#include <QJsonObject>

#include <memory>

namespace OvrinTest {

// The devices of tests/devices/scenarios: neighbourhood.json for the models,
// selection.json for the screens.
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

// The methods that write a property of the adapter, and of a device.
inline QString adapterWrite()
{
    return dialect("org.bluez.Adapter.SetProperty", "org.freedesktop.DBus.Properties.Set");
}
inline QString deviceWrite()
{
    return dialect("org.bluez.Device.SetProperty", "org.freedesktop.DBus.Properties.Set");
}

const QString showAlwaysKey = QStringLiteral("/system/varn/connectivity/BT/show_always");
const QString visibleKey = QStringLiteral("/system/varn/connectivity/BT/visible");

class DevicesWorld
{
public:
    // scenario: below tests/, e.g. "devices/scenarios/selection.json";
    // defaultAdapter: the adapter handle made as an application does.
    explicit DevicesWorld(const char *scenario, bool defaultAdapter = false)
        : m_scenario(QString::fromLatin1(scenario))
        , m_defaultAdapter(defaultAdapter)
    {
    }

    std::unique_ptr<Ovrin::BluetoothAdapter> adapter;
    OrvelApplicationWindow window;

    // initTestCase() of a test with screens: the English texts, the window in front.
    void showWindow()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(ToolkitTesting::activate(&window));
    }

    // init(): BlueZ back (a failed test may have stopped it), the scenario
    // (or another) anew, no faults, calls, banners or keys; a warning not
    // expected fails the test.
    void init(const char *scenario = nullptr)
    {
        for (const QString &key : { showAlwaysKey, visibleKey, Ovrin::OfflineMode::Key })
            OrvelGConfItem(key).unset();
        QVERIFY(restoreBluez(sim()));
        QVERIFY2(loadWorld(scenario ? QString::fromLatin1(scenario) : m_scenario),
                 qPrintable(sim()->lastError()));
        Ovrin::SimpleInformationBanner::clearHistory();
        adapter.reset(m_defaultAdapter ? Ovrin::BluetoothAdapter::defaultAdapter()
                                       : new Ovrin::BluetoothAdapter);
        QTRY_VERIFY(adapter->isValid());
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void cleanup()
    {
        window.setCentralWidget(nullptr);
        QTRY_VERIFY(!shown<OrvelSceneWindow>());
        adapter.reset();
        // Twice: deleting a handle schedules its shared part's deletion.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        verifyBluezHygiene(sim());
    }

    template<typename T> T *shown() { return sheetOnScreen<T>(window); }

    bool found(const QString &address) { return sim()->reportDeviceFound(address); }
    bool powerOff()
    {
        if (!sim()->changeAdapter({ { "powered", false } }))
            return false;
        QTRY_LOOP_IMPL(!adapter->isPowered(), 5000, 10);
        return !adapter->isPowered();
    }

    // Radio off, handset in offline mode.
    void goOffline()
    {
        QVERIFY(powerOff());
        QVERIFY(OrvelGConfItem(Ovrin::OfflineMode::Key).set(true));
    }

    // The item of type T named name on the page in the window's centre.
    template<typename T> T *item(const char *name)
    {
        return ToolkitTesting::findItem<T>(window.centralWidget(), QLatin1String(name));
    }

    // Replaces what edit holds with text, key by key, as a user would.
    bool retype(OrvelTextEdit *edit, const QString &text)
    {
        ToolkitTesting::tap(edit);
        if (!edit->hasFocus())
            return false;
        QTest::keyClick(&window, Qt::Key_End);
        for (int i = int(edit->text().size()); i > 0; --i)
            QTest::keyClick(&window, Qt::Key_Backspace);
        if (!edit->text().isEmpty())
            return false;
        ToolkitTesting::typeText(&window, text);
        return edit->text() == text;
    }

    // BlueZ refuses the next call of method ("org.bluez.Adapter.SetProperty",
    // "org.freedesktop.DBus.Properties.Set"), which the library logs with its
    // standard warning (or, from the radio switch, with its own).
    bool refuseNext(const QString &method, const char *reason, bool powerSwitch = false)
    {
        const QString member = method.section('.', -1);
        const QString warning = powerSwitch
            ? QStringLiteral("Switching Bluetooth failed (%1): org.bluez.Error.Failed %2")
                  .arg(member, reason)
            : QStringLiteral("%1 returned error 'org.bluez.Error.Failed': %2").arg(member, reason);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        return sim()->failNext(method, QStringLiteral("org.bluez.Error.Failed"), reason);
    }

    int calls(const QString &member, const QString &interface)
    {
        return sim()->countCalls(member, interface);
    }

    // Property writes (SetProperty on BlueZ 4, Properties.Set on BlueZ 5)
    // to the adapter, or to devices.
    int adapterWrites() { return writes(false); }
    int deviceWrites() { return writes(true); }

private:
    int writes(bool toDevices)
    {
        int count = 0;
        for (const SimulatorClient::Call &call : sim()->callLog()) {
            count += call.member == dialect("SetProperty", "Set")
                && call.path.contains(QLatin1String("/dev_")) == toDevices;
        }
        return count;
    }

    QString m_scenario;
    bool m_defaultAdapter;
};

inline QList<Ovrin::SimpleInformationBanner::Entry> banners()
{
    return Ovrin::SimpleInformationBanner::history();
}

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
    const QString label = (parent.isValid() ? QString::number(parent.row()) + '/' : QString())
        + QString::number(first);
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
                    QString cols;
                    if (from.column() != 0 || to.column() != model->columnCount(from.parent()) - 1)
                        cols = ':' + QString::number(from.column());
                    if (to.column() != from.column() && !cols.isEmpty())
                        cols += '-' + QString::number(to.column());
                    for (int row = from.row(); row <= to.row(); ++row)
                        entries << '~' + rowLabel(from.parent(), row) + cols;
                });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { entries << "reset"; });
        connect(model, &QAbstractItemModel::layoutChanged, this, [this] { entries << "layout"; });
    }
    QStringList entries;
    QString text() const { return entries.join(' '); }
};

// A two-level model as text, one line per top-level row: "header: a, b",
// where a device row reads as its name (element 1) and a placeholder as <text>.
struct TreeNode
{
    QVariant value;
    QList<QVariant> children;
    QString text() const
    {
        QStringList texts;
        for (const QVariant &child : children)
            texts << (child.typeId() == QMetaType::QVariantList ? child.toList().value(1).toString()
                                                                : '<' + child.toString() + '>');
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
// At every notification the model must still look as the copy says (before
// the change for "about to" notifications, after it for the others), so that
// a view following them never reads a row that is not there or misses one.
// Header texts are compared only at rest (verify()): they may change between
// a structure change and the dataChanged that announces it.
class TreeMirror : public QObject
{
    using Model = QAbstractItemModel;

public:
    explicit TreeMirror(Model *model)
        : m_model(model)
        , m_nodes(readTree(model))
    {
        connect(model, &Model::rowsAboutToBeInserted, this, [this](const QModelIndex &p, int f) {
            check("before +" + rowLabel(p, f));
            if (f > childCount(p))
                problems << "insertion past the end at " + rowLabel(p, f);
        });
        connect(model, &Model::rowsInserted, this, [this](const QModelIndex &p, int f, int l) {
            for (int row = f; row <= l; ++row) {
                const QModelIndex index = m_model->index(row, 0, p);
                if (!p.isValid())
                    m_nodes.insert(row, readNode(m_model, index));
                else if (p.row() < m_nodes.size())
                    m_nodes[p.row()].children.insert(row, index.data());
            }
            check("after +" + rowLabel(p, f));
        });
        connect(model, &Model::rowsAboutToBeRemoved, this,
                [this](const QModelIndex &p, int f, int l) {
                    check("before -" + rowLabel(p, f));
                    if (l >= childCount(p))
                        problems << "removal past the end at " + rowLabel(p, l);
                });
        connect(model, &Model::rowsRemoved, this, [this](const QModelIndex &p, int f, int l) {
            for (int row = l; row >= f; --row) {
                if (!p.isValid())
                    m_nodes.removeAt(row);
                else if (p.row() < m_nodes.size())
                    m_nodes[p.row()].children.removeAt(row);
            }
            check("after -" + rowLabel(p, f));
        });
        connect(model, &Model::dataChanged, this,
                [this](const QModelIndex &from, const QModelIndex &to) {
                    const QModelIndex p = from.parent();
                    if (p != to.parent())
                        problems << QStringLiteral("dataChanged across parents");
                    for (int row = from.row(); row <= to.row(); ++row) {
                        const QModelIndex index = m_model->index(row, 0, p);
                        const int top = p.isValid() ? p.row() : row;
                        if (!index.isValid() || top >= m_nodes.size()
                            || (p.isValid() && row >= m_nodes.at(top).children.size()))
                            problems << "dataChanged of unknown row " + rowLabel(p, row);
                        else if (p.isValid())
                            m_nodes[top].children[row] = index.data();
                        else
                            m_nodes[row].value = index.data();
                    }
                });
        connect(model, &Model::modelReset, this, [this] { m_nodes = readTree(m_model); });
        connect(model, &Model::layoutChanged, this, [this] { problems << "layoutChanged"; });
        connect(model, &Model::rowsMoved, this, [this] { problems << "rowsMoved"; });
    }

    QStringList text() const { return treeText(m_nodes); }
    // Whether the model, headers included, equals the copy; mismatches go to problems.
    bool verify() { return check(QStringLiteral("at rest"), true); }
    QStringList problems;

private:
    int childCount(const QModelIndex &p) const
    {
        if (!p.isValid())
            return int(m_nodes.size());
        return p.row() < m_nodes.size() ? int(m_nodes.at(p.row()).children.size()) : 0;
    }

    bool check(const QString &when, bool withHeaders = false)
    {
        const qsizetype before = problems.size();
        const auto fail = [&](const QString &what) {
            problems << when + QStringLiteral(": ") + what;
        };
        const QList<TreeNode> actual = readTree(m_model);
        if (actual.size() != m_nodes.size())
            fail(QStringLiteral("%1 top rows, expected %2").arg(actual.size()).arg(m_nodes.size()));
        auto *proxy = qobject_cast<QAbstractProxyModel *>(m_model);
        for (int top = 0; top < actual.size() && top < m_nodes.size(); ++top) {
            const QModelIndex header = m_model->index(top, 0);
            if (header.parent().isValid())
                fail(QStringLiteral("header %1 has a parent").arg(top));
            if ((withHeaders && actual[top].value != m_nodes[top].value)
                || actual[top].children != m_nodes[top].children)
                fail(actual[top].text() + QStringLiteral(", expected ") + m_nodes[top].text());
            for (int row = 0; row < actual[top].children.size(); ++row) {
                const QModelIndex child = m_model->index(row, 0, header);
                if (child.parent() != header
                    || (proxy && child.data().typeId() == QMetaType::QVariantList
                        && proxy->mapFromSource(proxy->mapToSource(child)) != child))
                    fail(rowLabel(header, row) + QStringLiteral(" has the wrong parent or source"));
            }
        }
        return problems.size() == before;
    }

    Model *m_model;
    QList<TreeNode> m_nodes;
};

} // namespace OvrinTest

#endif // DEVICESWORLD_H
