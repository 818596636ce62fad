#include "orvelimagewidget.h"

#include "orveliconset.h"

OrvelImageWidget::OrvelImageWidget(QGraphicsItem *parent)
    : OrvelImageWidget(QString(), parent)
{
}

OrvelImageWidget::OrvelImageWidget(const QString &iconId, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , m_iconId(iconId)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    styleChanged();
}

OrvelImageWidget::~OrvelImageWidget() = default;

QString OrvelImageWidget::image() const
{
    return m_iconId;
}

void OrvelImageWidget::setImage(const QString &iconId)
{
    m_iconId = iconId;
    update();
}

QSizeF OrvelImageWidget::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::MaximumSize)
        return OrvelStylableWidget::sizeHint(which, constraint);
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    const qreal side = style().iconSize;
    return QSizeF(side + l + r, side + t + b);
}

void OrvelImageWidget::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                             QWidget *widget)
{
    OrvelStylableWidget::paint(painter, option, widget);
    const QColor colour = isEnabled() ? palette().text : palette().disabled;
    OrvelIconSet::paint(painter, contentsRect(), m_iconId, colour);
}
