#ifndef ORVELSHEET_H
#define ORVELSHEET_H

#include "orvelscenewindow.h"

class OrvelLinearLayoutPolicy;

// A full-screen scene window with a header (a title bar) over a central
// area. Emits appeared() when it is shown.
class Q_DECL_EXPORT OrvelSheet : public OrvelSceneWindow
{
    Q_OBJECT
public:
    explicit OrvelSheet(QGraphicsItem *parent = nullptr);
    ~OrvelSheet() override;

    QGraphicsWidget *headerWidget() const;
    // The sheet owns the widgets; a replaced one is deleted.
    void setHeaderWidget(QGraphicsWidget *widget);
    QGraphicsWidget *centralWidget() const;
    void setCentralWidget(QGraphicsWidget *widget);

private:
    void replace(QGraphicsWidget *&slot, QGraphicsWidget *widget, int index);

    OrvelLinearLayoutPolicy *m_policy;
    QGraphicsWidget *m_header = nullptr;
    QGraphicsWidget *m_central = nullptr;
};

#endif // ORVELSHEET_H
