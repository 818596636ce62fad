#ifndef TRANSFERROW_H
#define TRANSFERROW_H

#include "orvelstylablewidget.h"

class OrvelButton;
class OrvelImageWidget;
class OrvelLabel;
class OrvelProgressIndicator;
class PhotoWidget;
namespace TransferUI {
struct TransferInfo;
}

// One entry of the transfer UI as a row: the file's picture, its name and
// the other side, a progress bar with the share done, the speed and time
// left while it runs or how it ended, and a cancel button while it can be
// cancelled.
class TransferRow : public OrvelStylableWidget
{
    Q_OBJECT

public:
    explicit TransferRow(const QString &id, QGraphicsItem *parent = nullptr);

    QString transferId() const { return m_id; }
    // Shows the entry as it stands; bytesPerSecond < 0 while not known.
    void show(const TransferUI::TransferInfo &info, qint64 bytesPerSecond);

    // Whether the entry shown last was still running.
    bool isRunning() const { return m_running; }
    OrvelProgressIndicator *progressBar() const { return m_bar; }
    OrvelButton *cancelButton() const { return m_cancel; }
    // The texts of the row, top to bottom.
    QStringList texts() const;

private:
    void showPicture(const TransferUI::TransferInfo &info);

    QString m_id;
    QString m_thumbnail;
    bool m_running = true;
    OrvelImageWidget *m_icon;
    PhotoWidget *m_photo = nullptr;
    OrvelLabel *m_name;
    OrvelLabel *m_peer;
    OrvelProgressIndicator *m_bar;
    OrvelLabel *m_percent;
    OrvelLabel *m_status;
    OrvelButton *m_cancel;
};

#endif // TRANSFERROW_H
