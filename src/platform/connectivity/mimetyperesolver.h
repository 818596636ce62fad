#ifndef OVRIN_MIMETYPERESOLVER_H
#define OVRIN_MIMETYPERESOLVER_H

#include <QString>

namespace Ovrin {

// MIME types of files (shared-mime-info through QMimeDatabase) and the theme
// icons that stand for them.
class Q_DECL_EXPORT MimeTypeResolver
{
public:
    static const QString UnknownFileIcon; // "icon-m-content-file-unknown-inverse"

    // By content when the file exists, else by its name; never empty
    // ("application/octet-stream" when nothing matches).
    static QString mimeTypeForFilePath(const QString &path);

    // The icon for a file of the given type; the file's name decides when the
    // type is empty or says no more than "application/octet-stream".
    static QString iconForFileAndMimeType(const QString &path, const QString &mimeType);
};

} // namespace Ovrin

#endif // OVRIN_MIMETYPERESOLVER_H
