#include "notificationserver.h"

const QString NotificationServer::serviceName = QStringLiteral("org.freedesktop.Notifications");

NotificationServer::NotificationServer()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          QStringLiteral("notification-server")))
{
}

bool NotificationServer::start()
{
    return m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                QDBusConnection::ExportScriptableSlots)
            && m_bus.registerService(serviceName);
}

uint NotificationServer::Notify(const QString &appName, uint replacesId, const QString &icon,
                                const QString &summary, const QString &body, const QStringList &,
                                const QVariantMap &hints, int timeout)
{
    received.append({ appName, replacesId, icon, summary, body, hints, timeout });
    return uint(received.size());
}
