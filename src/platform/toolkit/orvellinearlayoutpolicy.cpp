#include "orvellinearlayoutpolicy.h"

#include "orvellayout.h"

#include <QGraphicsLayoutItem>
#include <QWidget>

namespace {

// An empty item that only takes room; owned by the layout.
class Stretch : public QGraphicsLayoutItem
{
public:
    Stretch() { setOwnedByLayout(true); }
    void setGeometry(const QRectF &rect) override { QGraphicsLayoutItem::setGeometry(rect); }

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &) const override
    {
        return which == Qt::MaximumSize ? QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : QSizeF(0, 0);
    }
};

qreal along(const QSizeF &size, Qt::Orientation o)
{
    return o == Qt::Horizontal ? size.width() : size.height();
}

qreal across(const QSizeF &size, Qt::Orientation o)
{
    return o == Qt::Horizontal ? size.height() : size.width();
}

bool expands(const QGraphicsLayoutItem *item, Qt::Orientation o)
{
    const QSizePolicy::Policy p = o == Qt::Horizontal ? item->sizePolicy().horizontalPolicy()
                                                      : item->sizePolicy().verticalPolicy();
    return p & QSizePolicy::ExpandFlag;
}

} // namespace

OrvelLinearLayoutPolicy::OrvelLinearLayoutPolicy(OrvelLayout *layout, Qt::Orientation orientation)
    : OrvelAbstractLayoutPolicy(layout)
    , m_orientation(orientation)
{
}

OrvelLinearLayoutPolicy::~OrvelLinearLayoutPolicy() = default;

void OrvelLinearLayoutPolicy::setOrientation(Qt::Orientation orientation)
{
    m_orientation = orientation;
    invalidateLayout();
}

void OrvelLinearLayoutPolicy::addItem(QGraphicsLayoutItem *item, Qt::Alignment alignment)
{
    insertItem(count(), item, alignment);
}

void OrvelLinearLayoutPolicy::insertItem(int index, QGraphicsLayoutItem *item,
                                         Qt::Alignment alignment)
{
    if (!item)
        return;
    if (index < 0 || index > count())
        index = count();
    insertItemAtIndex(index, item);
    setAlignment(item, alignment);
}

void OrvelLinearLayoutPolicy::addStretch(int stretch)
{
    insertStretch(count(), stretch);
}

void OrvelLinearLayoutPolicy::insertStretch(int index, int stretch)
{
    auto item = new Stretch;
    insertItem(index, item);
    setStretchFactor(item, stretch);
}

OrvelLinearLayoutPolicy::Extra OrvelLinearLayoutPolicy::extra(const QGraphicsLayoutItem *item) const
{
    for (const auto &pair : m_extras)
        if (pair.first == item)
            return pair.second;
    return {};
}

void OrvelLinearLayoutPolicy::setStretchFactor(QGraphicsLayoutItem *item, int stretch)
{
    for (auto &pair : m_extras) {
        if (pair.first == item) {
            pair.second.stretch = stretch;
            invalidateLayout();
            return;
        }
    }
    Extra e;
    e.stretch = stretch;
    m_extras.append({ item, e });
    invalidateLayout();
}

int OrvelLinearLayoutPolicy::stretchFactor(const QGraphicsLayoutItem *item) const
{
    return extra(item).stretch;
}

void OrvelLinearLayoutPolicy::setAlignment(QGraphicsLayoutItem *item, Qt::Alignment alignment)
{
    for (auto &pair : m_extras) {
        if (pair.first == item) {
            pair.second.alignment = alignment;
            invalidateLayout();
            return;
        }
    }
    Extra e;
    e.alignment = alignment;
    m_extras.append({ item, e });
    invalidateLayout();
}

Qt::Alignment OrvelLinearLayoutPolicy::alignment(const QGraphicsLayoutItem *item) const
{
    return extra(item).alignment;
}

