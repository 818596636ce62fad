#include "bluezdaemon.h"

#include "bluez4dialect.h"
#include "bluez5dialect.h"
#include "bluezlogging.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <memory>
#include <utility>

namespace Ovrin {

namespace {
const QString bluezService = QStringLiteral("org.bluez");

} // namespace

BluezDaemon *BluezDaemon::instance()
{
    // Lives as long as the process: devices and adapters of any age use it.
    static BluezDaemon *const daemon = new BluezDaemon;
    return daemon;
}

BluezDaemon::BluezDaemon()
    : m_watcher(new QDBusServiceWatcher(bluezService, QDBusConnection::systemBus(),
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &BluezDaemon::ownerChanged);
    const QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
    m_running = bus && bus->isServiceRegistered(bluezService).value();
}

void BluezDaemon::ownerChanged(const QString &, const QString &oldOwner, const QString &newOwner)
{
    if (!oldOwner.isEmpty()) {
        // Not running first: what the dying dialect reports finds none.
        m_running = false;
        dropDialect();
        Q_EMIT gone();
    }
    if (!newOwner.isEmpty()) {
        m_running = true;
        // At once: the devices the process follows hear the new daemon from the start.
        m_dialect = detect();
        Q_EMIT appeared();
        // Handles need not wait for an adapter the daemon has described already.
        if (m_dialect && m_dialect->describedAdapter())
            Q_EMIT adapterAdded();
    }
}

void BluezDaemon::dropDialect()
{
    delete std::exchange(m_dialect, nullptr).data();
}

BluezDialect *BluezDaemon::dialect()
{
    if (!m_dialect && m_running)
        m_dialect = detect();
    return m_dialect;
}

BluezDialect *BluezDaemon::detect()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    // BlueZ 5's view listens before it asks, so that nothing said meanwhile is lost.
    auto bluez5 = std::make_unique<Bluez5Dialect>(bus, this);
    const QDBusError error = bluez5->load();
    BluezDialect *found = nullptr;
    if (!error.isValid()) {
        found = bluez5.release();
    } else if (BluezDialect::isNoSuchObject(error)) {
        // Made before BlueZ 5's view goes, so that the bus's watch on the
        // daemon's name, which both share, is kept rather than made anew.
        found = new Bluez4Dialect(bus, this);
        bluez5.reset();
    } else {
        warnCallFailed("GetManagedObjects", error);
        return nullptr;
    }
    qCDebug(lcBluez, "org.bluez speaks %s", qPrintable(found->name()));
    connect(found, &BluezDialect::adapterPropertyChanged, this,
            &BluezDaemon::adapterPropertyChanged);
    connect(found, &BluezDialect::adapterAdded, this, &BluezDaemon::adapterAdded);
    connect(found, &BluezDialect::adapterRemoved, this, &BluezDaemon::adapterRemoved);
    connect(found, &BluezDialect::devicePropertyChanged, this, &BluezDaemon::devicePropertyChanged);
    connect(found, &BluezDialect::deviceFound, this, &BluezDaemon::deviceFound);
    connect(found, &BluezDialect::deviceCreated, this, &BluezDaemon::deviceCreated);
    connect(found, &BluezDialect::deviceRemoved, this, &BluezDaemon::deviceRemoved);
    connect(found, &BluezDialect::deviceRemovalFailed, this, &BluezDaemon::deviceRemovalFailed);
    connect(found, &BluezDialect::deviceObjectRemoved, this, &BluezDaemon::deviceObjectRemoved);
    return found;
}

} // namespace Ovrin
