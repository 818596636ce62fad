#ifndef ORVELSNAPSHOT_H
#define ORVELSNAPSHOT_H

#include <QImage>
#include <QString>

class QGraphicsView;
class QGraphicsWidget;

// Pictures of what is on screen, for tests, reviews and the demo's tour.
class Q_DECL_EXPORT OrvelSnapshot
{
public:
    // The whole window as the user sees it, scene windows included.
    static QImage render(QGraphicsView *window);
    // One widget (a scene window, say) on its own. A widget not in any scene
    // is laid out at the screen size of the handset (or its own size when it
    // has one) in a scene of its own for the picture.
    static QImage render(QGraphicsWidget *widget);

    // As render(), written to a PNG file; false if it could not be written.
    static bool save(QGraphicsView *window, const QString &path);
    static bool save(QGraphicsWidget *widget, const QString &path);
};

#endif // ORVELSNAPSHOT_H
