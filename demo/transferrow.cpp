#include "transferrow.h"

#include "client.h"
#include "orvelbutton.h"
#include "orveliconset.h"
#include "orvelimagewidget.h"
#include "orvellabel.h"
#include "orvelprogressindicator.h"
#include "photowidget.h"
#include "registry.h"

#include <QGraphicsLinearLayout>
#include <QLocale>
#include <QUrl>

using TransferUI::TransferInfo;

namespace {

const qreal pictureSide = 64;

OrvelLabel *textLine(const QString &styleName)
{
    auto *label = new OrvelLabel;
    label->setStyleName(styleName);
    // The row aligns its lines itself: no padding of their own on the sides.
    label->setContentsMargins(0, 0, 0, 0);
    label->setTextElide(true);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return label;
}

QString timeLeft(int seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s left").arg(seconds);
    return QStringLiteral("%1 min %2 s left").arg(seconds / 60).arg(seconds % 60);
}

QString runningText(const TransferInfo &info, qint64 bytesPerSecond)
{
    QStringList parts;
    if (bytesPerSecond >= 0)
        parts.append(QStringLiteral("%1/s").arg(QLocale().formattedDataSize(bytesPerSecond)));
    // The client tells no estimate (0) when it has none.
    if (info.secondsLeft > 0)
        parts.append(timeLeft(info.secondsLeft));
    return parts.isEmpty() ? QStringLiteral("Starting") : parts.join(QStringLiteral("  ·  "));
}

QString statusText(const TransferInfo &info, qint64 bytesPerSecond)
{
    const bool upload = info.type == TransferUI::Client::TransferTypeUpload;
    switch (info.state) {
    case TransferInfo::New:
        return QStringLiteral("Waiting");
    case TransferInfo::Pending:
        return info.pendingReason.isEmpty() ? QStringLiteral("Waiting") : info.pendingReason;
    case TransferInfo::Active:
        return runningText(info, bytesPerSecond);
    case TransferInfo::Completed:
    case TransferInfo::Done:
        return QStringLiteral("%1, %2").arg(upload ? QStringLiteral("Sent")
                                                   : QStringLiteral("Received"),
                                            QLocale().formattedDataSize(qint64(info.size)));
    case TransferInfo::Failed:
        return info.failureMessage.isEmpty()
            ? QStringLiteral("Failed")
            : QStringLiteral("Failed: %1").arg(info.failureMessage);
    case TransferInfo::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return QString();
}

// The thumbnail's file, whether the client named it by path or by URI.
QString localFile(const QString &fileOrUri)
{
    const QUrl url(fileOrUri);
    return url.isLocalFile() ? url.toLocalFile() : fileOrUri;
}

} // namespace

TransferRow::TransferRow(const QString &id, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , m_id(id)
    , m_icon(new OrvelImageWidget)
    , m_name(textLine(QStringLiteral("CommonBodyText")))
    , m_peer(textLine(QStringLiteral("CommonSubText")))
    , m_bar(new OrvelProgressIndicator(nullptr, OrvelProgressIndicator::barType))
    , m_percent(textLine(QStringLiteral("CommonSubText")))
    , m_status(textLine(QStringLiteral("CommonSubText")))
    , m_cancel(new OrvelButton(QStringLiteral("Cancel")))
{
    setStyleName(QStringLiteral("CommonPanelInverted"));
    setObjectName(QStringLiteral("TransferRow"));
    auto *row = new QGraphicsLinearLayout(Qt::Horizontal, this);
    row->setContentsMargins(16, 14, 24, 14);
    row->setSpacing(16);
    m_icon->setStyleName(QStringLiteral("CommonMainIcon"));
    m_icon->setContentsMargins(0, 0, 0, 0);
    m_icon->setMinimumSize(pictureSide, pictureSide);
    row->addItem(m_icon);
    row->setAlignment(m_icon, Qt::AlignTop);

    // Name and other side, with Cancel beside them; below, the bar across
    // the row and what the transfer is doing.
    auto *heading = new QGraphicsLinearLayout(Qt::Vertical);
    heading->setSpacing(2);
    heading->addItem(m_name);
    heading->addItem(m_peer);
    auto *top = new QGraphicsLinearLayout(Qt::Horizontal);
    top->setSpacing(12);
    top->addItem(heading);
    top->setStretchFactor(heading, 1);
    m_cancel->setObjectName(QStringLiteral("TransferCancel"));
    m_cancel->setStyleName(QStringLiteral("CommonSheetHeaderButton"));
    m_cancel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    top->addItem(m_cancel);
    top->setAlignment(m_cancel, Qt::AlignVCenter);

    auto *progress = new QGraphicsLinearLayout(Qt::Horizontal);
    progress->setSpacing(12);
    m_bar->setObjectName(QStringLiteral("TransferProgress"));
    m_bar->setContentsMargins(0, 8, 0, 8);
    m_bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    progress->addItem(m_bar);
    progress->setStretchFactor(m_bar, 1);
    progress->setAlignment(m_bar, Qt::AlignVCenter);
    // Wide enough for "100 %", so that the bars of all rows end at one line.
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_percent->setTextElide(false);
    m_percent->setPreferredWidth(76);
    m_percent->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    progress->addItem(m_percent);

    auto *lines = new QGraphicsLinearLayout(Qt::Vertical);
    lines->setSpacing(4);
    lines->addItem(top);
    lines->addItem(progress);
    lines->addItem(m_status);
    row->addItem(lines);
    row->setStretchFactor(lines, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    // The transfer UI hands the cancel to whoever owns the transfer.
    connect(m_cancel, &OrvelButton::clicked, this,
            [this] { TransferUI::Registry::instance()->requestCancel(m_id); });
}

void TransferRow::show(const TransferInfo &info, qint64 bytesPerSecond)
{
    showPicture(info);
    m_name->setText(info.name);
    const bool upload = info.type == TransferUI::Client::TransferTypeUpload;
    m_peer->setText(
        info.targetName.isEmpty()
            ? info.transferTypeString
            : QStringLiteral("%1 %2").arg(upload ? QStringLiteral("To") : QStringLiteral("From"),
                                          info.targetName));
    const int percent = qRound(qBound(0.0f, info.progress, 1.0f) * 100);
    m_bar->setValue(percent);
    m_percent->setText(QStringLiteral("%1 %").arg(percent));
    m_status->setText(statusText(info, bytesPerSecond));
    m_running = !info.isFinished() && info.state != TransferInfo::Completed;
    m_cancel->setVisible(m_running);
}

void TransferRow::showPicture(const TransferInfo &info)
{
    // A picture of the file itself where the client offers one, over the
    // icon's place; else the file's icon.
    const QString thumbnail = localFile(info.thumbnailFile);
    if (thumbnail != m_thumbnail) {
        m_thumbnail = thumbnail;
        delete m_photo;
        m_photo = thumbnail.isEmpty() ? nullptr : new PhotoWidget(thumbnail, m_icon);
        if (m_photo)
            m_photo->setGeometry(QRectF(0, 0, pictureSide, pictureSide));
    }
    const QString icon = OrvelIconSet::contains(info.icon)
        ? info.icon
        : QStringLiteral("icon-m-content-file-unknown-inverse");
    m_icon->setImage(m_photo ? QString() : icon);
}

QStringList TransferRow::texts() const
{
    return { m_name->text(), m_peer->text(), m_percent->text(), m_status->text() };
}
