#include "orvelscenewindow.h"

#include "orvelapplicationwindow.h"
#include "orvelscenemanager.h"

#include <QPainter>

OrvelSceneWindow::OrvelSceneWindow(QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
{
    // Until it appears the window is not in any scene's way.
    hide();
}

OrvelSceneWindow::~OrvelSceneWindow()
{
    if (m_window && m_window->sceneManager())
        m_window->sceneManager()->forget(this);
}

OrvelSceneWindow::SceneWindowState OrvelSceneWindow::sceneWindowState() const
{
    return m_state;
}

OrvelSceneWindow::DeletionPolicy OrvelSceneWindow::deletionPolicy() const
{
    return m_policy;
}

OrvelApplicationWindow *OrvelSceneWindow::applicationWindow() const
{
    return m_window;
}

QRectF OrvelSceneWindow::placement(const QRectF &screen) const
{
    return screen;
}

void OrvelSceneWindow::appear(OrvelApplicationWindow *window, DeletionPolicy policy)
{
    if (!window)
        window = OrvelApplicationWindow::activeWindowOrDefault();
    m_policy = policy;
    m_dismissed = false;
    window->sceneManager()->appearSceneWindow(this);
}

void OrvelSceneWindow::disappear()
{
    if (m_window)
        m_window->sceneManager()->disappearSceneWindow(this);
}

void OrvelSceneWindow::dismiss()
{
    m_dismissed = true;
    dismissEvent();
}

void OrvelSceneWindow::dismissEvent()
{
    disappear();
}

void OrvelSceneWindow::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                             QWidget *widget)
{
    if (style().panel) {
        OrvelStylableWidget::paint(painter, option, widget);
        return;
    }
    painter->fillRect(rect(), palette().background);
}
