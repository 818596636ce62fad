#ifndef OVRIN_BLUEZAGENTROUTES_H
#define OVRIN_BLUEZAGENTROUTES_H

#include <QDBusConnection>
#include <QString>

class QObject;

namespace Ovrin {

// BlueZ 5 keeps one agent per bus connection, so a process that holds
// several agents (a default one and a pairing's own) registers one object,
// at routerPath(), that hands each request to the agent of the device's
// pairing attempt, else to the default agent.
//
// bluetoothd also lets each agent answer one request at a time and refuses
// the rest at once. A pairing whose agent is not the default one is
// therefore sent from a connection of its own (openAttemptBus()), where the
// same object is registered for that attempt alone: its questions and the
// default agent's can be open together.
namespace BluezAgentRoutes {

QString routerPath();
// The object exported at routerPath(), on every connection that carries an agent.
void setRouterObject(QObject *router);
void setDefaultAgent(const QString &agentPath);
QString defaultAgent();
// busName: the connection the attempt's Pair goes out on.
void startAttempt(const QString &devicePath, const QString &agentPath, const QString &busName);
void endAttempt(const QString &devicePath);
bool hasAttempts();
// The agent that answers for the device: its attempt's, else the default.
QString agentFor(const QString &devicePath);
// The agent of the attempt sent from busName; empty for a connection of no attempt.
QString agentOnBus(const QString &busName);

// A new connection to the system bus with the router object exported and
// registered as an agent; not connected when that failed. Calls sent on it
// after this reach bluetoothd after the registration.
QDBusConnection openAttemptBus();
// Gone with its agent: bluetoothd forgets an agent whose connection closed.
void closeAttemptBus(const QString &busName);

} // namespace BluezAgentRoutes

} // namespace Ovrin

#endif // OVRIN_BLUEZAGENTROUTES_H
