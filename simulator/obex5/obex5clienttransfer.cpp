#include "obex5clienttransfer.h"

#include "clienttransfer.h"
#include "sendsession.h"

#include <QDBusObjectPath>

Obex5ClientTransfer::Obex5ClientTransfer(ClientTransfer *transfer, const QString &session,
                                         PropertiesBatcher *batcher)
    : PropertyObject(transfer->path(), QStringLiteral("org.bluez.obex.Transfer1"), batcher)
    , m_transfer(transfer)
    , m_session(session)
{
    addMethod(mainInterface(), QStringLiteral("Cancel"), QString(), [this](const SimCall &call) {
        if (m_transfer)
            m_transfer->cancel(call);
        else
            call.reply();
    });
    addMethod(mainInterface(), QStringLiteral("Suspend"), QString(),
              [this](const SimCall &call) { suspend(call, true); });
    addMethod(mainInterface(), QStringLiteral("Resume"), QString(),
              [this](const SimCall &call) { suspend(call, false); });
    connect(&m_timer, &QTimer::timeout, this, &Obex5ClientTransfer::tick);
    m_timer.start(1000);
}

QVariantMap Obex5ClientTransfer::properties() const
{
    QVariantMap map { { "Status", m_status },
                      { "Session", QVariant::fromValue(QDBusObjectPath(m_session)) } };
    if (m_transfer) {
        map.insert(QStringLiteral("Name"), m_transfer->name());
        map.insert(QStringLiteral("Size"), quint64(m_transfer->size()));
        map.insert(QStringLiteral("Filename"), m_transfer->fileName());
    }
    if (m_transferred >= 0)
        map.insert(QStringLiteral("Transferred"), quint64(m_transferred));
    return map;
}

void Obex5ClientTransfer::tick()
{
    if (!m_transfer)
        return;
    const qint64 sent = m_transfer->sent();
    if (sent == qMax<qint64>(m_transferred, 0))
        return;
    m_transferred = sent;
    if (sent >= m_transfer->size()) {
        // Everything handed over: updated silently, no more ticks.
        m_timer.stop();
        return;
    }
    if (m_status != QLatin1String("active") && m_resumeTo != QLatin1String("active")) {
        m_status = QStringLiteral("active");
        m_resumeTo.clear();
        changed(QStringLiteral("Status"));
    }
    changed(QStringLiteral("Transferred"));
}

void Obex5ClientTransfer::suspend(const SimCall &call, bool suspending)
{
    if (!m_transfer || m_transfer->session()->owner() != call.sender()) {
        call.replyError(QStringLiteral("org.bluez.obex.Error.NotAuthorized"),
                        QStringLiteral("Not Authorized"));
        return;
    }
    const bool suspended = m_status == QLatin1String("suspended");
    if (suspending == suspended || m_status == QLatin1String("complete")
        || m_status == QLatin1String("error")) {
        call.replyError(QStringLiteral("org.bluez.obex.Error.NotInProgress"),
                        QStringLiteral("Not in progress"));
        return;
    }
    // A queued transfer is suspended by its label only: if it is in fact
    // running, the next tick calls it active again.
    const bool active = (suspending ? m_status : m_resumeTo) == QLatin1String("active");
    if (active && suspending)
        m_transfer->stall();
    else if (active)
        m_transfer->resume();
    m_resumeTo = suspending ? m_status : QString();
    m_status = suspending ? QStringLiteral("suspended")
                          : (active ? QStringLiteral("active") : QStringLiteral("queued"));
    changed(QStringLiteral("Status"));
    call.reply();
}

void Obex5ClientTransfer::ended()
{
    m_timer.stop();
    const QString outcome = m_transfer ? m_transfer->outcome() : QString();
    // A cancel or a removed session takes the object without an error.
    if (outcome != QLatin1String("complete") && outcome != QLatin1String("error"))
        return;
    m_status = outcome;
    changed(QStringLiteral("Status"));
}
