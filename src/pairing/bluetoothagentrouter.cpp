#include "bluetoothagentrouter.h"

#include "bluetoothagent_p.h"
#include "bluezagentroutes.h"
#include "daemoncallercheck.h"
#include "pairinglogging.h"

#include <QDBusConnection>

namespace Ovrin {

namespace {
const QString rejected = QStringLiteral("org.bluez.Error.Rejected");
} // namespace

BluetoothAgentRouter *BluetoothAgentRouter::s_instance = nullptr;

void BluetoothAgentRouter::join(BluetoothAgentPrivate *agent)
{
    if (!s_instance) {
        s_instance = new BluetoothAgentRouter;
        BluezAgentRoutes::setRouterObject(s_instance);
        QDBusConnection::systemBus().registerObject(BluezAgentRoutes::routerPath(), s_instance,
                                                    QDBusConnection::ExportAllSlots);
    }
    s_instance->m_agents.insert(agent->path, agent);
}

void BluetoothAgentRouter::leave(BluetoothAgentPrivate *agent)
{
    if (!s_instance)
        return;
    s_instance->m_agents.remove(agent->path);
    if (!s_instance->m_agents.isEmpty())
        return;
    QDBusConnection::systemBus().unregisterObject(BluezAgentRoutes::routerPath());
    BluezAgentRoutes::setRouterObject(nullptr);
    // Gone from the pairings' own connections with it.
    delete s_instance;
    s_instance = nullptr;
}

bool BluetoothAgentRouter::fromBluez(const QDBusMessage &message) const
{
    return isCallFromDaemon(QDBusConnection::systemBus(), QStringLiteral("org.bluez"), message,
                            rejected, connection());
}

BluetoothAgentPrivate *BluetoothAgentRouter::target(const QDBusObjectPath &device,
                                                    const QDBusMessage &message) const
{
    if (!fromBluez(message))
        return nullptr;
    BluetoothAgentPrivate *agent = m_agents.value(BluezAgentRoutes::agentFor(device.path()));
    if (!agent) {
        qCWarning(lcPairing, "No agent answers for %s", qPrintable(device.path()));
        connection().send(message.createErrorReply(rejected, QString()));
        message.setDelayedReply(true);
    }
    return agent;
}

QList<BluetoothAgentPrivate *> BluetoothAgentRouter::addressees(bool withOpenRequests) const
{
    const QString busName = connection().name();
    if (BluetoothAgentPrivate *own = m_agents.value(BluezAgentRoutes::agentOnBus(busName)))
        return { own };
    QList<BluetoothAgentPrivate *> agents;
    for (BluetoothAgentPrivate *agent : m_agents) {
        if (!withOpenRequests || agent->hasRequestsOn(busName))
            agents.append(agent);
    }
    return agents;
}

bool BluetoothAgentRouter::isAgent(BluetoothAgentPrivate *agent) const
{
    // A receiver of an earlier one's signal may have deleted it.
    for (BluetoothAgentPrivate *known : m_agents) {
        if (known == agent)
            return true;
    }
    return false;
}

void BluetoothAgentRouter::Release(const QDBusMessage &message)
{
    if (!fromBluez(message))
        return;
    // BlueZ is going: every agent it held on this connection hears it.
    const QList<BluetoothAgentPrivate *> agents = addressees(false);
    for (BluetoothAgentPrivate *agent : agents) {
        if (isAgent(agent))
            agent->released();
    }
}

void BluetoothAgentRouter::Cancel(const QDBusMessage &message)
{
    if (!fromBluez(message))
        return;
    // BlueZ names no device: the agents it asked on this connection give it up.
    const QList<BluetoothAgentPrivate *> agents = addressees(true);
    for (BluetoothAgentPrivate *agent : agents) {
        if (isAgent(agent))
            agent->cancelled();
    }
}

QString BluetoothAgentRouter::RequestPinCode(const QDBusObjectPath &device,
                                             const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->askPinCode(device, message, connection());
    return QString();
}

void BluetoothAgentRouter::DisplayPinCode(const QDBusObjectPath &device, const QString &pinCode,
                                          const QDBusMessage &message)
{
    // Shown as a passkey to type on the remote keyboard; answered at once.
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->showPasskey(device, pinCode.toUInt(), uchar(0));
}

uint BluetoothAgentRouter::RequestPasskey(const QDBusObjectPath &device,
                                          const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->askPasskey(device, message, connection());
    return 0;
}

void BluetoothAgentRouter::DisplayPasskey(const QDBusObjectPath &device, uint passkey,
                                          ushort entered, const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->showPasskey(device, passkey, uchar(qMin<ushort>(entered, 255)));
}

void BluetoothAgentRouter::RequestConfirmation(const QDBusObjectPath &device, uint passkey,
                                               const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->askConfirmation(device, passkey, message, connection());
}

void BluetoothAgentRouter::RequestAuthorization(const QDBusObjectPath &device,
                                                const QDBusMessage &message)
{
    // A pairing the remote side started without a passkey: an authorization
    // of no particular service.
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->askAuthorization(device, QString(), message, connection());
}

void BluetoothAgentRouter::AuthorizeService(const QDBusObjectPath &device, const QString &uuid,
                                            const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->askAuthorization(device, uuid, message, connection());
}

} // namespace Ovrin
