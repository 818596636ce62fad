#ifndef DISCOVERYCYCLE_H
#define DISCOVERYCYCLE_H

#include <QHash>
#include <QObject>
#include <QSet>

class SimAdapter;
struct DeviceSpec;

// Discovery while at least one session is open: inquiry, then name
// resolution, then the next cycle. "Discovering" goes true and false with
// every cycle. Found devices are remembered for the cycle object's lifetime,
// so a device is announced again only when its RSSI changes or its name comes.
class DiscoveryCycle : public QObject
{
    Q_OBJECT
public:
    explicit DiscoveryCycle(SimAdapter *adapter);

    void start();
    // Announce one device now, as inquiry would.
    void report(const QString &address);

private:
    struct Found
    {
        qint16 rssi = 0;
        bool withName = false;
    };

    void beginCycle();
    void inquiryHit(const QString &address);
    bool nameKnown(const DeviceSpec &spec) const;
    void resolveNames(QStringList pending);
    void endCycle();
    void announce(const DeviceSpec &spec, bool withName);
    void later(int ms, std::function<void()> fn);

    SimAdapter *m_adapter;
    int m_cycle = 0;
    QHash<QString, Found> m_found;
    QSet<QString> m_seenThisCycle;
    QSet<QString> m_seenLastCycle;
};

#endif // DISCOVERYCYCLE_H
