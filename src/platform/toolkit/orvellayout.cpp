#include "orvellayout.h"

#include "orvelabstractlayoutpolicy.h"

#include <QGraphicsWidget>
#include <QHash>
#include <QSet>
#include <QWidget>

class OrvelLayoutPrivate
{
public:
    QList<QGraphicsLayoutItem *> items;
    QList<OrvelAbstractLayoutPolicy *> policies;
    OrvelAbstractLayoutPolicy *active = nullptr;
    // Widgets the layout hid because the active policy does not hold them;
    // widgets hidden by their owner stay hidden.
    QSet<QGraphicsWidget *> hiddenByLayout;
    QHash<QGraphicsLayoutItem *, QMetaObject::Connection> visibilityWatches;
    bool changingVisibility = false;
};

OrvelLayout::OrvelLayout(QGraphicsLayoutItem *parent)
    : QGraphicsLayout(parent)
    , d(new OrvelLayoutPrivate)
{
}

OrvelLayout::~OrvelLayout()
{
    // Policies may touch items while going; let them go first.
    const QList<OrvelAbstractLayoutPolicy *> policies = d->policies;
    d->active = nullptr;
    qDeleteAll(policies);
    for (QGraphicsLayoutItem *item : std::as_const(d->items)) {
        QObject::disconnect(d->visibilityWatches.value(item));
        item->setParentLayoutItem(nullptr);
        if (item->ownedByLayout())
            delete item;
    }
    delete d;
}

OrvelAbstractLayoutPolicy *OrvelLayout::policy() const
{
    return d->active;
}

void OrvelLayout::setPolicy(OrvelAbstractLayoutPolicy *policy)
{
    if (!policy || policy->layout() != this || policy == d->active)
        return;
    d->active = policy;
    applyVisibility();
    invalidate();
}

QList<OrvelAbstractLayoutPolicy *> OrvelLayout::registeredPolicies() const
{
    return d->policies;
}

int OrvelLayout::count() const
{
    return int(d->items.size());
}

QGraphicsLayoutItem *OrvelLayout::itemAt(int index) const
{
    return d->items.value(index);
}

int OrvelLayout::indexOf(const QGraphicsLayoutItem *item) const
{
    return int(d->items.indexOf(const_cast<QGraphicsLayoutItem *>(item)));
}

void OrvelLayout::removeAt(int index)
{
    QGraphicsLayoutItem *item = d->items.value(index);
    if (!item)
        return;
    for (OrvelAbstractLayoutPolicy *policy : std::as_const(d->policies))
        policy->removeItem(item);
    d->items.removeAt(index);
    QObject::disconnect(d->visibilityWatches.take(item));
    if (item->isLayout() || !item->graphicsItem() || !item->graphicsItem()->isWidget()) {
        item->setParentLayoutItem(nullptr);
    } else {
        auto widget = static_cast<QGraphicsWidget *>(item->graphicsItem());
        if (d->hiddenByLayout.remove(widget))
            widget->show();
        item->setParentLayoutItem(nullptr);
    }
    if (item->ownedByLayout())
        delete item;
    invalidate();
}

void OrvelLayout::removeItem(const QGraphicsLayoutItem *item)
{
    const int index = indexOf(item);
    if (index >= 0)
        removeAt(index);
}

void OrvelLayout::addPolicy(OrvelAbstractLayoutPolicy *policy)
{
    d->policies.append(policy);
    if (!d->active)
        d->active = policy;
}

void OrvelLayout::removePolicy(OrvelAbstractLayoutPolicy *policy)
{
    d->policies.removeAll(policy);
    if (d->active == policy) {
        d->active = d->policies.value(0);
        applyVisibility();
        invalidate();
    }
}

void OrvelLayout::adopt(QGraphicsLayoutItem *item)
{
    if (d->items.contains(item))
        return;
    addChildLayoutItem(item);
    d->items.append(item);
    QGraphicsItem *graphics = item->isLayout() ? nullptr : item->graphicsItem();
    if (graphics && graphics->isWidget()) {
        auto widget = static_cast<QGraphicsWidget *>(graphics);
        // A widget shown or hidden by its owner takes or gives back its room.
        d->visibilityWatches.insert(
            item, QObject::connect(widget, &QGraphicsObject::visibleChanged, widget, [this] {
                if (!d->changingVisibility)
                    invalidate();
            }));
    }
}

void OrvelLayout::applyVisibility()
{
    d->changingVisibility = true;
    for (QGraphicsLayoutItem *item : std::as_const(d->items)) {
        QGraphicsItem *graphics = item->isLayout() ? nullptr : item->graphicsItem();
        if (!graphics || !graphics->isWidget())
            continue;
        auto widget = static_cast<QGraphicsWidget *>(graphics);
        const bool wanted = d->active && d->active->indexOf(item) >= 0;
        if (!wanted && widget->isVisibleTo(widget->parentItem())) {
            d->hiddenByLayout.insert(widget);
            widget->hide();
        } else if (wanted && d->hiddenByLayout.remove(widget)) {
            widget->show();
        }
    }
    d->changingVisibility = false;
}

void OrvelLayout::setGeometry(const QRectF &rect)
{
    QGraphicsLayout::setGeometry(rect);
    applyVisibility();
    if (!d->active)
        return;
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    d->active->relayout(geometry().adjusted(l, t, -r, -b));
}

void OrvelLayout::invalidate()
{
    QGraphicsLayout::invalidate();
}

QSizeF OrvelLayout::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    if (!d->active)
        return which == Qt::MaximumSize ? QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)
                                        : QSizeF(l + r, t + b);
    QSizeF inner = constraint;
    if (inner.width() > 0)
        inner.setWidth(qMax<qreal>(0, inner.width() - l - r));
    if (inner.height() > 0)
        inner.setHeight(qMax<qreal>(0, inner.height() - t - b));
    const QSizeF hint = d->active->sizeHint(which, inner);
    if (which == Qt::MaximumSize)
        return hint;
    return hint + QSizeF(l + r, t + b);
}
