#include "bluez5pairing.h"

#include "agentdialogue.h"
#include "bluez5device.h"
#include "bluez5errors.h"

#include <QDBusObjectPath>
#include <QTimer>

#include <utility>

namespace {

uint majorClass(const DeviceSpec &spec)
{
    return spec.deviceClass ? (*spec.deviceClass & 0x1f00) >> 8 : 0;
}

// bluetoothd's autopair plugin, for pairings it starts: a legacy headset,
// hands-free, headphones, portable or hi-fi audio device is tried with the
// usual fixed PINs, in this order, before anyone is asked...
QStringList pluginPins(const DeviceSpec &spec)
{
    static const QList<uint> audioMinors { 0x01, 0x02, 0x06, 0x07, 0x0a };
    if (majorClass(spec) != 0x04 || !audioMinors.contains((*spec.deviceClass & 0xfc) >> 2))
        return {};
    return { QStringLiteral("0000"), QStringLiteral("1234"), QStringLiteral("1111") };
}

// ...and a legacy keyboard gets a PIN of the plugin's to type, shown with DisplayPinCode.
bool typesDisplayedPin(const DeviceSpec &spec)
{
    return majorClass(spec) == 0x05 && (*spec.deviceClass & 0x40);
}

} // namespace

Bluez5Pairing::Bluez5Pairing(Bluez5Device *device, const SimCall &call,
                             const AgentClient::Target &agent, const QString &capability,
                             ControlledAdapter::Done done)
    : QObject(device)
    , m_device(device)
    , m_call(call)
    , m_agent(agent)
    , m_capability(capability)
    , m_done(std::move(done))
{
}

Bluez5Pairing::~Bluez5Pairing()
{
    unpair();
    if (m_request)
        m_device->agents()->forget(m_request);
    // Deleted unfinished (a scenario reload): nobody is left waiting.
    if (!m_finished)
        m_call.replyError(BluezError::failed(), QStringLiteral("Simulator reset"));
}

void Bluez5Pairing::after(int ms, std::function<void()> fn)
{
    const int generation = m_generation;
    QTimer::singleShot(ms, this, [this, generation, fn]() {
        if (generation == m_generation && !m_finished)
            fn();
    });
}

void Bluez5Pairing::start()
{
    const Timing &timing = m_device->timing();
    // Pair does not check the power; the kernel fails it.
    if (!m_device->isAdapterPowered()) {
        after(timing.linkMs, [this]() { fail(BluezError::AuthenticationFailed); });
        return;
    }
    if (!m_device->spec().inRange) {
        after(timing.pageTimeoutMs, [this]() { fail(BluezError::ConnectionAttemptFailed); });
        return;
    }
    after(timing.linkMs, [this]() { linkUp(); });
    // A remote that is a controller of ours answers with a pairing of its own.
    if (!isIncoming())
        m_device->pairingReachesRemote(this);
}

void Bluez5Pairing::remoteRefused(const QString &errorName)
{
    // The remote did not take the link, or took it and refused at once.
    ++m_generation;
    const BluezError::Error error = BluezError::remoteRefusal(errorName);
    const bool paged = qstrcmp(error.name, BluezError::ConnectionAttemptFailed.name) == 0;
    const Timing &timing = m_device->timing();
    after(paged ? timing.pageTimeoutMs : timing.linkMs, [this, error]() { fail(error); });
}

void Bluez5Pairing::linkUp()
{
    m_device->setConnected(true);
    after(m_device->spec().pairing.delayMs, [this]() { runMethod(); });
}

