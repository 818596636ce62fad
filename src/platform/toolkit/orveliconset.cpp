#include "orveliconset.h"

#include "orveltheme.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace {

using Glyph = void (*)(QPainter *, const QRectF &, const QColor &);

QPen strokePen(const QRectF &r, const QColor &color, qreal factor = 0.08)
{
    QPen pen(color, qMax<qreal>(1.5, r.width() * factor));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// The Bluetooth rune: a vertical bar with two arrow heads.
void bluetooth(QPainter *p, const QRectF &r, const QColor &color)
{
    const qreal w = r.width(), h = r.height();
    const QPointF top(r.left() + w * 0.5, r.top() + h * 0.12);
    const QPointF bottom(r.left() + w * 0.5, r.top() + h * 0.88);
    const QPointF upperRight(r.left() + w * 0.72, r.top() + h * 0.31);
    const QPointF lowerRight(r.left() + w * 0.72, r.top() + h * 0.69);
    const QPointF upperLeft(r.left() + w * 0.28, r.top() + h * 0.31);
    const QPointF lowerLeft(r.left() + w * 0.28, r.top() + h * 0.69);
    p->setPen(strokePen(r, color));
    p->setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(upperLeft);
    path.lineTo(lowerRight);
    path.lineTo(bottom);
    path.lineTo(top);
    path.lineTo(upperRight);
    path.lineTo(lowerLeft);
    p->drawPath(path);
}

void bluetoothBadge(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(Qt::NoPen);
    p->setBrush(color);
    p->drawEllipse(
        r.adjusted(r.width() * 0.04, r.height() * 0.04, -r.width() * 0.04, -r.height() * 0.04));
    bluetooth(
        p, r.adjusted(r.width() * 0.18, r.height() * 0.18, -r.width() * 0.18, -r.height() * 0.18),
        QColor(Qt::white));
}

void phone(QPainter *p, const QRectF &r, const QColor &color)
{
    const QRectF body(r.left() + r.width() * 0.3, r.top() + r.height() * 0.1, r.width() * 0.4,
                      r.height() * 0.8);
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    p->drawRoundedRect(body, r.width() * 0.06, r.width() * 0.06);
    p->drawLine(
        QPointF(body.center().x() - body.width() * 0.15, body.bottom() - body.height() * 0.1),
        QPointF(body.center().x() + body.width() * 0.15, body.bottom() - body.height() * 0.1));
}

void laptop(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    const QRectF screen(r.left() + r.width() * 0.2, r.top() + r.height() * 0.22, r.width() * 0.6,
                        r.height() * 0.4);
    p->drawRect(screen);
    p->drawLine(QPointF(r.left() + r.width() * 0.1, r.top() + r.height() * 0.72),
                QPointF(r.right() - r.width() * 0.1, r.top() + r.height() * 0.72));
}

void headset(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.07));
    p->setBrush(Qt::NoBrush);
    const QRectF arc(r.left() + r.width() * 0.2, r.top() + r.height() * 0.15, r.width() * 0.6,
                     r.height() * 0.6);
    p->drawArc(arc, 0, 180 * 16);
    p->setBrush(color);
    p->drawRoundedRect(QRectF(arc.left() - r.width() * 0.04, arc.center().y(), r.width() * 0.14,
                              r.height() * 0.28),
                       3, 3);
    p->drawRoundedRect(QRectF(arc.right() - r.width() * 0.1, arc.center().y(), r.width() * 0.14,
                              r.height() * 0.28),
                       3, 3);
}

void car(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    QPainterPath body;
    body.moveTo(r.left() + r.width() * 0.1, r.top() + r.height() * 0.65);
    body.lineTo(r.left() + r.width() * 0.1, r.top() + r.height() * 0.5);
    body.lineTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.3);
    body.lineTo(r.left() + r.width() * 0.7, r.top() + r.height() * 0.3);
    body.lineTo(r.left() + r.width() * 0.9, r.top() + r.height() * 0.5);
    body.lineTo(r.left() + r.width() * 0.9, r.top() + r.height() * 0.65);
    body.closeSubpath();
    p->drawPath(body);
    p->setBrush(color);
    p->drawEllipse(QPointF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.7),
                   r.width() * 0.08, r.width() * 0.08);
    p->drawEllipse(QPointF(r.left() + r.width() * 0.7, r.top() + r.height() * 0.7),
                   r.width() * 0.08, r.width() * 0.08);
}

void printer(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    p->drawRect(QRectF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.15, r.width() * 0.4,
                       r.height() * 0.25));
    p->drawRoundedRect(QRectF(r.left() + r.width() * 0.12, r.top() + r.height() * 0.4,
                              r.width() * 0.76, r.height() * 0.3),
                       3, 3);
    p->drawRect(QRectF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.62, r.width() * 0.4,
                       r.height() * 0.25));
}

void camera(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    p->drawRoundedRect(QRectF(r.left() + r.width() * 0.12, r.top() + r.height() * 0.3,
                              r.width() * 0.76, r.height() * 0.5),
                       4, 4);
    p->drawEllipse(QPointF(r.center().x(), r.top() + r.height() * 0.55), r.width() * 0.14,
                   r.width() * 0.14);
}

