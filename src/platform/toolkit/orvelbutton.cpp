#include "orvelbutton.h"

#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

const QString OrvelButton::switchType = QStringLiteral("switch");
const QString OrvelButton::checkboxType = QStringLiteral("checkbox");

namespace {
const QSizeF SwitchTrack(84, 44);
} // namespace

OrvelButton::OrvelButton(QGraphicsItem *parent)
    : OrvelButton(QString(), parent)
{
}

OrvelButton::OrvelButton(const QString &text, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , m_text(text)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setStyleName(QStringLiteral("CommonSingleButton"));
}

OrvelButton::~OrvelButton() = default;

QString OrvelButton::text() const
{
    return m_text;
}

void OrvelButton::setText(const QString &text)
{
    m_text = text;
    updateGeometry();
    update();
}

bool OrvelButton::isCheckable() const
{
    return m_checkable;
}

void OrvelButton::setCheckable(bool checkable)
{
    m_checkable = checkable;
    if (!checkable)
        setChecked(false);
}

bool OrvelButton::isChecked() const
{
    return m_checked;
}

void OrvelButton::setChecked(bool checked)
{
    if (!m_checkable || checked == m_checked)
        return;
    m_checked = checked;
    update();
    Q_EMIT toggled(checked);
}

bool OrvelButton::isDown() const
{
    return m_down;
}

void OrvelButton::click()
{
    if (!isEnabled())
        return;
    if (m_checkable)
        setChecked(!m_checked);
    Q_EMIT clicked(m_checked);
}

void OrvelButton::setDown(bool down)
{
    if (down == m_down)
        return;
    m_down = down;
    update();
}

void OrvelButton::styleChanged()
{
    OrvelStylableWidget::styleChanged();
    setFont(OrvelTheme::font(style()));
}

void OrvelButton::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setDown(true);
    Q_EMIT pressed();
}

void OrvelButton::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    setDown(rect().contains(event->pos()));
}

void OrvelButton::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    const bool inside = m_down && rect().contains(event->pos());
    setDown(false);
    Q_EMIT released();
    if (inside)
        click();
}

void OrvelButton::ungrabMouseEvent(QEvent *)
{
    setDown(false);
}

QSizeF OrvelButton::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::MaximumSize)
        return OrvelStylableWidget::sizeHint(which, constraint);
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    if (isSwitch())
        return QSizeF(SwitchTrack.width() + l + r, SwitchTrack.height() + t + b);
    const QFontMetricsF metrics(font());
    const qreal width
        = qMax(metrics.horizontalAdvance(m_text) + style().textRoom, style().minimumWidth);
    return QSizeF(width + l + r, qMax(metrics.height() + 24 + t + b, style().minimumHeight));
}

void OrvelButton::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    OrvelStylableWidget::paint(painter, option, widget);
    const QRectF area = contentsRect();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (isSwitch())
        paintSwitch(painter, area);
    else
        paintPushButton(painter, area);
    painter->restore();
}

void OrvelButton::paintSwitch(QPainter *painter, const QRectF &area)
{
    const OrvelPalette &colours = palette();
    const QRectF track(area.center().x() - SwitchTrack.width() / 2,
                       area.center().y() - SwitchTrack.height() / 2, SwitchTrack.width(),
                       SwitchTrack.height());
    const qreal radius = track.height() / 2;
    QColor fill = m_checked ? colours.accent : colours.divider;
    if (!isEnabled())
        fill = colours.disabled;
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(track, radius, radius);
    // The knob sits right when on, left when off.
    const qreal knob = track.height() - 8;
    const qreal x = m_checked ? track.right() - 4 - knob : track.left() + 4;
    painter->setBrush(m_down ? QColor(0xdd, 0xdd, 0xdd) : QColor(Qt::white));
    painter->setPen(QPen(QColor(0, 0, 0, 60), 1));
    painter->drawEllipse(QRectF(x, track.top() + 4, knob, knob));
    // A mark on the free side of the track, so the state reads in grey too.
    QFont f(OrvelTheme::fontFamily());
    f.setPixelSize(13);
    f.setBold(true);
    painter->setFont(f);
    painter->setPen(m_checked ? colours.accentText : colours.secondaryText);
    const QRectF free = m_checked
        ? QRectF(track.left(), track.top(), track.width() - knob - 4, track.height())
        : QRectF(track.left() + knob + 4, track.top(), track.width() - knob - 4, track.height());
    painter->drawText(free, Qt::AlignCenter,
                      m_checked ? QStringLiteral("ON") : QStringLiteral("OFF"));
}

void OrvelButton::paintPushButton(QPainter *painter, const QRectF &area)
{
    const OrvelPalette &colours = palette();
    if (style().flat) {
        if (m_down)
            painter->fillRect(area, colours.pressed);
        painter->setFont(font());
        painter->setPen(isEnabled() ? colours.text : colours.disabled);
        painter->drawText(
            area.adjusted(24, 0, -24, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            QFontMetricsF(font()).elidedText(m_text, Qt::ElideRight, area.width() - 48));
        return;
    }
    const bool strong = !styleName().endsWith(QLatin1String("Inverted"));
    QColor fill = strong ? colours.accent : colours.panel;
    if (m_checkable && m_checked)
        fill = colours.accent.darker(130);
    if (m_down)
        fill = fill.darker(125);
    if (!isEnabled())
        fill = colours.divider;
    painter->setBrush(fill);
    painter->setPen(strong ? Qt::NoPen : QPen(colours.accent, 2));
    const qreal radius = qMin<qreal>(12, area.height() / 2);
    painter->drawRoundedRect(area.adjusted(1, 1, -1, -1), radius, radius);
    painter->setFont(font());
    QColor textColour = strong ? colours.accentText : colours.text;
    if (!isEnabled())
        textColour = colours.secondaryText;
    painter->setPen(textColour);
    painter->drawText(area, Qt::AlignCenter | Qt::TextSingleLine,
                      QFontMetricsF(font()).elidedText(m_text, Qt::ElideRight, area.width() - 16));
}
