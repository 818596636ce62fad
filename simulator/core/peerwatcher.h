#ifndef PEERWATCHER_H
#define PEERWATCHER_H

#include <QDBusConnection>
#include <QObject>
#include <QSet>

class QDBusServiceWatcher;

// Tells when a client (by unique name) leaves the bus, so that its sessions,
// agents and pending requests can be dropped as the daemon would.
class PeerWatcher : public QObject
{
    Q_OBJECT
public:
    explicit PeerWatcher(QObject *parent = nullptr);
    void setConnection(const QDBusConnection &connection);
    void watch(const QString &uniqueName);

Q_SIGNALS:
    void peerLeft(const QString &uniqueName);

private:
    QDBusServiceWatcher *m_watcher;
};

#endif // PEERWATCHER_H
