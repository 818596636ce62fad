#ifndef ORVELSCENEWINDOW_H
#define ORVELSCENEWINDOW_H

#include "orvelstylablewidget.h"

#include <QPointer>

class OrvelApplicationWindow;

// A window inside the application window's scene (a page, sheet, dialog,
// menu or banner). It is shown and hidden through the scene manager of the
// application window it appears on, and is on display exactly while shown.
class Q_DECL_EXPORT OrvelSceneWindow : public OrvelStylableWidget
{
    Q_OBJECT
public:
    enum DeletionPolicy { KeepWhenDone, DestroyWhenDone, DestroyWhenDismissed };
    Q_ENUM(DeletionPolicy)
    enum SceneWindowState { Disappeared, Appeared };
    Q_ENUM(SceneWindowState)

    explicit OrvelSceneWindow(QGraphicsItem *parent = nullptr);
    ~OrvelSceneWindow() override;

    SceneWindowState sceneWindowState() const;
    DeletionPolicy deletionPolicy() const;
    // The application window it is (or was last) shown on.
    OrvelApplicationWindow *applicationWindow() const;

    // Where the window goes on a screen of the given size; full screen by default.
    virtual QRectF placement(const QRectF &screen) const;
    // A modal window shades what lies below and takes every tap outside it.
    virtual bool isModal() const { return false; }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

public Q_SLOTS:
    // Shows the window on the given application window, or on the active one.
    void appear(OrvelApplicationWindow *window = nullptr, DeletionPolicy policy = KeepWhenDone);
    void disappear();
    // Dismissal by the user (a tap outside, the back key): disappears.
    void dismiss();

Q_SIGNALS:
    void appeared();
    void disappeared();

protected:
    virtual void dismissEvent();

private:
    friend class OrvelSceneManager;
    SceneWindowState m_state = Disappeared;
    DeletionPolicy m_policy = KeepWhenDone;
    bool m_dismissed = false;
    QPointer<OrvelApplicationWindow> m_window;
};

#endif // ORVELSCENEWINDOW_H
