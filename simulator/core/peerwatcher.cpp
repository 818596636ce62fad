#include "peerwatcher.h"

#include <QDBusServiceWatcher>

PeerWatcher::PeerWatcher(QObject *parent)
    : QObject(parent), m_watcher(new QDBusServiceWatcher(this))
{
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString &name) {
        m_watcher->removeWatchedService(name);
        Q_EMIT peerLeft(name);
    });
}

void PeerWatcher::setConnection(const QDBusConnection &connection)
{
    m_watcher->setWatchedServices({});
    m_watcher->setConnection(connection);
}

void PeerWatcher::watch(const QString &uniqueName)
{
    if (!uniqueName.isEmpty() && !m_watcher->watchedServices().contains(uniqueName))
        m_watcher->addWatchedService(uniqueName);
}
