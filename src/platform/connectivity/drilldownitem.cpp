#include "drilldownitem.h"

#include <QPainter>

namespace Ovrin {

DrillDownItem::DrillDownItem(QGraphicsItem *parent)
    : OrvelContentItem(TwoTextLabels, parent)
{
    setStyleName(QStringLiteral("CommonDrillDownItem"));
}

DrillDownItem::~DrillDownItem() = default;

void DrillDownItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                          QWidget *widget)
{
    OrvelContentItem::paint(painter, option, widget);
    // The arrow tells that a tap leads further.
    const QRectF r = rect();
    const qreal x = r.right() - 36, y = r.center().y();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(palette().secondaryText, 3);
    pen.setCapStyle(Qt::RoundCap);
    painter->setPen(pen);
    painter->drawLine(QPointF(x, y - 10), QPointF(x + 10, y));
    painter->drawLine(QPointF(x + 10, y), QPointF(x, y + 10));
    painter->restore();
}

} // namespace Ovrin
