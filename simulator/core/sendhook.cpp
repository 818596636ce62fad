#include "sendhook.h"

#include <QHash>

namespace {
QHash<QString, std::function<void()>> &hooks()
{
    static QHash<QString, std::function<void()>> all;
    return all;
}
} // namespace

void SendHook::set(const QString &connectionName, std::function<void()> hook)
{
    hooks().insert(connectionName, std::move(hook));
}

void SendHook::clear(const QString &connectionName)
{
    hooks().remove(connectionName);
}

void SendHook::run(const QString &connectionName)
{
    const auto it = hooks().constFind(connectionName);
    if (it != hooks().constEnd() && *it)
        (*it)();
}
