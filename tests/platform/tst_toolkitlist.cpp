#include "orvelabstractcellcreator.h"
#include "orvelaction.h"
#include "orvelbutton.h"
#include "orvelcontentitem.h"
#include "orvellabel.h"
#include "orvellist.h"
#include "orvelobjectmenu.h"
#include "orvelscenemanager.h"
#include "orvelwidgetrecycler.h"
#include "testenvironment.h"
#include "toolkitscreen.h"

#include <QSignalSpy>
#include <QStandardItemModel>

using namespace ToolkitTesting;

namespace {

// Title cells that count how often one had to be built rather than reused.
class CountingCellCreator : public OrvelAbstractCellCreator
{
public:
    mutable int built = 0;
    CountingCellCreator() { setCellSize(QSizeF(480, 100)); }
    OrvelWidget *createCell(const QModelIndex &index, OrvelWidgetRecycler &recycler) const override
    {
        auto cell = qobject_cast<OrvelContentItem *>(recycler.take(QStringLiteral("TitleCell")));
        if (!cell) {
            ++built;
            cell = new OrvelContentItem;
            cell->setProperty(OrvelWidgetRecycler::RecycledObjectIdentifier,
                              QStringLiteral("TitleCell"));
        }
        updateCell(index, cell);
        return cell;
    }
    void updateCell(const QModelIndex &index, OrvelWidget *cell) const override
    {
        static_cast<OrvelContentItem *>(cell)->setTitle(index.data().toString());
    }
};

QString titleOf(OrvelWidget *cell)
{
    return static_cast<OrvelContentItem *>(cell)->title();
}

// A window whose page is a list filling the screen.
struct ListScreen : ToolkitScreen
{
    OrvelList *list = add(new OrvelList);
    CountingCellCreator *creator = new CountingCellCreator;
    QStandardItemModel model;
    ListScreen() { list->setCellCreator(creator); }
    void fillFlat(int rows)
    {
        for (int i = 0; i < rows; ++i)
            model.appendRow(new QStandardItem(QStringLiteral("Device %1").arg(i)));
        list->setItemModel(&model);
        settle();
    }
    void fillGroups()
    {
        for (const char *name : { "Paired", "Other" }) {
            auto group = new QStandardItem(QStringLiteral("%1 devices").arg(name));
            for (int i = 0; i < 2; ++i)
                group->appendRow(new QStandardItem(QStringLiteral("%1 %2").arg(name).arg(i)));
            model.appendRow(group);
        }
        list->setShowGroups(true);
        list->setItemModel(&model);
        settle();
    }
};

} // namespace

