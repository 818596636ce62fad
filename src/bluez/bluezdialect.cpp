#include "bluezdialect.h"

#include <QDBusPendingCallWatcher>

namespace Ovrin {

void BluezDialect::whenAnswered(const QDBusPendingCall &call, QObject *context,
                                const std::function<void(const QDBusMessage &)> &done)
{
    auto *watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done](QDBusPendingCallWatcher *finished) {
                         // done may delete context, and so the watcher while it
                         // still emits: from now on it is nobody's.
                         finished->setParent(nullptr);
                         finished->deleteLater();
                         done(finished->reply());
                     });
}

bool BluezDialect::isNoSuchObject(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::UnknownObject:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
        return true;
    default:
        return false;
    }
}

QDBusError BluezDialect::bluezError(const char *name, const QString &message)
{
    return QDBusError(QDBusMessage::createError(
        QStringLiteral("org.bluez.Error.") + QLatin1String(name), message));
}

QDBusError BluezDialect::daemonGone()
{
    return QDBusError(QDBusError::ServiceUnknown, QStringLiteral("org.bluez left"));
}

QDBusObjectPath BluezDialect::pathIn(const QDBusMessage &answer)
{
    if (answer.signature() != QLatin1String("o"))
        return QDBusObjectPath();
    return answer.arguments().value(0).value<QDBusObjectPath>();
}

} // namespace Ovrin