void Bluez5Pairing::runMethod()
{
    const PairingSpec &pairing = m_device->spec().pairing;
    QString method = pairing.method;
    // Without input or output on our side, Secure Simple Pairing is just works.
    if (m_capability == QLatin1String("NoInputNoOutput")
        && AgentDialogue::isSecureSimplePairing(method))
        method = QStringLiteral("none");
    const QVariant path = QVariant::fromValue(QDBusObjectPath(m_device->path()));
    // A legacy pairing we start may be settled by the autopair plugin.
    const bool byPlugin = method == QLatin1String("pin") && !isIncoming();
    if (method == QLatin1String("display")) {
        remoteTyped(0);
    } else if (byPlugin && !pluginPins(m_device->spec()).isEmpty()) {
        tryPluginPin(0);
    } else if (byPlugin && typesDisplayedPin(m_device->spec())) {
        displayPinCode();
    } else if (method == QLatin1String("none")) {
        // Just works started here needs nobody; started by the remote it asks the agent.
        if (isIncoming())
            askAgent(QStringLiteral("RequestAuthorization"), { path });
        else
            ourSideAnswered(true);
    } else {
        askAgentForMethod();
    }
}

void Bluez5Pairing::askAgentForMethod()
{
    const AgentDialogue::Request ask =
        AgentDialogue::requestFor(m_device->spec().pairing, m_device->path());
    askAgent(ask.member, ask.args);
}

void Bluez5Pairing::tryPluginPin(int attempt)
{
    const QStringList pins = pluginPins(m_device->spec());
    if (attempt >= pins.size()) {
        askAgentForMethod();
        return;
    }
    // A remote that expects no particular PIN takes the first.
    const QString &expected = m_device->spec().pairing.pin;
    if (expected.isEmpty() || expected == pins[attempt]) {
        remoteAgreed();
        return;
    }
    // The kernel fails this bonding; bluetoothd retries with the next PIN a while later.
    after(m_device->timing().autopairRetryMs, [this, attempt]() { tryPluginPin(attempt + 1); });
}

void Bluez5Pairing::remoteTyped(uint entered)
{
    // DisplayPasskey goes out without a reply and is never followed by Cancel.
    const PairingSpec &pairing = m_device->spec().pairing;
    if (m_agent.isValid()) {
        m_device->agents()->notify(m_agent, QStringLiteral("DisplayPasskey"),
                                   { QVariant::fromValue(QDBusObjectPath(m_device->path())),
                                     pairing.passkey, QVariant::fromValue(quint16(entered)) });
    }
    const int linkMs = m_device->timing().linkMs;
    if (pairing.keypresses && entered < 6) {
        after(linkMs, [this, entered]() { remoteTyped(entered + 1); });
        return;
    }
    after(linkMs, [this]() { remoteAgreed(); });
}

void Bluez5Pairing::displayPinCode()
{
    // The remote must type what the plugin chose; the scenario's PIN if it names one.
    const PairingSpec &pairing = m_device->spec().pairing;
    const QString pin = pairing.pin.isEmpty()
        ? QStringLiteral("%1").arg(pairing.passkey % 1000000, 6, 10, QLatin1Char('0'))
        : pairing.pin;
    const QVariant path = QVariant::fromValue(QDBusObjectPath(m_device->path()));
    if (!m_agent.isValid() || m_device->agents()->hasPendingRequest(m_agent)) {
        fail(BluezError::AuthenticationFailed);
        return;
    }
    // The PIN is used even if the agent answers with an error.
    m_request = m_device->agents()->request(
        m_agent, QStringLiteral("DisplayPinCode"), { path, pin }, [this](const QDBusMessage &) {
            m_request = 0;
            after(m_device->timing().linkMs, [this]() { remoteAgreed(); });
        });
}

void Bluez5Pairing::askAgent(const QString &member, const QVariantList &args)
{
    AgentClient *agents = m_device->agents();
    // No agent, or one busy with another request: the request is refused.
    if (!m_agent.isValid() || agents->hasPendingRequest(m_agent)) {
        ourSideAnswered(false);
        return;
    }
    m_request = agents->request(m_agent, member, args, [this, member](const QDBusMessage &reply) {
        m_request = 0;
        agentAnswered(reply, member);
    });
}

