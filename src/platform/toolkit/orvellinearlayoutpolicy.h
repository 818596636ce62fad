#ifndef ORVELLINEARLAYOUTPOLICY_H
#define ORVELLINEARLAYOUTPOLICY_H

#include "orvelabstractlayoutpolicy.h"

#include <Qt>

// Items in a row or a column. Extra room goes to stretches and to items with
// a stretch factor, else to items that want to expand.
class Q_DECL_EXPORT OrvelLinearLayoutPolicy : public OrvelAbstractLayoutPolicy
{
public:
    OrvelLinearLayoutPolicy(OrvelLayout *layout, Qt::Orientation orientation);
    ~OrvelLinearLayoutPolicy() override;

    Qt::Orientation orientation() const { return m_orientation; }
    void setOrientation(Qt::Orientation orientation);

    void addItem(QGraphicsLayoutItem *item, Qt::Alignment alignment = {});
    void insertItem(int index, QGraphicsLayoutItem *item, Qt::Alignment alignment = {});
    // A stretch is an empty item of its own: it has an index like any item.
    void addStretch(int stretch = 1);
    void insertStretch(int index, int stretch = 1);
    void setStretchFactor(QGraphicsLayoutItem *item, int stretch);
    int stretchFactor(const QGraphicsLayoutItem *item) const;
    void setAlignment(QGraphicsLayoutItem *item, Qt::Alignment alignment);
    Qt::Alignment alignment(const QGraphicsLayoutItem *item) const;

    void removeAt(int index) override;
    void relayout(const QRectF &rect) override;
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint) const override;

private:
    struct Extra
    {
        int stretch = 0;
        Qt::Alignment alignment;
    };
    Extra extra(const QGraphicsLayoutItem *item) const;
    qreal crossSize(const QGraphicsLayoutItem *item, qreal available) const;
    QList<qreal> mainSizes(const QList<int> &indexes, qreal length,
                           const QList<qreal> &cross) const;
    void fitRowHeights(const QList<int> &indexes, const QList<qreal> &widths, QList<qreal> &cross,
                       qreal available) const;

    Qt::Orientation m_orientation;
    QList<QPair<const QGraphicsLayoutItem *, Extra>> m_extras;
};

#endif // ORVELLINEARLAYOUTPOLICY_H
