#include "unknownfiletypedialog.h"

#include "orvelbutton.h"

namespace Ovrin {

class UnknownFileTypeDialogPrivate
{
public:
    UnknownFileTypeDialogPrivate(const QString &text, const QUrl &url)
        : text(text)
        , url(url)
    {
    }

    QString text;
    QUrl url;
};

UnknownFileTypeDialog::UnknownFileTypeDialog(const QUrl &url, const QString &text)
    : OrvelMessageBox(qtTrId("qtn_nfc_receive_unknown_tit"),
                      qtTrId("qtn_nfc_receive_unknown_txt").arg(text), QMessageBox::Ok)
    , d_ptr(new UnknownFileTypeDialogPrivate(text, url))
{
    button(QMessageBox::Ok)->setText(qtTrId("qtn_comm_command_delete"));
}

UnknownFileTypeDialog::~UnknownFileTypeDialog()
{
    delete d_ptr;
}

QString UnknownFileTypeDialog::filePath() const
{
    Q_D(const UnknownFileTypeDialog);
    return d->url.toLocalFile();
}

} // namespace Ovrin
