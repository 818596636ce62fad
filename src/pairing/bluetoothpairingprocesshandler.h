#ifndef OVRIN_BLUETOOTHPAIRINGPROCESSHANDLER_H
#define OVRIN_BLUETOOTHPAIRINGPROCESSHANDLER_H

#include "bluetoothdevice.h"

#include <QObject>
#include <QPointer>

class OrvelSceneWindow;

namespace Ovrin {

class BluetoothAdapter;
class BluetoothAgent;
class BluetoothConfirmationSheet;
class BluetoothConnectionManager;
class BluetoothPairingProcess;
class BluetoothPinCodeSheet;

// One pairing attempt of a BluetoothPairingProcess: owns its agent, adapter
// handle, sheets and connection manager, and reports through the process's
// signals. Everything it owns goes with it.
class BluetoothPairingProcessHandler : public QObject
{
    Q_OBJECT
public:
    enum RequestType { NoRequest = 0, PinCodeRequest = 1, PasskeyRequest = 2, ConfirmationRequest = 3 };

    BluetoothPairingProcessHandler(BluetoothPairingProcess *process, const BluetoothDevice &device,
                                   const QString &providedPin);
    ~BluetoothPairingProcessHandler() override;

    bool isFinished() const { return m_finished; }
    QString error() const { return m_error; }

public Q_SLOTS:
    void pinCodeRequested(const Ovrin::BluetoothDevice &device);
    void passkeyRequested(const Ovrin::BluetoothDevice &device);
    void confirmationRequested(const Ovrin::BluetoothDevice &device, uint passkey);
    void cancel();
    void deviceCreated(const Ovrin::BluetoothDevice &device);
    void deviceCreationFailed(const QString &reason);
    void sheetFinished();
    void hideWindows();
    void showPinCodeSheet();
    void showConfirmationSheet(uint passkey, bool showPasskey = true);

private:
    void chooseMethod();
    void startDeviceCreation();
    void startLegacyPairing();
    bool isOwnDevice(const BluetoothDevice &device, const char *what) const;
    void finish();
    void showWindow(OrvelSceneWindow *window);
    void hideWindow(OrvelSceneWindow *window);
    static QString randomPin();

    BluetoothPairingProcess *m_process;
    BluetoothDevice m_device;
    BluetoothAgent *m_agent;
    BluetoothAdapter *m_adapter;
    BluetoothConnectionManager *m_connectionManager = nullptr;
    // Hidden sheets are deleted later; the pointers never dangle.
    QPointer<BluetoothPinCodeSheet> m_pinCodeSheet;
    QPointer<BluetoothConfirmationSheet> m_confirmationSheet;
    RequestType m_requestType = NoRequest;
    QString m_providedPin;
    QString m_error;
    bool m_deviceCreationStarted = false;
    bool m_deviceCreated = false;
    bool m_finished = false;
    bool m_trusted = false;
    bool m_autoPairing = false;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPAIRINGPROCESSHANDLER_H
