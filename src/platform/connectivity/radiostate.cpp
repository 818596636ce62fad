#include "radiostate.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QPointer>

#include <climits>
#include <functional>

Q_LOGGING_CATEGORY(lcRadio, "ovrin.radiostate")

namespace Ovrin {

namespace {

const QString bluez = QStringLiteral("org.bluez");

void logFailure(const QString &what, const QDBusError &error)
{
    qCWarning(lcRadio, "Switching Bluetooth failed (%s): %s %s", qPrintable(what),
              qPrintable(error.name()), qPrintable(error.message()));
}

bool isUnknownMethod(const QDBusMessage &reply)
{
    const QDBusError error(reply);
    return error.type() == QDBusError::UnknownMethod || error.type() == QDBusError::UnknownObject
        || error.type() == QDBusError::UnknownInterface;
}

QString firstPath(const QDBusMessage &reply)
{
    return reply.arguments().value(0).value<QDBusObjectPath>().path();
}

QDBusMessage bluez4Powered(const QString &adapter, bool enabled)
{
    QDBusMessage set = QDBusMessage::createMethodCall(
        bluez, adapter, QStringLiteral("org.bluez.Adapter"), QStringLiteral("SetProperty"));
    set.setArguments({ QStringLiteral("Powered"), QVariant::fromValue(QDBusVariant(enabled)) });
    return set;
}

QDBusMessage bluez5Powered(const QString &adapter, bool enabled)
{
    QDBusMessage set = QDBusMessage::createMethodCall(
        bluez, adapter, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set.setArguments({ QStringLiteral("org.bluez.Adapter1"), QStringLiteral("Powered"),
                       QVariant::fromValue(QDBusVariant(enabled)) });
    return set;
}

// The adapter the application's handles serve, if named and present.
QString &preferredAdapter()
{
    static QString path;
    return path;
}

// The preferred adapter among BlueZ 5's objects with org.bluez.Adapter1,
// else the controller numbered lowest (hci2 before hci10).
QString bluez5Adapter(const QDBusMessage &objects)
{
    if (objects.signature() != QLatin1String("a{oa{sa{sv}}}"))
        return QString();
    QMap<QDBusObjectPath, QMap<QString, QVariantMap>> all;
    objects.arguments().value(0).value<QDBusArgument>() >> all;
    const auto number = [](const QString &path) {
        bool ok = false;
        const int n = path.section(QLatin1Char('/'), -1).mid(3).toInt(&ok);
        return ok ? n : INT_MAX;
    };
    QString first;
    for (auto it = all.constBegin(); it != all.constEnd(); ++it) {
        const QString path = it.key().path();
        if (!it->contains(QStringLiteral("org.bluez.Adapter1")))
            continue;
        if (path == preferredAdapter())
            return path;
        if (first.isEmpty() || number(path) < number(first))
            first = path;
    }
    return first;
}

// The process's power requests, in order: one in flight at a time, since two
// could reach BlueZ in either order. Process-wide, so that a request outlives
// the RadioState that made it (the last adapter handle asks for power-off and
// goes at once).
class PowerRequests : public QObject
{
public:
    static PowerRequests *instance()
    {
        static PowerRequests *const requests = new PowerRequests;
        return requests;
    }

    void append(bool enabled, RadioState *requester)
    {
        m_pending.append({ enabled, requester });
        if (!m_busy)
            sendNext();
    }

private:
    void sendNext();
    void powerBluez4(bool enabled);
    // mayBeBluez4: BlueZ 4 may have come back since BlueZ 5 last answered.
    void powerBluez5(bool enabled, bool mayBeBluez4);
    void setPowered(const QDBusMessage &set);
    void call(const QDBusMessage &message, const std::function<void(const QDBusMessage &)> &done);

    struct Request
    {
        bool enabled;
        QPointer<RadioState> requester;
    };

    QList<Request> m_pending;
    // The request in flight.
    Request m_current { false, nullptr };
    bool m_busy = false;
    // Which BlueZ answered last: its way is tried first.
    bool m_bluez5 = false;
};

void PowerRequests::sendNext()
{
    m_busy = !m_pending.isEmpty();
    if (!m_busy)
        return;
    m_current = m_pending.takeFirst();
    const bool enabled = m_current.enabled;
    // Both steps asynchronous: the caller's thread never waits for the radio.
    if (m_bluez5)
        powerBluez5(enabled, true);
    else
        powerBluez4(enabled);
}

void PowerRequests::powerBluez4(bool enabled)
{
    call(QDBusMessage::createMethodCall(bluez, QStringLiteral("/"),
                                        QStringLiteral("org.bluez.Manager"),
                                        QStringLiteral("DefaultAdapter")),
         [this, enabled](const QDBusMessage &reply) {
             if (reply.type() == QDBusMessage::ReplyMessage) {
                 setPowered(bluez4Powered(firstPath(reply), enabled));
             } else if (isUnknownMethod(reply)) {
                 powerBluez5(enabled, false);
             } else {
                 logFailure(QStringLiteral("DefaultAdapter"), QDBusError(reply));
                 sendNext();
             }
         });
}

void PowerRequests::powerBluez5(bool enabled, bool mayBeBluez4)
{
    // BlueZ 5 has no manager: its adapters are objects with Adapter1.
    call(QDBusMessage::createMethodCall(bluez, QStringLiteral("/"),
                                        QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                        QStringLiteral("GetManagedObjects")),
         [this, enabled, mayBeBluez4](const QDBusMessage &objects) {
             const QString adapter = bluez5Adapter(objects);
             // The daemon that answered is asked first next time.
             m_bluez5 = !mayBeBluez4 || !isUnknownMethod(objects);
             if (!adapter.isEmpty()) {
                 setPowered(bluez5Powered(adapter, enabled));
             } else if (mayBeBluez4 && !m_bluez5) {
                 powerBluez4(enabled);
             } else {
                 logFailure(QStringLiteral("GetManagedObjects"), QDBusError(objects));
                 sendNext();
             }
         });
}

void PowerRequests::setPowered(const QDBusMessage &set)
{
    call(set, [this, set](const QDBusMessage &reply) {
        if (reply.type() != QDBusMessage::ReplyMessage) {
            logFailure(set.member(), QDBusError(reply));
            if (m_current.enabled && m_current.requester)
                Q_EMIT m_current.requester->enableRefused(reply.errorName());
        }
        sendNext();
    });
}

void PowerRequests::call(const QDBusMessage &message,
                         const std::function<void(const QDBusMessage &)> &done)
{
    auto *watcher
        = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        done(w->reply());
    });
}

} // namespace

RadioState::RadioState(int radios, QObject *parent)
    : QObject(parent)
    , m_radios(radios)
{
}

void RadioState::setBluetoothAdapter(const QString &path)
{
    preferredAdapter() = path;
}

void RadioState::setEnabled(bool enabled)
{
    if (m_radios & Bluetooth)
        PowerRequests::instance()->append(enabled, this);
}

} // namespace Ovrin
