#include "discoverycycle.h"

#include "simadapter.h"
#include "simdevice.h"

#include <QTimer>

#include <algorithm>

DiscoveryCycle::DiscoveryCycle(SimAdapter *adapter) : QObject(adapter), m_adapter(adapter) { }

void DiscoveryCycle::start()
{
    // The StartDiscovery reply goes first; the controller starts after.
    QTimer::singleShot(0, this, [this]() { beginCycle(); });
}

void DiscoveryCycle::later(int ms, std::function<void()> fn)
{
    const int cycle = m_cycle;
    QTimer::singleShot(ms, this, [this, cycle, fn]() {
        if (cycle == m_cycle)
            fn();
    });
}

void DiscoveryCycle::beginCycle()
{
    ++m_cycle;
    m_seenThisCycle.clear();
    m_adapter->setDiscovering(true);

    // Stronger signals answer the inquiry first; hits spread over the phase.
    QList<const DeviceSpec *> inRange;
    for (const auto &[address, spec] : m_adapter->world().devices) {
        if (spec.inRange)
            inRange.append(&spec);
    }
    std::stable_sort(inRange.begin(), inRange.end(),
                     [](const DeviceSpec *a, const DeviceSpec *b) { return a->rssi > b->rssi; });
    const int inquiryMs = m_adapter->timing().inquiryMs;
    for (int i = 0; i < inRange.size(); ++i) {
        const QString address = inRange.at(i)->address;
        later(int(qint64(inquiryMs) * (i + 1) / (inRange.size() + 1)),
              [this, address]() { inquiryHit(address); });
    }
    later(inquiryMs, [this]() {
        QStringList pending;
        for (const QString &address : std::as_const(m_seenThisCycle)) {
            if (!m_found.value(address).withName)
                pending.append(address);
        }
        pending.sort();
        resolveNames(pending);
    });
}

void DiscoveryCycle::inquiryHit(const QString &address)
{
    const DeviceSpec *spec = m_adapter->world().device(address);
    if (!spec || !spec->inRange)
        return;
    m_seenThisCycle.insert(address);
    const bool withName = nameKnown(*spec);
    auto it = m_found.constFind(address);
    if (it == m_found.constEnd() || it->rssi != spec->rssi || (withName && !it->withName))
        announce(*spec, withName);
}

bool DiscoveryCycle::nameKnown(const DeviceSpec &spec) const
{
    // bluetoothd has the names of devices it stored (those with an object)
    // and of those it resolved in this session; others wait for resolution.
    return spec.nameInInquiry || m_found.value(spec.address).withName
            || m_adapter->device(spec.address) != nullptr;
}

void DiscoveryCycle::resolveNames(QStringList pending)
{
    // Names of devices that answered without one are asked one at a time.
    while (!pending.isEmpty()) {
        const QString address = pending.takeFirst();
        const DeviceSpec *spec = m_adapter->world().device(address);
        if (!spec || spec->name.isEmpty() || !spec->inRange)
            continue;
        later(m_adapter->timing().nameResolveMs, [this, address, pending]() {
            if (const DeviceSpec *spec = m_adapter->world().device(address))
                announce(*spec, true);
            resolveNames(pending);
        });
        return;
    }
    endCycle();
}

void DiscoveryCycle::endCycle()
{
    m_adapter->setDiscovering(false);
    for (const QString &address : std::as_const(m_seenLastCycle)) {
        if (!m_seenThisCycle.contains(address)) {
            m_found.remove(address);
            m_adapter->emitSignal(QStringLiteral("org.bluez.Adapter"),
                                  QStringLiteral("DeviceDisappeared"), { address });
        }
    }
    m_seenLastCycle = m_seenThisCycle;
    // Sessions are still open (the adapter deletes us when the last one goes).
    later(0, [this]() { beginCycle(); });
}

void DiscoveryCycle::report(const QString &address)
{
    if (const DeviceSpec *spec = m_adapter->world().device(address)) {
        m_seenThisCycle.insert(address);
        announce(*spec, !spec->name.isEmpty());
    }
}

void DiscoveryCycle::announce(const DeviceSpec &spec, bool withName)
{
    m_found.insert(spec.address, { spec.rssi, withName });
    m_adapter->emitDeviceFound(spec, withName);
}
