#include "scenario.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

QStringList stringList(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list.append(item.toString().toLower());
    return list;
}

QJsonArray jsonArray(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

// Reads key into target when present and of the right JSON type.
template<typename T> void read(const QJsonObject &json, const char *key, T &target);

template<> void read(const QJsonObject &json, const char *key, int &target)
{
    if (json.value(QLatin1String(key)).isDouble())
        target = json.value(QLatin1String(key)).toInt();
}

template<> void read(const QJsonObject &json, const char *key, uint &target)
{
    if (json.value(QLatin1String(key)).isDouble())
        target = uint(json.value(QLatin1String(key)).toDouble());
}

template<> void read(const QJsonObject &json, const char *key, bool &target)
{
    if (json.value(QLatin1String(key)).isBool())
        target = json.value(QLatin1String(key)).toBool();
}

template<> void read(const QJsonObject &json, const char *key, QString &target)
{
    if (json.value(QLatin1String(key)).isString())
        target = json.value(QLatin1String(key)).toString();
}

} // namespace

void applyRaw(const QVariantMap &raw, QVariantMap *properties)
{
    for (auto it = raw.begin(); it != raw.end(); ++it) {
        if (it.value().isValid())
            properties->insert(it.key(), it.value());
        else
            properties->remove(it.key());
    }
}

void DeviceSpec::forgetStored()
{
    paired = trusted = known = blocked = connected = false;
    alias.clear();
    audioState = QStringLiteral("disconnected");
}

QString normalizedAddress(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}$"));
    return pattern.match(text).hasMatch() ? text.toUpper() : QString();
}

Timing Timing::fromJson(const QJsonObject &json, const Timing &base)
{
    Timing t = base;
    read(json, "powerMs", t.powerMs);
    read(json, "inquiryMs", t.inquiryMs);
    read(json, "nameResolveMs", t.nameResolveMs);
    read(json, "stopDiscoveryMs", t.stopDiscoveryMs);
    read(json, "linkMs", t.linkMs);
    read(json, "pageTimeoutMs", t.pageTimeoutMs);
    read(json, "sdpMs", t.sdpMs);
    read(json, "disconnectMs", t.disconnectMs);
    read(json, "idleDisconnectMs", t.idleDisconnectMs);
    read(json, "audioConnectMs", t.audioConnectMs);
    read(json, "agentTimeoutMs", t.agentTimeoutMs);
    read(json, "temporaryTimeoutMs", t.temporaryTimeoutMs);
    read(json, "autopairRetryMs", t.autopairRetryMs);
    read(json, "discoveryIdleMs", t.discoveryIdleMs);
    return t;
}

QJsonObject Timing::toJson() const
{
    return { { "powerMs", powerMs },
             { "inquiryMs", inquiryMs },
             { "nameResolveMs", nameResolveMs },
             { "stopDiscoveryMs", stopDiscoveryMs },
             { "linkMs", linkMs },
             { "pageTimeoutMs", pageTimeoutMs },
             { "sdpMs", sdpMs },
             { "disconnectMs", disconnectMs },
             { "idleDisconnectMs", idleDisconnectMs },
             { "audioConnectMs", audioConnectMs },
             { "agentTimeoutMs", agentTimeoutMs },
             { "temporaryTimeoutMs", temporaryTimeoutMs },
             { "autopairRetryMs", autopairRetryMs },
             { "discoveryIdleMs", discoveryIdleMs } };
}

ObexSpec ObexSpec::fromJson(const QJsonObject &json, const ObexSpec &base)
{
    ObexSpec o = base;
    read(json, "rootFolder", o.rootFolder);
    read(json, "autoAccept", o.autoAccept);
    read(json, "symlinks", o.symlinks);
    read(json, "speed", o.speed);
    read(json, "packetSize", o.packetSize);
    read(json, "connectMs", o.connectMs);
    read(json, "authorizeTimeoutMs", o.authorizeTimeoutMs);
    read(json, "requestTimeoutMs", o.requestTimeoutMs);
    read(json, "requestDelayMs", o.requestDelayMs);
    read(json, "firstResponseTimeoutMs", o.firstResponseTimeoutMs);
    read(json, "responseTimeoutMs", o.responseTimeoutMs);
    read(json, "errorTexts", o.errorTexts);
    if (o.errorTexts != QLatin1String("openobex"))
        o.errorTexts = QStringLiteral("gobex");
    o.packetSize = qMax(1, o.packetSize);
    return o;
}

QJsonObject ObexSpec::toJson() const
{
    return { { "rootFolder", effectiveRootFolder() },
             { "autoAccept", autoAccept },
             { "symlinks", symlinks },
             { "speed", speed },
             { "packetSize", packetSize },
             { "connectMs", connectMs },
             { "authorizeTimeoutMs", authorizeTimeoutMs },
             { "requestTimeoutMs", requestTimeoutMs },
             { "requestDelayMs", requestDelayMs },
             { "firstResponseTimeoutMs", firstResponseTimeoutMs },
             { "responseTimeoutMs", responseTimeoutMs },
             { "errorTexts", errorTexts } };
}

