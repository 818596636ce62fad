#ifndef TRANSFERSVIEW_H
#define TRANSFERSVIEW_H

#include "orvelwidget.h"

#include <QStringList>

class QGraphicsLinearLayout;

// The transfer UI as the handset shows it: every transfer a client reported,
// with its state and progress, and below them the files received so far, by
// folder. Follows the transfer UI's changes while it exists.
class TransfersView : public OrvelWidget
{
    Q_OBJECT

public:
    // receiveFolder: where received files are kept.
    explicit TransfersView(const QString &receiveFolder, QGraphicsItem *parent = nullptr);

    // The lines shown now, top to bottom.
    QStringList lines() const { return m_lines; }

public Q_SLOTS:
    void refresh();

private:
    QStringList transferLines() const;
    QStringList receivedFileLines() const;
    void addLine(const QString &text, const QString &styleName);

    QString m_receiveFolder;
    QGraphicsLinearLayout *m_layout;
    QStringList m_lines;
};

#endif // TRANSFERSVIEW_H
