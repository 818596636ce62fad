#include "orvelmessagebox.h"

#include "orvelimagewidget.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

OrvelMessageBox::OrvelMessageBox(const QString &text, StandardButtons buttons)
    : OrvelMessageBox(QString(), text, buttons)
{
}

OrvelMessageBox::OrvelMessageBox(const QString &title, const QString &text, StandardButtons buttons)
    : OrvelDialog(title, buttons)
{
    setTitle(title);
    auto body = new OrvelWidget;
    auto layout = new OrvelLayout(body);
    layout->setContentsMargins(0, 0, 0, 8);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    m_icon = new OrvelImageWidget(body);
    m_icon->setStyleName(QStringLiteral("CommonMainIcon"));
    m_icon->hide();
    policy->addItem(m_icon, Qt::AlignHCenter);
    m_text = new OrvelLabel(text, body);
    m_text->setStyleName(QStringLiteral("CommonBodyText"));
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    policy->addItem(m_text);
    setCentralWidget(body);
}

OrvelMessageBox::~OrvelMessageBox() = default;

QString OrvelMessageBox::text() const
{
    return m_text->text();
}

void OrvelMessageBox::setText(const QString &text)
{
    m_text->setText(text);
}

QString OrvelMessageBox::iconId() const
{
    return m_icon->image();
}

void OrvelMessageBox::setIconId(const QString &iconId)
{
    m_icon->setImage(iconId);
    m_icon->setVisible(!iconId.isEmpty());
}
