#ifndef CALLLOG_H
#define CALLLOG_H

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QList>

// Every method call the simulated daemons received, in arrival order,
// Introspect and other standard interfaces included.
class CallLog
{
public:
    struct Entry
    {
        QString bus;
        QString sender;
        QString destination;
        QString path;
        QString interface;
        QString member;
        QString signature;
        qint64 msecs = 0;
    };

    CallLog();
    void record(const QString &bus, const QString &destination, const QDBusMessage &message);
    void clear();
    int size() const { return m_entries.size(); }
    const QList<Entry> &entries() const { return m_entries; }
    QJsonArray toJson() const;

private:
    QList<Entry> m_entries;
    QElapsedTimer m_clock;
};

#endif // CALLLOG_H
