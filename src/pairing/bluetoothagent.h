#ifndef OVRIN_BLUETOOTHAGENT_H
#define OVRIN_BLUETOOTHAGENT_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>

namespace Ovrin {

class BluetoothAgentPrivate;

// A BlueZ pairing agent ("org.bluez.Agent") exported on the system bus at a
// path of its own. Each request from BlueZ becomes a signal and stays open
// until the owner answers it through one of the slots.
class OVRIN_EXPORT BluetoothAgent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path)
public:
    explicit BluetoothAgent(QObject *parent = nullptr);
    ~BluetoothAgent() override;

    QString path() const;
    // Whether BlueZ asked for a PIN, a passkey or a confirmation yet.
    bool agentCalled() const;

Q_SIGNALS:
    void release();
    void cancel();
    void pinCodeRequested(Ovrin::BluetoothDevice device);
    void passkeyRequested(Ovrin::BluetoothDevice device);
    void confirmationRequested(Ovrin::BluetoothDevice device, uint passkey);
    void authorizationRequested(Ovrin::BluetoothDevice device, QString profile);
    void modeChangeConfirmationRequested(QString mode);

public Q_SLOTS:
    void providePinCode(Ovrin::BluetoothDevice device, QString code);
    void providePasskey(Ovrin::BluetoothDevice device, uint passkey);
    void confirmPasskey(Ovrin::BluetoothDevice device);
    void authorizeDevice(Ovrin::BluetoothDevice device);
    void rejectDevice(Ovrin::BluetoothDevice device);
    void confirmModeChange();
    void rejectModeChange();

private:
    friend class BluetoothAgentPrivate;
    BluetoothAgentPrivate *d_ptr;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHAGENT_H
