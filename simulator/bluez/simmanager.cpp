#include "simmanager.h"

#include "bluezerrors.h"
#include "bluezservice.h"
#include "simadapter.h"

#include <QDBusObjectPath>

namespace {
const QString managerInterface = QStringLiteral("org.bluez.Manager");
}

SimManager::SimManager(BluezService *service) : SimObject(QStringLiteral("/")), m_service(service)
{
    addMethod(managerInterface, QStringLiteral("GetProperties"), QString(), [this](const SimCall &call) {
        call.reply({ QVariantMap { { QStringLiteral("Adapters"), adapters() } } });
    });
    addMethod(managerInterface, QStringLiteral("DefaultAdapter"), QString(), [this](const SimCall &call) {
        if (SimAdapter *adapter = m_service->adapter())
            call.reply({ QVariant::fromValue(QDBusObjectPath(adapter->path())) });
        else
            replyError(call, BluezError::NoSuchAdapter);
    });
    addMethod(managerInterface, QStringLiteral("FindAdapter"), QStringLiteral("s"), [this](const SimCall &call) {
        const QString pattern = call.argument(0).toString();
        SimAdapter *adapter = m_service->adapter();
        if (pattern == QLatin1String("any") || pattern == QLatin1String("00:00:00:00:00:00")) {
            call.reply({ QVariant::fromValue(QDBusObjectPath(m_service->pathPrefix() + QStringLiteral("/any"))) });
        } else if (adapter
                   && (pattern == QLatin1String("hci0")
                       || pattern.compare(m_service->world().adapter.address, Qt::CaseInsensitive) == 0)) {
            call.reply({ QVariant::fromValue(QDBusObjectPath(adapter->path())) });
        } else {
            replyError(call, BluezError::NoSuchAdapter);
        }
    });
    addMethod(managerInterface, QStringLiteral("ListAdapters"), QString(),
              [this](const SimCall &call) { call.reply({ adapters() }); });
}

QVariant SimManager::adapters() const
{
    QList<QDBusObjectPath> list;
    if (SimAdapter *adapter = m_service->adapter())
        list.append(QDBusObjectPath(adapter->path()));
    return QVariant::fromValue(list);
}

void SimManager::adapterAdded(const QString &path)
{
    const QVariant object = QVariant::fromValue(QDBusObjectPath(path));
    emitSignal(managerInterface, QStringLiteral("AdapterAdded"), { object });
    emitPropertyChanged(managerInterface, QStringLiteral("Adapters"), adapters());
    emitSignal(managerInterface, QStringLiteral("DefaultAdapterChanged"), { object });
}

void SimManager::adapterRemoved(const QString &path)
{
    emitPropertyChanged(managerInterface, QStringLiteral("Adapters"), adapters());
    emitSignal(managerInterface, QStringLiteral("AdapterRemoved"),
               { QVariant::fromValue(QDBusObjectPath(path)) });
}
