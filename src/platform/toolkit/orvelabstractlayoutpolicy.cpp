#include "orvelabstractlayoutpolicy.h"

#include "orvellayout.h"

#include <QGraphicsWidget>

OrvelAbstractLayoutPolicy::OrvelAbstractLayoutPolicy(OrvelLayout *layout)
    : m_layout(layout)
{
    m_layout->addPolicy(this);
}

OrvelAbstractLayoutPolicy::~OrvelAbstractLayoutPolicy()
{
    m_layout->removePolicy(this);
}

void OrvelAbstractLayoutPolicy::activate()
{
    m_layout->setPolicy(this);
}

bool OrvelAbstractLayoutPolicy::isActive() const
{
    return m_layout->policy() == this;
}

QGraphicsLayoutItem *OrvelAbstractLayoutPolicy::itemAt(int index) const
{
    return m_items.value(index);
}

int OrvelAbstractLayoutPolicy::indexOf(const QGraphicsLayoutItem *item) const
{
    return int(m_items.indexOf(const_cast<QGraphicsLayoutItem *>(item)));
}

void OrvelAbstractLayoutPolicy::removeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    m_items.removeAt(index);
    m_layout->applyVisibility();
    invalidateLayout();
}

void OrvelAbstractLayoutPolicy::removeItem(const QGraphicsLayoutItem *item)
{
    removeAt(indexOf(item));
}

void OrvelAbstractLayoutPolicy::setSpacing(qreal spacing)
{
    m_spacing = spacing;
    invalidateLayout();
}

void OrvelAbstractLayoutPolicy::setContentsMargins(qreal left, qreal top, qreal right, qreal bottom)
{
    m_margins[0] = left;
    m_margins[1] = top;
    m_margins[2] = right;
    m_margins[3] = bottom;
    invalidateLayout();
}

void OrvelAbstractLayoutPolicy::getContentsMargins(qreal *left, qreal *top, qreal *right,
                                                   qreal *bottom) const
{
    *left = m_margins[0];
    *top = m_margins[1];
    *right = m_margins[2];
    *bottom = m_margins[3];
}

void OrvelAbstractLayoutPolicy::insertItemAtIndex(int index, QGraphicsLayoutItem *item)
{
    if (!item || m_items.contains(item))
        return;
    m_layout->adopt(item);
    m_items.insert(qBound(0, index, int(m_items.size())), item);
    m_layout->applyVisibility();
    invalidateLayout();
}

QList<int> OrvelAbstractLayoutPolicy::visibleIndexes() const
{
    QList<int> indexes;
    for (int i = 0; i < m_items.size(); ++i) {
        QGraphicsLayoutItem *item = m_items.at(i);
        QGraphicsItem *graphics = item->isLayout() ? nullptr : item->graphicsItem();
        if (graphics && graphics->isWidget() && !graphics->isVisibleTo(graphics->parentItem()))
            continue;
        indexes.append(i);
    }
    return indexes;
}

void OrvelAbstractLayoutPolicy::invalidateLayout()
{
    if (isActive())
        m_layout->invalidate();
}
