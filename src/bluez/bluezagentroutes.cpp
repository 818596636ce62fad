#include "bluezagentroutes.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QPointer>
#include <QTimer>

namespace Ovrin {

namespace {
struct Attempt
{
    QString agentPath;
    QString busName;
};

QString s_defaultAgent;
QHash<QString, Attempt> s_attempts;
QPointer<QObject> s_router;
int s_attemptBuses = 0;
} // namespace

QString BluezAgentRoutes::routerPath()
{
    return QStringLiteral("/com/brivo/btAgent/router");
}

void BluezAgentRoutes::setRouterObject(QObject *router)
{
    s_router = router;
}

void BluezAgentRoutes::setDefaultAgent(const QString &agentPath)
{
    s_defaultAgent = agentPath;
}

QString BluezAgentRoutes::defaultAgent()
{
    return s_defaultAgent;
}

void BluezAgentRoutes::startAttempt(const QString &devicePath, const QString &agentPath,
                                    const QString &busName)
{
    s_attempts.insert(devicePath, { agentPath, busName });
}

void BluezAgentRoutes::endAttempt(const QString &devicePath)
{
    s_attempts.remove(devicePath);
}

bool BluezAgentRoutes::hasAttempts()
{
    return !s_attempts.isEmpty();
}

QString BluezAgentRoutes::agentFor(const QString &devicePath)
{
    const auto attempt = s_attempts.constFind(devicePath);
    return attempt != s_attempts.constEnd() ? attempt->agentPath : s_defaultAgent;
}

QString BluezAgentRoutes::agentOnBus(const QString &busName)
{
    for (const Attempt &attempt : std::as_const(s_attempts)) {
        if (attempt.busName == busName)
            return attempt.agentPath;
    }
    return QString();
}

QDBusConnection BluezAgentRoutes::openAttemptBus()
{
    const QString name = QStringLiteral("ovrin-pairing-%1").arg(++s_attemptBuses);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    if (!s_router || !bus.isConnected()
        || !bus.registerObject(routerPath(), s_router, QDBusConnection::ExportAllSlots)) {
        QDBusConnection::disconnectFromBus(name);
        return QDBusConnection(name);
    }
    // Not waited for: bluetoothd handles what one connection sends in order.
    QDBusMessage registration = QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/org/bluez"),
        QStringLiteral("org.bluez.AgentManager1"), QStringLiteral("RegisterAgent"));
    registration << QVariant::fromValue(QDBusObjectPath(routerPath()))
                 << QStringLiteral("KeyboardDisplay");
    bus.send(registration);
    return bus;
}

void BluezAgentRoutes::closeAttemptBus(const QString &busName)
{
    // Later, so that nothing still being delivered on it is cut off.
    QTimer::singleShot(0, [busName] { QDBusConnection::disconnectFromBus(busName); });
}

} // namespace Ovrin
