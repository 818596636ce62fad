#ifndef OVRIN_BLUEZDAEMON_H
#define OVRIN_BLUEZDAEMON_H

#include <QDBusObjectPath>
#include <QDBusError>
#include <QObject>
#include <QPointer>

class QDBusServiceWatcher;

namespace Ovrin {

class BluezDialect;

// Follows the owner of "org.bluez" on the system bus for the whole process
// and knows which dialect it speaks: asked once each time the name gets an
// owner, by one call ("GetManagedObjects" on "/" is answered by BlueZ 5 only),
// never by introspection. The dialect's signals are passed on from here, so
// that listeners outlive the daemons that come and go.
class BluezDaemon : public QObject
{
    Q_OBJECT
public:
    static BluezDaemon *instance();

    // Whether "org.bluez" has an owner.
    bool isRunning() const { return m_running; }
    // The running daemon's dialect, asked for on first use; null while no
    // daemon runs or it did not answer.
    BluezDialect *dialect();

Q_SIGNALS:
    // "org.bluez" got an owner; it may not have an adapter yet.
    void appeared();
    // The owner left; its dialect is gone already.
    void gone();

    void adapterPropertyChanged(const QString &name, const QVariant &value);
    void adapterAdded();
    void adapterRemoved();
    void devicePropertyChanged(const QString &devicePath, const QString &name,
                               const QVariant &value);
    void deviceFound(const QString &address, const QVariantMap &properties);
    void deviceCreated(const QDBusObjectPath &devicePath);
    void deviceRemoved(const QDBusObjectPath &devicePath);
    void deviceRemovalFailed(const QString &devicePath, const QDBusError &error);
    void deviceObjectRemoved(const QString &devicePath);

private:
    BluezDaemon();
    void ownerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);
    void dropDialect();
    BluezDialect *detect();

    QDBusServiceWatcher *m_watcher;
    bool m_running = false;
    QPointer<BluezDialect> m_dialect;
};

} // namespace Ovrin

#endif // OVRIN_BLUEZDAEMON_H
