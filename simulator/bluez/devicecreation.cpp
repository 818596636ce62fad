#include "devicecreation.h"

#include "agentdialogue.h"
#include "simdevice.h"

#include <QDBusObjectPath>
#include <QTimer>

namespace {

const QString noReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");
const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
constexpr BluezError::Error hostDown { "org.bluez.Error.Failed", "Host is down" };

} // namespace

DeviceCreation::DeviceCreation(SimAdapter *adapter, Kind kind, const QString &address,
                               const SimCall &call, const AgentClient::Target &agent,
                               const QString &capability, SimAdapter::Done done)
    : QObject(adapter)
    , m_adapter(adapter)
    , m_kind(kind)
    , m_address(address)
    , m_call(call)
    , m_agent(agent)
    , m_capability(capability)
    , m_done(std::move(done))
{
}

DeviceCreation::~DeviceCreation()
{
    if (m_request)
        m_adapter->agents()->forget(m_request);
    // Deleted unfinished (a scenario reload): nobody is left waiting.
    if (!m_finished) {
        m_call.replyError(BluezError::failed(), QStringLiteral("Simulator reset"));
        for (const SimCall &cancelCall : std::as_const(m_cancelCalls))
            cancelCall.reply();
    }
}

SimDevice *DeviceCreation::device() const
{
    return m_adapter->device(m_address);
}

const DeviceSpec &DeviceCreation::spec() const
{
    return *m_adapter->world().device(m_address);
}

void DeviceCreation::after(int ms, std::function<void()> fn)
{
    const int generation = m_generation;
    QTimer::singleShot(ms, this, [this, generation, fn]() {
        if (generation != m_generation || m_finished)
            return;
        if (!device())
            linkLost();
        else
            fn();
    });
}

void DeviceCreation::start()
{
    // Whatever removes the object (a Disconnect of the new link, say) ends the creation.
    connect(device(), &QObject::destroyed, this, [this]() { linkLost(); });
    const Timing &timing = m_adapter->timing();
    if (!spec().inRange) {
        after(timing.pageTimeoutMs, [this]() {
            fail(m_kind == Kind::Create ? hostDown : BluezError::ConnectionAttemptFailed);
        });
        return;
    }
    after(timing.linkMs, [this]() { linkUp(); });
}

void DeviceCreation::linkUp()
{
    m_linked = true;
    device()->setConnected(true);
    if (m_kind == Kind::Create) {
        after(m_adapter->timing().sdpMs, [this]() { servicesResolved(); });
        return;
    }
    after(spec().pairing.delayMs, [this]() {
        QString method = spec().pairing.method;
        if (m_capability == QLatin1String("NoInputNoOutput")
            && AgentDialogue::isSecureSimplePairing(method))
            method = QStringLiteral("none");
        if (method == QLatin1String("display")) {
            remoteTyped(0);
        } else if (method == QLatin1String("none")) {
            remoteAgreed();
        } else {
            askAgent(m_agent, false);
        }
    });
}

void DeviceCreation::remoteTyped(uchar entered)
{
    // Fire and forget: the remote side types the number, and a keyboard that
    // reports its keypresses has it told again for each digit.
    if (m_agent.isValid()) {
        m_adapter->agents()->notify(m_agent, QStringLiteral("DisplayPasskey"),
                                    { QVariant::fromValue(QDBusObjectPath(device()->path())),
                                      spec().pairing.passkey, QVariant::fromValue(entered) });
    }
    if (spec().pairing.keypresses && entered < 6) {
        after(m_adapter->timing().linkMs, [this, entered]() { remoteTyped(entered + 1); });
        return;
    }
    after(m_adapter->timing().linkMs, [this]() { remoteAgreed(); });
}

void DeviceCreation::askAgent(const AgentClient::Target &agent, bool fallback)
{
    AgentClient *agents = m_adapter->agents();
    // No agent, or an agent still busy with another request: refused.
    if (!agent.isValid() || agents->hasPendingRequest(agent)) {
        fail(BluezError::AuthenticationRejected);
        return;
    }
    const AgentDialogue::Request ask = AgentDialogue::requestFor(spec().pairing, device()->path());
    m_requestAgent = agent;
    m_request = agents->request(agent, ask.member, ask.args,
                                [this, agent, fallback](const QDBusMessage &reply) {
                                    m_request = 0;
                                    agentAnswered(reply, agent, fallback);
                                });
}

void DeviceCreation::agentAnswered(const QDBusMessage &reply, const AgentClient::Target &agent,
                                   bool fallback)
{
    // The link may have gone while the agent was thinking.
    if (!device()) {
        linkLost();
        return;
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // A request that timed out is abandoned with Cancel.
        if (reply.errorName() == noReply)
            m_adapter->agents()->notify(agent, QStringLiteral("Cancel"));
        if (canFallBack(reply, agent, fallback)) {
            askAgent(m_adapter->defaultAgent(), true);
            return;
        }
    }
    if (auto error = judge(reply)) {
        fail(*error);
        return;
    }
    remoteAgreed();
}

