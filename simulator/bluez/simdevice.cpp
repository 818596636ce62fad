#include "simdevice.h"

#include "bluezerrors.h"
#include "simadapter.h"

#include <QDBusObjectPath>
#include <QDBusVariant>

#include <utility>

namespace {

const QString deviceInterface = QStringLiteral("org.bluez.Device");
const QString audioInterface = QStringLiteral("org.bluez.Audio");

// Icon names bluetoothd derives from the class of device.
QString classIcon(uint cls)
{
    const uint minor = (cls & 0xfc) >> 2;
    switch ((cls & 0x1f00) >> 8) {
    case 0x01:
        return QStringLiteral("computer");
    case 0x02:
        if (minor == 4)
            return QStringLiteral("modem");
        if (minor == 1 || minor == 2 || minor == 3 || minor == 5)
            return QStringLiteral("phone");
        return {};
    case 0x03:
        return QStringLiteral("network-wireless");
    case 0x04:
        return minor >= 0x0b && minor <= 0x0d ? QStringLiteral("camera-video")
                                               : QStringLiteral("audio-card");
    case 0x05:
        switch ((cls & 0xc0) >> 6) {
        case 0x00:
            return ((cls & 0x1e) >> 2) == 1 || ((cls & 0x1e) >> 2) == 2
                    ? QStringLiteral("input-gaming")
                    : QString();
        case 0x01:
            return QStringLiteral("input-keyboard");
        case 0x02:
            return ((cls & 0x1e) >> 2) == 5 ? QStringLiteral("input-tablet")
                                             : QStringLiteral("input-mouse");
        }
        return {};
    case 0x06:
        if (cls & 0x80)
            return QStringLiteral("printer");
        if (cls & 0x20)
            return QStringLiteral("camera-photo");
        return {};
    }
    return {};
}

bool hasAudioProfile(const QStringList &uuids)
{
    static const QStringList audio { QStringLiteral("00001108-0000-1000-8000-00805f9b34fb"),
                                     QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb"),
                                     QStringLiteral("0000110d-0000-1000-8000-00805f9b34fb"),
                                     QStringLiteral("0000111e-0000-1000-8000-00805f9b34fb") };
    for (const QString &uuid : uuids) {
        if (audio.contains(uuid))
            return true;
    }
    return false;
}

} // namespace

SimDevice::SimDevice(SimAdapter *adapter, DeviceSpec &spec, const QString &path)
    : SimObject(path), m_adapter(adapter), m_spec(&spec)
{
    m_servicesResolved = spec.paired || spec.known;
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, [this]() {
        if (m_spec->audioState != QLatin1String("disconnected")
            || m_adapter->isCreating(m_spec->address))
            return;
        setConnected(false);
        removeIfTemporary();
    });

    addMethod(deviceInterface, QStringLiteral("GetProperties"), QString(),
              [this](const SimCall &call) { getProperties(call); });
    addMethod(deviceInterface, QStringLiteral("SetProperty"), QStringLiteral("sv"),
              [this](const SimCall &call) { setProperty(call); });
    addMethod(deviceInterface, QStringLiteral("Disconnect"), QString(),
              [this](const SimCall &call) { disconnect(call); });
    addMethod(deviceInterface, QStringLiteral("DiscoverServices"), QStringLiteral("s"),
              [this](const SimCall &call) { discoverServices(call); });
    addMethod(deviceInterface, QStringLiteral("CancelDiscovery"), QString(),
              [](const SimCall &call) { replyError(call, BluezError::DoesNotExist); });
    addMethod(audioInterface, QStringLiteral("Connect"), QString(),
              [this](const SimCall &call) { audioConnect(call); });
    addMethod(audioInterface, QStringLiteral("Disconnect"), QString(),
              [this](const SimCall &call) { audioDisconnect(call); });
    addMethod(audioInterface, QStringLiteral("GetProperties"), QString(), [this](const SimCall &call) {
        call.reply({ QVariantMap { { QStringLiteral("State"), m_spec->audioState } } });
    });
}

