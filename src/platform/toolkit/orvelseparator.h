#ifndef ORVELSEPARATOR_H
#define ORVELSEPARATOR_H

#include "orvelstylablewidget.h"

// A horizontal rule between rows.
class Q_DECL_EXPORT OrvelSeparator : public OrvelStylableWidget
{
    Q_OBJECT
public:
    explicit OrvelSeparator(QGraphicsItem *parent = nullptr, Qt::Orientation = Qt::Horizontal);
    ~OrvelSeparator() override;

    Qt::Orientation orientation() const { return m_orientation; }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    Qt::Orientation m_orientation;
};

#endif // ORVELSEPARATOR_H
