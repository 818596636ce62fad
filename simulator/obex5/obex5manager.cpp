#include "obex5manager.h"

namespace {
const QString agentManager = QStringLiteral("org.bluez.obex.AgentManager1");
const QString client = QStringLiteral("org.bluez.obex.Client1");
} // namespace

Obex5Manager::Obex5Manager(const Handlers &handlers)
    : SimObject(QStringLiteral("/org/bluez/obex"))
{
    addMethod(agentManager, QStringLiteral("RegisterAgent"), QStringLiteral("o"),
              handlers.registerAgent);
    addMethod(agentManager, QStringLiteral("UnregisterAgent"), QStringLiteral("o"),
              handlers.unregisterAgent);
    addMethod(client, QStringLiteral("CreateSession"), QStringLiteral("sa{sv}"),
              handlers.createSession);
    addMethod(client, QStringLiteral("RemoveSession"), QStringLiteral("o"), handlers.removeSession);
}

QStringList Obex5Manager::interfaces() const
{
    return { agentManager, client };
}
