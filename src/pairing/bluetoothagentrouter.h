#ifndef OVRIN_BLUETOOTHAGENTROUTER_H
#define OVRIN_BLUETOOTHAGENTROUTER_H

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>

namespace Ovrin {

class BluetoothAgentPrivate;

// The process's one BlueZ 5 agent ("org.bluez.Agent1"), exported while any
// BluetoothAgent lives. Each request goes to the agent BluezAgentRoutes names
// for its device, and is answered by it as a BlueZ 4 request would be;
// without one it is refused at once.
class BluetoothAgentRouter : public QDBusAbstractAdaptor
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
    explicit BluetoothAgentRouter(QObject *object);
    // The agent that answers for device; null (and the call refused) without one.
    BluetoothAgentPrivate *target(const QDBusObjectPath &device, const QDBusMessage &message) const;

    static BluetoothAgentRouter *s_instance;
    QHash<QString, BluetoothAgentPrivate *> m_agents;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHAGENTROUTER_H
