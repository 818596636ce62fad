#ifndef ORVELGRIDLAYOUTPOLICY_H
#define ORVELGRIDLAYOUTPOLICY_H

#include "orvelabstractlayoutpolicy.h"

#include <QHash>

// Items in rows and columns. Each column is as wide as its widest item and
// each row as tall as its tallest; room left over is shared by the columns.
class Q_DECL_EXPORT OrvelGridLayoutPolicy : public OrvelAbstractLayoutPolicy
{
public:
    explicit OrvelGridLayoutPolicy(OrvelLayout *layout);
    ~OrvelGridLayoutPolicy() override;

    void addItem(QGraphicsLayoutItem *item, int row, int column);
    int rowOf(const QGraphicsLayoutItem *item) const;
    int columnOf(const QGraphicsLayoutItem *item) const;
    int rowCount() const;
    int columnCount() const;

    void removeAt(int index) override;
    void relayout(const QRectF &rect) override;
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint) const override;

private:
    struct Cell
    {
        int row = 0;
        int column = 0;
    };
    // Preferred column widths and row heights of the visible items.
    void measure(QList<qreal> *widths, QList<qreal> *heights) const;

    QHash<const QGraphicsLayoutItem *, Cell> m_cells;
};

#endif // ORVELGRIDLAYOUTPOLICY_H
