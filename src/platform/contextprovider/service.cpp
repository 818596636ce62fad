#include "service.h"

#include <QDBusConnectionInterface>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcContextProperty)

namespace ContextProvider {

class ServicePrivate
{
public:
    QDBusConnection connection { QString() };
    QString busName;
    bool registered = false;
};

Service::Service(QDBusConnection::BusType busType, const QString &busName, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<ServicePrivate>())
{
    d->connection = busType == QDBusConnection::SystemBus ? QDBusConnection::systemBus()
                                                          : QDBusConnection::sessionBus();
    d->busName = busName;
    d->registered = d->connection.registerService(busName);
    if (!d->registered)
        qCWarning(lcContextProperty, "Context service cannot own %s: %s", qPrintable(busName),
                  qPrintable(d->connection.lastError().message()));
}

Service::~Service()
{
    if (d->registered)
        d->connection.unregisterService(d->busName);
}

QString Service::busName() const
{
    return d->busName;
}

QDBusConnection Service::connection() const
{
    return d->connection;
}

bool Service::isRegistered() const
{
    return d->registered;
}

} // namespace ContextProvider
