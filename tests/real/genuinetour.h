#ifndef GENUINETOUR_H
#define GENUINETOUR_H

#include "tourrunner.h"

#include <QTemporaryDir>

#include <memory>

namespace Ovrin {
class BluetoothAdapter;
}

// The demo's tour among two controllers in one bluetoothd and one obexd: the
// genuine daemons in the guest of scripts/real-daemons.sh, or btsim playing
// the same world (RealDaemons). The handset is hci0; hci1 plays the other
// phone, left on and visible, and its user says yes to what bluetoothd asks.
// Every step checks the screens and what the daemons show on their buses.
class GenuineTour : public TourRunner
{
public:
    GenuineTour(DemoShell *shell, const QString &folder);
    ~GenuineTour() override;

private:
    void runSteps() override;
    void checkAfterSteps() override;

    bool prepare();
    bool switchBluetoothOn();
    bool makeVisible();
    bool rename();
    bool findTheOtherPhone();
    bool sendPhoto();
    bool receiveFile();

    // The confirmation sheet of the pairing with the other phone, accepted.
    bool confirmPairing();
    // The other phone's side of a send: the one obexd asks our receiver.
    bool acceptOnTheOtherPhone();
    QString remoteDevice() const;
    QString receivedPath(const QString &fileName) const;

    std::unique_ptr<Ovrin::BluetoothAdapter> m_adapter;
    QString m_ourAddress;
    QString m_remoteAddress;
    QTemporaryDir m_files;
};

#endif // GENUINETOUR_H
