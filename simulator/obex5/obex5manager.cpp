#include "obex5manager.h"

namespace {
const QString agentManager = QStringLiteral("org.bluez.obex.AgentManager1");
} // namespace

Obex5Manager::Obex5Manager(Handler registerAgent, Handler unregisterAgent)
    : SimObject(QStringLiteral("/org/bluez/obex"))
{
    addMethod(agentManager, QStringLiteral("RegisterAgent"), QStringLiteral("o"),
              std::move(registerAgent));
    addMethod(agentManager, QStringLiteral("UnregisterAgent"), QStringLiteral("o"),
              std::move(unregisterAgent));
}

QStringList Obex5Manager::interfaces() const
{
    return { agentManager };
}