void Bluez5Pairing::agentAnswered(const QDBusMessage &reply, const QString &member)
{
    switch (AgentDialogue::judge(m_device->spec().pairing, reply)) {
    case AgentDialogue::Verdict::Accepted:
        ourSideAnswered(true);
        return;
    case AgentDialogue::Verdict::TimedOut:
        // The kernel gets a negative reply; confirmations also hear Cancel.
        if (member != QLatin1String("RequestPinCode") && member != QLatin1String("RequestPasskey"))
            m_device->agents()->notify(m_agent, QStringLiteral("Cancel"));
        if (m_peer)
            ourSideAnswered(false);
        else
            fail(BluezError::AuthenticationTimeout);
        return;
    case AgentDialogue::Verdict::Refused:
    case AgentDialogue::Verdict::WrongSecret:
        // bluetoothd ignores the error's name: any refusal fails the same way.
        ourSideAnswered(false);
        return;
    }
}

void Bluez5Pairing::pairWith(Bluez5Pairing *peer)
{
    unpair();
    peer->unpair();
    m_peer = peer;
    peer->m_peer = this;
}

Bluez5Pairing *Bluez5Pairing::unpair()
{
    Bluez5Pairing *peer = std::exchange(m_peer, nullptr);
    if (peer)
        peer->m_peer = nullptr;
    return peer;
}

void Bluez5Pairing::ourSideAnswered(bool agreed)
{
    m_answer = agreed ? Answer::Yes : Answer::No;
    if (!m_peer) {
        if (agreed)
            remoteAgreed();
        else
            fail(BluezError::AuthenticationFailed);
        return;
    }
    // The controllers settle the pairing once both users have answered,
    // whoever said No first: the other side's question stays open until then.
    if (m_peer->m_answer == Answer::None)
        return;
    Bluez5Pairing *peer = unpair();
    if (agreed && peer->m_answer == Answer::Yes) {
        peer->remoteAgreed();
        remoteAgreed();
    } else {
        peer->fail(BluezError::AuthenticationFailed);
        fail(BluezError::AuthenticationFailed);
    }
}

void Bluez5Pairing::remoteAgreed()
{
    const QString &refusal = m_device->spec().pairing.error;
    if (!refusal.isEmpty()) {
        fail(BluezError::remoteRefusal(refusal));
        return;
    }
    bonded();
}

void Bluez5Pairing::bonded()
{
    // The key is stored now; Paired is told only once services are resolved.
    m_bonded = true;
    m_device->setBonded(true);
    after(m_device->timing().sdpMs, [this]() { servicesResolved(); });
}

void Bluez5Pairing::servicesResolved()
{
    m_device->resolveServices();
    m_device->setPaired(true);
    // Also a pairing the remote started keeps the device now.
    m_device->setTemporary(false);
    m_call.reply();
    m_device->linkAfterPairing();
    finish(QString());
}

void Bluez5Pairing::cancelAgentRequest()
{
    if (!m_request)
        return;
    m_device->agents()->forget(m_request);
    m_request = 0;
    m_device->agents()->notify(m_agent, QStringLiteral("Cancel"));
}

void Bluez5Pairing::fail(const QString &errorName, const QString &text)
{
    if (m_finished)
        return;
    ++m_generation;
    // Parted first: what the link's end sets off may reach the other side.
    Bluez5Pairing *peer = unpair();
    cancelAgentRequest();
    m_call.replyError(errorName, text);
    m_device->pairingFailed();
    finish(errorName);
    // The kernel of the other end hears the pairing failed.
    if (peer)
        peer->fail(BluezError::AuthenticationFailed);
}

void Bluez5Pairing::callerLeft()
{
    ++m_generation;
    Bluez5Pairing *peer = unpair();
    cancelAgentRequest();
    m_call = SimCall();
    m_device->pairingFailed();
    finish(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"));
    if (peer)
        peer->fail(BluezError::AuthenticationFailed);
}

void Bluez5Pairing::finish(const QString &errorName)
{
    if (m_finished)
        return;
    m_finished = true;
    unpair();
    if (m_done)
        m_done(errorName);
    m_device->pairingFinished(this);
}