QStringList SimDevice::interfaces() const
{
    if (hasAudio())
        return { deviceInterface, audioInterface };
    return { deviceInterface };
}

bool SimDevice::hasAudio() const
{
    // Blocking a device unloads its profile drivers.
    return m_spec->paired && !m_spec->blocked && m_servicesResolved
            && hasAudioProfile(m_spec->uuids);
}

QString SimDevice::icon(uint deviceClass)
{
    return classIcon(deviceClass);
}

bool SimDevice::isAudio(const QStringList &uuids)
{
    return hasAudioProfile(uuids);
}

QString SimDevice::alias(const DeviceSpec &spec)
{
    if (!spec.alias.isEmpty())
        return spec.alias;
    if (!spec.name.isEmpty())
        return spec.name;
    return QString(spec.address).replace(QLatin1Char(':'), QLatin1Char('-'));
}

QStringList SimDevice::publishedUuids() const
{
    return m_servicesResolved ? m_spec->uuids : m_spec->eirUuids;
}

QVariantMap SimDevice::properties() const
{
    QVariantMap map { { QStringLiteral("Address"), m_spec->address },
                      { QStringLiteral("Name"), m_spec->name },
                      { QStringLiteral("Alias"), alias(*m_spec) },
                      { QStringLiteral("Paired"), m_spec->paired },
                      { QStringLiteral("Trusted"), m_spec->trusted },
                      { QStringLiteral("Blocked"), m_spec->blocked },
                      { QStringLiteral("Connected"), m_spec->connected },
                      { QStringLiteral("UUIDs"), publishedUuids() },
                      { QStringLiteral("Services"), QVariant::fromValue(QList<QDBusObjectPath>()) },
                      { QStringLiteral("Adapter"),
                        QVariant::fromValue(QDBusObjectPath(m_adapter->path())) },
                      { QStringLiteral("LegacyPairing"), m_spec->legacyPairing } };
    if (m_spec->deviceClass) {
        map.insert(QStringLiteral("Class"), *m_spec->deviceClass);
        const QString icon = classIcon(*m_spec->deviceClass);
        if (!icon.isEmpty())
            map.insert(QStringLiteral("Icon"), icon);
    }
    if (m_spec->le)
        map.insert(QStringLiteral("Broadcaster"), false);
    applyRaw(m_spec->rawProperties, &map);
    return map;
}

QVariantMap SimDevice::foundValues(const DeviceSpec &spec, bool withName)
{
    const uint cls = spec.deviceClass.value_or(0);
    QVariantMap map { { QStringLiteral("Address"), spec.address },
                      { QStringLiteral("Class"), cls },
                      { QStringLiteral("RSSI"), QVariant::fromValue(spec.rssi) },
                      { QStringLiteral("LegacyPairing"), spec.legacyPairing },
                      { QStringLiteral("Paired"), spec.paired } };
    DeviceSpec shown = spec;
    if (!withName)
        shown.name.clear();
    map.insert(QStringLiteral("Alias"), alias(shown));
    if (!shown.name.isEmpty())
        map.insert(QStringLiteral("Name"), shown.name);
    if (spec.le) {
        map.insert(QStringLiteral("Broadcaster"), false);
    } else {
        map.insert(QStringLiteral("Trusted"), spec.trusted);
        const QString icon = classIcon(cls);
        if (!icon.isEmpty())
            map.insert(QStringLiteral("Icon"), icon);
    }
    if (!spec.eirUuids.isEmpty())
        map.insert(QStringLiteral("UUIDs"), spec.eirUuids);
    applyRaw(spec.rawProperties, &map);
    return map;
}

