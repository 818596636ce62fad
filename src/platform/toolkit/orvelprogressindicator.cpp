#include "orvelprogressindicator.h"

#include <QPainter>
#include <QVariantAnimation>
#include <QtMath>

const QString OrvelProgressIndicator::spinnerType = QStringLiteral("spinner");
const QString OrvelProgressIndicator::barType = QStringLiteral("bar");

OrvelProgressIndicator::OrvelProgressIndicator(QGraphicsItem *parent, const QString &viewType)
    : OrvelStylableWidget(parent)
    , m_animation(new QVariantAnimation(this))
{
    setViewType(viewType);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(1000);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_phase = v.toReal();
        update();
    });
    styleChanged();
}

OrvelProgressIndicator::~OrvelProgressIndicator() = default;

bool OrvelProgressIndicator::unknownDuration() const
{
    return m_unknownDuration;
}

void OrvelProgressIndicator::setUnknownDuration(bool unknown)
{
    m_unknownDuration = unknown;
    updateAnimation();
    update();
}

void OrvelProgressIndicator::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = qMax(minimum, maximum);
    update();
}

int OrvelProgressIndicator::value() const
{
    return m_value;
}

void OrvelProgressIndicator::setValue(int value)
{
    m_value = qBound(m_minimum, value, m_maximum);
    update();
}

bool OrvelProgressIndicator::isAnimating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

void OrvelProgressIndicator::updateAnimation()
{
    // A hidden spinner costs nothing: it only turns while it can be seen.
    const bool run = m_unknownDuration && isVisible() && viewType() == spinnerType;
    if (run && m_animation->state() != QAbstractAnimation::Running)
        m_animation->start();
    else if (!run)
        m_animation->stop();
}

QVariant OrvelProgressIndicator::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemVisibleHasChanged)
        updateAnimation();
    return OrvelStylableWidget::itemChange(change, value);
}

QSizeF OrvelProgressIndicator::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::MaximumSize)
        return OrvelStylableWidget::sizeHint(which, constraint);
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    if (viewType() == barType)
        return QSizeF(which == Qt::MinimumSize ? 40 : 400, 12 + t + b);
    const qreal side = qMin<qreal>(style().iconSize, 44);
    return QSizeF(side + l + r, side + t + b);
}

void OrvelProgressIndicator::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                   QWidget *widget)
{
    OrvelStylableWidget::paint(painter, option, widget);
    const QRectF area = contentsRect();
    const OrvelPalette &colours = palette();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (viewType() == barType) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(colours.divider);
        painter->drawRoundedRect(area, 4, 4);
        const qreal span
            = m_maximum > m_minimum ? qreal(m_value - m_minimum) / (m_maximum - m_minimum) : 0;
        QRectF done = area;
        if (m_unknownDuration)
            done = QRectF(area.left() + area.width() * 0.7 * m_phase, area.top(),
                          area.width() * 0.3, area.height());
        else
            done.setWidth(area.width() * span);
        painter->setBrush(colours.accent);
        painter->drawRoundedRect(done, 4, 4);
    } else {
        // Twelve dots round a circle, the head brightest.
        const qreal side = qMin(area.width(), area.height());
        const QPointF centre = area.center();
        const int dots = 12;
        const int head = int(m_phase * dots) % dots;
        painter->setPen(Qt::NoPen);
        for (int i = 0; i < dots; ++i) {
            const qreal angle = 2 * M_PI * i / dots - M_PI / 2;
            const int age = (head - i + dots) % dots;
            QColor c = colours.accent;
            c.setAlphaF(qMax(0.15, 1.0 - age / qreal(dots - 2)));
            painter->setBrush(c);
            const QPointF p(centre.x() + std::cos(angle) * side * 0.38,
                            centre.y() + std::sin(angle) * side * 0.38);
            painter->drawEllipse(p, side * 0.07, side * 0.07);
        }
    }
    painter->restore();
}
