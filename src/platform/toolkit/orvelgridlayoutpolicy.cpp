#include "orvelgridlayoutpolicy.h"

#include <QGraphicsLayoutItem>
#include <QWidget>

#include <numeric>

OrvelGridLayoutPolicy::OrvelGridLayoutPolicy(OrvelLayout *layout) : OrvelAbstractLayoutPolicy(layout) { }

OrvelGridLayoutPolicy::~OrvelGridLayoutPolicy() = default;

void OrvelGridLayoutPolicy::addItem(QGraphicsLayoutItem *item, int row, int column)
{
    m_cells.insert(item, { qMax(row, 0), qMax(column, 0) });
    insertItemAtIndex(count(), item);
}

int OrvelGridLayoutPolicy::rowOf(const QGraphicsLayoutItem *item) const
{
    return m_cells.contains(item) ? m_cells.value(item).row : -1;
}

int OrvelGridLayoutPolicy::columnOf(const QGraphicsLayoutItem *item) const
{
    return m_cells.contains(item) ? m_cells.value(item).column : -1;
}

int OrvelGridLayoutPolicy::rowCount() const
{
    int rows = 0;
    for (const Cell &cell : m_cells)
        rows = qMax(rows, cell.row + 1);
    return rows;
}

int OrvelGridLayoutPolicy::columnCount() const
{
    int columns = 0;
    for (const Cell &cell : m_cells)
        columns = qMax(columns, cell.column + 1);
    return columns;
}

void OrvelGridLayoutPolicy::removeAt(int index)
{
    m_cells.remove(itemAt(index));
    OrvelAbstractLayoutPolicy::removeAt(index);
}

void OrvelGridLayoutPolicy::measure(QList<qreal> *widths, QList<qreal> *heights) const
{
    widths->fill(0, columnCount());
    heights->fill(0, rowCount());
    for (int index : visibleIndexes()) {
        const QGraphicsLayoutItem *item = itemAt(index);
        const Cell cell = m_cells.value(item);
        const QSizeF preferred = item->effectiveSizeHint(Qt::PreferredSize);
        (*widths)[cell.column] = qMax(widths->at(cell.column), preferred.width());
        (*heights)[cell.row] = qMax(heights->at(cell.row), preferred.height());
    }
}

void OrvelGridLayoutPolicy::relayout(const QRectF &outer)
{
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    const QRectF rect = outer.adjusted(l, t, -r, -b);
    QList<qreal> widths, heights;
    measure(&widths, &heights);
    if (widths.isEmpty())
        return;
    const qreal used = std::accumulate(widths.begin(), widths.end(), 0.0) + spacing() * (widths.size() - 1);
    const qreal extra = qMax<qreal>(0, rect.width() - used) / widths.size();
    QList<qreal> lefts(widths.size()), tops(heights.size());
    qreal x = rect.left();
    for (int c = 0; c < widths.size(); ++c) {
        widths[c] += extra;
        lefts[c] = x;
        x += widths[c] + spacing();
    }
    qreal y = rect.top();
    for (int row = 0; row < heights.size(); ++row) {
        tops[row] = y;
        y += heights[row] + spacing();
    }
    for (int index : visibleIndexes()) {
        QGraphicsLayoutItem *item = itemAt(index);
        const Cell cell = m_cells.value(item);
        item->setGeometry(QRectF(lefts[cell.column], tops[cell.row], widths[cell.column], heights[cell.row]));
    }
}

QSizeF OrvelGridLayoutPolicy::sizeHint(Qt::SizeHint which, const QSizeF &) const
{
    if (which == Qt::MaximumSize)
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    QList<qreal> widths, heights;
    measure(&widths, &heights);
    const auto total = [this](const QList<qreal> &sizes) {
        return sizes.isEmpty() ? 0.0
                               : std::accumulate(sizes.begin(), sizes.end(), 0.0) + spacing() * (sizes.size() - 1);
    };
    return QSizeF(total(widths) + l + r, total(heights) + t + b);
}
