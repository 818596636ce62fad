#include "orvellabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

namespace {
// Width a wrapping label assumes before the layout tells it the real one:
// the handset's portrait width less the usual side paddings.
const qreal DefaultWrapWidth = 432;
} // namespace

OrvelLabel::OrvelLabel(QGraphicsItem *parent)
    : OrvelLabel(QString(), parent)
{
}

OrvelLabel::OrvelLabel(const QString &text, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , m_text(text)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    styleChanged();
}

OrvelLabel::~OrvelLabel() = default;

QString OrvelLabel::text() const
{
    return m_text;
}

void OrvelLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

Qt::Alignment OrvelLabel::alignment() const
{
    return m_alignment;
}

void OrvelLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

bool OrvelLabel::wordWrap() const
{
    return m_wordWrap;
}

void OrvelLabel::setWordWrap(bool wrap)
{
    m_wordWrap = wrap;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(wrap);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

bool OrvelLabel::textElide() const
{
    return m_elide;
}

void OrvelLabel::setTextElide(bool elide)
{
    m_elide = elide;
    // An eliding label may be squeezed below its text width.
    setSizePolicy(elide ? QSizePolicy::Ignored : QSizePolicy::Preferred,
                  sizePolicy().verticalPolicy());
    updateGeometry();
    update();
}

void OrvelLabel::styleChanged()
{
    OrvelStylableWidget::styleChanged();
    setFont(OrvelTheme::font(style()));
}

QRectF OrvelLabel::textRect() const
{
    return contentsRect();
}

int OrvelLabel::textFlags() const
{
    return int(m_alignment) | (m_wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

QString OrvelLabel::displayedText() const
{
    if (!m_elide || m_wordWrap)
        return m_text;
    return QFontMetricsF(font()).elidedText(m_text, Qt::ElideRight, textRect().width());
}

QSizeF OrvelLabel::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    const QFontMetricsF metrics(font());
    QSizeF text;
    if (m_wordWrap) {
        const qreal width = constraint.width() > 0 ? constraint.width() - l - r : DefaultWrapWidth;
        text = metrics.boundingRect(QRectF(0, 0, qMax<qreal>(1, width), 1e6), textFlags(), m_text)
                   .size();
        text.setWidth(qMin(text.width(), width));
    } else {
        text = QSizeF(metrics.horizontalAdvance(m_text), metrics.height());
    }
    text.setHeight(qMax(text.height(), metrics.height()));
    const QSizeF full(text.width() + l + r + 1, text.height() + t + b);
    switch (which) {
    case Qt::MinimumSize:
        return QSizeF(m_elide || m_wordWrap ? l + r : full.width(), full.height());
    case Qt::PreferredSize:
        return QSizeF(full.width(), qMax(full.height(), style().minimumHeight));
    case Qt::MaximumSize:
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    default:
        return OrvelStylableWidget::sizeHint(which, constraint);
    }
}

void OrvelLabel::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    OrvelStylableWidget::paint(painter, option, widget);
    const OrvelPalette &colours = palette();
    QColor colour = style().secondary ? colours.secondaryText : colours.text;
    if (style().accentText)
        colour = colours.accent;
    if (!isEnabled())
        colour = colours.disabled;
    painter->setFont(font());
    painter->setPen(colour);
    // drawText with a plain QString never interprets markup.
    painter->drawText(textRect(), textFlags(), displayedText());
}
