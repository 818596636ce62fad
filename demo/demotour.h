#ifndef DEMOTOUR_H
#define DEMOTOUR_H

#include "tourrunner.h"

#include <QJsonObject>
#include <QString>

#include <memory>

namespace Ovrin {
class BluetoothAdapter;
}
class SimulatorClient;

// The scripted tour on btsim: drives the demo's screens with taps and typing
// while the simulator plays the remote devices, checks after every action
// that the screens and the simulated daemons did what they should, and
// writes a picture of the window per step and a transcript.
class DemoTour : public TourRunner
{
public:
    DemoTour(DemoShell *shell, SimulatorClient *simulator, const QString &folder);
    ~DemoTour() override;

private:
    void runSteps() override;
    void checkAfterSteps() override;

    bool prepare();
    bool switchBluetoothOn();
    bool makeVisible();
    bool rename();
    bool openDeviceList();
    bool showDeviceMenu();
    bool connectHeadset();
    bool sendPhoto();
    bool cancelSend();
    bool receiveFile();
    bool refuseSpam();
    bool tellPairingFailure();

    bool pushAndAsk(const QString &address, const QString &name, uint *ticket);
    QJsonObject simulatedAdapter() const;

    SimulatorClient *m_sim;
    std::unique_ptr<Ovrin::BluetoothAdapter> m_adapter;
};

#endif // DEMOTOUR_H
