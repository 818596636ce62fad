#include "orvelstylablewidget.h"

#include <QPainter>

const QString OrvelStylableWidget::defaultType = QStringLiteral("default");

OrvelStylableWidget::OrvelStylableWidget(QGraphicsItem *parent)
    : OrvelWidget(parent)
    , m_viewType(defaultType)
    , m_style(OrvelTheme::style(QString()))
{
}

OrvelStylableWidget::~OrvelStylableWidget() = default;

QString OrvelStylableWidget::styleName() const
{
    return m_styleName;
}

void OrvelStylableWidget::setStyleName(const QString &name)
{
    if (name == m_styleName)
        return;
    m_styleName = name;
    m_style = OrvelTheme::style(name);
    styleChanged();
}

QString OrvelStylableWidget::viewType() const
{
    return m_viewType;
}

void OrvelStylableWidget::setViewType(const QString &type)
{
    const QString effective = type.isEmpty() ? defaultType : type;
    if (effective == m_viewType)
        return;
    m_viewType = effective;
    styleChanged();
}

void OrvelStylableWidget::styleChanged()
{
    const QMarginsF p = m_style.padding;
    setContentsMargins(p.left(), p.top(), p.right(), p.bottom());
    updateGeometry();
    update();
}

QSizeF OrvelStylableWidget::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    QSizeF hint = OrvelWidget::sizeHint(which, constraint);
    if (which == Qt::MinimumSize || which == Qt::PreferredSize)
        hint.setHeight(qMax(hint.height(), m_style.minimumHeight));
    return hint;
}

void OrvelStylableWidget::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (!m_style.panel)
        return;
    painter->fillRect(rect(), palette().panel);
}
