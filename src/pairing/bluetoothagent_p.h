#ifndef OVRIN_BLUETOOTHAGENT_P_H
#define OVRIN_BLUETOOTHAGENT_P_H

#include "bluetoothagent.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>

namespace Ovrin {

class BluetoothAgentPrivate : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent")
public:
    enum RequestType {
        PinCodeRequest = 0,
        PasskeyRequest = 1,
        ConfirmationRequest = 2,
        AuthorizationRequest = 3,
        AnyRequest = 4
    };

    struct Request
    {
        RequestType type;
        BluetoothDevice device;
        QDBusMessage message;
        // The connection BlueZ asked on, which carries the answer.
        QString busName;
    };

    explicit BluetoothAgentPrivate(BluetoothAgent *owner);
    ~BluetoothAgentPrivate() override;

    BluetoothDevice addPendingRequest(RequestType type, const QDBusObjectPath &objPath,
                                      const QDBusMessage &message, const QDBusConnection &bus);
    void replyRequest(RequestType type, const BluetoothDevice &device, const QVariant &value,
                      const QString &errorName);
    void cancelPendingRequests();
    void replyModeConfirmationMessage(const QString &errorName);
    // Only the daemon may ask the user anything in BlueZ's name; anyone else
    // is refused at once.
    bool fromBluez(const QDBusMessage &message) const;
    bool hasRequestsOn(const QString &busName) const;

    // What BlueZ asks, once its caller is checked, on the connection it came
    // on: the D-Bus slots below and BlueZ 5's router both end here.
    void askPinCode(const QDBusObjectPath &objPath, const QDBusMessage &message,
                    const QDBusConnection &bus);
    void askPasskey(const QDBusObjectPath &objPath, const QDBusMessage &message,
                    const QDBusConnection &bus);
    void showPasskey(const QDBusObjectPath &objPath, uint passkey, uchar entered);
    void askConfirmation(const QDBusObjectPath &objPath, uint passkey, const QDBusMessage &message,
                         const QDBusConnection &bus);
    void askAuthorization(const QDBusObjectPath &objPath, const QString &uuid,
                          const QDBusMessage &message, const QDBusConnection &bus);
    void released();
    void cancelled();

    BluetoothAgent *owner;
    QList<Request *> pendingRequests;
    QDBusMessage *pendingModeChange = nullptr;
    bool agentCalled = false;
    QString path;

    static int adapterNbr;

public Q_SLOTS:
    void Release(const QDBusMessage &message);
    void Cancel(const QDBusMessage &message);
    QString RequestPinCode(const QDBusObjectPath &objPath, const QDBusMessage &message);
    uint RequestPasskey(const QDBusObjectPath &objPath, const QDBusMessage &message);
    void DisplayPasskey(const QDBusObjectPath &objPath, uint passkey, const QDBusMessage &message);
    void DisplayPasskey(const QDBusObjectPath &objPath, uint passkey, uchar entered,
                        const QDBusMessage &message);
    void RequestConfirmation(const QDBusObjectPath &objPath, uint passkey, const QDBusMessage &message);
    void Authorize(const QDBusObjectPath &objPath, const QString &uuid, const QDBusMessage &message);
    void ConfirmModeChange(const QString &mode, const QDBusMessage &message);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHAGENT_P_H
