#include "demopage.h"

#include "orvelbutton.h"

DemoPage::DemoPage(const QString &title, QGraphicsWidget *content)
{
    setTitle(title);
    setRejectLabel(QStringLiteral("Back"));
    acceptButton()->hide();
    setContent(content);
}

void DemoPage::setSaver(const QString &label, std::function<bool()> save)
{
    m_save = std::move(save);
    setAcceptLabel(label);
    acceptButton()->show();
}

void DemoPage::open()
{
    appear(nullptr, DestroyWhenDone);
}

void DemoPage::done(bool accepted)
{
    // A refused save keeps the page: the view has told the user why.
    if (accepted && m_save && !m_save())
        return;
    Ovrin::SimpleSheet::done(accepted);
}
