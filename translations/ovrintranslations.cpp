#include "ovrintranslations.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

namespace Ovrin {

QString translationFile(const QString &language)
{
    return QStringLiteral(":/i18n/ovrin-bluetooth_%1.qm").arg(language);
}

bool installTranslations(const QLocale &locale)
{
    QString file = translationFile(locale.name().section(u'_', 0, 0));
    if (!QFile::exists(file))
        file = translationFile(QStringLiteral("en"));
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(file) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace Ovrin
