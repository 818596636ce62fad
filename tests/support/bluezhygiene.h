#ifndef BLUEZHYGIENE_H
#define BLUEZHYGIENE_H

#include "simulatorclient.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

namespace OvrinTest {

// What every test of code talking to BlueZ must leave behind: no Introspect
// call ever reached the daemon, and no call of the daemon's is still waiting
// for an agent of ours.
inline void verifyBluezHygiene(SimulatorClient *sim)
{
    QCOMPARE(sim->countCalls(QStringLiteral("Introspect")), 0);
    QTRY_COMPARE(sim->pendingAgentCalls().size(), 0);
}

// Stops or restarts the simulated bluetoothd and waits until this process has
// seen the name go or come: the control call answers on the session bus,
// the name change travels on the system bus.
inline bool waitForBluez(bool present)
{
    QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
    QTRY_LOOP_IMPL(bus->isServiceRegistered(QStringLiteral("org.bluez")).value() == present, 5000, 10);
    QTest::qWait(20);  // let the name change reach every watcher
    return bus->isServiceRegistered(QStringLiteral("org.bluez")).value() == present;
}

inline bool dropBluez(SimulatorClient *sim)
{
    return sim->dropService() && waitForBluez(false);
}

inline bool restoreBluez(SimulatorClient *sim)
{
    return sim->restoreService() && waitForBluez(true);
}

} // namespace OvrinTest

#endif // BLUEZHYGIENE_H
