#ifndef DISCOVERYHOST_H
#define DISCOVERYHOST_H

#include "world.h"

#include <QStringList>

// The adapter a DiscoveryCycle works for. BlueZ 4 reports what inquiry finds
// as signals and toggles "Discovering" with every cycle; BlueZ 5 makes device
// objects and keeps "Discovering" true throughout.
class DiscoveryHost
{
public:
    virtual ~DiscoveryHost() = default;

    virtual World &world() = 0;
    // bluetoothd has the names of devices it stored; others wait for resolution.
    virtual bool knowsName(const QString &address) const = 0;
    virtual void cycleStarted() = 0;
    // disappeared: devices seen in the cycle before, not in this one.
    virtual void cycleEnded(const QStringList &disappeared) = 0;
    virtual void deviceFound(const DeviceSpec &spec, bool withName) = 0;
    // Every inquiry result, announced or not (BlueZ 5 keeps found devices alive with it).
    virtual void deviceSeen(const QString &address) { Q_UNUSED(address) }
    // How far a found device's RSSI must move from the one announced to be
    // announced again.
    virtual int rssiThreshold() const { return 1; }
    // The pause between the end of one inquiry cycle and the next.
    virtual int idleMs() const { return 0; }
};

#endif // DISCOVERYHOST_H
