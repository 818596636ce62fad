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

} // namespace

RadioState::RadioState(int radios, QObject *parent) : QObject(parent), m_radios(radios) { }

void RadioState::setEnabled(bool enabled)
{
    if (!(m_radios & Bluetooth))
        return;
    // Two requests in flight could reach BlueZ in either order.
    m_pending.append(enabled);
    if (!m_busy)
        sendNext();
}

void RadioState::sendNext()
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

} // namespace Ovrin
