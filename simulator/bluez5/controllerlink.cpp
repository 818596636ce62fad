#include "controllerlink.h"

#include "bluez5adapter.h"
#include "bluez5device.h"
#include "bluez5pairing.h"

#include <QPointer>

#include <memory>

namespace {

// How strong the emulated controllers hear each other.
constexpr qint16 emulatedRssi = -40;

} // namespace

ControllerLink::ControllerLink(Bluez5Adapter *first, Bluez5Adapter *second, QObject *parent)
    : QObject(parent)
    , m_first(first)
    , m_second(second)
{
    for (Bluez5Adapter *adapter : { first, second }) {
        connect(adapter, &Bluez5Adapter::radioChanged, this,
                [this, adapter]() { showTo(other(adapter), adapter); });
        connect(adapter, &Bluez5Adapter::linkChanged, this,
                [this, adapter](const QString &address) { mirrorLink(adapter, address); });
        connect(adapter, &Bluez5Adapter::pairingReachesRemote, this,
                [this, adapter](const QString &address, Bluez5Pairing *pairing) {
                    answerPairing(adapter, address, pairing);
                });
        showTo(other(adapter), adapter);
    }
}

Bluez5Adapter *ControllerLink::other(Bluez5Adapter *adapter) const
{
    return adapter == m_first ? m_second : m_first;
}

Bluez5Adapter *ControllerLink::adapter(const QString &address) const
{
    for (Bluez5Adapter *adapter : { m_first, m_second }) {
        if (adapter->address().compare(address, Qt::CaseInsensitive) == 0)
            return adapter;
    }
    return nullptr;
}

void ControllerLink::showTo(Bluez5Adapter *observer, Bluez5Adapter *radio)
{
    const AdapterSpec &shown = radio->world().adapter;
    DeviceSpec &peer = observer->world().devices[shown.address];
    const DeviceSpec before = peer;
    peer.address = shown.address;
    peer.name = radio->alias();
    peer.deviceClass = shown.deviceClass;
    peer.rssi = emulatedRssi;
    // Page scan is on while powered, inquiry scan only while discoverable too.
    peer.inRange = radio->isPowered();
    peer.discoverable = shown.discoverable;
    peer.nameInInquiry = true;
    peer.uuids = shown.uuids;
    peer.eirUuids = shown.uuids;
    // Both sides KeyboardDisplay with SSP: numeric comparison, and the emulated
    // controllers' value is always 0.
    peer.pairing.method = QStringLiteral("confirm");
    peer.pairing.passkey = 0;
    if (!peer.inRange)
        peer.connected = false;
    observer->deviceChanged(peer.address, before);
}

void ControllerLink::mirrorLink(Bluez5Adapter *from, const QString &address)
{
    Bluez5Adapter *to = other(from);
    if (address != to->address())
        return;
    const DeviceSpec *mine = from->world().device(address);
    DeviceSpec *theirs = to->world().device(from->address());
    if (!mine || !theirs)
        return;
    const DeviceSpec before = *theirs;
    theirs->connected = mine->connected;
    // An incoming link makes a device object; a new bond is stored on both
    // sides (by the other side's own pairing if it runs one). Removing the
    // device on one side leaves the other's key alone.
    const Bluez5Device *object = to->device(from->address());
    theirs->known = theirs->known || mine->connected;
    if (!object || !object->pairing())
        theirs->paired = theirs->paired || mine->paired;
    if (!theirs->connected)
        theirs->audioState = QStringLiteral("disconnected");
    to->deviceChanged(theirs->address, before);
}

void ControllerLink::secure(Bluez5Adapter *from, Bluez5Adapter *to, ControlledAdapter::Done done)
{
    const DeviceSpec *sender = to->world().device(from->address());
    if (sender && sender->paired) {
        done(QString());
        return;
    }
    // The initiator asks for no man-in-the-middle protection on such a link:
    // just works, which bluetoothd puts to the receiving side's default agent.
    startResponder(from, to, QStringLiteral("none"), std::move(done));
}

void ControllerLink::answerPairing(Bluez5Adapter *from, const QString &address,
                                   Bluez5Pairing *pairing)
{
    Bluez5Adapter *to = other(from);
    if (address != to->address())
        return;
    // Numeric comparison on both sides; an initiator without input or output
    // makes it just works, put to the receiving user as an authorization.
    const bool comparison = pairing->capability() != QLatin1String("NoInputNoOutput");
    // Once both run, each side tells the other how it ended; only a refusal
    // before the responder asked anyone (no link, no pairing taken) is told here.
    auto started = std::make_shared<bool>(false);
    QPointer<Bluez5Pairing> initiator(pairing);
    startResponder(from, to, comparison ? QStringLiteral("confirm") : QStringLiteral("none"),
                   [initiator, started](const QString &error) {
                       if (!*started && initiator && !error.isEmpty())
                           initiator->remoteRefused(error);
                   });
    *started = true;
    Bluez5Device *responder = to->device(from->address());
    if (initiator && responder && responder->pairing())
        pairing->pairWith(responder->pairing());
}

void ControllerLink::startResponder(Bluez5Adapter *from, Bluez5Adapter *to, const QString &method,
                                    ControlledAdapter::Done done)
{
    to->world().devices[from->address()].pairing.method = method;
    QPointer<ControllerLink> self(this);
    to->startIncomingPairing(from->address(), [self, from, to, done](const QString &error) {
        if (self)
            self->showTo(to, from);
        done(error);
    });
}
