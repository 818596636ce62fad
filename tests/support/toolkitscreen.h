#ifndef TOOLKITSCREEN_H
#define TOOLKITSCREEN_H

#include "orvelapplicationwindow.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "orvelscenewindow.h"
#include "toolkittesting.h"

// A handset window showing one page that lays out what is added in a column.
struct ToolkitScreen
{
    OrvelApplicationWindow window;
    OrvelSceneWindow *page = new OrvelSceneWindow;
    OrvelLinearLayoutPolicy *column;

    ToolkitScreen()
    {
        auto layout = new OrvelLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        column = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
        page->appear(&window, OrvelSceneWindow::DestroyWhenDone);
    }
    template<typename W> W *add(W *widget)
    {
        widget->setParentItem(page);
        column->addItem(widget);
        ToolkitTesting::settle();
        return widget;
    }
};

#endif // TOOLKITSCREEN_H
