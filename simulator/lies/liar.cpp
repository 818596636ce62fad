#include "liar.h"

#include "bluetoothservice.h"
#include "obex5client.h"
#include "obex5service.h"
#include "obexserverservice.h"
#include "objectmanager.h"
#include "simulator.h"

#include <QDBusObjectPath>
#include <QDBusVariant>

#include <climits>

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString deviceInterface = QStringLiteral("org.bluez.Device");
const QString adapter1Interface = QStringLiteral("org.bluez.Adapter1");
const QString device1Interface = QStringLiteral("org.bluez.Device1");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString managerInterface = QStringLiteral("org.openobex.Manager");
const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString propertyChanged = QStringLiteral("PropertyChanged");

using Property = std::pair<const char *, const char *>;

// What BlueZ 4 sends, and in which D-Bus type.
const std::vector<Property> adapterProperties {
    { "Address", "s" },         { "Name", "s" },
    { "Class", "u" },           { "Powered", "b" },
    { "Discoverable", "b" },    { "Pairable", "b" },
    { "Discovering", "b" },     { "DiscoverableTimeout", "u" },
    { "PairableTimeout", "u" }, { "Devices", "ao" },
    { "UUIDs", "as" }
};
// BlueZ 5's adapter: no device list, a settable alias and the rfkill state.
const std::vector<Property> adapter1Properties {
    { "Address", "s" },         { "Name", "s" },        { "Alias", "s" },
    { "Class", "u" },           { "Powered", "b" },     { "Discoverable", "b" },
    { "Pairable", "b" },        { "Discovering", "b" }, { "DiscoverableTimeout", "u" },
    { "PairableTimeout", "u" }, { "UUIDs", "as" },      { "PowerState", "s" }
};
const std::vector<Property> deviceProperties {
    { "Address", "s" },   { "Name", "s" },          { "Alias", "s" },   { "Class", "u" },
    { "Icon", "s" },      { "Paired", "b" },        { "Trusted", "b" }, { "Blocked", "b" },
    { "Connected", "b" }, { "LegacyPairing", "b" }, { "UUIDs", "as" },  { "RSSI", "n" },
    { "Adapter", "o" }
};
// Right types, values a daemon may still get wrong: only these change the
// client's picture of a real object.
const std::vector<Property> adapterExtremes { { "Name", "s" },
                                              { "Class", "u" },
                                              { "DiscoverableTimeout", "u" },
                                              { "PairableTimeout", "u" },
                                              { "UUIDs", "as" },
                                              { "Devices", "ao" } };
const std::vector<Property> adapter1Extremes { { "Name", "s" },
                                               { "Alias", "s" },
                                               { "Class", "u" },
                                               { "DiscoverableTimeout", "u" },
                                               { "PairableTimeout", "u" },
                                               { "UUIDs", "as" } };
const std::vector<Property> deviceExtremes {
    { "Name", "s" },  { "Alias", "s" }, { "Icon", "s" },
    { "Class", "u" }, { "RSSI", "n" },  { "UUIDs", "as" }
};

// Values of every type a daemon could put into a variant, with their type.
const std::vector<std::pair<QString, QVariant>> &typePool()
{
    static const std::vector<std::pair<QString, QVariant>> pool {
        { "i", QVariant(int(-1)) },
        { "s", QVariant(QStringLiteral("lie")) },
        { "b", QVariant(true) },
        { "d", QVariant(1e308) },
        { "as", QVariant(QStringList { QStringLiteral("x") }) },
        { "ay", QVariant(QByteArray("\0\xff", 2)) },
        { "o", QVariant::fromValue(QDBusObjectPath(QStringLiteral("/nowhere"))) },
        { "a{sv}", QVariant(QVariantMap { { QStringLiteral("k"), 1 } }) },
        { "t", QVariant(std::numeric_limits<quint64>::max()) },
        { "x", QVariant(std::numeric_limits<qint64>::min()) },
        { "n", QVariant::fromValue(qint16(-32768)) },
        { "y", QVariant::fromValue(uchar(255)) },
        { "u", QVariant(uint(7)) },
        { "ao",
          QVariant::fromValue(QList<QDBusObjectPath> { QDBusObjectPath(QStringLiteral("/")) }) },
    };
    return pool;
}

const QString &hugeString()
{
    static const QString huge(1 << 20, QLatin1Char('N'));
    return huge;
}

