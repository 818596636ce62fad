#include "bluetoothagent.h"

#include "bluetoothagent_p.h"
#include "bluetoothagentrouter.h"
#include "daemoncallercheck.h"
#include "pairinglogging.h"

#include <QDBusConnection>
#include <QPointer>

namespace Ovrin {

namespace {
const QString rejected = QStringLiteral("org.bluez.Error.Rejected");
const QString canceled = QStringLiteral("org.bluez.Error.Canceled");
} // namespace

int BluetoothAgentPrivate::adapterNbr = 0;

BluetoothAgentPrivate::BluetoothAgentPrivate(BluetoothAgent *owner)
    : QDBusAbstractAdaptor(owner), owner(owner)
{
    setAutoRelaySignals(false);
}

BluetoothAgentPrivate::~BluetoothAgentPrivate()
{
    // BlueZ is never left waiting for an agent that is gone.
    cancelPendingRequests();
}

bool BluetoothAgentPrivate::fromBluez(const QDBusMessage &message) const
{
    return isCallFromDaemon(QDBusConnection::systemBus(), QStringLiteral("org.bluez"), message, rejected);
}

bool BluetoothAgentPrivate::hasRequestsOn(const QString &busName) const
{
    for (const Request *request : pendingRequests) {
        if (request->busName == busName)
            return true;
    }
    return false;
}

BluetoothDevice BluetoothAgentPrivate::addPendingRequest(RequestType type, const QDBusObjectPath &objPath,
                                                         const QDBusMessage &message,
                                                         const QDBusConnection &bus)
{
    message.setDelayedReply(true);
    auto *request = new Request { type, BluetoothDevice(objPath), message, bus.name() };
    pendingRequests.append(request);
    return request->device;
}

void BluetoothAgentPrivate::replyRequest(RequestType type, const BluetoothDevice &device, const QVariant &value,
                                         const QString &errorName)
{
    Request *match = nullptr;
    for (Request *request : std::as_const(pendingRequests)) {
        if ((type == AnyRequest || request->type == type) && request->device == device) {
            match = request;
            break;
        }
    }
    if (!match) {
        qCWarning(lcPairing, "No request for agent request type %d", int(type));
        return;
    }
    pendingRequests.removeAll(match);
    QDBusMessage reply;
    if (!errorName.isEmpty()) {
        reply = match->message.createErrorReply(errorName, QString());
    } else {
        reply = match->message.createReply();
        if (value.isValid())
            reply << value;
    }
    QDBusConnection(match->busName).send(reply);
    delete match;
}

void BluetoothAgentPrivate::cancelPendingRequests()
{
    while (!pendingRequests.isEmpty()) {
        Request *first = pendingRequests.first();
        replyRequest(first->type, first->device, QVariant(), canceled);
    }
    if (pendingModeChange)
        replyModeConfirmationMessage(canceled);
}

void BluetoothAgentPrivate::replyModeConfirmationMessage(const QString &errorName)
{
    if (!pendingModeChange) {
        qCWarning(lcPairing, "No pending mode change request to reply");
        return;
    }
    const QDBusMessage reply = errorName.isEmpty() ? pendingModeChange->createReply()
                                                   : pendingModeChange->createErrorReply(errorName, QString());
    QDBusConnection::systemBus().send(reply);
    delete pendingModeChange;
    pendingModeChange = nullptr;
}

// --- what BlueZ asks ---------------------------------------------------------

void BluetoothAgentPrivate::released()
{
    // A receiver may delete the agent; its destructor then answers everything.
    const QPointer<BluetoothAgent> alive(owner);
    Q_EMIT owner->release();
    if (alive)
        cancelPendingRequests();
}

void BluetoothAgentPrivate::cancelled()
{
    const QPointer<BluetoothAgent> alive(owner);
    Q_EMIT owner->cancel();
    if (alive)
        cancelPendingRequests();
}

void BluetoothAgentPrivate::askPinCode(const QDBusObjectPath &objPath, const QDBusMessage &message,
                                       const QDBusConnection &bus)
{
    agentCalled = true;
    const BluetoothDevice device = addPendingRequest(PinCodeRequest, objPath, message, bus);
    Q_EMIT owner->pinCodeRequested(device);
}

void BluetoothAgentPrivate::askPasskey(const QDBusObjectPath &objPath, const QDBusMessage &message,
                                       const QDBusConnection &bus)
{
    agentCalled = true;
    const BluetoothDevice device = addPendingRequest(PasskeyRequest, objPath, message, bus);
    Q_EMIT owner->passkeyRequested(device);
}

void BluetoothAgentPrivate::showPasskey(const QDBusObjectPath &objPath, uint passkey, uchar entered)
{
    agentCalled = true;
    // Nothing to answer: BlueZ does not wait for a reply, may tell again as
    // keys are typed, and ends it with the pairing.
    Q_EMIT owner->passkeyDisplayRequested(BluetoothDevice(objPath), passkey, entered);
}

void BluetoothAgentPrivate::askConfirmation(const QDBusObjectPath &objPath, uint passkey,
                                            const QDBusMessage &message, const QDBusConnection &bus)
{
    agentCalled = true;
    const BluetoothDevice device = addPendingRequest(ConfirmationRequest, objPath, message, bus);
    Q_EMIT owner->confirmationRequested(device, passkey);
}

void BluetoothAgentPrivate::askAuthorization(const QDBusObjectPath &objPath, const QString &uuid,
                                             const QDBusMessage &message,
                                             const QDBusConnection &bus)
{
    const BluetoothDevice device = addPendingRequest(AuthorizationRequest, objPath, message, bus);
    Q_EMIT owner->authorizationRequested(device, uuid);
}

// --- org.bluez.Agent --------------------------------------------------------

void BluetoothAgentPrivate::Release(const QDBusMessage &message)
{
    if (fromBluez(message))
        released();
}

void BluetoothAgentPrivate::Cancel(const QDBusMessage &message)
{
    if (fromBluez(message))
        cancelled();
}

QString BluetoothAgentPrivate::RequestPinCode(const QDBusObjectPath &objPath, const QDBusMessage &message)
{
    if (fromBluez(message))
        askPinCode(objPath, message, QDBusConnection::systemBus());
    return QString();
}

uint BluetoothAgentPrivate::RequestPasskey(const QDBusObjectPath &objPath, const QDBusMessage &message)
{
    if (fromBluez(message))
        askPasskey(objPath, message, QDBusConnection::systemBus());
    return 0;
}

void BluetoothAgentPrivate::DisplayPasskey(const QDBusObjectPath &objPath, uint passkey,
                                           const QDBusMessage &message)
{
    // Stock BlueZ 4 leaves out how many digits the remote side has typed.
    DisplayPasskey(objPath, passkey, 0, message);
}

void BluetoothAgentPrivate::DisplayPasskey(const QDBusObjectPath &objPath, uint passkey, uchar entered,
                                           const QDBusMessage &message)
{
    if (fromBluez(message))
        showPasskey(objPath, passkey, entered);
}

void BluetoothAgentPrivate::RequestConfirmation(const QDBusObjectPath &objPath, uint passkey,
                                                const QDBusMessage &message)
{
    if (fromBluez(message))
        askConfirmation(objPath, passkey, message, QDBusConnection::systemBus());
}

void BluetoothAgentPrivate::Authorize(const QDBusObjectPath &objPath, const QString &uuid,
                                      const QDBusMessage &message)
{
    if (fromBluez(message))
        askAuthorization(objPath, uuid, message, QDBusConnection::systemBus());
}

void BluetoothAgentPrivate::ConfirmModeChange(const QString &mode, const QDBusMessage &message)
{
    if (!fromBluez(message))
        return;
    // Only one mode change is open at a time: a newer one supersedes it.
    if (pendingModeChange)
        replyModeConfirmationMessage(canceled);
    message.setDelayedReply(true);
    pendingModeChange = new QDBusMessage(message);
    Q_EMIT owner->modeChangeConfirmationRequested(mode);
}

// --- public -----------------------------------------------------------------

BluetoothAgent::BluetoothAgent(QObject *parent) : QObject(parent), d_ptr(new BluetoothAgentPrivate(this))
{
    d_ptr->path = QStringLiteral("/com/brivo/btAgent/%1").arg(BluetoothAgentPrivate::adapterNbr++);
    QDBusConnection::systemBus().registerObject(d_ptr->path, this, QDBusConnection::ExportAdaptors);
    BluetoothAgentRouter::join(d_ptr);
}

BluetoothAgent::~BluetoothAgent()
{
    const QString path = d_ptr->path;
    BluetoothAgentRouter::leave(d_ptr);
    delete d_ptr;
    QDBusConnection::systemBus().unregisterObject(path);
}

QString BluetoothAgent::path() const
{
    return d_ptr->path;
}

bool BluetoothAgent::agentCalled() const
{
    return d_ptr->agentCalled;
}

void BluetoothAgent::providePinCode(BluetoothDevice device, QString code)
{
    d_ptr->replyRequest(BluetoothAgentPrivate::PinCodeRequest, device, code, QString());
}

void BluetoothAgent::providePasskey(BluetoothDevice device, uint passkey)
{
    d_ptr->replyRequest(BluetoothAgentPrivate::PasskeyRequest, device, passkey, QString());
}

void BluetoothAgent::confirmPasskey(BluetoothDevice device)
{
    d_ptr->replyRequest(BluetoothAgentPrivate::ConfirmationRequest, device, QVariant(), QString());
}

void BluetoothAgent::authorizeDevice(BluetoothDevice device)
{
    d_ptr->replyRequest(BluetoothAgentPrivate::AuthorizationRequest, device, QVariant(), QString());
}

void BluetoothAgent::rejectDevice(BluetoothDevice device)
{
    d_ptr->replyRequest(BluetoothAgentPrivate::AnyRequest, device, QVariant(), rejected);
}

void BluetoothAgent::confirmModeChange()
{
    d_ptr->replyModeConfirmationMessage(QString());
}

void BluetoothAgent::rejectModeChange()
{
    d_ptr->replyModeConfirmationMessage(rejected);
}

} // namespace Ovrin
