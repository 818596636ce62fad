#include "bluetoothagentrouter.h"

#include "bluetoothagent_p.h"
#include "bluezagentroutes.h"
#include "daemoncallercheck.h"
#include "pairinglogging.h"

#include <QDBusConnection>

namespace Ovrin {

namespace {
const QString rejected = QStringLiteral("org.bluez.Error.Rejected");

// Only the daemon is heard: anyone else is refused before any agent is looked for.
bool fromBluez(const QDBusMessage &message)
{
    return isCallFromDaemon(QDBusConnection::systemBus(), QStringLiteral("org.bluez"), message,
                            rejected);
}
} // namespace

BluetoothAgentRouter *BluetoothAgentRouter::s_instance = nullptr;

BluetoothAgentRouter::BluetoothAgentRouter(QObject *object)
    : QDBusAbstractAdaptor(object)
{
    setAutoRelaySignals(false);
}

void BluetoothAgentRouter::join(BluetoothAgentPrivate *agent)
{
    if (!s_instance) {
        auto *object = new QObject;
        s_instance = new BluetoothAgentRouter(object);
        QDBusConnection::systemBus().registerObject(BluezAgentRoutes::routerPath(), object,
                                                    QDBusConnection::ExportAdaptors);
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
    delete s_instance->parent();
    s_instance = nullptr;
}

BluetoothAgentPrivate *BluetoothAgentRouter::target(const QDBusObjectPath &device,
                                                    const QDBusMessage &message) const
{
    if (!fromBluez(message))
        return nullptr;
    BluetoothAgentPrivate *agent = m_agents.value(BluezAgentRoutes::agentFor(device.path()));
    if (!agent) {
        qCWarning(lcPairing, "No agent answers for %s", qPrintable(device.path()));
        QDBusConnection::systemBus().send(message.createErrorReply(rejected, QString()));
        message.setDelayedReply(true);
    }
    return agent;
}

void BluetoothAgentRouter::Release(const QDBusMessage &message)
{
    if (!fromBluez(message))
        return;
    // BlueZ is going: every agent hears it.
    const QList<BluetoothAgentPrivate *> agents = m_agents.values();
    for (BluetoothAgentPrivate *agent : agents) {
        if (m_agents.values().contains(agent))
            agent->Release(message);
    }
}

void BluetoothAgentRouter::Cancel(const QDBusMessage &message)
{
    if (!fromBluez(message))
        return;
    // BlueZ names no device: the agents with an open request give it up.
    const QList<BluetoothAgentPrivate *> agents = m_agents.values();
    for (BluetoothAgentPrivate *agent : agents) {
        if (m_agents.values().contains(agent) && !agent->pendingRequests.isEmpty())
            agent->Cancel(message);
    }
}

QString BluetoothAgentRouter::RequestPinCode(const QDBusObjectPath &device,
                                             const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->RequestPinCode(device, message);
    return QString();
}

void BluetoothAgentRouter::DisplayPinCode(const QDBusObjectPath &device, const QString &pinCode,
                                          const QDBusMessage &message)
{
    // Shown as a passkey to type on the remote keyboard; answered at once.
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->DisplayPasskey(device, pinCode.toUInt(), uchar(0), message);
}

uint BluetoothAgentRouter::RequestPasskey(const QDBusObjectPath &device,
                                          const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->RequestPasskey(device, message);
    return 0;
}

void BluetoothAgentRouter::DisplayPasskey(const QDBusObjectPath &device, uint passkey,
                                          ushort entered, const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->DisplayPasskey(device, passkey, uchar(qMin<ushort>(entered, 255)), message);
}

void BluetoothAgentRouter::RequestConfirmation(const QDBusObjectPath &device, uint passkey,
                                               const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->RequestConfirmation(device, passkey, message);
}

void BluetoothAgentRouter::RequestAuthorization(const QDBusObjectPath &device,
                                                const QDBusMessage &message)
{
    // A pairing the remote side started without a passkey: an authorization
    // of no particular service.
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->Authorize(device, QString(), message);
}

void BluetoothAgentRouter::AuthorizeService(const QDBusObjectPath &device, const QString &uuid,
                                            const QDBusMessage &message)
{
    if (BluetoothAgentPrivate *agent = target(device, message))
        agent->Authorize(device, uuid, message);
}

} // namespace Ovrin
