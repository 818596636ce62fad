#ifndef PRIVATEBUSES_H
#define PRIVATEBUSES_H

#include <QProcess>
#include <QString>

// Two private dbus-daemons standing in for the system bus and the session bus.
// Each daemon dies with the process that started it, even when that process
// is killed. The session bus activates services only from a folder of its
// own (serviceDirectory()): GConf's installed service (gconfd-2, with the
// environment this process has when start() runs) and the obexd names of the
// simulator. Nothing else installed on the machine (a real obexd's service,
// say) is seen by it.
class PrivateBuses
{
public:
    // Sockets and configuration files go into directory, which must exist;
    // keep it short, socket paths are limited to 108 bytes.
    explicit PrivateBuses(const QString &directory);
    ~PrivateBuses();
    PrivateBuses(const PrivateBuses &) = delete;
    PrivateBuses &operator=(const PrivateBuses &) = delete;

    bool start(QString *error);
    void stop();
    QString systemAddress() const { return m_systemAddress; }
    QString sessionAddress() const { return m_sessionAddress; }
    // Sets DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS for this process
    // and its future children. QtDBus reads them once, so call it early.
    void exportAddresses() const;

    // Makes a child started through process die when this process dies.
    static void dieWithParent(QProcess &process);

    // The session bus's own folder of D-Bus service files.
    QString serviceDirectory() const;
    // Writes a service file: the session bus runs exec when name is called
    // and has no owner. Works before and after start().
    bool addActivatableService(const QString &name, const QString &exec, QString *error);
    // "org.openobex" and "org.openobex.client", activated through
    // "btsim --activate NAME", which asks the running simulator to bring the
    // name back (see simulator/main.cpp).
    bool makeSimulatorActivatable(const QString &btsimPath, QString *error);
    // Copies the service file of name as installed on this machine.
    bool addInstalledService(const QString &name, QString *error);

private:
    bool startBus(QProcess &daemon, const QString &name, const QString &config, QString *address,
                  QString *error);

    QString m_directory;
    QProcess m_system;
    QProcess m_session;
    QString m_systemAddress;
    QString m_sessionAddress;
};

#endif // PRIVATEBUSES_H
