#include "daemoncallercheck.h"

#include "busnameowner.h"

namespace Ovrin {

bool isCallFromDaemon(const QDBusConnection &bus, const QString &daemonService,
                      const QDBusMessage &message, const QString &errorName)
{
    return isCallFromDaemon(bus, daemonService, message, errorName, bus);
}

bool isCallFromDaemon(const QDBusConnection &bus, const QString &daemonService,
                      const QDBusMessage &message, const QString &errorName,
                      const QDBusConnection &arrivedOn)
{
    const QString owner = BusNameOwner::of(bus, daemonService);
    if (!owner.isEmpty() && message.service() == owner)
        return true;
    if (message.isReplyRequired()) {
        message.setDelayedReply(true);
        QDBusConnection(arrivedOn).send(message.createErrorReply(errorName, QString()));
    }
    return false;
}

} // namespace Ovrin
