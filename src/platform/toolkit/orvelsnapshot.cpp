#include "orvelsnapshot.h"

#include "orvelapplicationwindow.h"
#include "orveltheme.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGraphicsWidget>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

namespace {

void settleLayouts()
{
    // Layout requests are posted events; let them run before painting.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

QImage blank(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(OrvelTheme::palette(false).background);
    return image;
}

bool write(const QImage &image, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return !image.isNull() && image.save(path, "PNG");
}

} // namespace

QImage OrvelSnapshot::render(QGraphicsView *window)
{
    settleLayouts();
    QImage image = blank(window->viewport()->size());
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    window->render(&painter, QRectF(image.rect()), window->viewport()->rect());
    return image;
}

QImage OrvelSnapshot::render(QGraphicsWidget *widget)
{
    QGraphicsScene *ownScene = nullptr;
    QGraphicsItem *oldParent = widget->parentItem();
    QGraphicsScene *oldScene = widget->scene();
    const bool wasVisible = widget->isVisible();
    if (!oldScene) {
        ownScene = new QGraphicsScene;
        ownScene->addItem(widget);
        QSizeF size = widget->size();
        if (size.width() < 1 || size.height() < 1)
            size = OrvelApplicationWindow::ScreenSize;
        widget->resize(size);
    }
    widget->show();
    settleLayouts();
    const QRectF area = widget->sceneBoundingRect();
    QImage image = blank(area.size().toSize());
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        widget->scene()->render(&painter, QRectF(image.rect()), area);
    }
    if (ownScene) {
        ownScene->removeItem(widget);
        widget->setParentItem(oldParent);
        delete ownScene;
    }
    widget->setVisible(wasVisible);
    return image;
}

bool OrvelSnapshot::save(QGraphicsView *window, const QString &path)
{
    return write(render(window), path);
}

bool OrvelSnapshot::save(QGraphicsWidget *widget, const QString &path)
{
    return write(render(widget), path);
}