template<typename T> const T &pick(QRandomGenerator &random, const std::vector<T> &from)
{
    return from[random.bounded(quint32(from.size()))];
}

} // namespace

Liar::Liar(Simulator *simulator)
    : m_simulator(simulator)
{
}

const char *Liar::kindName(Kind kind)
{
    switch (kind) {
    case Kind::AdapterWrongType:
        return "adapter-wrong-type";
    case Kind::AdapterExtreme:
        return "adapter-extreme";
    case Kind::DeviceWrongType:
        return "device-wrong-type";
    case Kind::DeviceExtreme:
        return "device-extreme";
    case Kind::DeviceNowhere:
        return "device-nowhere";
    case Kind::FoundBadAddress:
        return "found-bad-address";
    case Kind::FoundBadValues:
        return "found-bad-values";
    case Kind::CreatedNowhere:
        return "created-nowhere";
    case Kind::RemovedNowhere:
        return "removed-nowhere";
    case Kind::WrongArguments:
        return "wrong-arguments";
    case Kind::TransferNowhere:
        return "transfer-nowhere";
    case Kind::ProgressExtreme:
        return "progress-extreme";
    case Kind::Count:
        break;
    }
    return "";
}

QJsonObject Liar::tell(int count, quint32 seed)
{
    m_random.seed(seed);
    QJsonObject told;
    for (int i = 0; i < count; ++i) {
        const auto kind = Kind(m_random.bounded(int(Kind::Count)));
        if (!tellOne(kind))
            continue;
        const QString name = QLatin1String(kindName(kind));
        told.insert(name, told.value(name).toInt() + 1);
    }
    return told;
}

bool Liar::tellOne(Kind kind)
{
    const bool obex = kind == Kind::TransferNowhere || kind == Kind::ProgressExtreme;
    if (obex ? !obexReady() : !bluezReady())
        return false;
    switch (kind) {
    case Kind::AdapterWrongType:
    case Kind::AdapterExtreme: {
        const bool wrong = kind == Kind::AdapterWrongType;
        const Property &p = onBluez5()
            ? pick(m_random, wrong ? adapter1Properties : adapter1Extremes)
            : pick(m_random, wrong ? adapterProperties : adapterExtremes);
        propertySignal(adapterPath(), Object::Adapter, p,
                       wrong ? wrongType(QLatin1String(p.second))
                             : extreme(QLatin1String(p.second)));
        return true;
    }
    case Kind::DeviceWrongType:
    case Kind::DeviceExtreme: {
        const QString path = knownDevicePath();
        if (path.isEmpty())
            return false;
        const bool wrong = kind == Kind::DeviceWrongType;
        const Property &p = pick(m_random, wrong ? deviceProperties : deviceExtremes);
        propertySignal(path, Object::Device, p,
                       wrong ? wrongType(QLatin1String(p.second))
                             : extreme(QLatin1String(p.second)));
        return true;
    }
    case Kind::DeviceNowhere: {
        const Property &p = pick(m_random, deviceProperties);
        propertySignal(nowherePath(), Object::Device, p, lieAbout(QLatin1String(p.second)));
        return true;
    }
    case Kind::FoundBadAddress:
        found(QStringLiteral("DE:AD:BE:EF:01:0%1").arg(m_random.bounded(8)), junkAddress());
        return true;
    case Kind::FoundBadValues: {
        const QString phantom = QStringLiteral("DE:AD:BE:EF:00:0%1").arg(m_random.bounded(8));
        found(phantom, phantom);
        return true;
    }
    case Kind::CreatedNowhere:
    case Kind::RemovedNowhere:
        announceNowhere(kind == Kind::CreatedNowhere);
        return true;
    case Kind::WrongArguments: {
        // Signals clients know, with argument lists they cannot match.
        const QVariantList shapes[] = { {},
                                        { 5 },
                                        { QStringLiteral("Name"), QStringLiteral("x") },
                                        { QStringLiteral("00:11:22:33:44:55") },
                                        { 5, QVariantMap() },
                                        { QStringLiteral("a"), QStringLiteral("b"), 3 } };
        const QVariantList &args = shapes[m_random.bounded(int(std::size(shapes)))];
        const QString device = knownDevicePath();
        const QString devicePath = device.isEmpty() ? nowherePath() : device;
        const int which = m_random.bounded(4);
        if (onBluez5()) {
            switch (which) {
            case 0:
                bluezSignal(adapterPath(), propertiesInterface, QStringLiteral("PropertiesChanged"),
                            args);
                break;
            case 1:
                bluezSignal(QStringLiteral("/"), objectManagerInterface,
                            QStringLiteral("InterfacesAdded"), args);
                break;
            case 2:
                bluezSignal(QStringLiteral("/"), objectManagerInterface,
                            QStringLiteral("InterfacesRemoved"), args);
                break;
            default:
                bluezSignal(devicePath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                            args);
            }
            return true;
        }
        switch (which) {
        case 0:
            bluezSignal(adapterPath(), adapterInterface, propertyChanged, args);
            break;
        case 1:
            bluezSignal(adapterPath(), adapterInterface, QStringLiteral("DeviceFound"), args);
            break;
        case 2:
            bluezSignal(adapterPath(), adapterInterface, QStringLiteral("DeviceCreated"), args);
            break;
        default:
            bluezSignal(devicePath, deviceInterface, propertyChanged, args);
        }
        return true;
    }
    case Kind::TransferNowhere:
    case Kind::ProgressExtreme:
        if (onObexd5()) {
            obexd5Lie(kind);
            return true;
        }
        return obexLie(kind);
    case Kind::Count:
        break;
    }
    return false;
}