void OrvelLinearLayoutPolicy::removeAt(int index)
{
    const QGraphicsLayoutItem *item = itemAt(index);
    for (int i = 0; i < m_extras.size(); ++i) {
        if (m_extras.at(i).first == item) {
            m_extras.removeAt(i);
            break;
        }
    }
    OrvelAbstractLayoutPolicy::removeAt(index);
}

// Size across the line: items fill it unless aligned across, then they keep
// their preferred size.
qreal OrvelLinearLayoutPolicy::crossSize(const QGraphicsLayoutItem *item, qreal available) const
{
    const Qt::Alignment a = alignment(item);
    const Qt::Alignment crossFlags
        = m_orientation == Qt::Vertical ? Qt::AlignHorizontal_Mask : Qt::AlignVertical_Mask;
    const Qt::Orientation crossOrientation
        = m_orientation == Qt::Vertical ? Qt::Horizontal : Qt::Vertical;
    const qreal maximum = along(item->effectiveSizeHint(Qt::MaximumSize), crossOrientation);
    const qreal minimum = along(item->effectiveSizeHint(Qt::MinimumSize), crossOrientation);
    qreal size = qMin(available, maximum);
    // Rows keep their items' own heights unless an item wants to grow.
    const bool rowItemGrows = m_orientation == Qt::Horizontal
        && (item->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag);
    if ((a & crossFlags) || (m_orientation == Qt::Horizontal && !rowItemGrows))
        size = qMin(size, along(item->effectiveSizeHint(Qt::PreferredSize), crossOrientation));
    return qMax(size, qMin(minimum, available));
}

QList<qreal> OrvelLinearLayoutPolicy::mainSizes(const QList<int> &indexes, qreal length,
                                                const QList<qreal> &cross) const
{
    const Qt::Orientation o = m_orientation;
    const int n = int(indexes.size());
    QList<qreal> minimum(n), preferred(n), maximum(n), size(n);
    for (int i = 0; i < n; ++i) {
        QGraphicsLayoutItem *item = itemAt(indexes.at(i));
        const QSizeF constraint = o == Qt::Vertical ? QSizeF(cross[i], -1) : QSizeF(-1, -1);
        minimum[i] = along(item->effectiveSizeHint(Qt::MinimumSize, constraint), o);
        preferred[i] = along(item->effectiveSizeHint(Qt::PreferredSize, constraint), o);
        maximum[i] = along(item->effectiveSizeHint(Qt::MaximumSize, constraint), o);
        size[i] = preferred[i];
    }
    const qreal available = length - spacing() * (n - 1);
    qreal total = 0;
    for (qreal s : std::as_const(size))
        total += s;

    if (available > total) {
        // Extra room: stretches first, else items that want to grow.
        QList<qreal> weight(n, 0);
        qreal weights = 0;
        for (int i = 0; i < n; ++i) {
            weight[i] = stretchFactor(itemAt(indexes.at(i)));
            weights += weight[i];
        }
        if (weights == 0) {
            for (int i = 0; i < n; ++i) {
                weight[i] = expands(itemAt(indexes.at(i)), o) ? 1 : 0;
                weights += weight[i];
            }
        }
        const qreal extraRoom = available - total;
        for (int i = 0; weights > 0 && i < n; ++i)
            size[i] = qMin(maximum[i], size[i] + extraRoom * weight[i] / weights);
    } else if (available < total) {
        // Too little room: shrink towards the minimum sizes, evenly.
        qreal shrinkable = 0;
        for (int i = 0; i < n; ++i)
            shrinkable += preferred[i] - minimum[i];
        const qreal deficit = total - available;
        const qreal ratio = shrinkable > 0 ? qMin<qreal>(1, deficit / shrinkable) : 0;
        for (int i = 0; i < n; ++i)
            size[i] = preferred[i] - (preferred[i] - minimum[i]) * ratio;
    }
    return size;
}

