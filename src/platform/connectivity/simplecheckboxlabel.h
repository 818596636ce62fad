#ifndef OVRIN_SIMPLECHECKBOXLABEL_H
#define OVRIN_SIMPLECHECKBOXLABEL_H

#include "orvelstylablewidget.h"

class OrvelButton;
class OrvelLabel;

namespace Ovrin {

// A row with a text on the left and a checkable button (a switch, given the
// switch view type) on the right. Tapping the text flips the button too.
class Q_DECL_EXPORT SimpleCheckBoxLabel : public OrvelStylableWidget
{
    Q_OBJECT
public:
    SimpleCheckBoxLabel(OrvelButton *button, const QString &text, const QString &viewType,
                        QGraphicsItem *parent = nullptr);
    ~SimpleCheckBoxLabel() override;

    OrvelButton *button() const { return m_button; }
    OrvelLabel *label() const { return m_label; }

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    OrvelButton *m_button;
    OrvelLabel *m_label;
};

} // namespace Ovrin

#endif // OVRIN_SIMPLECHECKBOXLABEL_H