bool Liar::obexLie(Kind kind)
{
    switch (kind) {
    case Kind::TransferNowhere: {
        const QVariant nowhere = QVariant::fromValue(
            QDBusObjectPath(QStringLiteral("/transfer%1").arg(90000 + m_random.bounded(100))));
        if (m_random.bounded(2))
            obexSignal(QStringLiteral("/"), managerInterface, QStringLiteral("TransferStarted"),
                       { nowhere });
        else
            obexSignal(QStringLiteral("/"), managerInterface, QStringLiteral("TransferCompleted"),
                       { nowhere, bool(m_random.bounded(2)) });
        return true;
    }
    case Kind::ProgressExtreme: {
        const std::vector<std::pair<int, int>> extremes {
            { -1, -1 }, { INT_MAX, INT_MIN }, { INT_MIN, 0 }, { 10, INT_MAX }, { 0, -5 }
        };
        const auto &[total, transferred] = pick(m_random, extremes);
        const QString live = liveTransferPath();
        obexSignal(live.isEmpty() ? QStringLiteral("/transfer90000") : live, transferInterface,
                   QStringLiteral("Progress"), { total, transferred });
        return true;
    }
    default:
        break;
    }
    return false;
}

void Liar::obexd5Lie(Kind kind)
{
    // obexd 5 says the same through Transfer1's PropertiesChanged: a status
    // for an object that never was, or an absurd count for a live one.
    const QString live = liveTransferPath();
    const bool nowhere = kind == Kind::TransferNowhere || live.isEmpty();
    const QString path = nowhere ? QStringLiteral("/org/bluez/obex/server/session90000/transfer%1")
                                       .arg(90000 + m_random.bounded(100))
                                 : live;
    const QVariantMap values = kind == Kind::TransferNowhere
        ? QVariantMap { { "Status", m_random.bounded(2) ? "complete" : "error" } }
        : QVariantMap { { "Transferred", m_random.bounded(2) ? ~quint64(0) : quint64(1) << 62 },
                        { "Size", quint64(m_random.bounded(2)) } };
    obexSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
               QStringLiteral("PropertiesChanged"),
               { QStringLiteral("org.bluez.obex.Transfer1"), values, QStringList() });
}

bool Liar::onObexd5() const
{
    return m_simulator->obexServer()->serviceName() == QLatin1String("org.bluez.obex");
}

// --- values ------------------------------------------------------------------

QVariant Liar::wrongType(const QString &signature)
{
    const auto &pool = typePool();
    for (;;) {
        const auto &[type, value] = pick(m_random, pool);
        if (type != signature)
            return value;
    }
}

