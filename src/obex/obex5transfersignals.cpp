#include "obex5transfersignals.h"

#include "bluetoothobexagent_p.h"
#include "busnameowner.h"
#include "obexd5names.h"
#include "obexdaemon.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>

namespace Ovrin {

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusConnection bus()
{
    return ObexDaemon::bus();
}

} // namespace

Obex5TransferSignals::Obex5TransferSignals(BluetoothObexAgentPrivate *agent)
    : QObject(agent)
    , m_agent(agent)
{
}

bool Obex5TransferSignals::connectManager()
{
    return bus().connect(
        QString(), QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("InterfacesRemoved"), this, SLOT(interfacesRemoved(QDBusMessage)));
}

bool Obex5TransferSignals::follow(const QString &transfer)
{
    return bus().connect(QString(), transfer, propertiesInterface,
                         QStringLiteral("PropertiesChanged"), this,
                         SLOT(propertiesChanged(QDBusMessage)));
}

void Obex5TransferSignals::unfollow(const QString &transfer)
{
    bus().disconnect(QString(), transfer, propertiesInterface, QStringLiteral("PropertiesChanged"),
                     this, SLOT(propertiesChanged(QDBusMessage)));
}

bool Obex5TransferSignals::fromObexd(const QDBusMessage &message) const
{
    return message.service()
        == BusNameOwner::of(bus(),
                            ObexDaemon::serviceOf(ObexDaemon::Receiving, ObexDaemon::Obexd5));
}

void Obex5TransferSignals::propertiesChanged(const QDBusMessage &message)
{
    const QVariantList args = message.arguments();
    if (message.signature() != QLatin1String("sa{sv}as")
        || args.at(0).toString() != Obexd5::transfer || !fromObexd(message))
        return;
    const QVariantMap changed = qdbus_cast<QVariantMap>(args.at(1));
    const QString transfer = message.path();
    // obexd reads the values when it sends the signal: with the end come
    // counts it has already reset, so the end is all that signal tells.
    const QString status
        = Obexd5::value<QString>(changed, QStringLiteral("Status")).value_or(QString());
    if (status == QLatin1String("complete") || status == QLatin1String("error")) {
        m_agent->transferStatusChanged(transfer, status);
        return;
    }
    // The size is known from the question already.
    if (const auto count = Obexd5::value<qulonglong>(changed, QStringLiteral("Transferred")))
        m_agent->transferredChanged(transfer, *count);
}

void Obex5TransferSignals::interfacesRemoved(const QDBusMessage &message)
{
    const QVariantList args = message.arguments();
    if (message.signature() != QLatin1String("oas") || !fromObexd(message))
        return;
    if (args.at(1).toStringList().contains(Obexd5::transfer))
        m_agent->transferGone(qdbus_cast<QDBusObjectPath>(args.at(0)).path());
}

} // namespace Ovrin
