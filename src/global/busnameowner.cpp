#include "busnameowner.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QHash>

namespace Ovrin {

namespace {

// One follower per bus and name for the process, gone with the application.
QHash<QString, BusNameOwner *> &followers()
{
    static QHash<QString, BusNameOwner *> all;
    return all;
}

} // namespace

BusNameOwner::BusNameOwner(const QDBusConnection &bus, const QString &service, QObject *parent)
    : QObject(parent)
    , m_watcher(
          new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this))
{
    // Watching first: a change after the question is not missed.
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &BusNameOwner::ownerChanged);
    m_owner = bus.interface()->serviceOwner(service).value();
}

void BusNameOwner::ownerChanged(const QString &service, const QString &oldOwner,
                                const QString &newOwner)
{
    Q_UNUSED(service)
    Q_UNUSED(oldOwner)
    m_owner = newOwner;
}

QString BusNameOwner::of(const QDBusConnection &bus, const QString &service)
{
    QCoreApplication *application = QCoreApplication::instance();
    // Without an event loop the name could not be followed: ask each time.
    if (!application)
        return bus.interface()->serviceOwner(service).value();
    const QString key = bus.name() + QLatin1Char('\n') + service;
    BusNameOwner *follower = followers().value(key);
    if (!follower) {
        follower = new BusNameOwner(bus, service, application);
        followers().insert(key, follower);
        connect(follower, &QObject::destroyed, [key] { followers().remove(key); });
    }
    return follower->m_owner;
}

} // namespace Ovrin