void SimDevice::publishChanges(const DeviceSpec &before)
{
    auto changed = [this](const char *name, const QVariant &value) {
        emitPropertyChanged(deviceInterface, QLatin1String(name), value);
    };
    if (before.name != m_spec->name)
        changed("Name", m_spec->name);
    if (alias(before) != alias(*m_spec))
        changed("Alias", alias(*m_spec));
    if (before.deviceClass != m_spec->deviceClass && m_spec->deviceClass)
        changed("Class", *m_spec->deviceClass);
    if (before.connected != m_spec->connected)
        changed("Connected", m_spec->connected);
    if (before.paired != m_spec->paired)
        changed("Paired", m_spec->paired);
    if (before.trusted != m_spec->trusted)
        changed("Trusted", m_spec->trusted);
    if (before.blocked != m_spec->blocked)
        changed("Blocked", m_spec->blocked);
    if (before.legacyPairing != m_spec->legacyPairing)
        changed("LegacyPairing", m_spec->legacyPairing);
    const QStringList oldUuids = m_servicesResolved ? before.uuids : before.eirUuids;
    if (oldUuids != publishedUuids())
        changed("UUIDs", publishedUuids());
    if (before.audioState != m_spec->audioState && hasAudio())
        emitPropertyChanged(audioInterface, QStringLiteral("State"), m_spec->audioState);
}

void SimDevice::setConnected(bool connected)
{
    if (m_spec->connected == connected)
        return;
    m_spec->connected = connected;
    emitPropertyChanged(deviceInterface, QStringLiteral("Connected"), connected);
}

void SimDevice::setPaired(bool paired)
{
    if (m_spec->paired == paired)
        return;
    m_spec->paired = paired;
    emitPropertyChanged(deviceInterface, QStringLiteral("Paired"), paired);
}

void SimDevice::resolveServices()
{
    const QStringList before = publishedUuids();
    m_servicesResolved = true;
    if (before != publishedUuids())
        emitPropertyChanged(deviceInterface, QStringLiteral("UUIDs"), publishedUuids());
}

void SimDevice::removeIfTemporary()
{
    // A retired object must not take a newer one of the same address along.
    if (m_temporary && m_adapter->device(m_spec->address) == this)
        m_adapter->removeDeviceObject(m_spec->address);
}

void SimDevice::retire()
{
    m_idleTimer.stop();
    m_retiredCopy = *m_spec;
    m_spec = &m_retiredCopy;
}

void SimDevice::scheduleIdleDrop()
{
    m_idleTimer.start(m_adapter->timing().idleDisconnectMs);
}

void SimDevice::dropLink()
{
    m_idleTimer.stop();
    setAudioState(QStringLiteral("disconnected"));
    setConnected(false);
}

void SimDevice::setAudioState(const QString &state)
{
    if (m_spec->audioState == state)
        return;
    // Whatever ends "connecting" answers the pending Connect just before the
    // new state is announced; only reaching "connected" is a success.
    if (m_spec->audioState == QLatin1String("connecting")) {
        const SimCall pending = std::exchange(m_audioConnectCall, SimCall());
        if (state == QLatin1String("connected"))
            pending.reply();
        else
            pending.replyError(BluezError::failed(), QStringLiteral("Connect Failed"));
    }
    m_spec->audioState = state;
    if (hasAudio())
        emitPropertyChanged(audioInterface, QStringLiteral("State"), state);
}

void SimDevice::getProperties(const SimCall &call)
{
    call.reply({ properties() });
}

