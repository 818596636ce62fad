#ifndef PROPERTIESBATCHER_H
#define PROPERTIESBATCHER_H

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class PropertyObject;

// bluetoothd 5 queues property changes and sends one PropertiesChanged per
// object and interface when its main loop is idle: each property once, in the
// order of its first change, with the value it has at send time (values in
// between are lost), absent ones as invalidated. The queue is also flushed
// before any other message leaves (a reply, an error, a signal, an agent call).
class PropertiesBatcher : public QObject
{
    Q_OBJECT
public:
    explicit PropertiesBatcher(QObject *parent = nullptr);

    void queue(PropertyObject *object, const QString &name);
    void flush();
    // The object is deleted: what it had queued is dropped (its removal
    // flushed the queue before it went, as bluetoothd's unregistering does).
    void drop(PropertyObject *object);
    void clear();

private:
    struct Pending
    {
        PropertyObject *object;
        QStringList names;
    };
    QList<Pending> m_pending;
    QTimer m_idle;
    bool m_flushing = false;
};

#endif // PROPERTIESBATCHER_H
