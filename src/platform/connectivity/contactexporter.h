#ifndef OVRIN_CONTACTEXPORTER_H
#define OVRIN_CONTACTEXPORTER_H

#include <QLatin1String>
#include <QString>

class QTemporaryFile;

namespace Ovrin {

// Turns contact references ("contact:<id>") into vCard 3.0 files that can be
// sent like any other file.
//
// The contacts come from "ovrin/contacts.json" under the user's data folder
// ($XDG_DATA_HOME): an array of objects with "id", "given", "family",
// "formatted", "organization", "note", "phones" ([{"type", "number"}]) and
// "emails" (strings). Without that file a few sample contacts stand in, so
// that a fresh handset has something to send.
class Q_DECL_EXPORT ContactExporter
{
public:
    static constexpr QLatin1String ContactIriPrefix { "contact:" };

    // A new, closed temporary "*.vcf" file that the caller owns (deleting it
    // removes the file), or null when the reference names no known contact.
    static QTemporaryFile *createContactCardFile(const QString &iri);

    static QString contactSourcePath();
};

} // namespace Ovrin

#endif // OVRIN_CONTACTEXPORTER_H
