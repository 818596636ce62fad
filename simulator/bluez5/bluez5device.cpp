#include "bluez5device.h"

#include "agentmanager.h"
#include "bluez5adapter.h"
#include "bluez5errors.h"
#include "bluez5pairing.h"
#include "simdevice.h"

#include <QDBusObjectPath>

namespace {
const QString device1 = QStringLiteral("org.bluez.Device1");
} // namespace

Bluez5Device::Bluez5Device(Bluez5Adapter *adapter, DeviceSpec &spec, const QString &path,
                           bool temporary)
    : PropertyObject(path, device1, adapter->batcher())
    , m_adapter(adapter)
    , m_spec(&spec)
    , m_temporary(temporary)
    // bluetoothd has the names of the devices it stored; others wait for a report.
    , m_nameKnown(!temporary)
    , m_bonded(spec.paired)
    , m_uuidsKnown(spec.paired || spec.known)
    , m_servicesResolved(spec.connected && m_uuidsKnown)
{
    m_spec->known = m_spec->known || !temporary;
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, [this]() { m_adapter->expire(this); });
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this]() {
        // Something still uses the link: it stays.
        if (m_spec->audioState == QLatin1String("disconnected") && !m_pairing
            && m_connectCall.isNull())
            setConnected(false);
    });

    auto add = [this](const char *member, const char *signature,
                      void (Bluez5Device::*handler)(const SimCall &)) {
        addMethod(device1, QLatin1String(member), QLatin1String(signature),
                  [this, handler](const SimCall &call) { (this->*handler)(call); });
    };
    add("Pair", "", &Bluez5Device::pair);
    add("CancelPairing", "", &Bluez5Device::cancelPairing);
    add("Connect", "", &Bluez5Device::connectDevice);
    add("ConnectProfile", "s", &Bluez5Device::connectDevice);
    add("Disconnect", "", &Bluez5Device::disconnectDevice);
    add("DisconnectProfile", "s", &Bluez5Device::disconnectProfile);
    auto writable = [this](const char *name, int type,
                           void (Bluez5Device::*setter)(const SimCall &, const QVariant &)) {
        addWritable(QLatin1String(name), type,
                    [this, setter](const SimCall &call, const QVariant &value) {
                        (this->*setter)(call, value);
                    });
    };
    writable("Alias", QMetaType::QString, &Bluez5Device::setAlias);
    writable("Trusted", QMetaType::Bool, &Bluez5Device::setTrusted);
    writable("Blocked", QMetaType::Bool, &Bluez5Device::setBlocked);
    restartExpiry();
}

Bluez5Device::~Bluez5Device()
{
    delete m_pairing;
}

const Timing &Bluez5Device::timing() const
{
    return m_adapter->world().timing;
}

AgentClient *Bluez5Device::agents() const
{
    return m_adapter->agents();
}

bool Bluez5Device::isAdapterPowered() const
{
    return m_adapter->isPowered();
}

// --- properties -------------------------------------------------------------

QString Bluez5Device::alias(const DeviceSpec &spec) const
{
    if (!spec.alias.isEmpty())
        return spec.alias;
    if (m_nameKnown && !spec.name.isEmpty())
        return spec.name;
    return QString(spec.address).replace(QLatin1Char(':'), QLatin1Char('-'));
}

QVariantMap Bluez5Device::propertiesOf(const DeviceSpec &spec) const
{
    QVariantMap map { { QStringLiteral("Address"), spec.address },
                      { QStringLiteral("AddressType"),
                        spec.le ? QStringLiteral("random") : QStringLiteral("public") },
                      { QStringLiteral("Alias"), alias(spec) },
                      { QStringLiteral("Paired"), spec.paired },
                      { QStringLiteral("Bonded"), m_bonded || spec.paired },
                      { QStringLiteral("Trusted"), spec.trusted },
                      { QStringLiteral("Blocked"), spec.blocked },
                      { QStringLiteral("LegacyPairing"), spec.legacyPairing },
                      { QStringLiteral("Connected"), spec.connected },
                      { QStringLiteral("UUIDs"), m_uuidsKnown ? spec.uuids : spec.eirUuids },
                      { QStringLiteral("Adapter"),
                        QVariant::fromValue(QDBusObjectPath(m_adapter->path())) },
                      { QStringLiteral("ServicesResolved"), m_servicesResolved } };
    // Present only when known, as in bluetoothd.
    if (m_nameKnown && !spec.name.isEmpty())
        map.insert(QStringLiteral("Name"), spec.name);
    if (spec.deviceClass && *spec.deviceClass != 0) {
        map.insert(QStringLiteral("Class"), *spec.deviceClass);
        const QString icon = SimDevice::icon(*spec.deviceClass);
        if (!icon.isEmpty())
            map.insert(QStringLiteral("Icon"), icon);
    }
    if (m_rssiKnown)
        map.insert(QStringLiteral("RSSI"), QVariant::fromValue(m_toldRssi));
    applyRaw(spec.rawProperties, &map);
    return map;
}

