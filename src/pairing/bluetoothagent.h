#ifndef OVRIN_BLUETOOTHAGENT_H
#define OVRIN_BLUETOOTHAGENT_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>

namespace Ovrin {

class BluetoothAgentPrivate;

/// A BlueZ pairing agent ("org.bluez.Agent") exported on the system bus at a
/// path of its own. Each request from BlueZ becomes a signal and stays open
/// until the owner answers it through one of the slots.
class OVRIN_EXPORT BluetoothAgent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path)
public:
    /// Exports the agent at a new path; register it with
    /// BluetoothAdapter::registerAgent() or pass it to a pairing.
    explicit BluetoothAgent(QObject *parent = nullptr);
    ~BluetoothAgent() override;

    /// The object path the agent is exported at.
    QString path() const;
    /// Whether BlueZ asked for a PIN, a passkey or a confirmation, or had a
    /// passkey displayed, yet.
    bool agentCalled() const;

Q_SIGNALS:
    /// BlueZ no longer uses the agent; open requests are cancelled.
    void release();
    /// BlueZ gave up the request in progress; open requests are cancelled.
    void cancel();
    /// Answer with providePinCode() or rejectDevice().
    void pinCodeRequested(Ovrin::BluetoothDevice device);
    /// Answer with providePasskey() or rejectDevice().
    void passkeyRequested(Ovrin::BluetoothDevice device);
    /// Both devices show passkey: answer with confirmPasskey() or rejectDevice().
    void confirmationRequested(Ovrin::BluetoothDevice device, uint passkey);
    /// The device wants to use the service with UUID profile: answer with
    /// authorizeDevice() or rejectDevice().
    void authorizationRequested(Ovrin::BluetoothDevice device, QString profile);
    /// BlueZ asks to switch the adapter to mode ("connectable", "discoverable",
    /// ...): answer with confirmModeChange() or rejectModeChange(). A newer
    /// request cancels the open one.
    void modeChangeConfirmationRequested(QString mode);
    /// The remote device (a keyboard) wants the user to type passkey on it;
    /// entered is how many digits have been typed so far. Comes again for
    /// each digit typed; needs no answer, and ends with the pairing.
    void passkeyDisplayRequested(Ovrin::BluetoothDevice device, uint passkey, uint entered);

public Q_SLOTS:
    /// Answers the device's open PIN code request, if any.
    void providePinCode(Ovrin::BluetoothDevice device, QString code);
    /// Answers the device's open passkey request, if any.
    void providePasskey(Ovrin::BluetoothDevice device, uint passkey);
    /// Accepts the device's open confirmation request, if any.
    void confirmPasskey(Ovrin::BluetoothDevice device);
    /// Grants the device's open authorization request, if any.
    void authorizeDevice(Ovrin::BluetoothDevice device);

    /// Refuses the device's open request, of any kind ("org.bluez.Error.Rejected").
    void rejectDevice(Ovrin::BluetoothDevice device);
    /// Answers the open mode change request.
    void confirmModeChange();
    /// Refuses the open mode change request ("org.bluez.Error.Rejected").
    void rejectModeChange();

private:
    friend class BluetoothAgentPrivate;
    BluetoothAgentPrivate *d_ptr;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHAGENT_H