QString ObexSpec::effectiveRootFolder() const
{
    // The handset runs obexd with the user's documents as root; here that is
    // the home folder btsim was started with (a test's temporary home).
    return rootFolder.isEmpty() ? QDir::homePath() : rootFolder;
}

PairingSpec PairingSpec::fromJson(const QJsonObject &json, const PairingSpec &base)
{
    PairingSpec p = base;
    read(json, "method", p.method);
    read(json, "pin", p.pin);
    if (json.contains(QLatin1String("passkey"))) {
        read(json, "passkey", p.passkey);
        p.checkPasskey = true;
    }
    read(json, "checkPasskey", p.checkPasskey);
    read(json, "keypresses", p.keypresses);
    read(json, "error", p.error);
    read(json, "delayMs", p.delayMs);
    return p;
}

QJsonObject PairingSpec::toJson() const
{
    return { { "method", method },           { "pin", pin },
             { "passkey", qint64(passkey) }, { "checkPasskey", checkPasskey },
             { "keypresses", keypresses },   { "error", error },
             { "delayMs", delayMs } };
}

AudioSpec AudioSpec::fromJson(const QJsonObject &json, const AudioSpec &base)
{
    AudioSpec a = base;
    read(json, "connectError", a.connectError);
    read(json, "delayMs", a.delayMs);
    read(json, "connectsAfterPairing", a.connectsAfterPairing);
    return a;
}

QJsonObject AudioSpec::toJson() const
{
    return { { "connectError", connectError },
             { "delayMs", delayMs },
             { "connectsAfterPairing", connectsAfterPairing } };
}

std::optional<DeviceSpec> DeviceSpec::fromJson(const QJsonObject &json, QString *error)
{
    DeviceSpec spec;
    spec.address = normalizedAddress(json.value(QLatin1String("address")).toString());
    if (spec.address.isEmpty()) {
        *error = QStringLiteral("device without a valid \"address\"");
        return std::nullopt;
    }
    if (!spec.merge(json, error))
        return std::nullopt;
    return spec;
}

bool DeviceSpec::merge(const QJsonObject &json, QString *error)
{
    const QJsonValue cls = json.value(QLatin1String("class"));
    if (cls.isDouble())
        deviceClass = uint(cls.toDouble());
    else if (cls.isNull() && json.contains(QLatin1String("class")))
        deviceClass.reset();
    else if (!cls.isUndefined()) {
        *error = QStringLiteral("\"class\" must be a number");
        return false;
    }
    read(json, "name", name);
    read(json, "alias", alias);
    int rssiValue = rssi;
    read(json, "rssi", rssiValue);
    rssi = qint16(rssiValue);
    read(json, "paired", paired);
    read(json, "trusted", trusted);
    read(json, "blocked", blocked);
    read(json, "connected", connected);
    read(json, "known", known);
    read(json, "inRange", inRange);
    read(json, "discoverable", discoverable);
    read(json, "legacyPairing", legacyPairing);
    read(json, "le", le);
    read(json, "nameInInquiry", nameInInquiry);
    read(json, "audioState", audioState);
    if (json.contains(QLatin1String("uuids")))
        uuids = stringList(json.value(QLatin1String("uuids")));
    if (json.contains(QLatin1String("eirUuids")))
        eirUuids = stringList(json.value(QLatin1String("eirUuids")));
    if (json.value(QLatin1String("pairing")).isObject())
        pairing = PairingSpec::fromJson(json.value(QLatin1String("pairing")).toObject(), pairing);
    if (json.value(QLatin1String("audio")).isObject())
        audio = AudioSpec::fromJson(json.value(QLatin1String("audio")).toObject(), audio);
    if (json.value(QLatin1String("raw")).isObject()) {
        const QVariantMap raw = json.value(QLatin1String("raw")).toObject().toVariantMap();
        for (auto it = raw.begin(); it != raw.end(); ++it)
            rawProperties.insert(it.key(), it.value());
    }
    static const QStringList states { QStringLiteral("disconnected"), QStringLiteral("connecting"),
                                      QStringLiteral("connected") };
    if (!states.contains(audioState)) {
        *error = QStringLiteral("unknown \"audioState\" %1").arg(audioState);
        return false;
    }
    return true;
}

QJsonObject DeviceSpec::toJson() const
{
    QJsonObject json { { "address", address },
                       { "name", name },
                       { "alias", alias },
                       { "rssi", rssi },
                       { "paired", paired },
                       { "trusted", trusted },
                       { "blocked", blocked },
                       { "connected", connected },
                       { "known", known },
                       { "inRange", inRange },
                       { "discoverable", discoverable },
                       { "legacyPairing", legacyPairing },
                       { "le", le },
                       { "nameInInquiry", nameInInquiry },
                       { "uuids", jsonArray(uuids) },
                       { "eirUuids", jsonArray(eirUuids) },
                       { "audioState", audioState },
                       { "pairing", pairing.toJson() },
                       { "audio", audio.toJson() } };
    if (deviceClass)
        json.insert(QStringLiteral("class"), qint64(*deviceClass));
    return json;
}

