#include "orvelapplicationwindow.h"

#include "orvelscenemanager.h"
#include "orveltheme.h"

#include <QEvent>
#include <QGraphicsWidget>
#include <QPainter>
#include <QPointer>

const QSize OrvelApplicationWindow::ScreenSize(480, 854);

namespace {
QList<OrvelApplicationWindow *> &windows()
{
    static QList<OrvelApplicationWindow *> list;
    return list;
}
QPointer<OrvelApplicationWindow> &lastActivated()
{
    static QPointer<OrvelApplicationWindow> window;
    return window;
}
} // namespace

class OrvelApplicationWindowPrivate
{
public:
    OrvelSceneManager *manager = nullptr;
    QPointer<QGraphicsWidget> central;
    bool inSwitcher = false;
};

OrvelApplicationWindow::OrvelApplicationWindow(QWidget *parent)
    : QGraphicsView(parent)
    , d(new OrvelApplicationWindowPrivate)
{
    const QRectF screen(QPointF(0, 0), ScreenSize);
    auto scene = new QGraphicsScene(screen, this);
    setScene(scene);
    d->manager = new OrvelSceneManager(scene, screen, this);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    setFixedSize(ScreenSize);
    setSceneRect(screen);
    windows().append(this);
}

OrvelApplicationWindow::~OrvelApplicationWindow()
{
    windows().removeAll(this);
    // The scene deletes the items still in it; their scene manager must
    // still be there to see them go.
    QGraphicsScene *ownScene = scene();
    setScene(nullptr);
    delete ownScene;
    delete d;
}

OrvelSceneManager *OrvelApplicationWindow::sceneManager() const
{
    return d->manager;
}

void OrvelApplicationWindow::setCentralWidget(QGraphicsWidget *widget)
{
    if (d->central == widget)
        return;
    delete d->central;
    d->central = widget;
    if (!widget)
        return;
    scene()->addItem(widget);
    widget->setZValue(0);
    widget->setGeometry(QRectF(QPointF(0, 0), ScreenSize));
}

QGraphicsWidget *OrvelApplicationWindow::centralWidget() const
{
    return d->central;
}

bool OrvelApplicationWindow::isInSwitcher() const
{
    return d->inSwitcher;
}

void OrvelApplicationWindow::setInSwitcher(bool inSwitcher)
{
    if (inSwitcher == d->inSwitcher)
        return;
    d->inSwitcher = inSwitcher;
    Q_EMIT switcherChanged(inSwitcher);
    if (inSwitcher)
        Q_EMIT switcherEntered();
    else
        Q_EMIT switcherExited();
}

OrvelApplicationWindow *OrvelApplicationWindow::activeWindow()
{
    if (lastActivated())
        return lastActivated();
    return windows().isEmpty() ? nullptr : windows().constLast();
}

OrvelApplicationWindow *OrvelApplicationWindow::activeWindowOrDefault()
{
    if (OrvelApplicationWindow *window = activeWindow())
        return window;
    // Lives until the application goes; deleted with the other top-levels.
    auto window = new OrvelApplicationWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

void OrvelApplicationWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        lastActivated() = this;
    // Minimising a window puts it into the task switcher.
    if (event->type() == QEvent::WindowStateChange)
        setInSwitcher(windowState() & Qt::WindowMinimized);
    QGraphicsView::changeEvent(event);
}

void OrvelApplicationWindow::drawBackground(QPainter *painter, const QRectF &rect)
{
    painter->fillRect(rect, OrvelTheme::palette(false).background);
}
