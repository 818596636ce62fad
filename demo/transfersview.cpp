#include "transfersview.h"

#include "orvellabel.h"
#include "registry.h"
#include "transferrow.h"
#include "transferspeedmeter.h"

#include <QDir>
#include <QGraphicsLinearLayout>
#include <QLocale>

namespace {

bool isRunning(const TransferUI::TransferInfo &info)
{
    return !info.isFinished() && info.state != TransferUI::TransferInfo::Completed;
}

QStringList linesOf(const QGraphicsLinearLayout *layout)
{
    QStringList lines;
    for (int i = 0; i < layout->count(); ++i) {
        QGraphicsLayoutItem *item = layout->itemAt(i);
        if (auto *row = dynamic_cast<TransferRow *>(item))
            lines.append(row->texts().join(QStringLiteral(" | ")));
        else if (auto *label = dynamic_cast<OrvelLabel *>(item); label && !label->text().isEmpty())
            lines.append(label->text());
    }
    return lines;
}

} // namespace

TransfersView::TransfersView(const QString &receiveFolder, const TransferSpeedMeter *speeds,
                             QGraphicsItem *parent)
    : OrvelWidget(parent)
    , m_receiveFolder(receiveFolder)
    , m_speeds(speeds)
    , m_transfers(new QGraphicsLinearLayout(Qt::Vertical))
    , m_files(new QGraphicsLinearLayout(Qt::Vertical))
{
    // Rows span the width, as in every list of the handset; headers and
    // texts bring their own padding.
    auto *layout = new QGraphicsLinearLayout(Qt::Vertical, this);
    layout->setContentsMargins(0, 0, 0, 12);
    layout->setSpacing(0);
    m_transfers->setSpacing(12);
    m_files->setSpacing(0);
    layout->addItem(m_transfers);
    layout->addItem(m_files);
    layout->addStretch();
    auto *registry = TransferUI::Registry::instance();
    connect(registry, &TransferUI::Registry::transferAdded, this, &TransfersView::showTransfers);
    connect(registry, &TransferUI::Registry::transferChanged, this, &TransfersView::updateRow);
    connect(registry, &TransferUI::Registry::transferRemoved, this, &TransfersView::showTransfers);
    showTransfers();
    showReceivedFiles();
}

void TransfersView::showTransfers()
{
    clear(m_transfers);
    m_rows.clear();
    addLine(m_transfers, QStringLiteral("Transfers"), QStringLiteral("CommonGroupHeader"));
    const auto transfers = TransferUI::Registry::instance()->transfers();
    for (const TransferUI::TransferInfo &info : transfers) {
        auto *row = new TransferRow(info.id);
        m_rows.insert(info.id, row);
        m_transfers->addItem(row);
        row->show(info, m_speeds ? m_speeds->bytesPerSecond(info.id) : -1);
    }
    if (transfers.isEmpty())
        addLine(m_transfers, QStringLiteral("No transfers"), QStringLiteral("CommonSubText"));
}

void TransfersView::showReceivedFiles()
{
    clear(m_files);
    addLine(m_files, QStringLiteral("Received files"), QStringLiteral("CommonGroupHeader"));
    const QDir base(m_receiveFolder);
    bool any = false;
    // Received files land in the folder itself or in a folder for their kind.
    for (const QString &folder : { QString(), QStringLiteral("Pictures"), QStringLiteral("Music"),
                                   QStringLiteral("Movies") }) {
        const QFileInfoList files
            = QDir(base.filePath(folder)).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &file : files) {
            addLine(m_files,
                    QStringLiteral("%1 (%2)").arg(base.relativeFilePath(file.filePath()),
                                                  QLocale().formattedDataSize(file.size())),
                    QStringLiteral("CommonBodyText"));
            any = true;
        }
    }
    if (!any)
        addLine(m_files, QStringLiteral("None yet"), QStringLiteral("CommonSubText"));
}

void TransfersView::updateRow(const QString &id)
{
    TransferRow *row = m_rows.value(id);
    if (!row)
        return;
    const TransferUI::TransferInfo info = TransferUI::Registry::instance()->transfer(id);
    const bool ended = row->isRunning() && !isRunning(info);
    row->show(info, m_speeds ? m_speeds->bytesPerSecond(id) : -1);
    // A transfer that ended may have stored a file.
    if (ended)
        showReceivedFiles();
}

QStringList TransfersView::lines() const
{
    return linesOf(m_transfers) + linesOf(m_files);
}

void TransfersView::clear(QGraphicsLinearLayout *layout)
{
    while (layout->count() > 0) {
        QGraphicsLayoutItem *item = layout->itemAt(0);
        layout->removeAt(0);
        // A row may be the one whose cancel button is being tapped: it goes
        // once the tap is over.
        if (auto *widget = dynamic_cast<QGraphicsWidget *>(item)) {
            widget->hide();
            widget->deleteLater();
        } else {
            delete item;
        }
    }
}

void TransfersView::addLine(QGraphicsLinearLayout *layout, const QString &text,
                            const QString &styleName)
{
    auto *label = new OrvelLabel(text);
    label->setStyleName(styleName);
    label->setWordWrap(true);
    layout->addItem(label);
}
