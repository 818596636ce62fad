#include "simulatedworld.h"

#include "processreaper.h"

#include <QDir>

#include <stdlib.h>
#include <sys/stat.h>

SimulatedWorld::SimulatedWorld(const QString &btsimPath)
    : m_btsimPath(btsimPath)
{
}

SimulatedWorld::~SimulatedWorld()
{
    tearDown();
}

QString SimulatedWorld::home() const
{
    return m_directory.isEmpty() ? QString() : m_directory + QStringLiteral("/home");
}

bool SimulatedWorld::setUp(QString *error)
{
    // Short on purpose: socket paths are limited to 108 bytes.
    char pattern[] = "/tmp/ovt-XXXXXX";
    if (!::mkdtemp(pattern)) {
        *error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    m_directory = QString::fromLocal8Bit(pattern);
    m_tag = ProcessReaper::tagThisProcess();
    // Before any thread exists: the watchdog is forked.
    if (!ProcessReaper::armWatchdog(m_tag, m_directory)) {
        *error = QStringLiteral("cannot start the watchdog");
        return false;
    }

    const QString home = this->home();
    const QString runtime = m_directory + QStringLiteral("/runtime");
    for (const QString &dir :
         { home + QStringLiteral("/.config"), home + QStringLiteral("/.local/share"),
           home + QStringLiteral("/.cache"), runtime })
        QDir().mkpath(dir);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    // Set before the session bus starts: activated gconfd-2 inherits it.
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/.cache")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    // btsim plays the kernel's rfkill device: the host's is never read.
    qputenv("OVRIN_RFKILL_DEVICE", QFile::encodeName(m_directory + QStringLiteral("/rfkill")));

    m_buses = std::make_unique<PrivateBuses>(m_directory);
    // Calls to a dropped obexd name make the bus ask the simulator for it.
    if (!m_buses->makeSimulatorActivatable(m_btsimPath, error) || !m_buses->start(error))
        return false;
    m_buses->exportAddresses();
    return true;
}

bool SimulatedWorld::startSimulator(QString *error, const QString &scenarioFile)
{
    PrivateBuses::dieWithParent(m_simulator);
    m_simulator.setProgram(m_btsimPath);
    QStringList args;
    if (!scenarioFile.isEmpty())
        args << QStringLiteral("--scenario") << scenarioFile;
    // The fixture switch: every suite runs against either dialect of bluetoothd.
    if (qEnvironmentVariable("OVRIN_BLUEZ") == QLatin1String("5"))
        args << QStringLiteral("--bluez") << QStringLiteral("5");
    if (qEnvironmentVariable("OVRIN_OBEXD") == QLatin1String("5"))
        args << QStringLiteral("--obexd") << QStringLiteral("5");
    m_simulator.setArguments(args);
    m_simulator.setProcessChannelMode(QProcess::SeparateChannels);
    m_simulator.setReadChannel(QProcess::StandardOutput);
    m_simulator.start();
    if (!m_simulator.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start btsim: %1").arg(m_simulator.errorString());
        return false;
    }
    for (;;) {
        while (m_simulator.canReadLine()) {
            if (m_simulator.readLine().startsWith("# btsim ready")) {
                m_client = std::make_unique<SimulatorClient>();
                // Let the simulator's own messages reach our output.
                QObject::connect(
                    &m_simulator, &QProcess::readyReadStandardError, &m_simulator,
                    [this]() { fputs(m_simulator.readAllStandardError().constData(), stderr); });
                return true;
            }
        }
        if (!m_simulator.waitForReadyRead(10000)) {
            *error = QStringLiteral("btsim did not get ready: %1")
                         .arg(QString::fromLocal8Bit(m_simulator.readAllStandardError()));
            return false;
        }
    }
}

void SimulatedWorld::stopSimulator()
{
    m_client.reset();
    if (m_simulator.state() == QProcess::NotRunning)
        return;
    m_simulator.terminate();
    if (!m_simulator.waitForFinished(3000)) {
        m_simulator.kill();
        m_simulator.waitForFinished(3000);
    }
}

void SimulatedWorld::tearDown()
{
    if (m_directory.isEmpty())
        return;
    stopSimulator();
    if (m_buses)
        m_buses->stop();
    m_buses.reset();
    // What the buses activated (gconfd-2) is not our child; the tag finds it.
    ProcessReaper::killTagged(m_tag);
    QDir(m_directory).removeRecursively();
    m_directory.clear();
}
