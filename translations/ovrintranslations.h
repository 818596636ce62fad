#ifndef OVRINTRANSLATIONS_H
#define OVRINTRANSLATIONS_H

#include <QLocale>
#include <QString>

namespace Ovrin {

// Loads the catalogue of the library's logical text ids for the locale
// (English when there is none for it) and installs it on the application.
// Returns false when no catalogue could be loaded; qtTrId then gives the ids.
bool installTranslations(const QLocale &locale = QLocale());

// Where the catalogue of a language is kept (a Qt resource path).
QString translationFile(const QString &language);

} // namespace Ovrin

#endif // OVRINTRANSLATIONS_H
