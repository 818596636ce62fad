#ifndef SENDHOOK_H
#define SENDHOOK_H

#include <QString>

#include <functional>

// Work a daemon does before any message leaves its connection. bluetoothd 5
// sends its queued property changes before every reply, error, signal and
// agent call; replies, signals and agent calls of the simulator all pass here,
// keyed by the name of the connection they leave on.
class SendHook
{
public:
    static void set(const QString &connectionName, std::function<void()> hook);
    static void clear(const QString &connectionName);
    static void run(const QString &connectionName);
};

#endif // SENDHOOK_H
