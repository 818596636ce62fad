#ifndef PAIRINGRESPONDER_H
#define PAIRINGRESPONDER_H

#include <QObject>
#include <QPointer>

#include <memory>

namespace Ovrin {
class BluetoothAdapter;
class BluetoothAgent;
class BluetoothDevice;
} // namespace Ovrin
class OrvelSceneWindow;

// The system component that answers BlueZ when nobody else does: the
// default agent, which asks the user about pairings that remote devices
// start and about services untrusted devices want to use. BlueZ also wants
// a default agent before it grants obexd a session for sending files.
class PairingResponder : public QObject
{
    Q_OBJECT

public:
    explicit PairingResponder(QObject *parent = nullptr);
    ~PairingResponder() override;

private:
    void registerWithBluez();
    void askForCode(const Ovrin::BluetoothDevice &device, bool passkey);
    void askToConfirm(const Ovrin::BluetoothDevice &device, uint passkey);
    void askToAuthorize(const Ovrin::BluetoothDevice &device);
    void showPasskey(const Ovrin::BluetoothDevice &device, uint passkey, uint entered);
    void show(OrvelSceneWindow *window);
    void closeQuestion();

    std::unique_ptr<Ovrin::BluetoothAdapter> m_adapter;
    Ovrin::BluetoothAgent *m_agent;
    QPointer<OrvelSceneWindow> m_question;
    // The keyboard whose passkey is on screen: its pairing's end closes it.
    std::unique_ptr<Ovrin::BluetoothDevice> m_typingDevice;
};

#endif // PAIRINGRESPONDER_H
