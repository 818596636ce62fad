#include "simpleinformationbanner.h"

#include "orvelapplicationwindow.h"
#include "orveliconset.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTimer>

namespace Ovrin {

namespace {
QList<SimpleInformationBanner::Entry> &historyList()
{
    static QList<SimpleInformationBanner::Entry> list;
    return list;
}
const qreal IconSide = 48;
const qreal Padding = 20;
} // namespace

SimpleInformationBanner *SimpleInformationBanner::show(const QString &text, const QString &iconId)
{
    return showEntry({ text, iconId, DefaultTimeout });
}

SimpleInformationBanner *SimpleInformationBanner::show(const QString &text, int timeout)
{
    return showEntry({ text, QString(), timeout });
}

SimpleInformationBanner *SimpleInformationBanner::showEntry(const Entry &entry)
{
    QList<Entry> &list = historyList();
    list.append(entry);
    while (list.size() > HistorySize)
        list.removeFirst();
    auto banner = new SimpleInformationBanner(entry.text, entry.iconId, entry.timeout);
    banner->appear(nullptr, DestroyWhenDone);
    QTimer::singleShot(qMax(0, entry.timeout), banner, &SimpleInformationBanner::disappear);
    return banner;
}

QList<SimpleInformationBanner::Entry> SimpleInformationBanner::history()
{
    return historyList();
}

void SimpleInformationBanner::clearHistory()
{
    historyList().clear();
}

SimpleInformationBanner::SimpleInformationBanner(const QString &text, const QString &iconId,
                                                 int timeout)
    : m_entry { text, iconId, timeout }
{
    setStyleName(QStringLiteral("CommonBannerInverted"));
    setObjectName(QStringLiteral("SimpleInformationBanner"));
    setFont(OrvelTheme::font(QStringLiteral("CommonBannerText")));
    setAcceptedMouseButtons(Qt::NoButton);
}

SimpleInformationBanner::~SimpleInformationBanner() = default;

QRectF SimpleInformationBanner::placement(const QRectF &screen) const
{
    const qreal width = screen.width() - 24;
    const qreal textWidth = width - 2 * Padding - (m_entry.iconId.isEmpty() ? 0 : IconSide + 16);
    const QRectF text = QFontMetricsF(font()).boundingRect(QRectF(0, 0, textWidth, 1000),
                                                           Qt::TextWordWrap, m_entry.text);
    const qreal height = qMax(text.height(), IconSide) + 2 * Padding;
    return QRectF(screen.left() + 12, screen.top() + 12, width, height);
}

void SimpleInformationBanner::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const OrvelPalette &colours = palette();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(colours.accent, 2));
    painter->setBrush(colours.panel);
    painter->drawRoundedRect(rect().adjusted(1, 1, -1, -1), 14, 14);
    qreal x = Padding;
    if (!m_entry.iconId.isEmpty()) {
        OrvelIconSet::paint(painter,
                            QRectF(x, (rect().height() - IconSide) / 2, IconSide, IconSide),
                            m_entry.iconId, colours.text);
        x += IconSide + 16;
    }
    painter->setFont(font());
    painter->setPen(colours.text);
    painter->drawText(
        QRectF(x, Padding, rect().width() - x - Padding, rect().height() - 2 * Padding),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, m_entry.text);
    painter->restore();
}

} // namespace Ovrin
