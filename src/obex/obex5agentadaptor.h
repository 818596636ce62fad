#ifndef OVRIN_OBEX5AGENTADAPTOR_H
#define OVRIN_OBEX5AGENTADAPTOR_H

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace Ovrin {

class BluetoothObexAgentPrivate;

// The server agent as BlueZ 5's obexd asks it: "org.bluez.obex.Agent1",
// exported beside BlueZ 4's interface on the agent's object.
class Obex5AgentAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.obex.Agent1")
public:
    Obex5AgentAdaptor(BluetoothObexAgentPrivate *agent, QObject *exported);

public Q_SLOTS:
    void Release(const QDBusMessage &message);
    QString AuthorizePush(const QDBusObjectPath &transfer, const QDBusMessage &message);
    void Cancel(const QDBusMessage &message);

private:
    BluetoothObexAgentPrivate *m_agent;
};

} // namespace Ovrin

#endif // OVRIN_OBEX5AGENTADAPTOR_H
