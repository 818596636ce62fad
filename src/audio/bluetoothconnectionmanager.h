#ifndef OVRIN_BLUETOOTHCONNECTIONMANAGER_H
#define OVRIN_BLUETOOTHCONNECTIONMANAGER_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>
#include <QString>

namespace Ovrin {

class BluetoothConnectionManagerPrivate;

// Connects and disconnects the audio profiles (A2DP, HSP, HFP) of one paired
// device. Only one audio device is kept connected: connecting first drops any
// other audio device and connects once it has gone.
class OVRIN_EXPORT BluetoothConnectionManager : public QObject
{
    Q_OBJECT

public:
    explicit BluetoothConnectionManager(const BluetoothDevice &device, QObject *parent = nullptr);
    ~BluetoothConnectionManager() override;

    const BluetoothDevice &device() const;

    // True when the device offers at least one audio profile.
    static bool isConnectable(const BluetoothDevice &device);
    bool isConnectable() const;
    // Asked by pairing before connecting a newly paired device.
    bool shouldAutoConnect() const;

    // Blocking: true only in the audio state "connected" ("playing" is not).
    bool isAudioConnected() const;

public Q_SLOTS:
    void connect();
    void disconnect();

Q_SIGNALS:
    void connected();
    void connectionFailed(const QString &reason);
    void disconnected();
    void disconnectionFailed(const QString &reason);

private:
    friend class BluetoothConnectionManagerPrivate;
    BluetoothConnectionManagerPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothConnectionManager)
    Q_DISABLE_COPY(BluetoothConnectionManager)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHCONNECTIONMANAGER_H
