#include "simpleframe.h"

#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

namespace Ovrin {

SimpleFrame::SimpleFrame(const QString &title, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
{
    setStyleName(QStringLiteral("CommonPanel"));
    auto layout = new OrvelLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    m_policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    m_title = new OrvelLabel(title, this);
    m_title->setStyleName(QStringLiteral("CommonGroupHeader"));
    m_title->setObjectName(QStringLiteral("SimpleFrameTitle"));
    m_title->setWordWrap(true);
    m_policy->addItem(m_title);
    m_title->setVisible(!title.isEmpty());
}

SimpleFrame::~SimpleFrame() = default;

QString SimpleFrame::title() const
{
    return m_title->text();
}

void SimpleFrame::setTitle(const QString &title)
{
    m_title->setText(title);
    m_title->setVisible(!title.isEmpty());
}

void SimpleFrame::setContent(QGraphicsWidget *widget)
{
    if (widget == m_content)
        return;
    if (m_content) {
        static_cast<OrvelLayout *>(layout())->removeItem(m_content);
        delete m_content;
    }
    m_content = widget;
    if (widget) {
        widget->setParentItem(this);
        m_policy->addItem(widget);
    }
}

void SimpleFrame::createContent() { }

} // namespace Ovrin
