#include "simplecheckboxlabel.h"

#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

#include <QGraphicsSceneMouseEvent>

namespace Ovrin {

SimpleCheckBoxLabel::SimpleCheckBoxLabel(OrvelButton *button, const QString &text,
                                         const QString &viewType, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , m_button(button)
{
    setStyleName(QStringLiteral("CommonPanel"));
    setAcceptedMouseButtons(Qt::LeftButton);
    auto layout = new OrvelLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Horizontal);
    m_label = new OrvelLabel(text, this);
    m_label->setStyleName(QStringLiteral("CommonSingleTitle"));
    m_label->setWordWrap(true);
    m_label->setAcceptedMouseButtons(Qt::NoButton);
    policy->addItem(m_label, Qt::AlignLeft | Qt::AlignVCenter);
    policy->setStretchFactor(m_label, 1);
    if (m_button) {
        m_button->setParentItem(this);
        m_button->setViewType(viewType);
        m_button->setCheckable(true);
        if (m_button->styleName() == QLatin1String("CommonSingleButton"))
            m_button->setStyleName(QStringLiteral("CommonRightSwitch"));
        policy->addItem(m_button, Qt::AlignCenter);
    }
}

SimpleCheckBoxLabel::~SimpleCheckBoxLabel() = default;

void SimpleCheckBoxLabel::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
}

void SimpleCheckBoxLabel::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (m_button && rect().contains(event->pos()))
        m_button->click();
}

} // namespace Ovrin