bool DeviceCreation::canFallBack(const QDBusMessage &reply, const AgentClient::Target &agent,
                                 bool fallback) const
{
    const AgentClient::Target defaultAgent = m_adapter->defaultAgent();
    return m_kind == Kind::CreatePaired && !fallback
            && (reply.errorName() == noReply || reply.errorName() == unknownMethod)
            && defaultAgent.isValid()
            && !(defaultAgent == agent);
}

std::optional<BluezError::Error> DeviceCreation::judge(const QDBusMessage &reply) const
{
    // bluetoothd 4 rejects a refused PIN, and fails a refused confirmation.
    const bool legacy = spec().pairing.method == QLatin1String("pin");
    switch (AgentDialogue::judge(spec().pairing, reply)) {
    case AgentDialogue::Verdict::Accepted:
        return std::nullopt;
    case AgentDialogue::Verdict::TimedOut:
        return BluezError::AuthenticationTimeout;
    case AgentDialogue::Verdict::Refused:
        return legacy ? BluezError::AuthenticationRejected : BluezError::AuthenticationFailed;
    case AgentDialogue::Verdict::WrongSecret:
        break;
    }
    return BluezError::AuthenticationFailed;
}

void DeviceCreation::remoteAgreed()
{
    const PairingSpec &pairing = spec().pairing;
    if (!pairing.error.isEmpty()) {
        fail(pairing.error, QStringLiteral("Remote device refused pairing"));
        return;
    }
    paired();
}

void DeviceCreation::paired()
{
    SimDevice *dev = device();
    dev->setTemporary(false);
    dev->setPaired(true);
    releaseAgent();
    if (m_kind == Kind::Incoming) {
        // Reverse service discovery runs a little later, outside the pairing.
        QTimer::singleShot(m_adapter->timing().sdpMs, dev, [dev]() {
            dev->resolveServices();
            dev->scheduleIdleDrop();
        });
        finish(QString());
        return;
    }
    after(m_adapter->timing().sdpMs, [this]() { servicesResolved(); });
}

void DeviceCreation::servicesResolved()
{
    SimDevice *dev = device();
    dev->resolveServices();
    dev->spec().known = true;
    dev->setTemporary(false);
    m_call.reply({ QVariant::fromValue(QDBusObjectPath(dev->path())) });
    dev->scheduleIdleDrop();
    finish(QString());
}

void DeviceCreation::cancelPendingRequest(bool notifyAgent)
{
    if (!m_request)
        return;
    m_adapter->agents()->forget(m_request);
    m_request = 0;
    if (notifyAgent)
        m_adapter->agents()->notify(m_requestAgent, QStringLiteral("Cancel"));
}

void DeviceCreation::releaseAgent()
{
    // Once: after pairing it already went out before service discovery.
    if (m_kind != Kind::CreatePaired || m_released)
        return;
    m_released = true;
    m_adapter->agents()->notify(m_agent, QStringLiteral("Release"));
}

void DeviceCreation::fail(const QString &errorName, const QString &text)
{
    if (m_finished)
        return;
    ++m_generation;
    cancelPendingRequest(true);
    m_call.replyError(errorName, text);
    releaseAgent();
    if (SimDevice *dev = device()) {
        dev->dropLink();
        if (dev->isTemporary())
            m_adapter->removeDeviceObject(m_address);
    }
    finish(errorName);
}

void DeviceCreation::cancel(const SimCall &cancelCall)
{
    m_cancelCalls.append(cancelCall);
    // A second cancel waits for the disconnect the first one asked for.
    if (m_cancelling)
        return;
    m_cancelling = true;
    ++m_generation;
    SimDevice *dev = device();
    if (!dev) {
        linkLost();
        return;
    }
    dev->setTemporary(true);
    cancelPendingRequest(true);
    if (!m_linked) {
        fail(BluezError::ConnectionAttemptFailed);
        return;
    }
    dev->emitSignal(QStringLiteral("org.bluez.Device"), QStringLiteral("DisconnectRequested"), {});
    after(m_adapter->timing().disconnectMs, [this]() { fail(BluezError::AuthenticationCanceled); });
}

void DeviceCreation::linkLost()
{
    // As when the remote ends the link: a pairing counts as cancelled.
    fail(m_kind == Kind::Create ? hostDown : BluezError::AuthenticationCanceled);
}

void DeviceCreation::abort()
{
    fail(BluezError::AuthenticationCanceled);
}

void DeviceCreation::creatorLeft()
{
    ++m_generation;
    // The creator's own agent is gone with it; another agent still hears Cancel.
    cancelPendingRequest(m_requestAgent.owner != creator());
    m_call = SimCall();
    if (SimDevice *dev = device()) {
        dev->dropLink();
        if (dev->isTemporary())
            m_adapter->removeDeviceObject(m_address);
    }
    finish(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"));
}

void DeviceCreation::finish(const QString &errorName)
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_done)
        m_done(errorName);
    for (const SimCall &cancelCall : std::as_const(m_cancelCalls))
        cancelCall.reply();
    m_adapter->creationFinished(this);
}
