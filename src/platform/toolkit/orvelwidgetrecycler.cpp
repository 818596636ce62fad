#include "orvelwidgetrecycler.h"

#include <QGraphicsWidget>

const char *const OrvelWidgetRecycler::RecycledObjectIdentifier = "orvelRecycledObjectIdentifier";

OrvelWidgetRecycler::OrvelWidgetRecycler() = default;

OrvelWidgetRecycler::~OrvelWidgetRecycler()
{
    clear();
}

QString OrvelWidgetRecycler::identifierOf(const QGraphicsWidget *widget)
{
    const QVariant id = widget->property(RecycledObjectIdentifier);
    return id.isValid() ? id.toString() : QString::fromLatin1(widget->metaObject()->className());
}

void OrvelWidgetRecycler::recycle(QGraphicsWidget *widget)
{
    if (!widget)
        return;
    QList<QGraphicsWidget *> &kept = m_kept[identifierOf(widget)];
    if (kept.contains(widget))
        return;
    if (kept.size() >= m_max) {
        delete widget;
        return;
    }
    widget->hide();
    kept.append(widget);
}

QGraphicsWidget *OrvelWidgetRecycler::take(const QString &identifier)
{
    auto it = m_kept.find(identifier);
    if (it == m_kept.end() || it->isEmpty())
        return nullptr;
    QGraphicsWidget *widget = it->takeLast();
    widget->show();
    return widget;
}

int OrvelWidgetRecycler::recycledCount(const QString &identifier) const
{
    return int(m_kept.value(identifier).size());
}

int OrvelWidgetRecycler::maxItemsPerClass() const
{
    return m_max;
}

void OrvelWidgetRecycler::setMaxItemsPerClass(int count)
{
    m_max = qMax(0, count);
}

void OrvelWidgetRecycler::clear()
{
    for (auto &kept : m_kept)
        qDeleteAll(kept);
    m_kept.clear();
}
