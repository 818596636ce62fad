#ifndef WORLD_H
#define WORLD_H

#include "scenario.h"

#include <QDeadlineTimer>

#include <map>

// The simulated surroundings: the adapter's stored settings, every remote
// device in the neighbourhood (with a device object or not) and the timing.
// std::map keeps each DeviceSpec at a stable address while others come and go.
struct World
{
    AdapterSpec adapter;
    std::map<QString, DeviceSpec> devices;
    Timing timing;
    bool experimental = false; // bluetoothd -E
    // The controller's own inquiry outlives a bluetoothd killed during a
    // discovery: until it ends, the kernel refuses a new one.
    QDeadlineTimer kernelScanUntil { QDeadlineTimer::Forever };
    bool kernelScanning() const
    {
        return !kernelScanUntil.isForever() && !kernelScanUntil.hasExpired();
    }

    void load(const Scenario &scenario)
    {
        adapter = scenario.adapter;
        timing = scenario.timing;
        experimental = scenario.experimental;
        kernelScanUntil = QDeadlineTimer(QDeadlineTimer::Forever);
        devices.clear();
        for (const DeviceSpec &device : scenario.devices)
            devices.emplace(device.address, device);
    }

    DeviceSpec *device(const QString &address)
    {
        auto it = devices.find(address);
        return it == devices.end() ? nullptr : &it->second;
    }
};

#endif // WORLD_H
