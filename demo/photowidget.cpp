#include "photowidget.h"

#include <QPainter>

PhotoWidget::PhotoWidget(const QString &path, QGraphicsItem *parent)
    : OrvelWidget(parent)
    , m_image(path)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PhotoWidget::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (m_image.isNull())
        return;
    const QSizeF fitted = QSizeF(m_image.size()).scaled(size(), Qt::KeepAspectRatio);
    QRectF target(QPointF(), fitted);
    target.moveCenter(rect().center());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, m_image);
}

QSizeF PhotoWidget::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::PreferredSize)
        return QSizeF(440, 330);
    return OrvelWidget::sizeHint(which, constraint);
}
