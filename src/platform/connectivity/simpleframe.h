#ifndef OVRIN_SIMPLEFRAME_H
#define OVRIN_SIMPLEFRAME_H

#include "orvelstylablewidget.h"

class OrvelLabel;
class OrvelLinearLayoutPolicy;

namespace Ovrin {

// A titled group holding one widget.
class Q_DECL_EXPORT SimpleFrame : public OrvelStylableWidget
{
    Q_OBJECT
public:
    explicit SimpleFrame(const QString &title = QString(), QGraphicsItem *parent = nullptr);
    ~SimpleFrame() override;

    QString title() const;
    void setTitle(const QString &title);
    QGraphicsWidget *content() const { return m_content; }
    // The frame owns the widget; a replaced one is deleted.
    void setContent(QGraphicsWidget *widget);

protected:
    virtual void createContent();

private:
    OrvelLabel *m_title;
    OrvelLinearLayoutPolicy *m_policy;
    QGraphicsWidget *m_content = nullptr;
};

} // namespace Ovrin

#endif // OVRIN_SIMPLEFRAME_H
