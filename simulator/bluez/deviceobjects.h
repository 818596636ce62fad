#ifndef DEVICEOBJECTS_H
#define DEVICEOBJECTS_H

#include <QList>
#include <QString>

#include <map>
#include <memory>

// The device objects of an adapter, by address, each at the path bluetoothd
// gives it below the adapter. Shared by the adapters of both dialects.
template<typename Device> class DeviceObjects
{
public:
    // "/org/bluez/hci0" and "00:11:22:AA:BB:CC" -> "/org/bluez/hci0/dev_00_11_22_AA_BB_CC"
    static QString pathOf(const QString &adapterPath, const QString &address)
    {
        return adapterPath + QStringLiteral("/dev_")
            + QString(address).replace(QLatin1Char(':'), QLatin1Char('_'));
    }

    Device *find(const QString &address) const
    {
        auto it = m_devices.find(address);
        return it == m_devices.end() ? nullptr : it->second.get();
    }

    Device *byPath(const QString &path) const
    {
        for (const auto &[address, device] : m_devices) {
            if (device->path() == path)
                return device.get();
        }
        return nullptr;
    }

    QList<Device *> all() const
    {
        QList<Device *> list;
        for (const auto &[address, device] : m_devices)
            list.append(device.get());
        return list;
    }

    Device *insert(const QString &address, std::unique_ptr<Device> device)
    {
        Device *inserted = device.get();
        m_devices.emplace(address, std::move(device));
        return inserted;
    }

    // Out of the map but not deleted: a removal may come from one of the
    // device's own timers, so the caller deletes it later.
    Device *release(const QString &address)
    {
        auto it = m_devices.find(address);
        if (it == m_devices.end())
            return nullptr;
        Device *released = it->second.release();
        m_devices.erase(it);
        return released;
    }

    void clear() { m_devices.clear(); }

private:
    std::map<QString, std::unique_ptr<Device>> m_devices;
};

#endif // DEVICEOBJECTS_H
