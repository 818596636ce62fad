#ifndef ORVELTHEME_H
#define ORVELTHEME_H

#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QString>

class QGraphicsItem;

// What the theme says about one style name. Colours come in pairs: the light
// scheme and the "Inverted" one (light text on dark).
struct Q_DECL_EXPORT OrvelStyle
{
    int fontPixelSize = 24;
    bool bold = false;
    QMarginsF padding;
    qreal minimumHeight = 0;
    qreal iconSize = 48;
    // Panels draw a background of their own; plain widgets are transparent.
    bool panel = false;
    bool rounded = false;
    // Secondary text (subtitles, help texts) is drawn in the dimmer colour.
    bool secondary = false;
    bool accentText = false;
    // Buttons: the narrowest width, and the room beside the text.
    qreal minimumWidth = 120;
    qreal textRoom = 40;
    // Flat buttons (menu entries) have no frame; only a press shows.
    bool flat = false;
};

// Colours of one scheme.
struct Q_DECL_EXPORT OrvelPalette
{
    QColor background;
    QColor panel;
    QColor text;
    QColor secondaryText;
    QColor accent;
    QColor accentText;
    QColor divider;
    QColor disabled;
    QColor pressed;
};

// The handset's theme: looks keyed by style name. Unknown names fall back to a
// plain body-text look, so any style name passed through from a screen works.
class Q_DECL_EXPORT OrvelTheme
{
public:
    static OrvelStyle style(const QString &styleName);
    static const OrvelPalette &palette(bool inverted);
    static QFont font(const OrvelStyle &style);
    static QFont font(const QString &styleName) { return font(style(styleName)); }

    // Whether the item draws in the dark scheme: its own style name or one of
    // its ancestors' ends in "Inverted".
    static bool isInverted(const QGraphicsItem *item);
    static const OrvelPalette &palette(const QGraphicsItem *item)
    {
        return palette(isInverted(item));
    }

    static QString fontFamily() { return QStringLiteral("DejaVu Sans"); }
};

#endif // ORVELTHEME_H
