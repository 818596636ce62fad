// The server agent's side of BlueZ 5's obexd: it asks with the transfer's
// path alone and tells progress and the end as property changes.

#include "bluetoothobexagent_p.h"
#include "firstreport.h"
#include "obex5transfersignals.h"
#include "obexd5names.h"
#include "obexlogging.h"

#include <QDBusMetaType>
#include <QFileInfo>

namespace Ovrin {

namespace {

QDBusConnection bus()
{
    return ObexDaemon::bus();
}

// A property of obexd's; a default value when absent or of another type.
template<typename T> T valueOf(const QVariantMap &properties, const char *name)
{
    return Obexd5::value<T>(properties, QLatin1String(name)).value_or(T());
}

// Every property of one of obexd's objects; empty when obexd cannot tell.
QVariantMap propertiesOf(const QString &path, const QString &interface)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        Obexd5::service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    call << interface;
    // obexd waits for the agent's answer anyway; a daemon that does not
    // answer this must not hold the application for long.
    const QDBusMessage reply = bus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{sv}")) {
        qCWarning(lcObex, "Unable to read %s of %s: %s", qPrintable(interface), qPrintable(path),
                  qPrintable(reply.errorMessage()));
        return QVariantMap();
    }
    return qdbus_cast<QVariantMap>(reply.arguments().at(0));
}

} // namespace

void BluetoothObexAgentPrivate::authorizePush(const QDBusObjectPath &transfer,
                                              const QDBusMessage &message)
{
    if (!fromDaemon(message))
        return;
    // Read now: obexd forgets the name, type and size at the end, and a small
    // file may end with the first signal after the answer.
    const QVariantMap properties = propertiesOf(transfer.path(), Obexd5::transfer);
    const QString session = valueOf<QDBusObjectPath>(properties, "Session").path();
    const QVariantMap sessionProperties
        = session.isEmpty() ? QVariantMap() : propertiesOf(session, Obexd5::session);
    IncomingPush push;
    push.remoteDeviceAddress = valueOf<QString>(sessionProperties, "Destination");
    push.size = valueOf<qulonglong>(properties, "Size");
    push.obexdRoot = valueOf<QString>(sessionProperties, "Root");
    nameIncomingPush(&push, valueOf<QString>(properties, "Name"),
                     valueOf<QString>(properties, "Type"));
    // Without its root there is no path obexd would take.
    if (!QFileInfo(push.obexdRoot).isAbsolute()) {
        qCWarning(lcObex, "Refusing transfer '%s': obexd tells no folder it stores in",
                  qPrintable(transfer.path()));
        message.setDelayedReply(true);
        bus().send(message.createErrorReply(errorFor(message, "Rejected"), QString()));
        return;
    }
    const qulonglong time = valueOf<qulonglong>(properties, "Time");
    askOwner(transfer, push, int(qMin<qulonglong>(time, INT_MAX)), message);
}

void BluetoothObexAgentPrivate::transferStatusChanged(const QString &transfer,
                                                      const QString &status)
{
    const auto push = pushes.constFind(transfer);
    if (push == pushes.constEnd() || !push->accepted)
        return;
    // obexd itself fails a push whose file is not the size announced; a
    // "complete" for one is not believed.
    const bool whole
        = push->size == 0 || QFileInfo(push->receivingFile).size() == qint64(push->size);
    pushEnded(transfer, status == QLatin1String("complete") && whole);
}

void BluetoothObexAgentPrivate::transferredChanged(const QString &transfer, qulonglong transferred)
{
    const auto push = pushes.constFind(transfer);
    if (push == pushes.constEnd() || !push->accepted)
        return;
    // obexd counts what it has written, and fails a push that goes past the
    // size announced: more than either is a lie. The size, when known, spares
    // a look at the file.
    const qulonglong bound = push->size > 0
        ? push->size
        : qulonglong(qMax<qint64>(0, QFileInfo(push->receivingFile).size()));
    if (transferred > bound) {
        if (isFirstReport(QStringLiteral("obex/Transferred/beyond")))
            qCWarning(lcObex,
                      "Ignoring Progress of %s: %llu bytes transferred, at most %llu possible",
                      qPrintable(transfer), transferred, bound);
        return;
    }
    Q_EMIT q->progress(transfer, transferred, push->size);
}

void BluetoothObexAgentPrivate::transferGone(const QString &transfer)
{
    const auto push = pushes.constFind(transfer);
    if (push == pushes.constEnd())
        return;
    // Gone without an end: the sender went away.
    if (push->accepted) {
        pushEnded(transfer, false);
        return;
    }
    QDBusMessage asked;
    if (takePendingRequest(transfer, &asked))
        bus().send(asked.createErrorReply(errorFor(asked, "Canceled"), QString()));
    removeTransfer(QDBusObjectPath(transfer));
    Q_EMIT q->cancel(transfer);
}

} // namespace Ovrin