QVariantMap Bluez5Device::properties() const
{
    return propertiesOf(*m_spec);
}

void Bluez5Device::publishChanges(const DeviceSpec &before)
{
    changedBetween(propertiesOf(before), properties());
    if (before.connected != m_spec->connected)
        restartExpiry();
}

// --- life of the object -----------------------------------------------------

void Bluez5Device::setTemporary(bool temporary)
{
    m_temporary = temporary;
    m_spec->known = !temporary;
    restartExpiry();
}

void Bluez5Device::restartExpiry()
{
    const int timeout = timing().temporaryTimeoutMs;
    // A connection holds the device; TemporaryTimeout=0 keeps it for ever.
    if (m_temporary && !m_spec->connected && timeout > 0)
        m_expiry.start(timeout);
    else
        m_expiry.stop();
}

void Bluez5Device::seen(bool withName, bool announce)
{
    if (withName && !m_nameKnown && !m_spec->name.isEmpty()) {
        m_nameKnown = true;
        if (announce)
            changed({ QStringLiteral("Name"), QStringLiteral("Alias") });
    }
    // The RSSI bluetoothd shows is the one the last report it told carried.
    m_rssiKnown = true;
    m_toldRssi = m_spec->rssi;
    if (announce)
        changed(QStringLiteral("RSSI"));
    restartExpiry();
}

void Bluez5Device::invalidateRssi()
{
    if (!m_rssiKnown)
        return;
    m_rssiKnown = false;
    changed(QStringLiteral("RSSI"));
}

void Bluez5Device::retire()
{
    // Whatever ran on the link is cancelled with it.
    if (!m_connectCall.isNull()) {
        replyError(m_connectCall, Bluez5Error::ConnectionCanceled);
        m_connectCall = SimCall();
    }
    for (const SimCall &call : std::as_const(m_disconnectCalls))
        call.reply();
    m_disconnectCalls.clear();
    m_retiredCopy = *m_spec;
    m_spec = &m_retiredCopy;
    ++m_linkGeneration;
    m_expiry.stop();
    m_idle.stop();
}

// --- the link ---------------------------------------------------------------

void Bluez5Device::afterOnLink(int ms, std::function<void()> fn)
{
    const int generation = m_linkGeneration;
    QTimer::singleShot(ms, this, [this, generation, fn]() {
        if (generation == m_linkGeneration)
            fn();
    });
}

void Bluez5Device::setConnected(bool connected)
{
    if (m_spec->connected == connected)
        return;
    m_spec->connected = connected;
    if (!connected) {
        // Every disconnection ends what ran on the link.
        ++m_linkGeneration;
        m_idle.stop();
        m_spec->audioState = QStringLiteral("disconnected");
        if (m_servicesResolved) {
            m_servicesResolved = false;
            changed(QStringLiteral("ServicesResolved"));
        }
        if (!m_connectCall.isNull()) {
            replyError(m_connectCall, Bluez5Error::ConnectionCanceled);
            m_connectCall = SimCall();
        }
    }
    changed(QStringLiteral("Connected"));
    restartExpiry();
    Q_EMIT m_adapter->linkChanged(m_spec->address);
}

void Bluez5Device::setBonded(bool bonded)
{
    m_bonded = bonded;
    changed(QStringLiteral("Bonded"));
}

void Bluez5Device::setPaired(bool paired)
{
    m_spec->paired = paired;
    changed(QStringLiteral("Paired"));
    Q_EMIT m_adapter->linkChanged(m_spec->address);
}

