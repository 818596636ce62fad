#include "mimetyperesolver.h"

#include <QHash>
#include <QMimeDatabase>
#include <QStringList>

namespace Ovrin {

const QString MimeTypeResolver::UnknownFileIcon
    = QStringLiteral("icon-m-content-file-unknown-inverse");

namespace {

const QString octetStream = QStringLiteral("application/octet-stream");

// Types with an icon of their own; the rest go by their major type.
const QHash<QString, QString> &iconsByType()
{
    static const QHash<QString, QString> icons {
        { QStringLiteral("text/vcard"), QStringLiteral("icon-m-content-contact-inverse") },
        { QStringLiteral("text/directory"), QStringLiteral("icon-m-content-contact-inverse") },
        { QStringLiteral("text/calendar"), QStringLiteral("icon-m-content-calendar-inverse") },
        { QStringLiteral("text/x-vcalendar"), QStringLiteral("icon-m-content-calendar-inverse") },
        { QStringLiteral("application/pdf"), QStringLiteral("icon-m-content-pdf-inverse") },
        { QStringLiteral("application/msword"), QStringLiteral("icon-m-content-document-inverse") },
        { QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document"),
          QStringLiteral("icon-m-content-document-inverse") },
        { QStringLiteral("application/vnd.oasis.opendocument.text"),
          QStringLiteral("icon-m-content-document-inverse") },
        { QStringLiteral("application/rtf"), QStringLiteral("icon-m-content-document-inverse") },
        { QStringLiteral("application/vnd.ms-excel"),
          QStringLiteral("icon-m-content-spreadsheet-inverse") },
        { QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"),
          QStringLiteral("icon-m-content-spreadsheet-inverse") },
        { QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"),
          QStringLiteral("icon-m-content-spreadsheet-inverse") },
        { QStringLiteral("application/vnd.ms-powerpoint"),
          QStringLiteral("icon-m-content-presentation-inverse") },
        { QStringLiteral(
              "application/vnd.openxmlformats-officedocument.presentationml.presentation"),
          QStringLiteral("icon-m-content-presentation-inverse") },
        { QStringLiteral("application/vnd.oasis.opendocument.presentation"),
          QStringLiteral("icon-m-content-presentation-inverse") },
        { QStringLiteral("application/zip"), QStringLiteral("icon-m-content-archive-inverse") },
        { QStringLiteral("application/x-tar"), QStringLiteral("icon-m-content-archive-inverse") },
        { QStringLiteral("application/gzip"), QStringLiteral("icon-m-content-archive-inverse") },
        { QStringLiteral("application/x-7z-compressed"),
          QStringLiteral("icon-m-content-archive-inverse") },
    };
    return icons;
}

QString iconForMajorType(const QString &type)
{
    const QString major = type.section(u'/', 0, 0);
    if (major == QLatin1String("image"))
        return QStringLiteral("icon-m-content-image-inverse");
    if (major == QLatin1String("audio"))
        return QStringLiteral("icon-m-content-audio-inverse");
    if (major == QLatin1String("video"))
        return QStringLiteral("icon-m-content-videos-inverse");
    if (major == QLatin1String("text"))
        return QStringLiteral("icon-m-content-text-inverse");
    return {};
}

// The type itself and its canonical name come first, then what it derives
// from (a shell script is text, an SVG image is an image).
QString iconForType(const QString &type)
{
    const QMimeType known = QMimeDatabase().mimeTypeForName(type);
    const QStringList exact { type, known.isValid() ? known.name() : type };
    for (const QString &name : exact) {
        if (iconsByType().contains(name))
            return iconsByType().value(name);
    }
    QString icon = iconForMajorType(type);
    const QStringList ancestors = known.isValid() ? known.allAncestors() : QStringList();
    for (auto it = ancestors.cbegin(); icon.isEmpty() && it != ancestors.cend(); ++it)
        icon = iconsByType().value(*it, iconForMajorType(*it));
    return icon;
}

} // namespace

QString MimeTypeResolver::mimeTypeForFilePath(const QString &path)
{
    return QMimeDatabase().mimeTypeForFile(path).name();
}

QString MimeTypeResolver::iconForFileAndMimeType(const QString &path, const QString &mimeType)
{
    QString type = mimeType.trimmed().toLower();
    if (type.isEmpty() || type == octetStream)
        type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    const QString icon = type == octetStream ? QString() : iconForType(type);
    return icon.isEmpty() ? UnknownFileIcon : icon;
}

} // namespace Ovrin