// The list: cells from a creator, recycled; presses through the scene.
class TestToolkitList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellsAreRecycledWhenScrollingAndResetting()
    {
        ListScreen screen;
        screen.fillFlat(50);
        // 854 high, 100 per cell: nine cells in view, and never more than the
        // ten that cover the screen are built.
        QCOMPARE(screen.list->visibleCells().size(), 9);
        QCOMPARE(screen.creator->built, 9);
        // A row changed in place is shown changed.
        screen.model.item(8)->setText(QStringLiteral("Renamed"));
        QCOMPARE(titleOf(screen.list->visibleCells().at(8)), QStringLiteral("Renamed"));

        screen.list->setScrollPosition(2000);
        QCOMPARE(titleOf(screen.list->visibleCells().first()), QStringLiteral("Device 20"));
        screen.list->setScrollPosition(1e6);
        QCOMPARE(titleOf(screen.list->visibleCells().last()), QStringLiteral("Device 49"));
        screen.list->setScrollPosition(0);
        drag(screen.window.scene(), QPointF(240, 700), QPointF(240, 400));
        QCOMPARE(screen.list->scrollPosition(), 300.0);

        screen.model.clear();
        for (int i = 0; i < 20; ++i)
            screen.model.appendRow(new QStandardItem(QStringLiteral("New %1").arg(i)));
        settle();
        QCOMPARE(titleOf(screen.list->visibleCells().first()), QStringLiteral("New 0"));
        QVERIFY(screen.creator->built <= 10);
    }

    // Choosing and long taps on device rows are checked with the device list.
    void groupHeadersAndLongTaps()
    {
        ListScreen screen;
        screen.fillGroups();
        QStringList headers;
        for (QGraphicsItem *child : screen.list->childItems()) {
            auto label = qobject_cast<OrvelLabel *>(static_cast<QGraphicsWidget *>(child));
            if (label && label->isVisible())
                headers << label->text();
        }
        QCOMPARE(headers, (QStringList { "Paired devices", "Other devices" }));
        const QModelIndex second = screen.model.index(1, 0, screen.model.index(0, 0));
        OrvelWidget *cell = screen.list->cellForIndex(second);
        OrvelWidget *firstOther
            = screen.list->cellForIndex(screen.model.index(0, 0, screen.model.index(1, 0)));
        QCOMPARE(titleOf(firstOther), QStringLiteral("Other 0"));
        QVERIFY(firstOther->geometry().top() > cell->geometry().bottom());

        QSignalSpy clicked(screen.list, &OrvelList::itemClicked);
        QSignalSpy longTapped(screen.list, &OrvelList::itemLongTapped);
        tapAt(screen.window.scene(), QPointF(240, 20));
        const QPointF where = centreOf(cell) + QPointF(-100, 5);
        press(screen.window.scene(), where);
        QVERIFY(longTapped.wait(2 * OrvelList::LongTapTimeout));
        release(screen.window.scene(), where);
        QCOMPARE(longTapped.at(0).at(1).toPointF(), where);
        // Neither the header nor the release ending a long tap is a tap.
        QCOMPARE(clicked.count(), 0);
    }

    // Rows come and go while a search fills the list: a finger held on a row
    // stays on that row, wherever it moves.
    void pressesSurviveRowsComingAndGoing()
    {
        ListScreen screen;
        screen.fillFlat(5);
        QSignalSpy clicked(screen.list, &OrvelList::itemClicked);
        QSignalSpy longTapped(screen.list, &OrvelList::itemLongTapped);
        const QPersistentModelIndex third = screen.model.index(2, 0);

        QPointF where = centreOf(screen.list->cellForIndex(third));
        press(screen.window.scene(), where);
        screen.model.insertRow(0, new QStandardItem(QStringLiteral("Found first")));
        screen.model.appendRow(new QStandardItem(QStringLiteral("Found last")));
        QTRY_COMPARE(longTapped.count(), 1);
        release(screen.window.scene(), where);
        QCOMPARE(longTapped.at(0).at(0).value<QModelIndex>(), QModelIndex(third));
        QCOMPARE(clicked.count(), 0);

        // A tap whose release comes before the list has laid the change out.
        where = centreOf(screen.list->cellForIndex(third));
        press(screen.window.scene(), where);
        screen.model.appendRow(new QStandardItem(QStringLiteral("Found later")));
        release(screen.window.scene(), where);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).value<QModelIndex>(), QModelIndex(third));

        // The held row goes away: no long tap for whatever takes its place.
        where = centreOf(screen.list->cellForIndex(third));
        press(screen.window.scene(), where);
        screen.model.removeRow(third.row());
        QTest::qWait(2 * OrvelList::LongTapTimeout);
        release(screen.window.scene(), where);
        QCOMPARE(longTapped.count(), 1);
        QCOMPARE(clicked.count(), 1);
    }

    void columnsPutCellsSideBySide()
    {
        ListScreen screen;
        screen.list->setColumns(2);
        screen.fillFlat(5);
        const QList<OrvelWidget *> cells = screen.list->visibleCells();
        QCOMPARE(cells.at(1)->geometry(), QRectF(240, 0, 240, 100));
        QCOMPARE(cells.at(4)->geometry().topLeft(), QPointF(0, 200));
        QCOMPARE(screen.list->contentHeight(), 300.0);
        QCOMPARE(screen.list->indexAt(QPointF(300, 150)), screen.model.index(3, 0));
    }

    // What its buttons do is checked with the device list's menus.
    void objectMenuOffersItsActionsBelowTheFinger()
    {
        ListScreen screen;
        screen.fillFlat(3);
        auto keep = new OrvelAction(QStringLiteral("Connect"), screen.list);
        keep->setLocation(OrvelAction::ObjectMenuLocation);
        auto elsewhere = new OrvelAction(QStringLiteral("Settings"), screen.list);
        elsewhere->setLocation(OrvelAction::ToolBarLocation);
        screen.list->addActions({ keep, elsewhere });
        QSignalSpy triggered(keep, &QAction::triggered);

        auto menu = new OrvelObjectMenu(screen.list);
        QCOMPARE(menu->menuActions(), QList<QAction *> { keep });
        menu->setCursorPosition(QPointF(240, 150));
        menu->appear(&screen.window, OrvelSceneWindow::DestroyWhenDone);
        settle();
        QVERIFY(menu->geometry().top() > 150);
        // A tap beside it closes it without choosing.
        tapAt(screen.window.scene(), QPointF(240, 800));
        QCOMPARE(triggered.count(), 0);
        QVERIFY(!screen.window.sceneManager()->sceneWindows().contains(menu));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestToolkitList)
#include "tst_toolkitlist.moc"
