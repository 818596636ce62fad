#include "orvelsheet.h"

#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

OrvelSheet::OrvelSheet(QGraphicsItem *parent)
    : OrvelSceneWindow(parent)
{
    auto layout = new OrvelLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
}

OrvelSheet::~OrvelSheet() = default;

QGraphicsWidget *OrvelSheet::headerWidget() const
{
    return m_header;
}

void OrvelSheet::setHeaderWidget(QGraphicsWidget *widget)
{
    replace(m_header, widget, 0);
}

QGraphicsWidget *OrvelSheet::centralWidget() const
{
    return m_central;
}

void OrvelSheet::setCentralWidget(QGraphicsWidget *widget)
{
    replace(m_central, widget, m_header ? 1 : 0);
    if (m_central)
        m_policy->setStretchFactor(m_central, 1);
}

void OrvelSheet::replace(QGraphicsWidget *&slot, QGraphicsWidget *widget, int index)
{
    if (slot == widget)
        return;
    if (slot) {
        static_cast<OrvelLayout *>(layout())->removeItem(slot);
        delete slot;
    }
    slot = widget;
    if (widget)
        m_policy->insertItem(index, widget);
}