void Bluez5Device::resolveServices()
{
    // UUIDs change from the advertised ones to the device's own once.
    if (!m_uuidsKnown && m_spec->uuids != m_spec->eirUuids)
        changed(QStringLiteral("UUIDs"));
    m_uuidsKnown = true;
    if (!m_servicesResolved)
        changed(QStringLiteral("ServicesResolved"));
    m_servicesResolved = true;
}

void Bluez5Device::scheduleIdleDrop()
{
    m_idle.start(timing().idleDisconnectMs);
}

void Bluez5Device::linkAfterPairing()
{
    // A headset may connect its audio right away; otherwise nothing holds the link.
    if (!hasAudio() || !m_spec->audio.connectsAfterPairing) {
        scheduleIdleDrop();
        return;
    }
    afterOnLink(timing().audioConnectMs,
                [this]() { m_spec->audioState = QStringLiteral("connected"); });
}

void Bluez5Device::dropLink()
{
    abortPairing(BluezError::AuthenticationCanceled);
    setConnected(false);
}

bool Bluez5Device::hasAudio() const
{
    return SimDevice::isAudio(m_spec->uuids);
}

// --- pairing ----------------------------------------------------------------

void Bluez5Device::pair(const SimCall &call)
{
    // Pair keeps the device, whatever comes of it.
    setTemporary(false);
    if (m_pairing) {
        replyError(call, BluezError::InProgress);
        return;
    }
    if (m_spec->paired) {
        replyError(call, BluezError::AlreadyExists);
        return;
    }
    m_adapter->watch(call.sender());
    // The caller's own agent, else the default, fixed now; with none, no input or output.
    const AgentManager::Agent agent = m_adapter->agentManager()->agentFor(call.sender());
    const QString capability
        = agent.target.isValid() ? agent.capability : QStringLiteral("NoInputNoOutput");
    m_pairing = new Bluez5Pairing(this, call, agent.target, capability);
    m_pairing->start();
}

void Bluez5Device::startIncomingPairing(const AgentClient::Target &agent, const QString &capability,
                                        ControlledAdapter::Done done)
{
    m_pairing = new Bluez5Pairing(this, SimCall(), agent, capability, std::move(done));
    m_pairing->start();
}

void Bluez5Device::cancelPairing(const SimCall &call)
{
    if (!m_pairing || m_pairing->isBonded()) {
        // bluetoothd still has the kernel forget the key and drop the link,
        // and tells nothing of it: a pairing past its bonding succeeds all
        // the same, and the device object says paired.
        replyError(call, BluezError::DoesNotExist);
        if (m_bonded && m_spec->connected)
            setConnected(false);
        return;
    }
    // Pair hears of it first.
    m_pairing->fail(BluezError::AuthenticationCanceled);
    call.reply();
}

void Bluez5Device::pairingFailed()
{
    setConnected(false);
    if (m_bonded && !m_spec->paired)
        setBonded(false);
    // An unpaired, untrusted device is temporary again.
    if (!m_spec->paired && !m_spec->trusted)
        setTemporary(true);
}

void Bluez5Device::pairingReachesRemote(Bluez5Pairing *pairing)
{
    Q_EMIT m_adapter->pairingReachesRemote(m_spec->address, pairing);
}

void Bluez5Device::pairingFinished(Bluez5Pairing *pairing)
{
    if (m_pairing == pairing)
        m_pairing = nullptr;
    pairing->deleteLater();
}

void Bluez5Device::abortPairing(const BluezError::Error &error)
{
    if (m_pairing)
        m_pairing->fail(error);
}

void Bluez5Device::callerLeft(const QString &name)
{
    if (m_pairing && !m_pairing->isIncoming() && m_pairing->caller() == name)
        m_pairing->callerLeft();
}

// --- connections ------------------------------------------------------------

bool Bluez5Device::checkConnectable(const SimCall &call)
{
    if (!isAdapterPowered()) {
        replyError(call, Bluez5Error::ConnectionNotPowered);
        return false;
    }
    if (m_pairing || !m_connectCall.isNull()) {
        replyError(call, Bluez5Error::ConnectionBusy);
        return false;
    }
    return true;
}

