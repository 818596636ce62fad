#include "datapump.h"

DataPump::DataPump(qint64 size, int speed, int packetSize, QObject *parent)
    : QObject(parent)
    , m_size(size)
    , m_speed(speed)
    , m_packetSize(qMax(1, packetSize))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DataPump::arrive);
}

qint64 DataPump::nextPacketLength() const
{
    qint64 packet = m_packetSize;
    if (m_speed > 0)
        packet = qBound(qint64(1), qint64(m_speed / 10), qint64(m_packetSize));
    return qMin(packet, m_size - m_done);
}

int DataPump::travelMs(qint64 length) const
{
    if (m_speed <= 0)
        return 0;
    return int(qMin<qint64>(length * 1000 / m_speed, 24 * 3600 * 1000));
}

void DataPump::start()
{
    if (m_running)
        return;
    m_running = true;
    if (m_stallAt == 0) {
        m_stallAt = -1;
        m_stalled = true;
        if (m_stallChanged)
            m_stallChanged(true);
    }
    schedule();
}

void DataPump::stop()
{
    m_running = false;
    m_timer.stop();
}

void DataPump::stall()
{
    if (m_stalled)
        return;
    m_stalled = true;
    m_timer.stop();
    if (m_stallChanged)
        m_stallChanged(true);
}

void DataPump::resume()
{
    if (!m_stalled)
        return;
    m_stalled = false;
    if (m_stallChanged)
        m_stallChanged(false);
    schedule();
}

void DataPump::setSpeed(int bytesPerSecond)
{
    m_speed = bytesPerSecond;
    // The packet in flight starts again at the new pace.
    if (m_timer.isActive())
        schedule();
}

void DataPump::schedule()
{
    if (!m_running || m_stalled)
        return;
    m_timer.start(travelMs(nextPacketLength()));
}

void DataPump::arrive()
{
    if (!m_running || m_stalled)
        return;
    const qint64 length = nextPacketLength();
    const qint64 offset = m_done;
    m_done += length;
    if (m_packet && !m_packet(offset, length)) {
        stop();
        return;
    }
    if (!m_running)
        return; // the handler ended the transfer
    if (m_done >= m_size) {
        m_running = false;
        if (m_finished)
            m_finished();
        return;
    }
    if (m_stallAt >= 0 && m_done >= m_stallAt) {
        m_stallAt = -1;
        stall();
        return;
    }
    schedule();
}
