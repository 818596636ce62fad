#ifndef DATAPUMP_H
#define DATAPUMP_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Moves the body of one OBEX object at a chosen speed, one packet at a time.
// A packet of n bytes takes n / speed seconds on the air; the handler runs when
// it has arrived. Packets are at most packetSize bytes and, when the speed is
// low, about a tenth of a second's worth, so that progress comes often enough
// to be watched. A stalled pump moves nothing until it is resumed.
class DataPump : public QObject
{
    Q_OBJECT
public:
    // Handles the packet [offset, offset + length); false stops the pump.
    using PacketHandler = std::function<bool(qint64 offset, qint64 length)>;

    DataPump(qint64 size, int speed, int packetSize, QObject *parent = nullptr);

    void setPacketHandler(PacketHandler handler) { m_packet = std::move(handler); }
    void setFinishedHandler(std::function<void()> handler) { m_finished = std::move(handler); }
    // Called when the pump stalls and when it resumes (true: stalled).
    void setStallHandler(std::function<void(bool)> handler) { m_stallChanged = std::move(handler); }

    void start();
    void stop();
    void stall();
    void resume();
    void setSpeed(int bytesPerSecond);
    // Stalls by itself once offset bytes have arrived.
    void stallAt(qint64 offset) { m_stallAt = offset; }

    bool isRunning() const { return m_running; }
    bool isStalled() const { return m_stalled; }
    qint64 size() const { return m_size; }
    qint64 done() const { return m_done; }
    int speed() const { return m_speed; }
    // The duration of one packet of length bytes at the current speed.
    int travelMs(qint64 length) const;
    qint64 nextPacketLength() const;

private:
    void schedule();
    void arrive();

    qint64 m_size;
    qint64 m_done = 0;
    int m_speed;
    int m_packetSize;
    qint64 m_stallAt = -1;
    bool m_running = false;
    bool m_stalled = false;
    QTimer m_timer;
    PacketHandler m_packet;
    std::function<void()> m_finished;
    std::function<void(bool)> m_stallChanged;
};

#endif // DATAPUMP_H
