#ifndef BLUEZLOGGING_H
#define BLUEZLOGGING_H

#include <QDBusError>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcBluez)

namespace Ovrin {

// The one warning for a failed blocking call to BlueZ:
// "<method> returned error '<name>': <message>".
void warnCallFailed(const char *method, const QDBusError &error);

} // namespace Ovrin

#endif // BLUEZLOGGING_H
