#ifndef NOTIFICATIONSERVER_H
#define NOTIFICATIONSERVER_H

#include <QObject>
#include <QDBusConnection>
#include <QVariantMap>

// The desktop's notification service ("org.freedesktop.Notifications"), as
// far as senders see it, on a session bus connection of its own; it keeps
// every notification it receives.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notification
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
        int timeout = 0;
    };

    static const QString serviceName;

    NotificationServer();
    // Registers the object and the service name.
    bool start();
    QDBusConnection &bus() { return m_bus; }

    QList<Notification> received;

public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString &appName, uint replacesId, const QString &icon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int timeout);

private:
    QDBusConnection m_bus;
};

#endif // NOTIFICATIONSERVER_H