AdapterSpec AdapterSpec::plainController()
{
    // What bluetoothd shows of a controller nobody configured: its own name,
    // the class obexd's profiles give it, visible only when asked.
    AdapterSpec spec;
    spec.name.clear();
    spec.deviceClass = 0x100000;
    spec.discoverableTimeout = 180;
    return spec;
}

AdapterSpec AdapterSpec::fromJson(const QJsonObject &json, const AdapterSpec &base)
{
    AdapterSpec a = base;
    read(json, "present", a.present);
    const QString address = normalizedAddress(json.value(QLatin1String("address")).toString());
    if (!address.isEmpty())
        a.address = address;
    read(json, "name", a.name);
    read(json, "class", a.deviceClass);
    read(json, "powered", a.powered);
    read(json, "discoverable", a.discoverable);
    read(json, "pairable", a.pairable);
    read(json, "discoverableTimeout", a.discoverableTimeout);
    read(json, "pairableTimeout", a.pairableTimeout);
    read(json, "nameChangeAllowed", a.nameChangeAllowed);
    read(json, "rfkillBlocked", a.rfkillBlocked);
    if (json.contains(QLatin1String("uuids")))
        a.uuids = stringList(json.value(QLatin1String("uuids")));
    return a;
}

QJsonObject AdapterSpec::toJson() const
{
    return { { "present", present },
             { "address", address },
             { "name", name },
             { "class", qint64(deviceClass) },
             { "powered", powered },
             { "discoverable", discoverable },
             { "pairable", pairable },
             { "discoverableTimeout", qint64(discoverableTimeout) },
             { "pairableTimeout", qint64(pairableTimeout) },
             { "nameChangeAllowed", nameChangeAllowed },
             { "rfkillBlocked", rfkillBlocked },
             { "uuids", jsonArray(uuids) } };
}

std::optional<Scenario> Scenario::fromJson(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                              : QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    Scenario scenario;
    scenario.bluez = root.value(QLatin1String("bluez")).toInt(4) == 5 ? 5 : 4;
    scenario.obexd = root.value(QLatin1String("obexd")).toInt(4) == 5 ? 5 : 4;
    scenario.experimental = root.value(QLatin1String("experimental")).toBool();
    const QJsonValue adapter = root.value(QLatin1String("adapter"));
    if (adapter.isNull() && root.contains(QLatin1String("adapter")))
        scenario.adapter.present = false;
    else
        scenario.adapter = AdapterSpec::fromJson(adapter.toObject(), AdapterSpec());
    scenario.discoverableTimeoutGiven
        = adapter.toObject().contains(QLatin1String("discoverableTimeout"));
    if (root.contains(QLatin1String("remoteAdapter"))) {
        const QJsonObject remote = root.value(QLatin1String("remoteAdapter")).toObject();
        if (scenario.bluez != 5) {
            *error = QStringLiteral("\"remoteAdapter\" needs \"bluez\": 5");
            return std::nullopt;
        }
        if (normalizedAddress(remote.value(QLatin1String("address")).toString()).isEmpty()) {
            *error = QStringLiteral("\"remoteAdapter\" without a valid \"address\"");
            return std::nullopt;
        }
        scenario.remoteAdapter = AdapterSpec::fromJson(remote, AdapterSpec::plainController());
    }
    scenario.timing = Timing::fromJson(root.value(QLatin1String("timing")).toObject(), Timing());
    scenario.obex = ObexSpec::fromJson(root.value(QLatin1String("obex")).toObject(), ObexSpec());
    for (const QJsonValue &item : root.value(QLatin1String("devices")).toArray()) {
        auto device = DeviceSpec::fromJson(item.toObject(), error);
        if (!device)
            return std::nullopt;
        for (const DeviceSpec &other : std::as_const(scenario.devices)) {
            if (other.address == device->address) {
                *error = QStringLiteral("device %1 listed twice").arg(device->address);
                return std::nullopt;
            }
        }
        scenario.devices.append(*device);
    }
    return scenario;
}

std::optional<Scenario> Scenario::fromFile(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return std::nullopt;
    }
    auto scenario = fromJson(file.readAll(), error);
    if (!scenario)
        *error = QStringLiteral("%1: %2").arg(fileName, *error);
    return scenario;
}

QJsonObject Scenario::toJson() const
{
    QJsonArray list;
    for (const DeviceSpec &device : devices)
        list.append(device.toJson());
    QJsonObject json { { "bluez", bluez },
                       { "obexd", obexd },
                       { "experimental", experimental },
                       { "adapter", adapter.present ? QJsonValue(adapter.toJson()) : QJsonValue() },
                       { "devices", list },
                       { "timing", timing.toJson() },
                       { "obex", obex.toJson() } };
    if (remoteAdapter)
        json.insert(QStringLiteral("remoteAdapter"), remoteAdapter->toJson());
    return json;
}