void keyboard(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.05));
    p->setBrush(Qt::NoBrush);
    const QRectF board(r.left() + r.width() * 0.08, r.top() + r.height() * 0.3, r.width() * 0.84,
                       r.height() * 0.42);
    p->drawRoundedRect(board, 3, 3);
    p->setBrush(color);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 5; ++col)
            p->drawRect(QRectF(board.left() + board.width() * (0.1 + col * 0.17),
                               board.top() + board.height() * (0.2 + row * 0.35),
                               board.width() * 0.06, board.height() * 0.12));
}

void video(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    p->drawRect(QRectF(r.left() + r.width() * 0.12, r.top() + r.height() * 0.25, r.width() * 0.76,
                       r.height() * 0.48));
    QPolygonF play;
    play << QPointF(r.left() + r.width() * 0.43, r.top() + r.height() * 0.37)
         << QPointF(r.left() + r.width() * 0.6, r.top() + r.height() * 0.49)
         << QPointF(r.left() + r.width() * 0.43, r.top() + r.height() * 0.61);
    p->setBrush(color);
    p->drawPolygon(play);
}

void devices(QPainter *p, const QRectF &r, const QColor &color)
{
    phone(p, r.adjusted(-r.width() * 0.18, r.height() * 0.1, -r.width() * 0.18, 0), color);
    laptop(p, r.adjusted(r.width() * 0.2, r.height() * 0.2, r.width() * 0.1, 0), color);
}

void lock(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.08));
    p->setBrush(Qt::NoBrush);
    const QRectF shackle(r.left() + r.width() * 0.32, r.top() + r.height() * 0.14, r.width() * 0.36,
                         r.height() * 0.4);
    p->drawArc(shackle, 0, 180 * 16);
    p->drawLine(QPointF(shackle.left(), shackle.center().y()),
                QPointF(shackle.left(), r.top() + r.height() * 0.45));
    p->drawLine(QPointF(shackle.right(), shackle.center().y()),
                QPointF(shackle.right(), r.top() + r.height() * 0.45));
    p->setPen(Qt::NoPen);
    p->setBrush(color);
    p->drawRoundedRect(QRectF(r.left() + r.width() * 0.22, r.top() + r.height() * 0.44,
                              r.width() * 0.56, r.height() * 0.42),
                       3, 3);
}

void file(QPainter *p, const QRectF &r, const QColor &color)
{
    p->setPen(strokePen(r, color, 0.06));
    p->setBrush(Qt::NoBrush);
    QPainterPath page;
    page.moveTo(r.left() + r.width() * 0.25, r.top() + r.height() * 0.1);
    page.lineTo(r.left() + r.width() * 0.6, r.top() + r.height() * 0.1);
    page.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.25);
    page.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.9);
    page.lineTo(r.left() + r.width() * 0.25, r.top() + r.height() * 0.9);
    page.closeSubpath();
    p->drawPath(page);
    QFont f(OrvelTheme::fontFamily());
    f.setPixelSize(qMax(8, int(r.height() * 0.35)));
    f.setBold(true);
    p->setFont(f);
    p->setPen(color);
    p->drawText(r.adjusted(0, r.height() * 0.15, 0, 0), Qt::AlignCenter, QStringLiteral("?"));
}

void placeholder(QPainter *p, const QRectF &r, const QColor &color, const QString &iconId)
{
    QPen pen(color, 1.5, Qt::DashLine);
    p->setPen(pen);
    p->setBrush(Qt::NoBrush);
    p->drawRect(r.adjusted(1, 1, -1, -1));
    p->drawLine(r.topLeft(), r.bottomRight());
    QFont f(OrvelTheme::fontFamily());
    f.setPixelSize(qMax(7, int(r.height() / 6)));
    p->setFont(f);
    p->setPen(color);
    QString label = iconId;
    label.remove(QStringLiteral("icon-m-"));
    p->drawText(r.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWrapAnywhere, label);
}

const QHash<QString, Glyph> &glyphs()
{
    static const QHash<QString, Glyph> table = {
        { QStringLiteral("icon-m-bluetooth"), bluetooth },
        { QStringLiteral("icon-m-content-bluetooth-inverse"), bluetoothBadge },
        { QStringLiteral("icon-m-bluetooth-devices"), devices },
        { QStringLiteral("icon-m-bluetooth-laptop"), laptop },
        { QStringLiteral("icon-m-bluetooth-pda"), phone },
        { QStringLiteral("icon-m-bluetooth-carkit"), car },
        { QStringLiteral("icon-m-bluetooth-video-audio"), video },
        { QStringLiteral("icon-m-common-phone"), phone },
        { QStringLiteral("icon-m-common-handsfree"), headset },
        { QStringLiteral("icon-m-common-printer"), printer },
        { QStringLiteral("icon-m-common-camera"), camera },
        { QStringLiteral("icon-m-common-keyboard"), keyboard },
        { QStringLiteral("icon-m-common-locked-inverse"), lock },
        { QStringLiteral("icon-m-content-file-unknown-inverse"), file },
    };
    return table;
}

} // namespace

bool OrvelIconSet::contains(const QString &iconId)
{
    return glyphs().contains(iconId);
}

void OrvelIconSet::paint(QPainter *painter, const QRectF &rect, const QString &iconId,
                         const QColor &color)
{
    if (iconId.isEmpty() || rect.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(rect.width(), rect.height());
    const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    if (Glyph glyph = glyphs().value(iconId))
        glyph(painter, square, color);
    else
        placeholder(painter, square, color, iconId);
    painter->restore();
}
