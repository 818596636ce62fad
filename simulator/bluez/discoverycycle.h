#ifndef DISCOVERYCYCLE_H
#define DISCOVERYCYCLE_H

#include <QHash>
#include <QObject>
#include <QSet>

class DiscoveryHost;
struct DeviceSpec;

// Discovery while at least one session is open: inquiry, then name
// resolution, then the next cycle; the host says what a cycle means on the bus. Found devices are
// remembered for the cycle object's lifetime, so a device is announced again only when its RSSI
// changes or its name comes.
class DiscoveryCycle : public QObject
{
    Q_OBJECT
public:
    DiscoveryCycle(DiscoveryHost *host, QObject *parent);

    void start();
    // Announce one device now, as inquiry would.
    void report(const QString &address);
    // Between two inquiry cycles, in the host's pause.
    bool isIdle() const { return m_idle; }

private:
    struct Found
    {
        qint16 rssi = 0;
        bool withName = false;
    };

    void beginCycle();
    void inquiryHit(const QString &address);
    static bool answersInquiry(const DeviceSpec &spec);
    bool nameKnown(const DeviceSpec &spec) const;
    void resolveNames(QStringList pending);
    void endCycle();
    void announce(const DeviceSpec &spec, bool withName);
    void later(int ms, std::function<void()> fn);

    DiscoveryHost *m_host;
    int m_cycle = 0;
    bool m_idle = false;
    QHash<QString, Found> m_found;
    QSet<QString> m_seenThisCycle;
    QSet<QString> m_seenLastCycle;
};

#endif // DISCOVERYCYCLE_H
