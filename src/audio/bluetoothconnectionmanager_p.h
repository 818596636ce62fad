#ifndef OVRIN_BLUETOOTHCONNECTIONMANAGER_P_H
#define OVRIN_BLUETOOTHCONNECTIONMANAGER_P_H

#include "bluetoothconnectionmanager.h"

#include <QPointer>
#include <QSet>

class QDBusPendingCallWatcher;
class QTimer;

namespace Ovrin {

class BluetoothAdapter;

class BluetoothConnectionManagerPrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothConnectionManagerPrivate(const BluetoothDevice &device,
                                      BluetoothConnectionManager *owner);
    ~BluetoothConnectionManagerPrivate() override;

    // Blocking "GetProperties" of the audio interface; a failure is logged
    // only when warn is set.
    bool isAudioConnected(bool warn);
    void disconnectPreviousAndConnectAudio();
    void waitForPrevious(BluetoothConnectionManager *manager);
    void stopWaitingForPrevious();
    void abandonPrevious();
    void giveUpPrevious(const QString &reason);

    BluetoothDevice device;
    // A "Connect" call is outstanding.
    bool connecting = false;
    // From connect() until the "Connect" reply: waiting for another audio
    // device to go, for the grace period, or for the reply.
    bool busy = false;
    BluetoothConnectionManager *owner;
    // The temporary manager of the audio device being dropped first, the
    // adapter whose going away ends that wait, and the wait's time limit.
    QPointer<BluetoothConnectionManager> previous;
    BluetoothAdapter *previousAdapter = nullptr;
    QTimer *previousTimeLimit;

    static const QSet<QString> audioProfiles;

public Q_SLOTS:
    void connectAudioCallback(QDBusPendingCallWatcher *watcher);
    void devicePropertyChanged(const QString &property);
    void deviceDisconnected();
    void disconnectFailed();
    void connectAudio();
    void disconnectCallback(QDBusPendingCallWatcher *watcher);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHCONNECTIONMANAGER_P_H
