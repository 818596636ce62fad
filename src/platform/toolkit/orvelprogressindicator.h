#ifndef ORVELPROGRESSINDICATOR_H
#define ORVELPROGRESSINDICATOR_H

#include "orvelstylablewidget.h"

class QVariantAnimation;

// A spinner (or bar) telling that work is going on. With an unknown duration
// the spinner turns while it is visible.
class Q_DECL_EXPORT OrvelProgressIndicator : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(bool unknownDuration READ unknownDuration WRITE setUnknownDuration)
    Q_PROPERTY(int value READ value WRITE setValue)
public:
    static const QString spinnerType;
    static const QString barType;

    explicit OrvelProgressIndicator(QGraphicsItem *parent = nullptr,
                                    const QString &viewType = spinnerType);
    ~OrvelProgressIndicator() override;

    bool unknownDuration() const;
    void setUnknownDuration(bool unknown);
    void setRange(int minimum, int maximum);
    int value() const;
    void setValue(int value);
    // Whether the spinner is turning now (unknown duration and visible).
    bool isAnimating() const;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    void updateAnimation();

    bool m_unknownDuration = false;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
    qreal m_phase = 0;
    QVariantAnimation *m_animation;
};

#endif // ORVELPROGRESSINDICATOR_H
