#include "transfersview.h"

#include "client.h"
#include "orvellabel.h"
#include "registry.h"

#include <QDir>
#include <QGraphicsLinearLayout>
#include <QLocale>

namespace {

QString stateText(const TransferUI::TransferInfo &info)
{
    switch (info.state) {
    case TransferUI::TransferInfo::New:
    case TransferUI::TransferInfo::Pending:
        return QStringLiteral("waiting");
    case TransferUI::TransferInfo::Active:
        return QStringLiteral("%1 %").arg(qRound(info.progress * 100));
    case TransferUI::TransferInfo::Completed:
    case TransferUI::TransferInfo::Done:
        return QStringLiteral("done");
    case TransferUI::TransferInfo::Failed:
        return QStringLiteral("failed: %1").arg(info.failureMessage);
    case TransferUI::TransferInfo::Cancelled:
        return QStringLiteral("cancelled");
    }
    return QString();
}

} // namespace

TransfersView::TransfersView(const QString &receiveFolder, QGraphicsItem *parent)
    : OrvelWidget(parent)
    , m_receiveFolder(receiveFolder)
    , m_layout(new QGraphicsLinearLayout(Qt::Vertical, this))
{
    m_layout->setContentsMargins(20, 12, 20, 12);
    m_layout->setSpacing(6);
    auto *registry = TransferUI::Registry::instance();
    connect(registry, &TransferUI::Registry::transferAdded, this, &TransfersView::refresh);
    connect(registry, &TransferUI::Registry::transferChanged, this, &TransfersView::refresh);
    connect(registry, &TransferUI::Registry::transferRemoved, this, &TransfersView::refresh);
    refresh();
}

void TransfersView::refresh()
{
    while (m_layout->count() > 0) {
        QGraphicsLayoutItem *item = m_layout->itemAt(0);
        m_layout->removeAt(0);
        delete item;
    }
    m_lines.clear();
    addLine(QStringLiteral("Transfers"), QStringLiteral("CommonGroupHeader"));
    const QStringList transfers = transferLines();
    for (const QString &line : transfers)
        addLine(line, QStringLiteral("CommonBodyText"));
    if (transfers.isEmpty())
        addLine(QStringLiteral("No transfers"), QStringLiteral("CommonSubText"));
    addLine(QStringLiteral("Received files"), QStringLiteral("CommonGroupHeader"));
    const QStringList files = receivedFileLines();
    for (const QString &line : files)
        addLine(line, QStringLiteral("CommonBodyText"));
    if (files.isEmpty())
        addLine(QStringLiteral("None yet"), QStringLiteral("CommonSubText"));
    m_layout->addStretch();
}

QStringList TransfersView::transferLines() const
{
    QStringList lines;
    const auto transfers = TransferUI::Registry::instance()->transfers();
    for (const TransferUI::TransferInfo &info : transfers) {
        const QString direction = info.type == TransferUI::Client::TransferTypeUpload
            ? QStringLiteral("to")
            : QStringLiteral("from");
        lines.append(QStringLiteral("%1 %2 %3: %4")
                         .arg(info.name, direction, info.targetName, stateText(info)));
    }
    return lines;
}

QStringList TransfersView::receivedFileLines() const
{
    QStringList lines;
    const QDir base(m_receiveFolder);
    // Received files land in the folder itself or in a folder for their kind.
    for (const QString &folder : { QString(), QStringLiteral("Pictures"), QStringLiteral("Music"),
                                   QStringLiteral("Movies") }) {
        const QFileInfoList files
            = QDir(base.filePath(folder)).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &file : files)
            lines.append(QStringLiteral("%1 (%2)").arg(base.relativeFilePath(file.filePath()),
                                                       QLocale().formattedDataSize(file.size())));
    }
    return lines;
}

void TransfersView::addLine(const QString &text, const QString &styleName)
{
    auto *label = new OrvelLabel(text);
    label->setStyleName(styleName);
    label->setWordWrap(true);
    m_layout->addItem(label);
    m_lines.append(text);
}
