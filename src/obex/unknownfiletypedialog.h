#ifndef OVRIN_UNKNOWNFILETYPEDIALOG_H
#define OVRIN_UNKNOWNFILETYPEDIALOG_H

#include "ovringlobal.h"

#include "orvelmessagebox.h"

#include <QUrl>

namespace Ovrin {

class UnknownFileTypeDialogPrivate;

/// Tells that a received file cannot be opened on the handset and offers to
/// delete it; its only button (Ok) reads "Delete". Deleting is the caller's.
class OVRIN_EXPORT UnknownFileTypeDialog : public OrvelMessageBox
{
    Q_OBJECT
public:
    /// A note about the file at url; text (usually its name) goes into the message.
    UnknownFileTypeDialog(const QUrl &url, const QString &text);

    ~UnknownFileTypeDialog() override;

    /// Empty when the URL is not of a local file.
    QString filePath() const;

private:
    UnknownFileTypeDialogPrivate *d_ptr;
    Q_DECLARE_PRIVATE(UnknownFileTypeDialog)
};

} // namespace Ovrin

#endif // OVRIN_UNKNOWNFILETYPEDIALOG_H