// In a row, an item whose height depends on its width (wrapping text) gets
// the height its given width calls for.
void OrvelLinearLayoutPolicy::fitRowHeights(const QList<int> &indexes, const QList<qreal> &widths,
                                            QList<qreal> &cross, qreal available) const
{
    for (int i = 0; i < indexes.size(); ++i) {
        const QGraphicsLayoutItem *item = itemAt(indexes.at(i));
        if (!item->sizePolicy().hasHeightForWidth())
            continue;
        const qreal height
            = item->effectiveSizeHint(Qt::PreferredSize, QSizeF(widths[i], -1)).height();
        cross[i] = available > 0 ? qMin(available, height) : height;
    }
}

void OrvelLinearLayoutPolicy::relayout(const QRectF &outer)
{
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    const QRectF rect = outer.adjusted(l, t, -r, -b);
    const Qt::Orientation o = m_orientation;
    const QList<int> indexes = visibleIndexes();
    const int n = int(indexes.size());
    if (n == 0)
        return;
    const qreal crossAvailable = across(rect.size(), o);
    QList<qreal> cross(n);
    for (int i = 0; i < n; ++i)
        cross[i] = crossSize(itemAt(indexes.at(i)), crossAvailable);
    const QList<qreal> size = mainSizes(indexes, along(rect.size(), o), cross);
    if (o == Qt::Horizontal)
        fitRowHeights(indexes, size, cross, crossAvailable);

    qreal position = o == Qt::Horizontal ? rect.left() : rect.top();
    for (int i = 0; i < n; ++i) {
        QGraphicsLayoutItem *item = itemAt(indexes.at(i));
        const Qt::Alignment a = alignment(item);
        QRectF slot;
        if (o == Qt::Vertical) {
            qreal x = rect.left();
            if (a & Qt::AlignHCenter)
                x += (crossAvailable - cross[i]) / 2;
            else if (a & Qt::AlignRight)
                x += crossAvailable - cross[i];
            slot = QRectF(x, position, cross[i], size[i]);
        } else {
            qreal y = rect.top();
            // Rows centre their items across unless told otherwise.
            if (a & Qt::AlignTop)
                y = rect.top();
            else if (a & Qt::AlignBottom)
                y += crossAvailable - cross[i];
            else
                y += (crossAvailable - cross[i]) / 2;
            slot = QRectF(position, y, size[i], cross[i]);
        }
        item->setGeometry(slot);
        position += size[i] + spacing();
    }
}

QSizeF OrvelLinearLayoutPolicy::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    if (which == Qt::MaximumSize)
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const Qt::Orientation o = m_orientation;
    qreal main = 0, crossMax = 0;
    const QList<int> indexes = visibleIndexes();
    const qreal crossConstraint
        = o == Qt::Vertical ? constraint.width() - l - r : constraint.height() - t - b;
    for (int index : indexes) {
        const QGraphicsLayoutItem *item = itemAt(index);
        QSizeF itemConstraint(-1, -1);
        if (crossConstraint > 0) {
            const qreal c = crossSize(item, crossConstraint);
            itemConstraint = o == Qt::Vertical ? QSizeF(c, -1) : QSizeF(-1, c);
        }
        const QSizeF hint = item->effectiveSizeHint(which, itemConstraint);
        main += along(hint, o);
        crossMax = qMax(crossMax, across(hint, o));
    }
    if (!indexes.isEmpty())
        main += spacing() * (indexes.size() - 1);
    if (o == Qt::Horizontal && which == Qt::PreferredSize && constraint.width() > 0
        && !indexes.isEmpty()) {
        QList<qreal> cross(indexes.size());
        for (int i = 0; i < indexes.size(); ++i)
            cross[i] = along(itemAt(indexes.at(i))->effectiveSizeHint(which), Qt::Vertical);
        const QList<qreal> widths = mainSizes(indexes, constraint.width() - l - r, cross);
        fitRowHeights(indexes, widths, cross, -1);
        for (qreal c : std::as_const(cross))
            crossMax = qMax(crossMax, c);
    }
    const QSizeF hint = o == Qt::Horizontal ? QSizeF(main, crossMax) : QSizeF(crossMax, main);
    return hint + QSizeF(l + r, t + b);
}
