#include "orvelcontentitem.h"

#include "orveliconset.h"

#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QWidget>

namespace {
const qreal IconSide = 56;
const qreal SidePadding = 24;
} // namespace

OrvelContentItem::OrvelContentItem(ContentItemStyle itemStyle, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , m_itemStyle(itemStyle)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    // Preferred, not fixed: a list gives all its cells the height it chooses.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setStyleName(QStringLiteral("CommonContentItem"));
}

OrvelContentItem::~OrvelContentItem() = default;

QString OrvelContentItem::title() const
{
    return m_title;
}

void OrvelContentItem::setTitle(const QString &title)
{
    m_title = title;
    update();
}

QString OrvelContentItem::subtitle() const
{
    return m_subtitle;
}

void OrvelContentItem::setSubtitle(const QString &subtitle)
{
    m_subtitle = subtitle;
    updateGeometry();
    update();
}

QString OrvelContentItem::iconId() const
{
    return m_iconId;
}

void OrvelContentItem::setIconId(const QString &iconId)
{
    m_iconId = iconId;
    update();
}

OrvelContentItem::LayoutPosition OrvelContentItem::layoutPosition() const
{
    return m_position;
}

void OrvelContentItem::setLayoutPosition(LayoutPosition position)
{
    m_position = position;
    update();
}

bool OrvelContentItem::isSelected() const
{
    return m_selected;
}

void OrvelContentItem::setSelected(bool selected)
{
    m_selected = selected;
    update();
}

bool OrvelContentItem::isDown() const
{
    return m_down;
}

void OrvelContentItem::setDown(bool down)
{
    m_down = down;
    update();
}

void OrvelContentItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
    setDown(true);
}

void OrvelContentItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    const bool inside = m_down && rect().contains(event->pos());
    setDown(false);
    if (inside)
        Q_EMIT clicked();
}

void OrvelContentItem::ungrabMouseEvent(QEvent *)
{
    setDown(false);
}

QSizeF OrvelContentItem::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (layout())
        return OrvelStylableWidget::sizeHint(which, constraint);
    if (which == Qt::MaximumSize)
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const bool two = m_itemStyle == TwoTextLabels || m_itemStyle == IconAndTwoTextLabels;
    // A list gives its cells one height; they must be able to take it.
    if (which == Qt::MinimumSize)
        return QSizeF(100, 40);
    return QSizeF(480, two ? 100 : 80);
}

void OrvelContentItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const OrvelPalette &colours = palette();
    QColor background = colours.panel;
    if (m_selected)
        background = colours.pressed;
    if (m_down)
        background = colours.pressed.darker(110);
    painter->fillRect(rect(), background);
    if (m_selected)
        painter->fillRect(QRectF(0, 0, 6, rect().height()), colours.accent);
    // Rows of a group are parted by a divider; the last one has none.
    if (m_position == VerticalTopPosition || m_position == VerticalCenterPosition)
        painter->fillRect(
            QRectF(SidePadding, rect().bottom() - 1, rect().width() - 2 * SidePadding, 1),
            colours.divider);

    if (layout())
        return;
    qreal x = SidePadding;
    if (!m_iconId.isEmpty()) {
        const QRectF icon(x, (rect().height() - IconSide) / 2, IconSide, IconSide);
        OrvelIconSet::paint(painter, icon, m_iconId, isEnabled() ? colours.text : colours.disabled);
        x += IconSide + 16;
    }
    const QRectF text(x, 0, rect().width() - x - SidePadding - trailingSpace(), rect().height());
    QFont titleFont = OrvelTheme::font(OrvelTheme::style(QStringLiteral("CommonSingleTitle")));
    QFont subFont = OrvelTheme::font(OrvelTheme::style(QStringLiteral("CommonSubTitle")));
    subFont.setPixelSize(22);
    const QFontMetricsF titleMetrics(titleFont), subMetrics(subFont);
    painter->setPen(isEnabled() ? colours.text : colours.disabled);
    painter->setFont(titleFont);
    if (m_subtitle.isEmpty()) {
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          titleMetrics.elidedText(m_title, Qt::ElideRight, text.width()));
        return;
    }
    const qreal block = titleMetrics.height() + 4 + subMetrics.height();
    const qreal top = (rect().height() - block) / 2;
    painter->drawText(QRectF(text.left(), top, text.width(), titleMetrics.height()),
                      Qt::AlignLeft | Qt::TextSingleLine,
                      titleMetrics.elidedText(m_title, Qt::ElideRight, text.width()));
    painter->setFont(subFont);
    painter->setPen(colours.secondaryText);
    painter->drawText(
        QRectF(text.left(), top + titleMetrics.height() + 4, text.width(), subMetrics.height()),
        Qt::AlignLeft | Qt::TextSingleLine,
        subMetrics.elidedText(m_subtitle, Qt::ElideRight, text.width()));
}
