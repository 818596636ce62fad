#ifndef PHOTOWIDGET_H
#define PHOTOWIDGET_H

#include "orvelwidget.h"

#include <QImage>

// A picture scaled to fit, as a gallery shows it.
class PhotoWidget : public OrvelWidget
{
    Q_OBJECT

public:
    explicit PhotoWidget(const QString &path, QGraphicsItem *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    QImage m_image;
};

#endif // PHOTOWIDGET_H
