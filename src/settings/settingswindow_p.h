#ifndef OVRIN_SETTINGSWINDOW_P_H
#define OVRIN_SETTINGSWINDOW_P_H

#include "orvelapplicationwindow.h"

#include <QGraphicsItem>
#include <QGraphicsScene>

namespace Ovrin {

// The window a page is shown on, so that its questions come up over it and
// not over whichever window happened to be active; null when the page is in
// no window (the scene manager then picks the active one).
inline OrvelApplicationWindow *windowOf(const QGraphicsItem *item)
{
    if (!item || !item->scene())
        return nullptr;
    const auto views = item->scene()->views();
    for (QGraphicsView *view : views) {
        if (auto window = qobject_cast<OrvelApplicationWindow *>(view))
            return window;
    }
    return nullptr;
}

} // namespace Ovrin

#endif // OVRIN_SETTINGSWINDOW_P_H
