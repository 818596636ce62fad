#ifndef ORVELSCENEMANAGER_H
#define ORVELSCENEMANAGER_H

#include <QObject>
#include <QRectF>

class OrvelSceneWindow;
class OrvelSceneManagerPrivate;
class QGraphicsScene;

// Shows and hides the scene windows of one application window: stacks them,
// places them on the screen, shades what lies below a modal window, and
// tells them when they come on and go off display.
class Q_DECL_EXPORT OrvelSceneManager : public QObject
{
    Q_OBJECT
public:
    OrvelSceneManager(QGraphicsScene *scene, const QRectF &screen, QObject *parent = nullptr);
    ~OrvelSceneManager() override;

    QGraphicsScene *scene() const;
    QRectF screen() const;
    // Shown windows, bottom first.
    QList<OrvelSceneWindow *> sceneWindows() const;

    void appearSceneWindow(OrvelSceneWindow *window);
    void disappearSceneWindow(OrvelSceneWindow *window);

Q_SIGNALS:
    void sceneWindowAppeared(OrvelSceneWindow *window);
    void sceneWindowDisappeared(OrvelSceneWindow *window);

private:
    friend class OrvelSceneWindow;
    // A window being destroyed leaves the stack without signals.
    void forget(OrvelSceneWindow *window);
    void place(OrvelSceneWindow *window);

    OrvelSceneManagerPrivate *d;
};

#endif // ORVELSCENEMANAGER_H
