#include "dialoghelperwidget.h"

#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

namespace Ovrin {

DialogHelperWidget::DialogHelperWidget(QGraphicsWidget *content, QGraphicsItem *parent)
    : OrvelWidget(parent)
    , m_content(content)
{
    auto layout = new OrvelLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    if (content) {
        content->setParentItem(this);
        policy->addItem(content);
        // Short content sits at the top; a list takes all the room there is.
        if (!(content->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag))
            policy->addStretch();
        else
            policy->setStretchFactor(content, 1);
    }
}

DialogHelperWidget::~DialogHelperWidget() = default;

} // namespace Ovrin
