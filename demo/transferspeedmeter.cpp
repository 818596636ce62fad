#include "transferspeedmeter.h"

#include "registry.h"

TransferSpeedMeter::TransferSpeedMeter(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    auto *registry = TransferUI::Registry::instance();
    connect(registry, &TransferUI::Registry::transferAdded, this, &TransferSpeedMeter::sample);
    connect(registry, &TransferUI::Registry::transferChanged, this, &TransferSpeedMeter::sample);
    connect(registry, &TransferUI::Registry::transferRemoved, this,
            [this](const QString &id) { m_tracks.remove(id); });
}

qint64 TransferSpeedMeter::bytesPerSecond(const QString &id) const
{
    const QList<Sample> samples = m_tracks.value(id).samples;
    if (samples.size() < 2)
        return -1;
    const qint64 span = samples.last().at - samples.first().at;
    if (span < MinimumSpanMs)
        return -1;
    return qint64((samples.last().bytes - samples.first().bytes) * 1000 / quint64(span));
}

void TransferSpeedMeter::sample(const QString &id)
{
    const TransferUI::TransferInfo info = TransferUI::Registry::instance()->transfer(id);
    Track &track = m_tracks[id];
    const bool active = info.state == TransferUI::TransferInfo::Active;
    // The clock starts when the transfer does: waiting for the other side
    // (or a stall) is no part of its pace.
    if (active != track.active) {
        track.active = active;
        track.samples.clear();
    }
    if (!active)
        return;
    QList<Sample> &samples = track.samples;
    const quint64 bytes = quint64(double(info.size) * double(qBound(0.0f, info.progress, 1.0f)));
    const qint64 now = m_clock.elapsed();
    // A client tells a change in several calls (a file starting at 0 %, then
    // where it stands): the last of them holds.
    if (!samples.isEmpty() && now - samples.last().at < SameReportMs) {
        samples.last().bytes = qMax(samples.last().bytes, bytes);
        return;
    }
    // Only moves forward count: the next file starting at 0 % says nothing
    // about the pace.
    if (!samples.isEmpty() && bytes <= samples.last().bytes)
        return;
    samples.append({ now, bytes });
    // Keep one sample older than the window, so that the span covers it.
    while (samples.size() > 2 && now - samples.at(1).at >= WindowMs)
        samples.removeFirst();
}
