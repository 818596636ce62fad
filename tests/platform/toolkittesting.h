#ifndef TOOLKITTESTING_H
#define TOOLKITTESTING_H

// Driving toolkit screens the way a finger and a keyboard do: mouse events
// into the window's scene, key events into the window.

#include <QApplication>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QTest>

namespace ToolkitTesting {

inline void sendMouse(QGraphicsScene *scene, QEvent::Type type, const QPointF &scenePos,
                      Qt::MouseButtons buttons)
{
    QGraphicsSceneMouseEvent event(type);
    event.setScenePos(scenePos);
    event.setScreenPos(scenePos.toPoint());
    event.setLastScenePos(scenePos);
    event.setButton(Qt::LeftButton);
    event.setButtons(buttons);
    event.setButtonDownScenePos(Qt::LeftButton, scenePos);
    event.setButtonDownScreenPos(Qt::LeftButton, scenePos.toPoint());
    event.setAccepted(false);
    QApplication::sendEvent(scene, &event);
}

inline QPointF centreOf(const QGraphicsItem *item)
{
    return item->mapToScene(item->boundingRect().center());
}

inline void press(QGraphicsScene *scene, const QPointF &pos)
{
    sendMouse(scene, QEvent::GraphicsSceneMousePress, pos, Qt::LeftButton);
}

inline void release(QGraphicsScene *scene, const QPointF &pos)
{
    sendMouse(scene, QEvent::GraphicsSceneMouseRelease, pos, Qt::NoButton);
}

inline void tapAt(QGraphicsScene *scene, const QPointF &pos)
{
    press(scene, pos);
    release(scene, pos);
}

// A tap on the middle of the item, delivered to whatever the scene finds there.
inline void tap(const QGraphicsItem *item)
{
    tapAt(item->scene(), centreOf(item));
}

inline void drag(QGraphicsScene *scene, const QPointF &from, const QPointF &to)
{
    press(scene, from);
    sendMouse(scene, QEvent::GraphicsSceneMouseMove, (from + to) / 2, Qt::LeftButton);
    sendMouse(scene, QEvent::GraphicsSceneMouseMove, to, Qt::LeftButton);
    release(scene, to);
}

// Lets the posted layout requests run, so geometries are final.
inline void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// Shows the window and makes it the active one, so its scene has focus.
inline bool activate(QGraphicsView *window)
{
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return false;
    settle();
    return true;
}

inline void type(QGraphicsView *window, const QString &text)
{
    QTest::keyClicks(window, text);
}

} // namespace ToolkitTesting

#endif // TOOLKITTESTING_H