void Bluez5Device::connectDevice(const SimCall &call)
{
    // Connect and ConnectProfile share the way; ConnectProfile names its profile.
    const bool oneProfile = call.member() == QLatin1String("ConnectProfile");
    const QString uuid = call.argument(0).toString().toLower();
    if (!checkConnectable(call))
        return;
    setTemporary(false);
    if (oneProfile && !m_spec->uuids.contains(uuid)) {
        replyError(call, Bluez5Error::ProfileUnavailable);
        return;
    }
    if (m_spec->audioState == QLatin1String("connected")) {
        call.reply();
        return;
    }
    m_connectCall = call;
    if (!m_spec->inRange) {
        afterOnLink(timing().pageTimeoutMs, [this]() {
            replyError(m_connectCall, Bluez5Error::PageTimeout);
            m_connectCall = SimCall();
        });
        return;
    }
    afterOnLink(timing().linkMs, [this]() {
        setConnected(true);
        const int sdpMs = m_uuidsKnown ? 0 : timing().sdpMs;
        afterOnLink(sdpMs, [this]() {
            resolveServices();
            connectAudio(m_connectCall);
        });
    });
}

void Bluez5Device::connectAudio(const SimCall call)
{
    if (!hasAudio()) {
        // Nothing we connect profiles to: the link goes idle.
        m_connectCall = SimCall();
        replyError(call, Bluez5Error::ProfileUnavailable);
        scheduleIdleDrop();
        return;
    }
    const AudioSpec &audio = m_spec->audio;
    afterOnLink(audio.delayMs >= 0 ? audio.delayMs : timing().audioConnectMs, [this, call]() {
        m_connectCall = SimCall();
        if (!m_spec->audio.connectError.isEmpty()) {
            replyError(call, Bluez5Error::ConnectionRefused);
            scheduleIdleDrop();
            return;
        }
        m_spec->audioState = QStringLiteral("connected");
        call.reply();
    });
}

void Bluez5Device::disconnectDevice(const SimCall &call)
{
    abortPairing(BluezError::AuthenticationCanceled);
    if (!m_connectCall.isNull()) {
        replyError(m_connectCall, Bluez5Error::ConnectionCanceled);
        m_connectCall = SimCall();
    }
    // Never NotConnected: an unconnected device is disconnected at once.
    if (!m_spec->connected) {
        call.reply();
        return;
    }
    m_spec->audioState = QStringLiteral("disconnected");
    // Answered also when the link went down some other way meanwhile.
    m_disconnectCalls.append(call);
    QTimer::singleShot(timing().disconnectMs, this, [this, call]() {
        if (!call.isAnswered())
            linkDownFor(call);
        m_disconnectCalls.removeIf([](const SimCall &waiting) { return waiting.isAnswered(); });
    });
}

void Bluez5Device::linkDownFor(const SimCall &call)
{
    if (!m_spec->connected) {
        call.reply();
        return;
    }
    // ServicesResolved before the reply, Connected after it.
    m_servicesResolved = false;
    changed(QStringLiteral("ServicesResolved"));
    call.reply();
    setConnected(false);
}

void Bluez5Device::disconnectProfile(const SimCall &call)
{
    const QString uuid = call.argument(0).toString().toLower();
    if (!m_spec->uuids.contains(uuid)) {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    if (SimDevice::isAudio({ uuid }) && m_spec->audioState == QLatin1String("connected")) {
        m_spec->audioState = QStringLiteral("disconnected");
        scheduleIdleDrop();
    }
    call.reply();
}

// --- setters ----------------------------------------------------------------

void Bluez5Device::setAlias(const SimCall &call, const QVariant &value)
{
    // Queued before the reply, so announced before it.
    m_spec->alias = value.toString();
    changed(QStringLiteral("Alias"));
    call.reply();
}

void Bluez5Device::setTrusted(const SimCall &call, const QVariant &value)
{
    // Trust does not keep a temporary device.
    if (m_spec->trusted != value.toBool()) {
        m_spec->trusted = value.toBool();
        changed(QStringLiteral("Trusted"));
    }
    call.reply();
}

void Bluez5Device::setBlocked(const SimCall &call, const QVariant &value)
{
    const bool blocked = value.toBool();
    if (blocked) {
        dropLink();
        setTemporary(false);
    }
    if (m_spec->blocked != blocked) {
        m_spec->blocked = blocked;
        changed(QStringLiteral("Blocked"));
    }
    call.reply();
}
