#include "orvelwidgetregistry.h"

#include <QHash>
#include <QMutex>

namespace {

struct Registration
{
    QString themeName;
    OrvelWidgetRegistry::Creator creator = nullptr;
};

// Registrations run from static initialisers of other libraries, so the
// table is built on first use.
QHash<QString, Registration> &table()
{
    static QHash<QString, Registration> registrations;
    return registrations;
}

QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

} // namespace

void OrvelWidgetRegistry::registerWidget(const QString &className, const QString &themeName,
                                         Creator creator)
{
    QMutexLocker locker(&lock());
    table().insert(className, { themeName, creator });
}

bool OrvelWidgetRegistry::isRegistered(const QString &className)
{
    QMutexLocker locker(&lock());
    return table().contains(className);
}

QString OrvelWidgetRegistry::themeName(const QString &className)
{
    QMutexLocker locker(&lock());
    return table().value(className).themeName;
}

QStringList OrvelWidgetRegistry::registeredClasses()
{
    QMutexLocker locker(&lock());
    QStringList names = table().keys();
    names.sort();
    return names;
}

QGraphicsWidget *OrvelWidgetRegistry::create(const QString &className, QGraphicsItem *parent)
{
    Creator creator = nullptr;
    {
        QMutexLocker locker(&lock());
        creator = table().value(className).creator;
    }
    return creator ? creator(parent) : nullptr;
}
