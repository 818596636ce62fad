#include "discoverycycle.h"

#include "discoveryhost.h"

#include <QTimer>

#include <algorithm>

DiscoveryCycle::DiscoveryCycle(DiscoveryHost *host, QObject *parent)
    : QObject(parent)
    , m_host(host)
{
}

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
    m_host->cycleStarted();

    // Stronger signals answer the inquiry first; hits spread over the phase.
    QList<const DeviceSpec *> inRange;
    for (const auto &[address, spec] : m_host->world().devices) {
        if (answersInquiry(spec))
            inRange.append(&spec);
    }
    std::stable_sort(inRange.begin(), inRange.end(),
                     [](const DeviceSpec *a, const DeviceSpec *b) { return a->rssi > b->rssi; });
    const int inquiryMs = m_host->world().timing.inquiryMs;
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
    const DeviceSpec *spec = m_host->world().device(address);
    if (!spec || !answersInquiry(*spec))
        return;
    m_seenThisCycle.insert(address);
    m_host->deviceSeen(address);
    const bool withName = nameKnown(*spec);
    auto it = m_found.constFind(address);
    if (it == m_found.constEnd() || qAbs(it->rssi - spec->rssi) >= m_host->rssiThreshold()
        || (withName && !it->withName))
        announce(*spec, withName);
}

bool DiscoveryCycle::answersInquiry(const DeviceSpec &spec)
{
    // Within reach and with inquiry scan on; paging needs only the first.
    return spec.inRange && spec.discoverable;
}

bool DiscoveryCycle::nameKnown(const DeviceSpec &spec) const
{
    // bluetoothd has the names of devices it stored (those with an object)
    // and of those it resolved in this session; others wait for resolution.
    return spec.nameInInquiry || m_found.value(spec.address).withName
        || m_host->knowsName(spec.address);
}

void DiscoveryCycle::resolveNames(QStringList pending)
{
    // Names of devices that answered without one are asked one at a time.
    while (!pending.isEmpty()) {
        const QString address = pending.takeFirst();
        const DeviceSpec *spec = m_host->world().device(address);
        if (!spec || spec->name.isEmpty() || !spec->inRange)
            continue;
        later(m_host->world().timing.nameResolveMs, [this, address, pending]() {
            if (const DeviceSpec *spec = m_host->world().device(address))
                announce(*spec, true);
            resolveNames(pending);
        });
        return;
    }
    endCycle();
}

void DiscoveryCycle::endCycle()
{
    QStringList disappeared;
    for (const QString &address : std::as_const(m_seenLastCycle)) {
        if (!m_seenThisCycle.contains(address)) {
            m_found.remove(address);
            disappeared.append(address);
        }
    }
    m_seenLastCycle = m_seenThisCycle;
    m_host->cycleEnded(disappeared);
    // Sessions are still open (the adapter deletes us when the last one goes).
    m_idle = true;
    later(m_host->idleMs(), [this]() {
        m_idle = false;
        beginCycle();
    });
}

void DiscoveryCycle::report(const QString &address)
{
    if (const DeviceSpec *spec = m_host->world().device(address)) {
        m_seenThisCycle.insert(address);
        announce(*spec, !spec->name.isEmpty());
    }
}

void DiscoveryCycle::announce(const DeviceSpec &spec, bool withName)
{
    m_found.insert(spec.address, { spec.rssi, withName });
    m_host->deviceFound(spec, withName);
}
