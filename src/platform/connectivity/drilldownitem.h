#ifndef OVRIN_DRILLDOWNITEM_H
#define OVRIN_DRILLDOWNITEM_H

#include "orvelcontentitem.h"

namespace Ovrin {

// A row that leads to another page: title, optional subtitle and an arrow.
class Q_DECL_EXPORT DrillDownItem : public OrvelContentItem
{
    Q_OBJECT
public:
    explicit DrillDownItem(QGraphicsItem *parent = nullptr);
    ~DrillDownItem() override;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    qreal trailingSpace() const override { return 40; }
};

} // namespace Ovrin

#endif // OVRIN_DRILLDOWNITEM_H
