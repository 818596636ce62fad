#ifndef SIMULATEDWORLD_H
#define SIMULATEDWORLD_H

#include "privatebuses.h"
#include "simulatorclient.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <memory>

// A world of its own for one process and its children: a temporary HOME with
// the XDG folders, a private system bus and session bus (gconfd-2 is activated
// on the latter) and btsim playing the Bluetooth daemons on them. Every
// process it starts is ended when the owner ends, also when the owner crashes
// or is killed; the folder goes with them. Tests and the demo live in one.
class SimulatedWorld
{
public:
    explicit SimulatedWorld(const QString &btsimPath);
    ~SimulatedWorld();
    SimulatedWorld(const SimulatedWorld &) = delete;
    SimulatedWorld &operator=(const SimulatedWorld &) = delete;

    // Before the application object and before any thread: sets up the
    // folders, the buses and this process's environment (HOME, XDG_*, the
    // bus addresses), which its children inherit.
    bool setUp(QString *error);
    // After the application object exists. An empty scenario file is the
    // simulator's built-in neighbourhood.
    bool startSimulator(QString *error, const QString &scenarioFile = {});
    void stopSimulator();
    void tearDown();

    QString directory() const { return m_directory; }
    QString home() const;
    QByteArray tag() const { return m_tag; }
    const PrivateBuses &buses() const { return *m_buses; }
    SimulatorClient *simulator() const { return m_client.get(); }
    qint64 simulatorPid() const { return m_simulator.processId(); }

private:
    QString m_btsimPath;
    QByteArray m_tag;
    QString m_directory;
    std::unique_ptr<PrivateBuses> m_buses;
    QProcess m_simulator;
    std::unique_ptr<SimulatorClient> m_client;
};

#endif // SIMULATEDWORLD_H
