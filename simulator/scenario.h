#ifndef SCENARIO_H
#define SCENARIO_H

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// How the simulated world behaves: the adapter, the remote devices around it,
// and how long things take. Read from and written to JSON scenario files.

struct Timing
{
    int powerMs = 150; // controller switching on or off
    int inquiryMs = 5120; // one inquiry phase of a discovery cycle
    int nameResolveMs = 400; // per device whose name comes after inquiry
    int stopDiscoveryMs = 50; // controller stopping after the last StopDiscovery
    int linkMs = 200; // ACL link set up
    int pageTimeoutMs = 5000; // device out of range
    int sdpMs = 300; // service discovery
    int disconnectMs = 2000; // DisconnectRequested to link down
    int idleDisconnectMs = 4000; // idle ACL link dropped after pairing or creation
    int audioConnectMs = 600;
    int agentTimeoutMs = 60000; // the daemon's wait for an agent's answer
    int temporaryTimeoutMs = 30000; // BlueZ 5: a found device not seen again goes; 0: never
    int autopairRetryMs = 3000; // BlueZ 5: the autopair plugin's next fixed PIN after a wrong one
    // BlueZ 5: bluetoothd's pause between two scans of a discovery, Discovering
    // still true (5000 in 5.66); 0: the next scan at once.
    int discoveryIdleMs = 0;

    static Timing fromJson(const QJsonObject &json, const Timing &base);
    QJsonObject toJson() const;
};

struct PairingSpec
{
    // "none" (no agent call), "pin" (legacy RequestPinCode), "confirm"
    // (RequestConfirmation), "passkey" (RequestPasskey), "display" (DisplayPasskey).
    QString method = QStringLiteral("none");
    QString pin; // the PIN the remote expects; empty accepts any
    uint passkey = 123456; // shown for confirm/display, expected for passkey (if set)
    bool checkPasskey = false;
    bool keypresses = false; // "display": DisplayPasskey again for each digit typed
    QString error; // remote refuses at the end with this error name
    int delayMs = 0; // before the agent is asked (or the remote types)

    static PairingSpec fromJson(const QJsonObject &json, const PairingSpec &base);
    QJsonObject toJson() const;
};

struct AudioSpec
{
    QString connectError; // Audio.Connect fails with this error name
    int delayMs = -1; // overrides Timing::audioConnectMs when >= 0
    bool connectsAfterPairing = false; // the headset brings up its audio itself once paired

    static AudioSpec fromJson(const QJsonObject &json, const AudioSpec &base);
    QJsonObject toJson() const;
};

struct DeviceSpec
{
    QString address; // upper-case, colon separated
    QString name; // empty: the device has no name
    QString alias;
    std::optional<uint> deviceClass;
    qint16 rssi = -60;
    bool paired = false;
    bool trusted = false;
    bool blocked = false;
    bool connected = false;
    bool known = false; // has a device object although not paired
    bool inRange = true;
    // Answers inquiry: found by discovery. One that is not still answers pages.
    bool discoverable = true;
    bool legacyPairing = false;
    bool le = false; // a low-energy device: "Broadcaster" instead of "Trusted"
    bool nameInInquiry = true; // name arrives with the first DeviceFound, not after
    QStringList uuids; // what service discovery finds
    QStringList eirUuids; // what inquiry already announces
    QString audioState = QStringLiteral("disconnected");
    PairingSpec pairing;
    AudioSpec audio;
    QVariantMap rawProperties; // sent as they are, whatever their type; see applyRaw

    static std::optional<DeviceSpec> fromJson(const QJsonObject &json, QString *error);
    // Applies the keys present in json on top of this spec.
    bool merge(const QJsonObject &json, QString *error);
    QJsonObject toJson() const;
    bool hasObject() const { return paired || known || blocked; }
    // The device object went: what bluetoothd stored about the device goes with it.
    void forgetStored();
};

// Puts raw values over the real ones: a value of any type replaces the
// property, an invalid QVariant takes the property out (a daemon that lies by
// leaving keys out).
void applyRaw(const QVariantMap &raw, QVariantMap *properties);

struct AdapterSpec
{
    bool present = true;
    QString address = QStringLiteral("00:1A:7D:DA:71:13");
    QString name = QStringLiteral("Ovrin handset");
    uint deviceClass = 0x5a020c;
    bool powered = true;
    bool discoverable = false;
    bool pairable = true;
    uint discoverableTimeout = 0;
    uint pairableTimeout = 0;
    bool nameChangeAllowed = true;
    bool rfkillBlocked = false; // BlueZ 5: powering on fails "Blocked through rfkill"
    QStringList uuids;
    QVariantMap rawProperties;

    static AdapterSpec fromJson(const QJsonObject &json, const AdapterSpec &base);
    // The defaults of a second controller: bluetoothd's own name and class.
    static AdapterSpec plainController();
    QJsonObject toJson() const;
};

// The two obexd daemons: how obexd was started (root folder, -a, -l), how
// fast data moves and how long the daemons wait for agents and remotes.
struct ObexSpec
{
    QString rootFolder; // obexd -r; empty: btsim's home folder
    bool autoAccept = false; // obexd -a: no Authorize, remote name in the root folder
    bool symlinks = false; // obexd -l: agent paths outside the root folder allowed
    int speed = 200000; // bytes per second of every transfer; <= 0: no limit
    int packetSize = 32767; // most body bytes per OBEX packet
    int connectMs = 100; // RFCOMM + OBEX CONNECT, either direction
    int authorizeTimeoutMs = 60000; // obexd's wait for Agent.Authorize
    int requestTimeoutMs = 25000; // obex-client's wait for Agent.Request
    int requestDelayMs = 0; // obex-client's pause before each Agent.Request
    int firstResponseTimeoutMs = 60000; // obex-client's wait for the remote's first answer
    int responseTimeoutMs = 10000; // ... and for each later one; 0: wait for ever
    // Texts of obex-client's Agent.Error for a refusal: "gobex" (0.43-0.45,
    // "Transfer failed (0x43)") or "openobex" (0.3x, "Forbidden").
    QString errorTexts = QStringLiteral("gobex");

    static ObexSpec fromJson(const QJsonObject &json, const ObexSpec &base);
    QJsonObject toJson() const;
    QString effectiveRootFolder() const;
};

struct Scenario
{
    int bluez = 4; // the bluetoothd played when btsim is not told one: 4 or 5
    int obexd = 4; // the obexd played likewise: 4 (0.45) or 5 (BlueZ 5.66)
    // bluetoothd 5 started with -E: experimental properties such as "PowerState".
    bool experimental = false;
    // Whether the adapter names its DiscoverableTimeout; if not, bluetoothd
    // 5's own default (180 s) holds, and BlueZ 4 keeps the handset's 0.
    bool discoverableTimeoutGiven = false;
    AdapterSpec adapter;
    // BlueZ 5: a second controller of the same bluetoothd ("/org/bluez/hci1"),
    // within reach of the first: the phone at the other end, driven over D-Bus.
    std::optional<AdapterSpec> remoteAdapter;
    QList<DeviceSpec> devices;
    Timing timing;
    ObexSpec obex;

    static std::optional<Scenario> fromJson(const QByteArray &json, QString *error);
    static std::optional<Scenario> fromFile(const QString &fileName, QString *error);
    QJsonObject toJson() const;
};

// "00:11:22:aa:bb:cc" -> "00:11:22:AA:BB:CC"; empty when not an address.
QString normalizedAddress(const QString &text);

#endif // SCENARIO_H