void SimDevice::setProperty(const SimCall &call)
{
    const QString name = call.argument(0).toString();
    const QVariant value = call.argument(1).value<QDBusVariant>().variant();
    bool changed = false;
    if (name == QLatin1String("Trusted") && value.userType() == QMetaType::Bool) {
        changed = m_spec->trusted != value.toBool();
        m_spec->trusted = value.toBool();
    } else if (name == QLatin1String("Alias") && value.userType() == QMetaType::QString) {
        changed = m_spec->alias != value.toString();
        m_spec->alias = value.toString();
    } else if (name == QLatin1String("Blocked") && value.userType() == QMetaType::Bool) {
        changed = m_spec->blocked != value.toBool();
        if (value.toBool()) {
            // Blocking drops the link first and makes the device stay.
            dropLink();
            m_temporary = false;
            m_spec->known = true;
        }
        m_spec->blocked = value.toBool();
    } else {
        replyError(call, BluezError::InvalidArguments);
        return;
    }
    // A cleared alias is announced as "", not as the fallback name; the
    // signal goes before the reply.
    if (changed)
        emitPropertyChanged(deviceInterface, name, value);
    call.reply();
}

void SimDevice::disconnect(const SimCall &call)
{
    if (!m_spec->connected || m_disconnecting) {
        replyError(call, BluezError::NotConnected);
        return;
    }
    m_disconnecting = true;
    emitSignal(deviceInterface, QStringLiteral("DisconnectRequested"), {});
    QTimer::singleShot(m_adapter->timing().disconnectMs, this, [this, call]() {
        m_disconnecting = false;
        call.reply();
        dropLink();
        removeIfTemporary();
    });
}

void SimDevice::discoverServices(const SimCall &call)
{
    if (!m_spec->inRange) {
        QTimer::singleShot(m_adapter->timing().pageTimeoutMs, this, [call]() {
            replyError(call, BluezError::ConnectionAttemptFailed);
        });
        return;
    }
    QTimer::singleShot(m_adapter->timing().sdpMs, this, [this, call]() {
        QMap<uint, QString> records;
        uint handle = 0x10000;
        for (const QString &uuid : std::as_const(m_spec->uuids))
            records.insert(handle++, QStringLiteral("<record><uuid value=\"%1\"/></record>").arg(uuid));
        resolveServices();
        call.reply({ QVariant::fromValue(records) });
    });
}

void SimDevice::audioConnect(const SimCall &call)
{
    if (m_spec->audioState == QLatin1String("connected")) {
        replyError(call, BluezError::AlreadyConnected);
        return;
    }
    if (m_spec->audioState == QLatin1String("connecting")) {
        replyError(call, BluezError::InProgress);
        return;
    }
    m_idleTimer.stop();
    setAudioState(QStringLiteral("connecting"));
    m_audioConnectCall = call;
    const int attempt = ++m_audioAttempt;
    // Each step belongs to this attempt only; a later attempt starts afresh.
    auto step = [this, attempt](int ms, std::function<void()> fn) {
        QTimer::singleShot(ms, this, [this, attempt, fn]() {
            if (attempt == m_audioAttempt && m_spec->audioState == QLatin1String("connecting"))
                fn();
        });
    };
    const Timing &timing = m_adapter->timing();
    if (!m_spec->inRange) {
        step(timing.pageTimeoutMs, [this]() { setAudioState(QStringLiteral("disconnected")); });
        return;
    }
    step(timing.linkMs, [this]() { setConnected(true); });
    const int delay = m_spec->audio.delayMs >= 0 ? m_spec->audio.delayMs : timing.audioConnectMs;
    step(qMax(delay, timing.linkMs), [this]() { audioConnectDone(); });
}

void SimDevice::audioConnectDone()
{
    if (m_spec->audio.connectError.isEmpty()) {
        setAudioState(QStringLiteral("connected"));
        return;
    }
    // The remote refuses with the error the scenario names.
    std::exchange(m_audioConnectCall, SimCall())
            .replyError(m_spec->audio.connectError, QStringLiteral("Connect Failed"));
    setAudioState(QStringLiteral("disconnected"));
    scheduleIdleDrop();
}

void SimDevice::audioDisconnect(const SimCall &call)
{
    if (m_spec->audioState == QLatin1String("disconnected")) {
        replyError(call, BluezError::NotConnected);
        return;
    }
    call.reply();
    setAudioState(QStringLiteral("disconnected"));
    scheduleIdleDrop();
}
