#include "calllog.h"

#include <QJsonObject>

CallLog::CallLog()
{
    m_clock.start();
}

void CallLog::record(const QString &bus, const QString &destination, const QDBusMessage &message)
{
    m_entries.append({ bus, message.service(), destination, message.path(), message.interface(),
                       message.member(), message.signature(), m_clock.elapsed() });
}

void CallLog::clear()
{
    m_entries.clear();
}

QJsonArray CallLog::toJson() const
{
    QJsonArray list;
    for (const Entry &e : m_entries) {
        list.append(QJsonObject { { "bus", e.bus },
                                  { "sender", e.sender },
                                  { "destination", e.destination },
                                  { "path", e.path },
                                  { "interface", e.interface },
                                  { "member", e.member },
                                  { "signature", e.signature },
                                  { "msecs", e.msecs } });
    }
    return list;
}
