#include "privatebuses.h"

#include <QDir>
#include <QFile>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const char systemConfig[]
    = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus"/>
  </policy>
</busconfig>
)";

const char sessionConfig[]
    = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%2</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

bool writeFile(const QString &fileName, const QString &contents, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(contents.toUtf8()) != contents.toUtf8().size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}

} // namespace

PrivateBuses::PrivateBuses(const QString &directory)
    : m_directory(directory)
{
}

PrivateBuses::~PrivateBuses()
{
    stop();
}

void PrivateBuses::dieWithParent(QProcess &process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent]() {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before prctl took effect.
        if (::getppid() != parent)
            ::_exit(1);
    });
}

bool PrivateBuses::start(QString *error)
{
    if (!QDir().mkpath(serviceDirectory())) {
        *error = QStringLiteral("cannot create %1").arg(serviceDirectory());
        return false;
    }
    if (!addInstalledService(QStringLiteral("org.gnome.GConf"), error))
        return false;
    return startBus(m_system, QStringLiteral("system"), QString::fromLatin1(systemConfig),
                    &m_systemAddress, error)
        && startBus(
               m_session, QStringLiteral("session"),
               QString::fromLatin1(sessionConfig).replace(QLatin1String("%2"), serviceDirectory()),
               &m_sessionAddress, error);
}

QString PrivateBuses::serviceDirectory() const
{
    return m_directory + QStringLiteral("/services");
}

bool PrivateBuses::addActivatableService(const QString &name, const QString &exec, QString *error)
{
    if (!QDir().mkpath(serviceDirectory())) {
        *error = QStringLiteral("cannot create %1").arg(serviceDirectory());
        return false;
    }
    return writeFile(serviceDirectory() + QLatin1Char('/') + name + QStringLiteral(".service"),
                     QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n").arg(name, exec), error);
}

bool PrivateBuses::addInstalledService(const QString &name, QString *error)
{
    const QString fileName = name + QStringLiteral(".service");
    for (const QString &folder :
         { QStringLiteral("/usr/local/share/dbus-1/services"),
           QStringLiteral("/usr/share/dbus-1/services") }) {
        QFile installed(folder + QLatin1Char('/') + fileName);
        if (installed.exists()) {
            const QString copy = serviceDirectory() + QLatin1Char('/') + fileName;
            QFile::remove(copy);
            if (!installed.copy(copy)) {
                *error = QStringLiteral("cannot copy %1: %2")
                             .arg(installed.fileName(), installed.errorString());
                return false;
            }
            return true;
        }
    }
    *error = QStringLiteral("no %1 installed").arg(fileName);
    return false;
}

bool PrivateBuses::makeSimulatorActivatable(const QString &btsimPath, QString *error)
{
    for (const QString &name :
         { QStringLiteral("org.openobex"), QStringLiteral("org.openobex.client"),
           QStringLiteral("org.bluez.obex") }) {
        if (!addActivatableService(name, QStringLiteral("%1 --activate %2").arg(btsimPath, name),
                                   error))
            return false;
    }
    return true;
}

bool PrivateBuses::startBus(QProcess &daemon, const QString &name, const QString &config,
                            QString *address, QString *error)
{
    const QString socketDir = m_directory + QLatin1Char('/') + name;
    const QString configFile = m_directory + QStringLiteral("/%1.conf").arg(name);
    if (!QDir().mkpath(socketDir) || !writeFile(configFile, config.arg(socketDir), error))
        return false;
    dieWithParent(daemon);
    daemon.setProcessChannelMode(QProcess::SeparateChannels);
    daemon.setProgram(QStringLiteral("dbus-daemon"));
    daemon.setArguments({ QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                          QStringLiteral("--config-file=") + configFile,
                          QStringLiteral("--print-address=1") });
    daemon.start();
    if (!daemon.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start dbus-daemon: %1").arg(daemon.errorString());
        return false;
    }
    while (!daemon.canReadLine()) {
        if (!daemon.waitForReadyRead(10000)) {
            *error = QStringLiteral("dbus-daemon (%1 bus) printed no address: %2")
                         .arg(name, QString::fromLocal8Bit(daemon.readAllStandardError()));
            return false;
        }
    }
    *address = QString::fromUtf8(daemon.readLine()).trimmed();
    return true;
}

void PrivateBuses::stop()
{
    for (QProcess *daemon : { &m_session, &m_system }) {
        if (daemon->state() == QProcess::NotRunning)
            continue;
        daemon->terminate();
        if (!daemon->waitForFinished(3000)) {
            daemon->kill();
            daemon->waitForFinished(3000);
        }
    }
}

void PrivateBuses::exportAddresses() const
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_systemAddress.toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_sessionAddress.toUtf8());
}
