#include "obexdaemon.h"

#include "obexd5names.h"
#include "obexlogging.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace Ovrin {

namespace {

// The generation that ran last in this process: started first next time.
ObexDaemon::Generation lastSeen = ObexDaemon::Obexd4;

} // namespace

ObexDaemon::ObexDaemon(Side side, QObject *parent)
    : QObject(parent)
    , m_side(side)
    , m_watcher(new QDBusServiceWatcher(this))
{
    m_watcher->setConnection(bus());
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    m_watcher->setWatchedServices({ serviceOf(side, Obexd4), serviceOf(side, Obexd5) });
    // Watching first: a daemon that comes while the names are listed is not missed.
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &ObexDaemon::ownerChanged);
    const QStringList names = bus().interface()->registeredServiceNames().value();
    for (const Generation generation : { Obexd4, Obexd5 }) {
        m_running[generation] = names.contains(serviceOf(side, generation));
        if (m_running[generation])
            m_generation = lastSeen = generation;
    }
}

QString ObexDaemon::serviceOf(Side side, Generation generation)
{
    switch (generation) {
    case Obexd4:
        return side == Receiving ? QStringLiteral("org.openobex")
                                 : QStringLiteral("org.openobex.client");
    case Obexd5:
        return Obexd5::service;
    case None:
        break;
    }
    return QString();
}

ObexDaemon::Generation ObexDaemon::generationOf(const QString &service) const
{
    for (const Generation generation : { Obexd4, Obexd5 }) {
        if (service == serviceOf(m_side, generation))
            return generation;
    }
    return None;
}

void ObexDaemon::ownerChanged(const QString &service, const QString &oldOwner,
                              const QString &newOwner)
{
    const Generation generation = generationOf(service);
    if (generation == None)
        return;
    if (!oldOwner.isEmpty() && m_running[generation]) {
        m_running[generation] = false;
        if (m_generation == generation)
            m_generation = m_running[Obexd5] ? Obexd5 : m_running[Obexd4] ? Obexd4 : None;
        Q_EMIT left(generation);
    }
    if (!newOwner.isEmpty()) {
        m_running[generation] = true;
        m_generation = m_running[Obexd5] ? Obexd5 : Obexd4;
        lastSeen = generation;
        Q_EMIT appeared(generation);
    }
}

ObexDaemon::Generation ObexDaemon::start()
{
    const Generation other = lastSeen == Obexd4 ? Obexd5 : Obexd4;
    QStringList failures;
    for (const Generation generation : { lastSeen, other }) {
        const QString service = serviceOf(m_side, generation);
        const QDBusReply<void> started = bus().interface()->startService(service);
        if (started.isValid())
            return generation;
        failures << service + QStringLiteral(": ") + started.error().message();
    }
    qCWarning(lcObex, "Unable to start an OBEX daemon (%s)",
              qPrintable(failures.join(QStringLiteral("; "))));
    return None;
}

} // namespace Ovrin
