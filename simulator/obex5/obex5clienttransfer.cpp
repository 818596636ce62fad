#include "obex5clienttransfer.h"

#include "clienttransfer.h"

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
    if (m_status != QLatin1String("active")) {
        m_status = QStringLiteral("active");
        changed(QStringLiteral("Status"));
    }
    changed(QStringLiteral("Transferred"));
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
