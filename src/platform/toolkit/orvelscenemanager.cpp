#include "orvelscenemanager.h"

#include "orvelapplicationwindow.h"
#include "orvelscenewindow.h"
#include "orveltheme.h"

#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QHash>
#include <QPointer>

namespace {

// The shade below a modal window. It takes taps meant for what lies below;
// a tap on it dismisses the window (menus go, dialogs decide for themselves).
class Shade : public QGraphicsRectItem
{
public:
    Shade(OrvelSceneWindow *window, const QRectF &screen)
        : QGraphicsRectItem(screen)
        , m_window(window)
    {
        setBrush(QColor(0, 0, 0, 140));
        setPen(Qt::NoPen);
        setAcceptedMouseButtons(Qt::LeftButton);
    }

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override { event->accept(); }
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *) override
    {
        if (m_window)
            m_window->dismiss();
    }

private:
    QPointer<OrvelSceneWindow> m_window;
};

} // namespace

class OrvelSceneManagerPrivate
{
public:
    QGraphicsScene *scene;
    QRectF screen;
    QList<OrvelSceneWindow *> stack;
    QHash<OrvelSceneWindow *, Shade *> shades;
    qreal nextZ = 10;
};

OrvelSceneManager::OrvelSceneManager(QGraphicsScene *scene, const QRectF &screen, QObject *parent)
    : QObject(parent)
    , d(new OrvelSceneManagerPrivate)
{
    d->scene = scene;
    d->screen = screen;
}

OrvelSceneManager::~OrvelSceneManager()
{
    for (OrvelSceneWindow *window : std::as_const(d->stack))
        window->m_window = nullptr;
    qDeleteAll(d->shades);
    delete d;
}

QGraphicsScene *OrvelSceneManager::scene() const
{
    return d->scene;
}

QRectF OrvelSceneManager::screen() const
{
    return d->screen;
}

QList<OrvelSceneWindow *> OrvelSceneManager::sceneWindows() const
{
    return d->stack;
}

void OrvelSceneManager::place(OrvelSceneWindow *window)
{
    window->setGeometry(window->placement(d->screen));
}

void OrvelSceneManager::appearSceneWindow(OrvelSceneWindow *window)
{
    if (!window)
        return;
    auto appWindow = qobject_cast<OrvelApplicationWindow *>(parent());
    if (window->m_window && window->m_window != appWindow && window->m_window->sceneManager())
        window->m_window->sceneManager()->disappearSceneWindow(window);
    window->m_window = appWindow;
    if (window->scene() != d->scene) {
        window->setParentItem(nullptr);
        d->scene->addItem(window);
    }
    d->stack.removeAll(window);
    d->stack.append(window);
    if (window->isModal() && !d->shades.contains(window)) {
        auto shade = new Shade(window, d->screen);
        d->scene->addItem(shade);
        d->shades.insert(window, shade);
    }
    if (Shade *shade = d->shades.value(window))
        shade->setZValue(d->nextZ++);
    window->setZValue(d->nextZ++);
    window->show();
    place(window);
    const bool wasShown = window->m_state == OrvelSceneWindow::Appeared;
    window->m_state = OrvelSceneWindow::Appeared;
    window->enterDisplay();
    if (!wasShown) {
        Q_EMIT window->appeared();
        Q_EMIT sceneWindowAppeared(window);
    }
}

void OrvelSceneManager::disappearSceneWindow(OrvelSceneWindow *window)
{
    if (!window || !d->stack.contains(window))
        return;
    d->stack.removeAll(window);
    delete d->shades.take(window);
    window->m_state = OrvelSceneWindow::Disappeared;
    window->exitDisplay();
    window->hide();
    Q_EMIT window->disappeared();
    Q_EMIT sceneWindowDisappeared(window);
    const bool destroy = window->m_policy == OrvelSceneWindow::DestroyWhenDone
        || (window->m_policy == OrvelSceneWindow::DestroyWhenDismissed && window->m_dismissed);
    if (destroy)
        window->deleteLater();
}

void OrvelSceneManager::forget(OrvelSceneWindow *window)
{
    d->stack.removeAll(window);
    delete d->shades.take(window);
}
