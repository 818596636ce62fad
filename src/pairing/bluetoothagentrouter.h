#ifndef OVRIN_BLUETOOTHAGENTROUTER_H
#define OVRIN_BLUETOOTHAGENTROUTER_H

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>

namespace Ovrin {

class BluetoothAgentPrivate;

// The process's one BlueZ 5 agent object ("org.bluez.Agent1"), exported
// while any BluetoothAgent lives, on the system bus connection and on each
// pairing's own (see BluezAgentRoutes). Each request goes to the agent
// BluezAgentRoutes names for its device, and is answered by it as a BlueZ 4
// request would be, on the connection it came on; without one it is refused
// at once.
class BluetoothAgentRouter : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent1")
public:
    static void join(BluetoothAgentPrivate *agent);
    static void leave(BluetoothAgentPrivate *agent);

public Q_SLOTS:
    void Release(const QDBusMessage &message);
    void Cancel(const QDBusMessage &message);
    QString RequestPinCode(const QDBusObjectPath &device, const QDBusMessage &message);
    void DisplayPinCode(const QDBusObjectPath &device, const QString &pinCode,
                        const QDBusMessage &message);
    uint RequestPasskey(const QDBusObjectPath &device, const QDBusMessage &message);
    void DisplayPasskey(const QDBusObjectPath &device, uint passkey, ushort entered,
                        const QDBusMessage &message);
    void RequestConfirmation(const QDBusObjectPath &device, uint passkey,
                             const QDBusMessage &message);
    void RequestAuthorization(const QDBusObjectPath &device, const QDBusMessage &message);
    void AuthorizeService(const QDBusObjectPath &device, const QString &uuid,
                          const QDBusMessage &message);

private:
    BluetoothAgentRouter() = default;
    // Only the daemon is heard: anyone else is refused before any agent is looked for.
    bool fromBluez(const QDBusMessage &message) const;
    // The agent that answers for device; null (and the call refused) without one.
    BluetoothAgentPrivate *target(const QDBusObjectPath &device, const QDBusMessage &message) const;
    // Those a Release or Cancel without a device reaches: the agent of the
    // pairing sent from the connection it came on, else every agent
    // (withOpenRequests: those with a request open on it).
    QList<BluetoothAgentPrivate *> addressees(bool withOpenRequests) const;
    bool isAgent(BluetoothAgentPrivate *agent) const;

    static BluetoothAgentRouter *s_instance;
    QHash<QString, BluetoothAgentPrivate *> m_agents;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHAGENTROUTER_H
