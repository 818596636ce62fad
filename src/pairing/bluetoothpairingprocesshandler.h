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
class BluetoothPasskeyDisplaySheet;
class BluetoothPinCodeSheet;
class SimpleSheet;

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

    // Chooses the method and begins; apart from construction so that the
    // process holds the handler before started() can be emitted.
    void start();

public Q_SLOTS:
    void pinCodeRequested(const Ovrin::BluetoothDevice &device);
    void passkeyRequested(const Ovrin::BluetoothDevice &device);
    void confirmationRequested(const Ovrin::BluetoothDevice &device, uint passkey);
    void passkeyDisplayRequested(const Ovrin::BluetoothDevice &device, uint passkey, uint entered);
    // The user's cancel: the attempt ends as "org.bluez.Canceled".
    void cancel();
    // BlueZ gave up its open request: the question goes, and the failure of
    // the creation that follows tells why.
    void requestCanceled();
    void deviceCreated(const Ovrin::BluetoothDevice &device);
    void deviceCreationFailed(const QString &reason);
    void hideWindows();
    void showPinCodeSheet();
    void showConfirmationSheet(uint passkey, bool showPasskey = true);
    void showPasskeyDisplaySheet(uint passkey, uint entered);

private:
    void startDeviceCreation();
    void startLegacyPairing();
    // The PIN the sheet offers for this device: the accessory PIN for audio.
    QString proposedPin() const;
    bool bluezTriesOwnPins() const;
    bool isOwnDevice(const BluetoothDevice &device, const char *what) const;
    // Each sheet answers for itself, whichever others are alive.
    void sheetAccepted(SimpleSheet *sheet);
    void sheetRejected(SimpleSheet *sheet);
    void watchSheet(SimpleSheet *sheet);
    bool isAnsweringRequest(SimpleSheet *sheet) const;
    // A PIN sheet that was accepted waits for the end of the attempt; a new
    // question from BlueZ takes its place.
    void closeAnsweredPinCodeSheet();
    void closeOpenQuestions();
    // Emits signal on the process; false when a receiver deleted the process
    // and this handler with it.
    bool tellProcess(void (BluetoothPairingProcess::*signal)());
    // Hides sheet, if any, and forgets it.
    template<typename Sheet> void closeSheet(QPointer<Sheet> &sheet);
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
    QPointer<BluetoothPasskeyDisplaySheet> m_passkeyDisplaySheet;
    RequestType m_requestType = NoRequest;
    QString m_providedPin;
    QString m_error;
    bool m_deviceCreationStarted = false;
    bool m_deviceCreated = false;
    bool m_finished = false;
    bool m_trusted = false;
    bool m_autoPairing = false;
    // BlueZ tries its fixed PINs first: the user is asked only if it asks.
    bool m_bluezTriesPins = false;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPAIRINGPROCESSHANDLER_H
