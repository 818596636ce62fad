#include "orvelseparator.h"

#include <QPainter>
#include <QWidget>

OrvelSeparator::OrvelSeparator(QGraphicsItem *parent, Qt::Orientation orientation)
    : OrvelStylableWidget(parent)
    , m_orientation(orientation)
{
    if (orientation == Qt::Horizontal)
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    else
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setStyleName(QStringLiteral("CommonItemDivider"));
}

OrvelSeparator::~OrvelSeparator() = default;

QSizeF OrvelSeparator::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::MaximumSize)
        return m_orientation == Qt::Horizontal ? QSizeF(QWIDGETSIZE_MAX, 2)
                                               : QSizeF(2, QWIDGETSIZE_MAX);
    Q_UNUSED(constraint);
    return m_orientation == Qt::Horizontal ? QSizeF(0, 2) : QSizeF(2, 0);
}

void OrvelSeparator::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    painter->fillRect(rect().adjusted(l, 0, -r, 0), palette().divider);
}
