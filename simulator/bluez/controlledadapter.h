#ifndef CONTROLLEDADAPTER_H
#define CONTROLLEDADAPTER_H

#include "world.h"

#include <functional>

// What the control interface asks of an adapter, whichever dialect of
// bluetoothd plays it: the world changed under it, or the remote side acts.
class ControlledAdapter
{
public:
    using Done = std::function<void(const QString &errorName)>;

    virtual ~ControlledAdapter() = default;

    virtual bool isPowered() const = 0;
    // Whether the remote device at address can open a link to this adapter now.
    virtual bool takesConnectionFrom(const QString &address) const { Q_UNUSED(address) return isPowered(); }
    virtual void deviceAdded(const QString &address) = 0;
    virtual void deviceChanged(const QString &address, const DeviceSpec &before) = 0;
    virtual void deviceRemoved(const QString &address) = 0;
    virtual void adapterChanged(const AdapterSpec &before) = 0;
    virtual void reportDeviceFound(const QString &address) = 0;
    virtual void requestAuthorization(const QString &address, const QString &uuid, Done done) = 0;
    virtual void startIncomingPairing(const QString &address, Done done) = 0;
    virtual void peerLeft(const QString &name) = 0;
};

#endif // CONTROLLEDADAPTER_H
