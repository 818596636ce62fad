#ifndef OVRIN_BLUETOOTHCONNECTIONMANAGER_H
#define OVRIN_BLUETOOTHCONNECTIONMANAGER_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>
#include <QString>

namespace Ovrin {

class BluetoothConnectionManagerPrivate;

/// Connects and disconnects the audio profiles (A2DP, HSP, HFP) of one paired
/// device. Only one audio device is kept connected: connecting first drops any
/// other audio device and connects once it has gone.
class OVRIN_EXPORT BluetoothConnectionManager : public QObject
{
    Q_OBJECT

public:
    /// A manager of device's audio.
    explicit BluetoothConnectionManager(const BluetoothDevice &device, QObject *parent = nullptr);
    ~BluetoothConnectionManager() override;

    /// The device given at construction.
    const BluetoothDevice &device() const;

    /// True when the device offers at least one audio profile.
    static bool isConnectable(const BluetoothDevice &device);
    /// isConnectable() of this manager's device.
    bool isConnectable() const;
    /// Asked by pairing before connecting a newly paired device.
    bool shouldAutoConnect() const;

    /// Blocking: true only in the audio state "connected" ("playing" is not).
    bool isAudioConnected() const;

public Q_SLOTS:
    /// Connects the audio profiles, after dropping any other audio device;
    /// ignored while a connect runs or when the device offers no audio.
    void connect();
    /// Drops the device's link; disconnectionFailed() when it is not connected.
    void disconnect();

Q_SIGNALS:
    /// The audio profiles are connected.
    void connected();
    /// Connecting failed; reason is BlueZ's error name or the manager's own text.
    void connectionFailed(const QString &reason);
    /// The device is disconnected.
    void disconnected();
    /// Disconnecting failed; reason is BlueZ's error name or "Not connected".
    void disconnectionFailed(const QString &reason);

private:
    friend class BluetoothConnectionManagerPrivate;
    BluetoothConnectionManagerPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothConnectionManager)
    Q_DISABLE_COPY(BluetoothConnectionManager)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHCONNECTIONMANAGER_H
