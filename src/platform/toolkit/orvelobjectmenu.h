#ifndef ORVELOBJECTMENU_H
#define ORVELOBJECTMENU_H

#include "orvelscenewindow.h"

class OrvelButton;
class QAction;

// The context menu of a long tap: the target's object-menu actions shown as
// a column of entries near the tapped point. Tapping an entry triggers its
// action and closes the menu; tapping outside closes it.
class Q_DECL_EXPORT OrvelObjectMenu : public OrvelSceneWindow
{
    Q_OBJECT
public:
    explicit OrvelObjectMenu(OrvelWidget *target);
    ~OrvelObjectMenu() override;

    QList<QAction *> menuActions() const;
    QPointF cursorPosition() const;
    void setCursorPosition(const QPointF &scenePosition);
    // The entry of an action, for tapping it.
    OrvelButton *buttonForAction(const QAction *action) const;

    QRectF placement(const QRectF &screen) const override;
    bool isModal() const override { return true; }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

private:
    QList<QAction *> m_actions;
    QList<OrvelButton *> m_buttons;
    QPointF m_cursor;
};

#endif // ORVELOBJECTMENU_H
