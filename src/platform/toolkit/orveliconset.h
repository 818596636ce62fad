#ifndef ORVELICONSET_H
#define ORVELICONSET_H

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// The theme's icons, keyed by icon id and drawn as simple glyphs. An id the
// set does not know is drawn as a framed placeholder carrying the id, so a
// missing icon is obvious on a screenshot.
class Q_DECL_EXPORT OrvelIconSet
{
public:
    static bool contains(const QString &iconId);
    static void paint(QPainter *painter, const QRectF &rect, const QString &iconId,
                      const QColor &color);
};

#endif // ORVELICONSET_H
