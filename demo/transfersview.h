#ifndef TRANSFERSVIEW_H
#define TRANSFERSVIEW_H

#include "orvelwidget.h"

#include <QHash>
#include <QPointer>
#include <QStringList>

class QGraphicsLinearLayout;
class TransferRow;
class TransferSpeedMeter;

// The transfer UI as the handset shows it: a row for every transfer a client
// reported, with its progress and a way to cancel it, and below them the
// files received so far, by folder. Follows the transfer UI's changes while
// it exists.
class TransfersView : public OrvelWidget
{
    Q_OBJECT

public:
    // receiveFolder: where received files are kept; speeds: how fast the
    // entries move.
    TransfersView(const QString &receiveFolder, const TransferSpeedMeter *speeds,
                  QGraphicsItem *parent = nullptr);

    // The lines shown now, top to bottom; a row's texts joined by " | ".
    QStringList lines() const;
    // The row of the entry id, if it is shown.
    TransferRow *row(const QString &id) const { return m_rows.value(id); }

private:
    void showTransfers();
    void showReceivedFiles();
    void updateRow(const QString &id);
    static void clear(QGraphicsLinearLayout *layout);
    static void addLine(QGraphicsLinearLayout *layout, const QString &text,
                        const QString &styleName);

    QString m_receiveFolder;
    QPointer<const TransferSpeedMeter> m_speeds;
    QGraphicsLinearLayout *m_transfers;
    QGraphicsLinearLayout *m_files;
    QHash<QString, TransferRow *> m_rows;
};

#endif // TRANSFERSVIEW_H
