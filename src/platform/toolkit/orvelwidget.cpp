#include "orvelwidget.h"

#include <QAction>

OrvelWidget::OrvelWidget(QGraphicsItem *parent)
    : QGraphicsWidget(parent)
{
}

OrvelWidget::~OrvelWidget() = default;

bool OrvelWidget::isOnDisplay() const
{
    return m_onDisplay;
}

void OrvelWidget::clearActions()
{
    const QList<QAction *> all = actions();
    for (QAction *action : all)
        removeAction(action);
}

namespace {

template<typename F> void forEachToolkitChild(QGraphicsItem *item, F f)
{
    const QList<QGraphicsItem *> children = item->childItems();
    for (QGraphicsItem *child : children) {
        if (child->isWidget()) {
            if (auto w = qobject_cast<OrvelWidget *>(static_cast<QGraphicsWidget *>(child))) {
                f(w);
                continue;
            }
        }
        forEachToolkitChild(child, f);
    }
}

} // namespace

void OrvelWidget::enterDisplay()
{
    if (m_onDisplay)
        return;
    m_onDisplay = true;
    enterDisplayEvent();
    Q_EMIT displayEntered();
    forEachToolkitChild(this, [](OrvelWidget *w) { w->enterDisplay(); });
}

void OrvelWidget::exitDisplay()
{
    if (!m_onDisplay)
        return;
    m_onDisplay = false;
    exitDisplayEvent();
    Q_EMIT displayExited();
    forEachToolkitChild(this, [](OrvelWidget *w) { w->exitDisplay(); });
}

void OrvelWidget::enterDisplayEvent() { }

void OrvelWidget::exitDisplayEvent() { }
