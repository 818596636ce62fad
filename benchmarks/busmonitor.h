#ifndef BUSMONITOR_H
#define BUSMONITOR_H

#include <QMap>
#include <QString>

#include <memory>

// Counts the calls this process's system bus connection makes to the bus
// daemon ("org.freedesktop.DBus": AddMatch, GetNameOwner, ...), which the
// simulator never sees. A monitor connection of its own (BecomeMonitor, which
// the bus allows its own user) watches them from a thread of its own.
class BusMonitor
{
public:
    BusMonitor();
    ~BusMonitor();
    BusMonitor(const BusMonitor &) = delete;
    BusMonitor &operator=(const BusMonitor &) = delete;

    bool start(QString *error);
    // The calls since the last take() (or start()), by member. A call of our
    // own, not counted, marks the end: once the monitor has seen it, it has
    // seen every call made before. False when the mark never arrived.
    bool take(QMap<QString, int> *calls);

private:
    struct State;
    std::unique_ptr<State> d;
};

#endif // BUSMONITOR_H
