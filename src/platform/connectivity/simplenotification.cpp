#include "simplenotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcNotification, "ovrin.notification")

namespace Ovrin {

namespace {

QString applicationName()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("ovrin-bluetooth") : name;
}

} // namespace

void SimpleNotification::show(const QString &eventType, const QString &summary, const QString &body,
                              const QString &iconId)
{
    // Notification servers show the summary as the notification's only
    // mandatory line; a text passed as body alone would go unseen.
    const bool bodyOnly = summary.isEmpty();
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify.setArguments({ applicationName(), 0u, iconId, bodyOnly ? body : summary,
                          bodyOnly ? QString() : body, QStringList(),
                          QVariantMap { { QStringLiteral("category"), eventType } }, -1 });
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError())
            qCWarning(lcNotification, "Notification not shown: %s %s",
                      qPrintable(w->error().name()), qPrintable(w->error().message()));
    });
}

} // namespace Ovrin
