#include "orveltheme.h"

#include "orvelstylablewidget.h"

#include <QGraphicsItem>
#include <QHash>

namespace {

OrvelStyle make(int size, bool bold, QMarginsF padding, qreal minimumHeight = 0)
{
    OrvelStyle s;
    s.fontPixelSize = size;
    s.bold = bold;
    s.padding = padding;
    s.minimumHeight = minimumHeight;
    return s;
}

QHash<QString, OrvelStyle> buildStyles()
{
    QHash<QString, OrvelStyle> styles;
    styles.insert(QStringLiteral("CommonTitle"), make(22, false, { 24, 12, 24, 0 }));
    styles[QStringLiteral("CommonTitle")].secondary = true;
    styles.insert(QStringLiteral("CommonSubTitle"), make(26, false, { 24, 4, 24, 12 }));
    styles.insert(QStringLiteral("CommonSingleTitle"), make(26, true, { 24, 16, 16, 16 }, 80));
    styles.insert(QStringLiteral("CommonBodyText"), make(24, false, { 24, 12, 24, 12 }));
    styles.insert(QStringLiteral("CommonSubText"), make(24, false, { 24, 12, 24, 12 }));
    styles[QStringLiteral("CommonSubText")].secondary = true;
    styles.insert(QStringLiteral("CommonGroupHeader"), make(20, true, { 24, 14, 24, 6 }));
    styles[QStringLiteral("CommonGroupHeader")].accentText = true;

    OrvelStyle panel = make(24, false, { 0, 0, 0, 0 });
    panel.panel = true;
    styles.insert(QStringLiteral("CommonPanel"), panel);
    styles.insert(QStringLiteral("CommonLargePanel"), panel);
    styles[QStringLiteral("CommonLargePanel")].padding = { 0, 8, 0, 8 };

    OrvelStyle spacer = make(24, false, {});
    spacer.minimumHeight = 24;
    styles.insert(QStringLiteral("CommonLargeSpacer"), spacer);
    styles.insert(QStringLiteral("CommonItemDivider"), make(24, false, { 24, 0, 24, 0 }, 2));

    OrvelStyle icon = make(24, false, { 16, 8, 8, 8 });
    icon.iconSize = 64;
    styles.insert(QStringLiteral("CommonMainIcon"), icon);
    icon.iconSize = 40;
    icon.padding = { 8, 8, 24, 8 };
    styles.insert(QStringLiteral("CommonRightIcon"), icon);

    OrvelStyle switchStyle = make(22, true, { 8, 12, 24, 12 });
    styles.insert(QStringLiteral("CommonRightSwitch"), switchStyle);
    OrvelStyle spinner = make(24, false, { 8, 8, 24, 8 });
    spinner.iconSize = 44;
    styles.insert(QStringLiteral("CommonListItemSpinner"), spinner);

    OrvelStyle button = make(26, true, { 24, 8, 24, 8 }, 72);
    button.rounded = true;
    styles.insert(QStringLiteral("CommonSingleButton"), button);
    styles.insert(QStringLiteral("CommonSheetHeaderButton"), make(22, true, { 6, 6, 6, 6 }, 56));
    styles[QStringLiteral("CommonSheetHeaderButton")].minimumWidth = 72;
    styles[QStringLiteral("CommonSheetHeaderButton")].textRoom = 24;
    styles.insert(QStringLiteral("CommonObjectMenuItem"), make(24, false, { 0, 0, 0, 0 }, 64));
    styles[QStringLiteral("CommonObjectMenuItem")].flat = true;
    styles.insert(QStringLiteral("CommonDialogButton"), button);

    OrvelStyle field = make(26, false, { 24, 8, 24, 8 }, 64);
    styles.insert(QStringLiteral("CommonSingleInputField"), field);
    styles.insert(QStringLiteral("CommonSingleInputFieldLabeled"), field);

    styles.insert(QStringLiteral("CommonSheetHeader"), make(26, true, { 12, 8, 12, 8 }, 88));
    styles[QStringLiteral("CommonSheetHeader")].panel = true;
    styles.insert(QStringLiteral("CommonSheetTitle"), make(22, true, { 4, 0, 4, 0 }));
    styles.insert(QStringLiteral("CommonDialogTitle"), make(30, true, { 24, 24, 24, 8 }));
    styles.insert(QStringLiteral("CommonBannerText"), make(24, false, { 12, 16, 24, 16 }));
    return styles;
}

} // namespace

OrvelStyle OrvelTheme::style(const QString &styleName)
{
    static const QHash<QString, OrvelStyle> styles = buildStyles();
    auto it = styles.constFind(styleName);
    if (it != styles.constEnd())
        return *it;
    // "CommonPanelInverted" looks like "CommonPanel" in the dark scheme.
    static const QString inverted = QStringLiteral("Inverted");
    if (styleName.endsWith(inverted) && styleName.size() > inverted.size())
        return style(styleName.left(styleName.size() - inverted.size()));
    return make(24, false, {});
}

const OrvelPalette &OrvelTheme::palette(bool inverted)
{
    static const OrvelPalette light = {
        QColor(0xf2, 0xf2, 0xf2), QColor(0xff, 0xff, 0xff), QColor(0x1a, 0x1a, 0x1a),
        QColor(0x6b, 0x6b, 0x6b), QColor(0x1f, 0x7a, 0xd6), QColor(0xff, 0xff, 0xff),
        QColor(0xcc, 0xcc, 0xcc), QColor(0xa8, 0xa8, 0xa8), QColor(0xd6, 0xe8, 0xfa),
    };
    static const OrvelPalette dark = {
        QColor(0x12, 0x12, 0x12), QColor(0x26, 0x26, 0x26), QColor(0xf5, 0xf5, 0xf5),
        QColor(0xa8, 0xa8, 0xa8), QColor(0x3d, 0x9b, 0xf0), QColor(0xff, 0xff, 0xff),
        QColor(0x44, 0x44, 0x44), QColor(0x66, 0x66, 0x66), QColor(0x1d, 0x3f, 0x63),
    };
    return inverted ? dark : light;
}

QFont OrvelTheme::font(const OrvelStyle &style)
{
    QFont f(fontFamily());
    f.setPixelSize(style.fontPixelSize);
    f.setBold(style.bold);
    return f;
}

bool OrvelTheme::isInverted(const QGraphicsItem *item)
{
    static const QString inverted = QStringLiteral("Inverted");
    for (; item; item = item->parentItem()) {
        if (!item->isWidget())
            continue;
        auto stylable
            = qobject_cast<const OrvelStylableWidget *>(static_cast<const QGraphicsWidget *>(item));
        if (stylable && stylable->styleName().endsWith(inverted))
            return true;
    }
    return false;
}
