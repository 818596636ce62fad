#include "signalrecorder.h"

#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTest>

SignalRecorder::SignalRecorder(const QDBusConnection &connection, const QString &service,
                               QObject *parent)
    : QObject(parent)
    , m_connection(connection)
{
    for (const char *name :
         { "PropertyChanged", "DeviceFound", "DeviceDisappeared", "DeviceCreated", "DeviceRemoved",
           "DisconnectRequested", "AdapterAdded", "AdapterRemoved", "DefaultAdapterChanged",
           // obexd
           "TransferStarted", "TransferCompleted", "Progress", "SessionCreated",
           "SessionRemoved" }) {
        m_connection.connect(service, QString(), QString(), QLatin1String(name), this,
                             SLOT(onSignal(QDBusMessage)));
    }
}

void SignalRecorder::onSignal(const QDBusMessage &message)
{
    QString label = message.member();
    if (label == QLatin1String("PropertyChanged"))
        label += QLatin1Char(':') + message.arguments().value(0).toString();
    m_entries.append({ message.member(), message.arguments(), label });
}

QStringList SignalRecorder::labels() const
{
    QStringList list;
    for (const Entry &e : m_entries)
        list.append(e.label);
    return list;
}

int SignalRecorder::count(const QString &label) const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [&label](const Entry &e) { return e.label == label; }));
}

int SignalRecorder::indexOf(const QString &label, int from) const
{
    for (int i = from; i < m_entries.size(); ++i) {
        if (m_entries.at(i).label == label)
            return i;
    }
    return -1;
}

QVariant SignalRecorder::valueOf(const Entry &entry)
{
    return entry.arguments.value(1).value<QDBusVariant>().variant();
}

QVariant SignalRecorder::lastValue(const QString &name) const
{
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it) {
        if (it->member == QLatin1String("PropertyChanged")
            && it->arguments.value(0).toString() == name)
            return valueOf(*it);
    }
    return {};
}

bool SignalRecorder::waitFor(const QString &label, int timeoutMs, int occurrences)
{
    QTRY_LOOP_IMPL(count(label) >= occurrences, timeoutMs, 10);
    return count(label) >= occurrences;
}

void SignalRecorder::callAsync(const QDBusMessage &call, int timeoutMs)
{
    auto *catcher = new RecordedReply(this, call.member());
    if (!m_connection.callWithCallback(call, catcher, SLOT(replied(QDBusMessage)),
                                       SLOT(failed(QDBusError, QDBusMessage)), timeoutMs))
        catcher->failed(m_connection.lastError(), call);
}

void SignalRecorder::recordReply(const QString &member, const QDBusMessage &reply)
{
    m_replies.insert(member, reply);
    const QString label = reply.type() == QDBusMessage::ErrorMessage
        ? QStringLiteral("error:%1:%2").arg(member, reply.errorName())
        : QStringLiteral("reply:%1").arg(member);
    m_entries.append({ member, reply.arguments(), label });
}

void RecordedReply::replied(const QDBusMessage &reply)
{
    m_recorder->recordReply(m_member, reply);
    deleteLater();
}

void RecordedReply::failed(const QDBusError &error, const QDBusMessage &call)
{
    m_recorder->recordReply(m_member, call.createErrorReply(error));
    deleteLater();
}

void SignalRecorder::note(const QString &label, const QVariantList &arguments)
{
    m_entries.append({ label, arguments, label });
}

QDBusMessage SignalRecorder::replyOf(const QString &member) const
{
    return m_replies.value(member);
}
