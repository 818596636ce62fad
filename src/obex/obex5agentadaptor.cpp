#include "obex5agentadaptor.h"

#include "bluetoothobexagent_p.h"

namespace Ovrin {

Obex5AgentAdaptor::Obex5AgentAdaptor(BluetoothObexAgentPrivate *agent, QObject *exported)
    : QDBusAbstractAdaptor(exported)
    , m_agent(agent)
{
    setAutoRelaySignals(false);
}

void Obex5AgentAdaptor::Release(const QDBusMessage &message)
{
    m_agent->fromDaemon(message);
}

QString Obex5AgentAdaptor::AuthorizePush(const QDBusObjectPath &transfer,
                                         const QDBusMessage &message)
{
    m_agent->authorizePush(transfer, message);
    return QString();
}

void Obex5AgentAdaptor::Cancel(const QDBusMessage &message)
{
    if (m_agent->fromDaemon(message))
        m_agent->withdrawCurrentRequest();
}

} // namespace Ovrin
