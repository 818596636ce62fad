#ifndef OVRIN_DAEMONCALLERCHECK_H
#define OVRIN_DAEMONCALLERCHECK_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

namespace Ovrin {

// Agents act only for the daemon they serve: a call from any other
// connection is refused with errorName (when it expects a reply) and the
// caller should ignore it.
bool isCallFromDaemon(const QDBusConnection &bus, const QString &daemonService,
                      const QDBusMessage &message, const QString &errorName);
// The same for a call that came on another connection to that bus, which
// carries the refusal.
bool isCallFromDaemon(const QDBusConnection &bus, const QString &daemonService,
                      const QDBusMessage &message, const QString &errorName,
                      const QDBusConnection &arrivedOn);

} // namespace Ovrin

#endif // OVRIN_DAEMONCALLERCHECK_H
