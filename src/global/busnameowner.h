#ifndef OVRIN_BUSNAMEOWNER_H
#define OVRIN_BUSNAMEOWNER_H

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusServiceWatcher;

namespace Ovrin {

// The connection that owns a well-known name ("org.bluez", "org.openobex"),
// asked of the bus once and then followed through NameOwnerChanged, so that
// checking who sent a call or a signal costs no round trip. The bus tells of
// a new owner before that owner's own messages, so the answer is never stale
// for a message being handled.
class BusNameOwner : public QObject
{
public:
    // The unique name owning service on bus; empty when none does.
    static QString of(const QDBusConnection &bus, const QString &service);

private:
    BusNameOwner(const QDBusConnection &bus, const QString &service, QObject *parent);
    void ownerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);

    QString m_owner;
    QDBusServiceWatcher *m_watcher;
};

} // namespace Ovrin

#endif // OVRIN_BUSNAMEOWNER_H
