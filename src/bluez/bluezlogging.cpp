#include "bluezlogging.h"

Q_LOGGING_CATEGORY(lcBluez, "ovrin.bluez")

void Ovrin::warnCallFailed(const char *method, const QDBusError &error)
{
    qCWarning(lcBluez, "%s returned error '%s': %s", method, error.name().toUtf8().constData(),
              error.message().toUtf8().constData());
}
