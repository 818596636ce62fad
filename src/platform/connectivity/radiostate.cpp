#include "radiostate.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRadio, "ovrin.radiostate")

namespace Ovrin {

namespace {

const QString bluez = QStringLiteral("org.bluez");

void logFailure(const QString &what, const QDBusError &error)
{
    qCWarning(lcRadio, "Switching Bluetooth failed (%s): %s %s", qPrintable(what),
              qPrintable(error.name()), qPrintable(error.message()));
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

    void append(bool enabled)
    {
        m_pending.append(enabled);
        if (!m_busy)
            sendNext();
    }

private:
    void sendNext();

    QList<bool> m_pending;
    bool m_busy = false;
};

void PowerRequests::sendNext()
{
    m_busy = !m_pending.isEmpty();
    if (!m_busy)
        return;
    const bool enabled = m_pending.takeFirst();
    QDBusConnection bus = QDBusConnection::systemBus();
    // Both steps asynchronous: the caller's thread never waits for the radio.
    auto *lookup = new QDBusPendingCallWatcher(
            bus.asyncCall(QDBusMessage::createMethodCall(bluez, QStringLiteral("/"), QStringLiteral("org.bluez.Manager"),
                                                         QStringLiteral("DefaultAdapter"))),
            this);
    connect(lookup, &QDBusPendingCallWatcher::finished, this, [this, enabled, bus](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            logFailure(QStringLiteral("DefaultAdapter"), QDBusError(reply));
            sendNext();
            return;
        }
        const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        QDBusMessage set = QDBusMessage::createMethodCall(bluez, path, QStringLiteral("org.bluez.Adapter"),
                                                          QStringLiteral("SetProperty"));
        set.setArguments({ QStringLiteral("Powered"), QVariant::fromValue(QDBusVariant(enabled)) });
        auto *power = new QDBusPendingCallWatcher(bus.asyncCall(set), this);
        connect(power, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            if (w->isError())
                logFailure(QStringLiteral("SetProperty"), w->error());
            sendNext();
        });
    });
}

} // namespace

RadioState::RadioState(int radios, QObject *parent) : QObject(parent), m_radios(radios) { }

void RadioState::setEnabled(bool enabled)
{
    if (m_radios & Bluetooth)
        PowerRequests::instance()->append(enabled);
}

} // namespace Ovrin
