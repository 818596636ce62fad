#ifndef OVRIN_SIMPLENOTIFICATION_H
#define OVRIN_SIMPLENOTIFICATION_H

#include <QString>

namespace Ovrin {

// System notifications through the desktop notification service
// ("org.freedesktop.Notifications" on the session bus).
class Q_DECL_EXPORT SimpleNotification
{
public:
    // Sends the notification and returns at once; the event type travels as
    // the "category" hint, and a delivery failure is only logged.
    static void show(const QString &eventType, const QString &summary, const QString &body,
                     const QString &iconId = QString());
};

} // namespace Ovrin

#endif // OVRIN_SIMPLENOTIFICATION_H
