#ifndef OVRIN_BLUEZAGENTROUTES_H
#define OVRIN_BLUEZAGENTROUTES_H

#include <QString>

namespace Ovrin {

// BlueZ 5 keeps one agent per bus connection, so a process that holds
// several agents (a default one and a pairing's own) registers one object,
// at routerPath(), that hands each request to the agent of the device's
// pairing attempt, else to the default agent.
namespace BluezAgentRoutes {

QString routerPath();
void setDefaultAgent(const QString &agentPath);
QString defaultAgent();
void startAttempt(const QString &devicePath, const QString &agentPath);
void endAttempt(const QString &devicePath);
bool hasAttempts();
// The agent that answers for the device: its attempt's, else the default.
QString agentFor(const QString &devicePath);

} // namespace BluezAgentRoutes

} // namespace Ovrin

#endif // OVRIN_BLUEZAGENTROUTES_H
