#ifndef OVRIN_DIALOGHELPERWIDGET_H
#define OVRIN_DIALOGHELPERWIDGET_H

#include "orvelwidget.h"

namespace Ovrin {

// The container a sheet takes as its content: holds one widget (the one
// with the layout) and gives it the sheet's width.
class Q_DECL_EXPORT DialogHelperWidget : public OrvelWidget
{
    Q_OBJECT
public:
    explicit DialogHelperWidget(QGraphicsWidget *content, QGraphicsItem *parent = nullptr);
    ~DialogHelperWidget() override;

    QGraphicsWidget *content() const { return m_content; }

private:
    QGraphicsWidget *m_content;
};

} // namespace Ovrin

#endif // OVRIN_DIALOGHELPERWIDGET_H