QVariant Liar::extreme(const QString &signature)
{
    if (signature == QLatin1String("s"))
        return hostileString();
    if (signature == QLatin1String("u")) {
        const uint values[] = { 0, 1, 0x80000000u, std::numeric_limits<uint>::max() };
        return values[m_random.bounded(int(std::size(values)))];
    }
    if (signature == QLatin1String("n")) {
        const qint16 values[] = { -32768, 32767, 0, -1 };
        return QVariant::fromValue(values[m_random.bounded(int(std::size(values)))]);
    }
    if (signature == QLatin1String("as")) {
        switch (m_random.bounded(3)) {
        case 0:
            return QStringList();
        case 1:
            return QStringList { QString(), hostileString(), QStringLiteral("not-a-uuid") };
        default:
            return QStringList(1000, QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb"));
        }
    }
    if (signature == QLatin1String("ao"))
        return QVariant::fromValue(QList<QDBusObjectPath> { QDBusObjectPath(nowherePath()),
                                                            QDBusObjectPath(QStringLiteral("/")) });
    if (signature == QLatin1String("o"))
        return QVariant::fromValue(QDBusObjectPath(nowherePath()));
    return m_random.bounded(2) == 1;
}

QVariant Liar::lieAbout(const QString &signature)
{
    return m_random.bounded(2) ? wrongType(signature) : extreme(signature);
}

QString Liar::hostileString()
{
    // The megabyte is rare: it is the one that costs the bus time.
    if (m_random.bounded(40) == 0)
        return hugeString();
    const QString values[] = {
        QString(),
        QStringLiteral("\x01\x07\x1b[2J\x1b[31m\r\n\t"),
        QStringLiteral("\u202etxt.exe"),
        QStringLiteral("../../../etc/passwd"),
        QStringLiteral("%s%n%x%p"),
        QString(4096, QLatin1Char('x')),
        QStringLiteral("\U0001F4A9\u0301\u200b"),
        QStringLiteral("  "),
    };
    return values[m_random.bounded(int(std::size(values)))];
}

QString Liar::junkAddress()
{
    if (m_random.bounded(40) == 0)
        return hugeString();
    const QString values[] = {
        QString(),
        QStringLiteral("00:11:22:33:44"),
        QStringLiteral("GG:HH:II:JJ:KK:LL"),
        QStringLiteral("../../etc/passwd"),
        QStringLiteral("00:11:22:33:44:55:66"),
        QStringLiteral("00-11-22-33-44-55"),
        QStringLiteral("\n\x01"),
        QStringLiteral("/org/bluez"),
        QStringLiteral(" 00:11:22:33:44:55"),
        QStringLiteral("001122334455"),
    };
    return values[m_random.bounded(int(std::size(values)))];
}

QString Liar::nowherePath()
{
    const QString adapter = adapterPath();
    const QString values[] = {
        adapter + QStringLiteral("/dev_DE_AD_00_00_00_0") + QString::number(m_random.bounded(8)),
        QStringLiteral("/nowhere"),
        QStringLiteral("/"),
        QStringLiteral("/org/bluez"),
        adapter,
        adapter + QStringLiteral("/dev_00_11"),
        adapter + QStringLiteral("/dev_00_11_22_33_44_55/extra"),
        QStringLiteral("/org/bluez/0/hci9/dev_00_11_22_33_44_55"),
    };
    return values[m_random.bounded(int(std::size(values)))];
}

QVariantMap Liar::lyingFoundValues()
{
    QVariantMap values;
    switch (m_random.bounded(3)) {
    case 0: // keys left out
        break;
    case 1: // every key of a wrong type
        for (const Property &p : deviceProperties)
            values.insert(QLatin1String(p.first), wrongType(QLatin1String(p.second)));
        break;
    default: // right types, extreme values
        for (const Property &p : deviceExtremes)
            values.insert(QLatin1String(p.first), extreme(QLatin1String(p.second)));
        values.insert(QStringLiteral("Paired"), false);
        break;
    }
    return values;
}

QString Liar::knownDevicePath()
{
    const QStringList paths = m_simulator->bluez()->deviceObjectPaths();
    return paths.isEmpty() ? QString() : paths.at(m_random.bounded(int(paths.size())));
}

QString Liar::liveTransferPath()
{
    QStringList live = m_simulator->obexServer()->transferPaths();
    if (!onObexd5())
        return live.isEmpty() ? QString() : live.first();
    // obexd 5 tells of the files it sends in the same words: either may be lied about.
    live += static_cast<Obex5Service *>(m_simulator->obexServer())->client()->transferPaths();
    return live.isEmpty() ? QString() : live.at(m_random.bounded(int(live.size())));
}

// --- replies -----------------------------------------------------------------

void Liar::lieInReplies(bool lying, quint32 seed)
{
    if (!bluezReady())
        return;
    BluetoothService *bluez = m_simulator->bluez();
    if (!lying) {
        bluez->tellTruth();
        return;
    }
    m_random.seed(seed);
    auto lies = [this](const std::vector<Property> &properties) {
        QVariantMap raw;
        for (const Property &p : properties) {
            // Left out, a wrong type, or a right type with an extreme value.
            const int how = m_random.bounded(3);
            raw.insert(QLatin1String(p.first),
                       how == 0       ? QVariant()
                           : how == 1 ? wrongType(QLatin1String(p.second))
                                      : extreme(QLatin1String(p.second)));
        }
        return raw;
    };
    bluez->lieInReplies([&] { return lies(onBluez5() ? adapter1Properties : adapterProperties); },
                        [&] { return lies(deviceProperties); });
}

// --- sending -----------------------------------------------------------------

void Liar::bluezSignal(const QString &path, const QString &interface, const QString &member,
                       const QVariantList &args)
{
    m_simulator->bluez()->tree()->emitSignal(path, interface, member, args);
}

void Liar::propertySignal(const QString &path, Object object, const Property &property,
                          const QVariant &value)
{
    const QString name = QLatin1String(property.first);
    if (onBluez5()) {
        bluezSignal(path, propertiesInterface, QStringLiteral("PropertiesChanged"),
                    { object == Object::Adapter ? adapter1Interface : device1Interface,
                      QVariantMap { { name, value } }, QStringList() });
        return;
    }
    bluezSignal(path, object == Object::Adapter ? adapterInterface : deviceInterface,
                propertyChanged, { name, QVariant::fromValue(QDBusVariant(value)) });
}

void Liar::found(const QString &address, const QString &claimedAddress)
{
    QVariantMap values = lyingFoundValues();
    if (!onBluez5()) {
        bluezSignal(adapterPath(), adapterInterface, QStringLiteral("DeviceFound"),
                    { claimedAddress, values });
        return;
    }
    // BlueZ 5 finds a device by announcing its object.
    if (!values.contains(QStringLiteral("Address")) || claimedAddress != address)
        values.insert(QStringLiteral("Address"), claimedAddress);
    QString node = address;
    node.replace(QLatin1Char(':'), QLatin1Char('_'));
    announceObject(adapterPath() + QStringLiteral("/dev_") + node, values);
}

void Liar::announceNowhere(bool created)
{
    const QString path = nowherePath();
    if (!onBluez5()) {
        bluezSignal(adapterPath(), adapterInterface,
                    created ? QStringLiteral("DeviceCreated") : QStringLiteral("DeviceRemoved"),
                    { QVariant::fromValue(QDBusObjectPath(path)) });
        return;
    }
    if (!created) {
        bluezSignal(
            QStringLiteral("/"), objectManagerInterface, QStringLiteral("InterfacesRemoved"),
            { QVariant::fromValue(QDBusObjectPath(path)), QStringList { device1Interface } });
        return;
    }
    // A paired device whose address is missing or not the one of its path.
    QVariantMap values { { QStringLiteral("Paired"), true }, { QStringLiteral("Trusted"), true } };
    if (m_random.bounded(2))
        values.insert(QStringLiteral("Address"), junkAddress());
    announceObject(path, values);
}

void Liar::announceObject(const QString &path, const QVariantMap &deviceValues)
{
    bluezSignal(QStringLiteral("/"), objectManagerInterface, QStringLiteral("InterfacesAdded"),
                { QVariant::fromValue(QDBusObjectPath(path)),
                  QVariant::fromValue(InterfaceMap { { device1Interface, deviceValues } }) });
}

void Liar::obexSignal(const QString &path, const QString &interface, const QString &member,
                      const QVariantList &args)
{
    m_simulator->obexServer()->tree()->emitSignal(path, interface, member, args);
}

bool Liar::bluezReady() const
{
    return m_simulator->bluez()->isRunning() && !adapterPath().isEmpty();
}

bool Liar::onBluez5() const
{
    return m_simulator->bluez()->dialect() == 5;
}

bool Liar::obexReady() const
{
    return m_simulator->obexServer()->isRunning();
}

QString Liar::adapterPath() const
{
    return m_simulator->bluez()->adapterObjectPath();
}
