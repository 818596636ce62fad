#include "obexsendsession.h"

#include <QDBusConnectionInterface>

namespace Ovrin {

ObexSendSession::ObexSendSession(ObexDaemon *daemon, ObexDaemon::Generation generation,
                                 QObject *parent)
    : QObject(parent)
    , m_generation(generation)
{
    // Between two files as much as during one: nothing of the send would
    // ever be heard of again.
    connect(daemon, &ObexDaemon::left, this, [this, generation](ObexDaemon::Generation gone) {
        if (gone != generation || m_ended)
            return;
        daemonLeft();
        fail(QString(), false);
    });
}

void ObexSendSession::callFailed(const char *method, const QDBusError &error, bool refused)
{
    if (m_ended)
        return;
    // The calls still open when the daemon leaves may fail before the bus
    // tells that it left: that is the daemon leaving, not a failed call.
    const QString service = ObexDaemon::serviceOf(ObexDaemon::Sending, m_generation);
    if (!ObexDaemon::bus().interface()->isServiceRegistered(service)) {
        daemonLeft();
        fail(QString(), false);
        return;
    }
    fail(QLatin1String(method) + QStringLiteral(" call failed: ") + error.name()
             + QStringLiteral(", ") + error.message(),
         refused);
}

void ObexSendSession::fail(const QString &error, bool refused)
{
    if (m_ended)
        return;
    m_ended = true;
    Q_EMIT failed(error, refused);
}

} // namespace Ovrin
