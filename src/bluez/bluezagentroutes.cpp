#include "bluezagentroutes.h"

#include <QHash>

namespace Ovrin {

namespace {
QString s_defaultAgent;
QHash<QString, QString> s_attempts;
} // namespace

QString BluezAgentRoutes::routerPath()
{
    return QStringLiteral("/com/brivo/btAgent/router");
}

void BluezAgentRoutes::setDefaultAgent(const QString &agentPath)
{
    s_defaultAgent = agentPath;
}

QString BluezAgentRoutes::defaultAgent()
{
    return s_defaultAgent;
}

void BluezAgentRoutes::startAttempt(const QString &devicePath, const QString &agentPath)
{
    s_attempts.insert(devicePath, agentPath);
}

void BluezAgentRoutes::endAttempt(const QString &devicePath)
{
    s_attempts.remove(devicePath);
}

bool BluezAgentRoutes::hasAttempts()
{
    return !s_attempts.isEmpty();
}

QString BluezAgentRoutes::agentFor(const QString &devicePath)
{
    return s_attempts.value(devicePath, s_defaultAgent);
}

} // namespace Ovrin
