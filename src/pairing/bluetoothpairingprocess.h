#ifndef OVRIN_BLUETOOTHPAIRINGPROCESS_H
#define OVRIN_BLUETOOTHPAIRINGPROCESS_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>

namespace Ovrin {

class BluetoothPairingProcessPrivate;
class ConnectivityDialogServerInterface;

/// Pairs the handset with one remote device from start to end: picks the
/// method (fixed PIN for the maker's own audio devices, a PIN typed by the
/// user for other legacy devices, Secure Simple Pairing otherwise), shows the
/// PIN or confirmation sheet when BlueZ asks, trusts the device, connects its
/// audio and tells the user about failures.
///
///     auto *pairing = new Ovrin::BluetoothPairingProcess(this);
///     // After a cancel finished() comes twice: act on the first only.
///     connect(pairing, &BluetoothPairingProcess::finished, this, [pairing] {
///         if (pairing->error().isEmpty()) ... // paired
///         pairing->deleteLater();
///     }, Qt::SingleShotConnection);
///     pairing->start(device);
class OVRIN_EXPORT BluetoothPairingProcess : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool finished READ isFinished)
    Q_PROPERTY(bool errorNotification READ isErrorNotification WRITE setErrorNotification)
    Q_PROPERTY(bool autoTrusted READ isAutoTrusted WRITE setAutoTrusted)
    Q_PROPERTY(bool autoConnected READ isAutoConnected WRITE setAutoConnected)
    Q_PROPERTY(bool ignoreLegacyPairing READ isIgnoreLegacyPairing WRITE setIgnoreLegacyPairing)
    Q_PROPERTY(QString pinCode READ pinCode WRITE setPinCode)
public:
    /// An idle process; start() pairs.
    explicit BluetoothPairingProcess(QObject *parent = nullptr);

    ~BluetoothPairingProcess() override;

    /// Whether the last start() has ended (successfully or not).
    bool isFinished() const;
    /// Whether a pairing started and has not ended yet.
    bool isPairing() const;
    /// Empty after a success; "org.bluez.Canceled" after a cancellation, and
    /// otherwise the D-Bus error name BlueZ failed the device creation with.
    QString error() const;

    /// Sheets are shown through server (not owned) instead of on the
    /// application's own window.
    void setDialogServer(ConnectivityDialogServerInterface *server);
    /// The server of setDialogServer(), or null.
    ConnectivityDialogServerInterface *dialogServer() const;

    /// Failures as a system notification instead of a banner.
    bool isErrorNotification() const;
    /// See isErrorNotification().
    void setErrorNotification(bool notification);
    /// Trust the device without asking; also turned on after a pairing in
    /// which BlueZ never asked anything.
    bool isAutoTrusted() const;
    /// See isAutoTrusted().
    void setAutoTrusted(bool trusted);
    /// Connect the audio profiles after pairing (on by default).
    bool isAutoConnected() const;
    /// See isAutoConnected().
    void setAutoConnected(bool connected);
    /// Pair legacy devices as if they supported Secure Simple Pairing.
    bool isIgnoreLegacyPairing() const;
    /// See isIgnoreLegacyPairing().
    void setIgnoreLegacyPairing(bool ignore);
    /// A PIN for legacy pairing that the user is not asked for.
    QString pinCode() const;
    /// See pinCode(); used by the next start().
    void setPinCode(const QString &pinCode);

public Q_SLOTS:
    /// Pairs with device; refused with a warning while a pairing runs.
    void start(const Ovrin::BluetoothDevice &device);

Q_SIGNALS:
    /// BlueZ was asked to pair (for a typed PIN: once the user accepted it).
    /// A receiver may delete the process.
    void started();
    /// The pairing ended; error() tells how. A receiver may delete the
    /// process.
    ///
    /// Emitted once for a success or a failure, but twice after the user
    /// cancelled: once at the cancel, and again when BlueZ then fails the
    /// device creation (error() stays "org.bluez.Canceled", the user is not
    /// told). Act on the first one only, e.g. with Qt::SingleShotConnection.
    void finished();

private:
    BluetoothPairingProcessPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothPairingProcess)
    Q_DISABLE_COPY(BluetoothPairingProcess)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPAIRINGPROCESS_H
