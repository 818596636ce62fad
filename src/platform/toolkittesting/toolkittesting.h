#ifndef TOOLKITTESTING_H
#define TOOLKITTESTING_H

// Driving toolkit screens the way a finger and a keyboard do: mouse events
// into the window's scene, key events into the window. Tests and the demo's
// scripted tour use it; it is not part of the handset's toolkit.

#include <QApplication>
#include <QGraphicsItem>
#include <QGraphicsObject>
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

// Typing that also covers characters without a key of their own (digits of
// other scripts), as an input method delivers them.
inline void typeText(QWidget *window, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(window, c.toLatin1());
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(window, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(window, &release);
    }
}

// The first item below root (depth first) of type T, with the object name
// when one is given.
template<typename T> T *findItem(const QGraphicsItem *root, const QString &objectName = QString())
{
    const auto children = root->childItems();
    for (QGraphicsItem *child : children) {
        if (auto object = qobject_cast<T *>(child->toGraphicsObject())) {
            if (objectName.isEmpty() || object->objectName() == objectName)
                return object;
        }
        if (T *found = findItem<T>(child, objectName))
            return found;
    }
    return nullptr;
}

} // namespace ToolkitTesting

#endif // TOOLKITTESTING_H
