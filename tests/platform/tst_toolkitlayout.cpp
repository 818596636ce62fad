#include "orvelbutton.h"
#include "orvelgridlayoutpolicy.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "testenvironment.h"
#include "toolkittesting.h"

#include <QFontMetricsF>
#include <QGraphicsScene>

// Layouts with policies: the same items arranged by whichever policy is active.
class TestToolkitLayout : public QObject
{
    Q_OBJECT

private:
    struct Page
    {
        QGraphicsScene scene;
        OrvelWidget *root = new OrvelWidget;
        OrvelLayout *layout = new OrvelLayout(root);
        OrvelLabel *a = new OrvelLabel(QStringLiteral("Alpha"), root);
        OrvelLabel *b = new OrvelLabel(QStringLiteral("Beta"), root);
        OrvelButton *c = new OrvelButton(QStringLiteral("Gamma"), root);
        Page()
        {
            scene.addItem(root);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        OrvelLinearLayoutPolicy *policy(Qt::Orientation orientation,
                                        const QList<OrvelWidget *> &items)
        {
            auto policy = new OrvelLinearLayoutPolicy(layout, orientation);
            for (OrvelWidget *item : items)
                policy->addItem(item);
            return policy;
        }
        void lay()
        {
            root->resize(480, 800);
            ToolkitTesting::settle();
        }
    };

private Q_SLOTS:
    void switchingPolicyRearrangesTheSameItems()
    {
        Page page;
        auto column = page.policy(Qt::Vertical, { page.a, page.b, page.c });
        auto row = page.policy(Qt::Horizontal, { page.c, page.a });
        page.lay();

        QVERIFY(column->isActive());
        QCOMPARE(page.layout->count(), 3);
        QVERIFY(page.a->geometry().bottom() <= page.b->geometry().top());
        QVERIFY(page.b->geometry().bottom() <= page.c->geometry().top());
        QVERIFY(page.b->isVisible());

        row->activate();
        page.lay();
        QVERIFY(row->isActive());
        QVERIFY(!column->isActive());
        // Side by side now, in the row's order, and the item it lacks is hidden.
        QVERIFY(page.c->geometry().right() <= page.a->geometry().left());
        QVERIFY(!page.b->isVisible());

        column->activate();
        page.lay();
        QVERIFY(page.b->isVisible());
        QVERIFY(page.a->geometry().bottom() <= page.b->geometry().top());
    }

    void gridPolicyPlacesItemsInRowsAndColumns()
    {
        Page page;
        auto column = page.policy(Qt::Vertical, { page.a, page.b, page.c });
        auto grid = new OrvelGridLayoutPolicy(page.layout);
        grid->setSpacing(8);
        grid->addItem(page.a, 0, 0);
        grid->addItem(page.b, 0, 1);
        grid->addItem(page.c, 1, 1);
        grid->activate();
        page.lay();

        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->columnCount(), 2);
        // Same row, side by side; the next row below, in the same column.
        QCOMPARE(page.a->geometry().top(), page.b->geometry().top());
        QVERIFY(page.a->geometry().right() + 8 <= page.b->geometry().left() + 0.5);
        QCOMPARE(page.c->geometry().left(), page.b->geometry().left());
        QVERIFY(page.b->geometry().bottom() + 8 <= page.c->geometry().top() + 0.5);
        // The columns share the whole width.
        QCOMPARE(page.a->geometry().left(), 0.0);
        QCOMPARE(page.b->geometry().right(), 480.0);

        grid->removeItem(page.c);
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->rowOf(page.c), -1);
        QVERIFY(!page.c->isVisible());
        column->activate();
        page.lay();
        QVERIFY(page.a->geometry().bottom() <= page.b->geometry().top());
    }

    void linearPolicyEditing()
    {
        Page page;
        auto row = page.policy(Qt::Horizontal, { page.a });
        row->setSpacing(10);
        row->addStretch();
        row->addItem(page.c, Qt::AlignCenter);
        QCOMPARE(row->indexOf(page.c), 2);
        page.lay();
        // The stretch takes what the items and the two spacings leave.
        QCOMPARE(page.c->geometry().right(), 480.0);

        row->removeAt(2);
        QCOMPARE(row->indexOf(page.c), -1);
        QVERIFY(page.layout->indexOf(page.c) >= 0);
        row->insertItem(2, page.b);
        page.lay();
        QVERIFY(!page.c->isVisible());
        QCOMPARE(page.b->geometry().right(), 480.0);

        // Removing from the layout removes from every policy.
        page.layout->removeItem(page.b);
        QCOMPARE(row->indexOf(page.b), -1);
        QCOMPARE(row->count(), 2);
    }

    void marginsSpacingAndHiddenItems()
    {
        Page page;
        page.layout->setContentsMargins(10, 20, 10, 0);
        page.policy(Qt::Vertical, { page.a, page.b })->setSpacing(5);
        page.lay();
        QCOMPARE(page.a->geometry().topLeft(), QPointF(10, 20));
        QCOMPARE(page.a->geometry().width(), 460.0);
        QCOMPARE(page.b->geometry().top(), page.a->geometry().bottom() + 5);
        // A widget its owner hides gives its room to the next one.
        page.a->hide();
        page.lay();
        QCOMPARE(page.b->geometry().top(), 20.0);
    }

    void wrappingTextInARowGetsTheHeightItNeeds()
    {
        Page page;
        auto column = page.policy(Qt::Vertical, {});
        auto rowWidget = new OrvelWidget(page.root);
        auto rowLayout = new OrvelLayout(rowWidget);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto row = new OrvelLinearLayoutPolicy(rowLayout, Qt::Horizontal);
        auto text = new OrvelLabel(
            QStringLiteral("A long text beside a switch that cannot stay on one line"), rowWidget);
        text->setWordWrap(true);
        auto toggle = new OrvelButton(rowWidget);
        toggle->setViewType(OrvelButton::switchType);
        row->addItem(text);
        row->setStretchFactor(text, 1);
        row->addItem(toggle, Qt::AlignCenter);
        column->addItem(rowWidget);
        column->addItem(page.a);
        page.lay();

        const qreal oneLine = QFontMetricsF(text->font()).height();
        QVERIFY(text->geometry().height() >= 2 * oneLine);
        QVERIFY(text->geometry().right() <= toggle->geometry().left());
        // The row is as high as its text, and what follows comes below it.
        QVERIFY(page.a->geometry().top() >= text->geometry().bottom());
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestToolkitLayout)
#include "tst_toolkitlayout.moc"
