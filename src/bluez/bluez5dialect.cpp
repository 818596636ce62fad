#include "bluez5dialect.h"

#include "bluezagentroutes.h"
#include "bluezlogging.h"
#include "bluezpropertytypes.h"
#include "firstreport.h"
#include "rfkillmonitor.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <climits>
#include <optional>
#include <utility>

namespace Ovrin {

namespace {
const QString bluezService = QStringLiteral("org.bluez");
const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString agentManagerInterface = QStringLiteral("org.bluez.AgentManager1");
const QString agentManagerPath = QStringLiteral("/org/bluez");
// The name users give the adapter is BlueZ 5's "Alias"; its "Name" is the system's.
const QString adapterName = QStringLiteral("Name");
const QString adapterAlias = QStringLiteral("Alias");
// The kernel's rfkill switch keeps the radio off: BlueZ 5 tells it in
// "PowerState"; the library calls it "RadioBlocked" (BlueZ 4 never has it).
const QString powerState = QStringLiteral("PowerState");
const QString radioBlocked = QStringLiteral("RadioBlocked");

bool isRadioBlocked(const QVariantMap &adapter)
{
    return adapter.value(powerState).toString() == QLatin1String("off-blocked");
}
const QLatin1String blockedError("org.bluez.Error.Blocked");
// How long a creation looks for a device that discovery has not found.
constexpr int lookupTimeLimitMs = 20000;
// The kernel drops a link nothing uses about 2 s after a pairing's last
// channel closed; one that lives longer is held by the device's own profiles.
constexpr int pairingLinkIdleMs = 6000;
// A controller's inquiry lasts about ten seconds: asked again every second
// for a little longer than one.
constexpr int discoveryRetryMs = 1000;
constexpr int discoveryRetries = 15;

QVariantMap adapterAsBluez4(QVariantMap properties)
{
    properties.remove(adapterName);
    const auto alias = properties.constFind(adapterAlias);
    if (alias != properties.constEnd()) {
        properties.insert(adapterName, *alias);
        properties.remove(adapterAlias);
    }
    properties.remove(powerState);
    return properties;
}

template<typename T> T demarshalled(const QVariant &value)
{
    T result;
    value.value<QDBusArgument>() >> result;
    return result;
}

} // namespace

Bluez5Dialect::Bluez5Dialect(const QDBusConnection &bus, QObject *parent)
    : BluezDialect(parent)
    , m_bus(bus)
    , m_discoveryRetry(new QTimer(this))
{
    m_discoveryRetry->setInterval(discoveryRetryMs);
    connect(m_discoveryRetry, &QTimer::timeout, this, &Bluez5Dialect::retryDiscovery);
    qRegisterMetaType<QDBusMessage>();
    // Every signal of the daemon's objects: three match rules, however many
    // objects there are. Only BlueZ's own (QtDBus checks the sender).
    const bool followed
        = m_bus.connect(bluezService, QString(), objectManager, QStringLiteral("InterfacesAdded"),
                        this, SLOT(onInterfacesAdded(QDBusMessage)))
        && m_bus.connect(bluezService, QString(), objectManager,
                         QStringLiteral("InterfacesRemoved"), this,
                         SLOT(onInterfacesRemoved(QDBusMessage)))
        && m_bus.connect(bluezService, QString(), propertiesInterface,
                         QStringLiteral("PropertiesChanged"), this,
                         SLOT(onPropertiesChanged(QDBusMessage)));
    if (!followed)
        qCWarning(lcBluez, "Unable to follow the changes of BlueZ objects");
}

Bluez5Dialect::~Bluez5Dialect()
{
    // BlueZ left: whoever waits for a device hears it now.
    const QList<Lookup> lookups = std::exchange(m_lookups, {});
    for (const Lookup &lookup : lookups) {
        delete lookup.timeLimit;
        lookup.found(daemonGone());
    }
}

QDBusError Bluez5Dialect::load()
{
    // The kernel's word on rfkill, at hand before the adapter is.
    if (!m_rfkill) {
        m_rfkill = new RfkillMonitor(this);
        connect(m_rfkill, &RfkillMonitor::changed, this, &Bluez5Dialect::rfkillChanged);
    }
    QList<std::pair<QString, Interfaces>> described;
    const QDBusError error = readObjects(&described);
    if (error.isValid())
        return error;
    // Other daemons answer the call too (test doubles of BlueZ 4 do, with no
    // objects): BlueZ 5 is known by its own interfaces.
    if (!holdsBluez5Objects(described))
        return QDBusError(QDBusError::UnknownInterface,
                          QStringLiteral("The objects hold no interface of BlueZ 5"));
    takeObjects(described);
    return QDBusError();
}

QDBusError Bluez5Dialect::readObjects(QList<std::pair<QString, Interfaces>> *described) const
{
    const QDBusMessage answer = m_bus.call(QDBusMessage::createMethodCall(
        bluezService, QStringLiteral("/"), objectManager, QStringLiteral("GetManagedObjects")));
    if (answer.type() != QDBusMessage::ReplyMessage)
        return QDBusError(answer);
    if (answer.signature() != QLatin1String("a{oa{sa{sv}}}"))
        return QDBusError(
            QDBusError::InvalidSignature,
            QStringLiteral("Unexpected objects of signature %1").arg(answer.signature()));
    const QDBusArgument objects = answer.arguments().value(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        Interfaces interfaces;
        objects.beginMapEntry();
        objects >> path >> interfaces;
        objects.endMapEntry();
        described->append({ path.path(), interfaces });
    }
    objects.endMap();
    return QDBusError();
}

void Bluez5Dialect::takeObjects(const QList<std::pair<QString, Interfaces>> &described)
{
    // The adapter first: which devices are its own depends on it.
    QStringList adapters;
    for (const auto &[path, interfaces] : described) {
        if (interfaces.contains(adapterInterface))
            adapters << path;
    }
    const QString chosen = firstByNumber(adapters);
    for (const auto &[path, interfaces] : described) {
        if (path == chosen)
            addAdapter(path, interfaces.value(adapterInterface));
    }
    for (const auto &[path, interfaces] : described)
        addObject(path, interfaces);
}

QString Bluez5Dialect::firstByNumber(const QStringList &adapterPaths)
{
    // hci2 before hci10: the number, not the text, orders controllers.
    const auto number = [](const QString &path) {
        bool ok = false;
        const int n = path.section(QLatin1Char('/'), -1).mid(3).toInt(&ok);
        return ok ? n : INT_MAX;
    };
    QString first;
    for (const QString &path : adapterPaths) {
        if (first.isEmpty() || number(path) < number(first)
            || (number(path) == number(first) && path < first))
            first = path;
    }
    return first;
}

void Bluez5Dialect::moveToAnotherAdapter()
{
    // As BlueZ 4's default adapter did: the handles go on with the next
    // controller. Its devices were not followed: everything is read again.
    if (m_otherAdapters.isEmpty())
        return;
    m_otherAdapters.clear();
    QList<std::pair<QString, Interfaces>> described;
    if (readObjects(&described).isValid())
        return;
    takeObjects(described);
}

bool Bluez5Dialect::holdsBluez5Objects(const QList<std::pair<QString, Interfaces>> &objects)
{
    // bluetoothd 5 always has its agent manager; anything named like its
    // versioned interfaces (org.bluez.Adapter1, ...) will do as well.
    static const QRegularExpression versioned(QStringLiteral("^org\\.bluez\\.[A-Za-z]+1$"));
    for (const auto &[path, interfaces] : objects) {
        for (auto it = interfaces.constBegin(); it != interfaces.constEnd(); ++it) {
            if (versioned.match(it.key()).hasMatch())
                return true;
        }
    }
    return false;
}

// --- the objects -------------------------------------------------------------

void Bluez5Dialect::addObject(const QString &path, const Interfaces &interfaces)
{
    const auto adapter = interfaces.constFind(adapterInterface);
    if (adapter != interfaces.constEnd())
        addAdapter(path, *adapter);
    const auto device = interfaces.constFind(deviceInterface);
    if (device != interfaces.constEnd())
        addDevice(path, *device);
}

void Bluez5Dialect::addAdapter(const QString &path, const QVariantMap &properties)
{
    if (!m_adapterPath.isEmpty() && m_adapterPath != path) {
        m_otherAdapters.insert(path);
        return;
    }
    const bool isNew = m_adapterPath.isEmpty();
    m_adapterPath = path;
    m_adapter.insert(BluezPropertyTypes::adapter().filtered(properties));
    if (isNew) {
        // Read with the adapter's properties, not announced.
        m_toldRadioBlocked = isRadioBlockedNow();
        Q_EMIT adapterAdded();
    }
}

QString Bluez5Dialect::devicePathFor(const QString &address) const
{
    QString node = address.toUpper();
    node.replace(QLatin1Char(':'), QLatin1Char('_'));
    return m_adapterPath + QStringLiteral("/dev_") + node;
}

bool Bluez5Dialect::isKnown(const Device &device) const
{
    const QVariantMap &p = device.properties;
    return device.createdHere || p.value(QStringLiteral("Paired")).toBool()
        || p.value(QStringLiteral("Trusted")).toBool()
        || p.value(QStringLiteral("Blocked")).toBool();
}

bool Bluez5Dialect::isDeviceObject(const QString &path, const QVariantMap &properties) const
{
    // BlueZ names a device's object after its address, under its adapter.
    const QVariant address = properties.value(QStringLiteral("Address"));
    return !m_adapterPath.isEmpty() && address.metaType() == QMetaType::fromType<QString>()
        && BluezPropertyTypes::isAddress(address.toString())
        && devicePathFor(address.toString()) == path;
}

void Bluez5Dialect::addDevice(const QString &path, const QVariantMap &announced)
{
    const QVariantMap properties = BluezPropertyTypes::device().filtered(announced);
    if (!m_devices.contains(path) && !isDeviceObject(path, properties)) {
        // The devices of another controller are not ours to follow.
        const bool otherController = !m_adapterPath.isEmpty()
            && !path.startsWith(m_adapterPath + QLatin1Char('/'))
            && path.startsWith(QStringLiteral("/org/bluez/hci"));
        if (otherController)
            return;
        if (isFirstReport(QStringLiteral("InterfacesAdded/device")))
            qCWarning(lcBluez, "Ignoring InterfacesAdded for '%s': not a device of adapter %s",
                      qPrintable(loggable(path)), qPrintable(m_adapterPath));
        return;
    }
    auto existing = m_devices.find(path);
    if (existing != m_devices.end()) {
        // Told again (it came while the first answer was on its way).
        existing->properties.insert(properties);
        return;
    }
    // A copy: the creations waiting for it and receivers may change the objects.
    Device fresh;
    fresh.properties = properties;
    const Device added = *m_devices.insert(path, fresh);
    for (int i = m_lookups.size() - 1; i >= 0; --i) {
        if (i < m_lookups.size() && devicePathFor(m_lookups.at(i).address) == path)
            endLookup(m_lookups.at(i).address, QDBusError());
    }
    if (isKnown(added))
        Q_EMIT deviceCreated(QDBusObjectPath(path));
    // What an inquiry answered, known or not, as BlueZ 4's DeviceFound.
    if (m_discoveryUsers > 0 && added.properties.contains(QStringLiteral("RSSI")))
        reportFound(added);
}

void Bluez5Dialect::reportFound(const Device &device)
{
    const QVariantMap &properties = device.properties;
    const QString address = properties.value(QStringLiteral("Address")).toString();
    // Without a filter BlueZ 5 scans low energy too: an advertiser with
    // neither name nor class (BlueZ shows its address, dashed) is nothing a
    // user can pair or send to, until it says who it is.
    const bool describes = properties.contains(QStringLiteral("Name"))
        || properties.contains(QStringLiteral("Class"));
    if (!address.isEmpty() && describes)
        Q_EMIT deviceFound(address, properties);
}

void Bluez5Dialect::removeObject(const QString &path, const QStringList &interfaces)
{
    if (interfaces.contains(deviceInterface)) {
        const auto device = m_devices.constFind(path);
        bool wasKnown = false;
        if (device != m_devices.constEnd()) {
            wasKnown = isKnown(*device);
            m_devices.erase(device);
        } else if (m_removedHere.contains(path)) {
            wasKnown = m_removedHere.take(path);
        } else {
            return;
        }
        Q_EMIT deviceObjectRemoved(path);
        if (wasKnown)
            Q_EMIT deviceRemoved(QDBusObjectPath(path));
    }
    if (interfaces.contains(adapterInterface) && path == m_adapterPath) {
        discoveryDropped();
        m_adapterPath.clear();
        m_adapter.clear();
        m_powerRefusedAsBlocked = false;
        m_toldRadioBlocked = false;
        Q_EMIT adapterRemoved();
        moveToAnotherAdapter();
    } else if (interfaces.contains(adapterInterface)) {
        m_otherAdapters.remove(path);
    }
}

void Bluez5Dialect::discoveryDropped()
{
    // Switched off or gone, the adapter takes every discovery session with
    // it: whoever searches next starts a new one, and nothing is found for
    // the look-ups now.
    m_discoveryUsers = 0;
    m_discoveryRetry->stop();
    while (!m_lookups.isEmpty())
        endLookup(m_lookups.constFirst().address,
                  bluezError("NotReady", QStringLiteral("Resource Not Ready")));
}

void Bluez5Dialect::forgetWrongValues(QVariantMap *cache, const QVariantMap &reported,
                                      const QVariantMap &checked)
{
    // A value of the wrong type stands for nothing: the property is absent
    // now, as a fresh read would show it.
    if (reported.size() == checked.size())
        return;
    for (auto it = reported.constBegin(); it != reported.constEnd(); ++it) {
        if (!checked.contains(it.key()))
            cache->remove(it.key());
    }
}

void Bluez5Dialect::adapterChanged(const QVariantMap &reported)
{
    const QVariantMap changed = BluezPropertyTypes::adapter().filtered(reported);
    forgetWrongValues(&m_adapter, reported, changed);
    // BlueZ's word on the power state ends a block learnt from a refusal.
    if (changed.contains(powerState) || changed.value(QStringLiteral("Powered")).toBool())
        m_powerRefusedAsBlocked = false;
    for (auto it = changed.constBegin(); it != changed.constEnd(); ++it) {
        m_adapter.insert(it.key(), it.value());
        if (it.key() == adapterName || it.key() == powerState)
            continue;
        Q_EMIT adapterPropertyChanged(it.key() == adapterAlias ? adapterName : it.key(),
                                      it.value());
    }
    const auto powered = changed.constFind(QStringLiteral("Powered"));
    if (powered != changed.constEnd() && !powered->toBool())
        discoveryDropped();
    // BlueZ 4 told the visibility after every power-on, and the library
    // checks that report against the user's choice; BlueZ 5 tells it only
    // when it changed.
    const QString discoverable = QStringLiteral("Discoverable");
    if (powered != changed.constEnd() && powered->metaType() == QMetaType::fromType<bool>()
        && powered->toBool() && !changed.contains(discoverable) && m_adapter.contains(discoverable))
        Q_EMIT adapterPropertyChanged(discoverable, m_adapter.value(discoverable));
    tellRadioBlocked();
}

bool Bluez5Dialect::isRadioBlockedNow() const
{
    if (m_adapterPath.isEmpty())
        return false;
    const QString controller = m_adapterPath.section(QLatin1Char('/'), -1);
    return m_powerRefusedAsBlocked || isRadioBlocked(m_adapter)
        || (m_rfkill && m_rfkill->isBlocked(controller));
}

void Bluez5Dialect::tellRadioBlocked()
{
    const bool blocked = isRadioBlockedNow();
    if (blocked == m_toldRadioBlocked || m_adapterPath.isEmpty())
        return;
    m_toldRadioBlocked = blocked;
    Q_EMIT adapterPropertyChanged(radioBlocked, blocked);
}

void Bluez5Dialect::rfkillChanged()
{
    // The kernel's word on the switch ends a block learnt from a refusal.
    m_powerRefusedAsBlocked = false;
    tellRadioBlocked();
}

void Bluez5Dialect::powerOnRefused(const QString &errorName)
{
    // Where neither rfkill nor "PowerState" can be read, the refusal tells the block.
    if (errorName != blockedError)
        return;
    m_powerRefusedAsBlocked = true;
    tellRadioBlocked();
}

void Bluez5Dialect::deviceChanged(const QString &path, const QVariantMap &reported,
                                  const QStringList &invalidated)
{
    auto device = m_devices.find(path);
    if (device == m_devices.end()) {
        // An object first described wrongly is taken up once its address is right.
        if (isDeviceObject(path, BluezPropertyTypes::device().filtered(reported)))
            addDevice(path, reported);
        return;
    }
    const QVariantMap changed = BluezPropertyTypes::device().filtered(reported);
    // Only this of the old state is needed: a copy of the device would make
    // the insert below copy its whole map, once per RSSI report.
    const bool wasKnown = isKnown(*device);
    forgetWrongValues(&device->properties, reported, changed);
    device->properties.insert(changed);
    if (!changed.value(QStringLiteral("Connected"), true).toBool())
        device->pairingLink = false;
    for (const QString &name : invalidated)
        device->properties.remove(name);
    for (auto it = changed.constBegin(); it != changed.constEnd(); ++it)
        Q_EMIT devicePropertyChanged(path, it.key(), it.value());
    // Signals above may have run code that changed the objects.
    device = m_devices.find(path);
    if (device == m_devices.end())
        return;
    if (!wasKnown && isKnown(*device)) {
        Q_EMIT deviceCreated(QDBusObjectPath(path));
        return;
    }
    const bool seenAgain = changed.contains(QStringLiteral("RSSI"))
        || changed.contains(QStringLiteral("Name")) || changed.contains(QStringLiteral("Alias"));
    if (m_discoveryUsers > 0 && seenAgain)
        reportFound(*device);
}

void Bluez5Dialect::onInterfacesAdded(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("oa{sa{sv}}"))
        return;
    const QString path = message.arguments().value(0).value<QDBusObjectPath>().path();
    addObject(path, demarshalled<Interfaces>(message.arguments().value(1)));
}

void Bluez5Dialect::onInterfacesRemoved(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("oas"))
        return;
    removeObject(message.arguments().value(0).value<QDBusObjectPath>().path(),
                 message.arguments().value(1).toStringList());
}

void Bluez5Dialect::onPropertiesChanged(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("sa{sv}as"))
        return;
    const QString interface = message.arguments().value(0).toString();
    const QVariantMap changed = demarshalled<QVariantMap>(message.arguments().value(1));
    const QStringList invalidated = message.arguments().value(2).toStringList();
    if (interface == adapterInterface && message.path() == m_adapterPath)
        adapterChanged(changed);
    else if (interface == deviceInterface)
        deviceChanged(message.path(), changed, invalidated);
}

// --- calls -------------------------------------------------------------------

QDBusMessage Bluez5Dialect::call(const QString &path, const QString &interface,
                                 const QString &method, const QVariantList &args) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(bluezService, path, interface, method);
    message.setArguments(args);
    return message;
}

bool Bluez5Dialect::blockingCall(const char *method, const QDBusMessage &message, QDBusError *error)
{
    const QDBusMessage reply = m_bus.call(message);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    warnCallFailed(method, QDBusError(reply));
    if (error)
        *error = QDBusError(reply);
    return false;
}

bool Bluez5Dialect::setProperty(const QString &path, const QString &interface, const QString &name,
                                const QVariant &value)
{
    return blockingCall("Set",
                        call(path, propertiesInterface, QStringLiteral("Set"),
                             { interface, name, QVariant::fromValue(QDBusVariant(value)) }));
}

// --- the adapter -------------------------------------------------------------

QString Bluez5Dialect::findAdapter()
{
    return m_adapterPath;
}

bool Bluez5Dialect::adapterProperties(QVariantMap *properties, QDBusError *error)
{
    if (m_adapterPath.isEmpty()) {
        *error = bluezError("NoSuchAdapter", QStringLiteral("No such adapter"));
        return false;
    }
    *properties = adapterAsBluez4(m_adapter);
    properties->insert(radioBlocked, isRadioBlockedNow());
    return true;
}

bool Bluez5Dialect::setAdapterProperty(const QString &name, const QVariant &value)
{
    const QString bluez5Name = name == adapterName ? adapterAlias : name;
    // bluetoothd hides the adapter again after DiscoverableTimeout (180 s
    // unless configured): a handset made visible stays so until it is hidden.
    const QString timeout = QStringLiteral("DiscoverableTimeout");
    if (bluez5Name == QLatin1String("Discoverable") && value.toBool()
        && m_adapter.value(timeout).toUInt() != 0) {
        if (!setProperty(m_adapterPath, adapterInterface, timeout, 0u))
            return false;
        m_adapter.insert(timeout, 0u);
    }
    if (!setProperty(m_adapterPath, adapterInterface, bluez5Name, value))
        return false;
    // BlueZ may confirm only later: a read right after the write sees what was written.
    m_adapter.insert(bluez5Name, value);
    return true;
}

bool Bluez5Dialect::listDevices(QList<QDBusObjectPath> *devices)
{
    devices->clear();
    for (auto it = m_devices.constBegin(); it != m_devices.constEnd(); ++it) {
        if (isKnown(*it))
            devices->append(QDBusObjectPath(it.key()));
    }
    return true;
}

QDBusObjectPath Bluez5Dialect::findDevice(const QString &address, QDBusError *error)
{
    const QString path = devicePathFor(address);
    const auto device = m_devices.constFind(path);
    if (device != m_devices.constEnd() && isKnown(*device))
        return QDBusObjectPath(path);
    *error = bluezError("DoesNotExist", QStringLiteral("Does Not Exist"));
    return QDBusObjectPath();
}

bool Bluez5Dialect::joinDiscovery(QDBusError *error)
{
    // One discovery session per connection: the parts of the process share it.
    if (m_discoveryUsers++ > 0)
        return true;
    // What was found before this process looked counts as found now.
    const QList<Device> seen = m_devices.values();
    for (const Device &device : seen) {
        if (device.properties.contains(QStringLiteral("RSSI")))
            reportFound(device);
    }
    const QDBusMessage reply
        = m_bus.call(call(m_adapterPath, adapterInterface, QStringLiteral("StartDiscovery")));
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    // A bluetoothd killed while it searched leaves the controller's inquiry
    // running, and the kernel refuses another until it ends: the session is
    // this process's meanwhile, and starts as soon as it can.
    if (reply.errorName() == QLatin1String("org.bluez.Error.InProgress")) {
        m_discoveryRetriesLeft = discoveryRetries;
        m_discoveryRetry->start();
        return true;
    }
    warnCallFailed("StartDiscovery", QDBusError(reply));
    if (error)
        *error = QDBusError(reply);
    m_discoveryUsers = 0;
    return false;
}

void Bluez5Dialect::retryDiscovery()
{
    const QDBusMessage reply
        = m_bus.call(call(m_adapterPath, adapterInterface, QStringLiteral("StartDiscovery")));
    const bool started = reply.type() == QDBusMessage::ReplyMessage;
    if (!started && reply.errorName() == QLatin1String("org.bluez.Error.InProgress")
        && --m_discoveryRetriesLeft > 0)
        return;
    m_discoveryRetry->stop();
    if (!started)
        warnCallFailed("StartDiscovery", QDBusError(reply));
}

void Bluez5Dialect::leaveDiscovery()
{
    if (m_discoveryUsers == 0 || --m_discoveryUsers > 0)
        return;
    // Never started: nothing to stop.
    if (m_discoveryRetry->isActive()) {
        m_discoveryRetry->stop();
        return;
    }
    blockingCall("StopDiscovery",
                 call(m_adapterPath, adapterInterface, QStringLiteral("StopDiscovery")));
}

bool Bluez5Dialect::startDiscovery()
{
    return joinDiscovery();
}

bool Bluez5Dialect::stopDiscovery()
{
    if (m_discoveryUsers == 0) {
        qCWarning(lcBluez, "stopDiscovery: no discovery of this process runs");
        return false;
    }
    leaveDiscovery();
    return true;
}

void Bluez5Dialect::requestSession(QObject *context, const CallDone &done)
{
    // BlueZ 5 has no sessions: the radio is switched on for them, and off
    // again with the last one if it was off before.
    ++m_sessions;
    if (m_adapter.value(QStringLiteral("Powered")).toBool()) {
        QTimer::singleShot(0, context, [done] { done(QDBusError()); });
        return;
    }
    // Sessions asked for while the radio goes on wait for the same answer:
    // a second switch while one runs would be refused as busy.
    if (m_sessionPowerOn.isFinished()) {
        m_poweredForSessions = true;
        const QDBusMessage power = call(m_adapterPath, propertiesInterface, QStringLiteral("Set"),
                                        { adapterInterface, QStringLiteral("Powered"),
                                          QVariant::fromValue(QDBusVariant(true)) });
        m_sessionPowerOn = m_bus.asyncCall(power, slowCallTimeoutMs);
        whenAnswered(m_sessionPowerOn, this, [this](const QDBusMessage &answer) {
            // A session refused is not held: it is not released either.
            if (answer.type() == QDBusMessage::ErrorMessage) {
                m_sessions = 0;
                m_poweredForSessions = false;
                powerOnRefused(answer.errorName());
            }
        });
    }
    whenAnswered(m_sessionPowerOn, context, [done](const QDBusMessage &answer) {
        done(answer.type() == QDBusMessage::ErrorMessage ? QDBusError(answer) : QDBusError());
    });
}

bool Bluez5Dialect::releaseSession()
{
    if (m_sessions == 0 || --m_sessions > 0 || !m_poweredForSessions)
        return true;
    m_poweredForSessions = false;
    return setProperty(m_adapterPath, adapterInterface, QStringLiteral("Powered"), false);
}

bool Bluez5Dialect::registerRouter()
{
    if (m_agentRegistered)
        return true;
    const QDBusMessage reply
        = m_bus.call(call(agentManagerPath, agentManagerInterface, QStringLiteral("RegisterAgent"),
                          { QVariant::fromValue(QDBusObjectPath(BluezAgentRoutes::routerPath())),
                            QStringLiteral("KeyboardDisplay") }));
    // Already there: registered by this connection before this dialect came.
    if (reply.type() == QDBusMessage::ErrorMessage
        && reply.errorName() != QLatin1String("org.bluez.Error.AlreadyExists")) {
        warnCallFailed("RegisterAgent", QDBusError(reply));
        return false;
    }
    m_agentRegistered = true;
    return true;
}

void Bluez5Dialect::unregisterUnusedRouter()
{
    if (!m_agentRegistered || !BluezAgentRoutes::defaultAgent().isEmpty()
        || BluezAgentRoutes::hasAttempts())
        return;
    m_agentRegistered = false;
    blockingCall("UnregisterAgent",
                 call(agentManagerPath, agentManagerInterface, QStringLiteral("UnregisterAgent"),
                      { QVariant::fromValue(QDBusObjectPath(BluezAgentRoutes::routerPath())) }));
}

bool Bluez5Dialect::registerAgent(const QString &agentPath)
{
    if (!registerRouter())
        return false;
    BluezAgentRoutes::setDefaultAgent(agentPath);
    return blockingCall(
        "RequestDefaultAgent",
        call(agentManagerPath, agentManagerInterface, QStringLiteral("RequestDefaultAgent"),
             { QVariant::fromValue(QDBusObjectPath(BluezAgentRoutes::routerPath())) }));
}

bool Bluez5Dialect::unregisterAgent(const QString &agentPath)
{
    if (BluezAgentRoutes::defaultAgent() != agentPath) {
        warnCallFailed("UnregisterAgent",
                       bluezError("DoesNotExist", QStringLiteral("Does Not Exist")));
        return false;
    }
    BluezAgentRoutes::setDefaultAgent(QString());
    unregisterUnusedRouter();
    return true;
}

// --- devices -----------------------------------------------------------------

void Bluez5Dialect::lookFor(const QString &address, QObject *context,
                            const std::function<void(const QDBusError &)> &found)
{
    if (m_devices.contains(devicePathFor(address))) {
        QTimer::singleShot(0, context, [found] { found(QDBusError()); });
        return;
    }
    auto *timeLimit = new QTimer;
    timeLimit->setSingleShot(true);
    connect(timeLimit, &QTimer::timeout, this, [this, address] {
        endLookup(address, bluezError("ConnectionAttemptFailed", QStringLiteral("Page Timeout")));
    });
    QPointer<QObject> guard(context);
    m_lookups.append({ address,
                       [guard, found](const QDBusError &error) {
                           if (guard)
                               found(error);
                       },
                       timeLimit });
    timeLimit->start(lookupTimeLimitMs);
    // Nobody waits any more: the discovery it holds goes at once.
    connect(context, &QObject::destroyed, timeLimit, [this, address] {
        endLookup(address, bluezError("AuthenticationCanceled", QStringLiteral("Canceled")));
    });
    // Nothing is found without discovery: the creation fails as BlueZ
    // refused it, once the caller has returned.
    QDBusError refused;
    if (!joinDiscovery(&refused))
        QTimer::singleShot(0, timeLimit, [this, address, refused] { endLookup(address, refused); });
}

void Bluez5Dialect::endLookup(const QString &address, const QDBusError &error)
{
    for (int i = 0; i < m_lookups.size(); ++i) {
        if (m_lookups.at(i).address != address)
            continue;
        const Lookup lookup = m_lookups.takeAt(i);
        lookup.timeLimit->deleteLater();
        leaveDiscovery();
        lookup.found(error);
        return;
    }
}

void Bluez5Dialect::createDevice(const QString &address, QObject *context, const CreationDone &done)
{
    lookFor(address, context, [this, address, done](const QDBusError &error) {
        const QString path = devicePathFor(address);
        auto device = m_devices.find(path);
        if (error.isValid() || device == m_devices.end()) {
            done(QDBusObjectPath(),
                 error.isValid() ? error
                                 : bluezError("DoesNotExist", QStringLiteral("Does Not Exist")));
            return;
        }
        if (isKnown(*device)) {
            done(QDBusObjectPath(), bluezError("AlreadyExists", QStringLiteral("Already Exists")));
            return;
        }
        device->createdHere = true;
        Q_EMIT deviceCreated(QDBusObjectPath(path));
        done(QDBusObjectPath(path), QDBusError());
    });
}

void Bluez5Dialect::createPairedDevice(const QString &address, const QString &agentPath,
                                       QObject *context, const CreationDone &done)
{
    // found runs only while context lives.
    lookFor(address, context, [this, address, agentPath, context, done](const QDBusError &error) {
        if (error.isValid())
            done(QDBusObjectPath(), error);
        else
            pair(devicePathFor(address), agentPath, context, done);
    });
}

void Bluez5Dialect::pair(const QString &devicePath, const QString &agentPath, QObject *context,
                         const CreationDone &done)
{
    // As with BlueZ 4's CreatePairedDevice, a device not known yet is known
    // from the start of its pairing, and forgotten again if that fails.
    auto device = m_devices.find(devicePath);
    bool madeForPairing = false;
    if (device != m_devices.end()) {
        // A link that comes up now is the pairing's, until it goes.
        device->pairingLink = !device->properties.value(QStringLiteral("Connected")).toBool();
        device->pairingAnswered.invalidate();
        madeForPairing = !isKnown(*device);
        device->createdHere = device->createdHere || madeForPairing;
    }
    m_pairsRunning.insert(devicePath);
    m_pairsCancelledLate.remove(devicePath);
    const QDBusConnection pairBus = agentPath.isEmpty() ? m_bus : busForAttempt(devicePath, agentPath);
    const QDBusPendingCall pairing = pairBus.asyncCall(
        call(devicePath, deviceInterface, QStringLiteral("Pair")), slowCallTimeoutMs);
    // The route ends with the answer, even when nobody waits for it any more.
    auto *routeEnd = new QDBusPendingCallWatcher(pairing, this);
    const QString ownBus = pairBus.name() != m_bus.name() ? pairBus.name() : QString();
    connect(routeEnd, &QDBusPendingCallWatcher::finished, this,
            [this, devicePath, routeEnd, madeForPairing, ownBus] {
                routeEnd->deleteLater();
                BluezAgentRoutes::endAttempt(devicePath);
                if (!ownBus.isEmpty())
                    BluezAgentRoutes::closeAttemptBus(ownBus);
                m_pairsRunning.remove(devicePath);
                if (m_forgetAfterPair.remove(devicePath) && !routeEnd->isError()) {
                    m_pairsCancelledLate.insert(devicePath);
                    removeDevice(devicePath);
                }
                unregisterUnusedRouter();
                auto device = m_devices.find(devicePath);
                if (device != m_devices.end() && !routeEnd->isError())
                    device->pairingAnswered.start();
                if (!madeForPairing || !routeEnd->isError() || device == m_devices.end())
                    return;
                device->createdHere = false;
                if (!isKnown(*device))
                    Q_EMIT deviceRemoved(QDBusObjectPath(devicePath));
            });
    if (madeForPairing)
        Q_EMIT deviceCreated(QDBusObjectPath(devicePath));
    // The answer may come after BlueZ left and took this dialect with it.
    QPointer<Bluez5Dialect> self(this);
    whenAnswered(pairing, context, [self, devicePath, done](const QDBusMessage &answer) {
        if (answer.type() == QDBusMessage::ErrorMessage || !self) {
            done(QDBusObjectPath(), self ? QDBusError(answer) : daemonGone());
            return;
        }
        if (self->m_pairsCancelledLate.remove(devicePath)) {
            done(QDBusObjectPath(), bluezError("AuthenticationCanceled",
                                               QStringLiteral("Authentication Canceled")));
            return;
        }
        self->notePaired(devicePath);
        done(QDBusObjectPath(devicePath), QDBusError());
    });
}

QDBusConnection Bluez5Dialect::busForAttempt(const QString &devicePath, const QString &agentPath)
{
    // BlueZ asks the agent its caller had registered when Pair came: the
    // default one is ours on this connection, any other gets a connection
    // of its own, so that both can have a question open.
    QDBusConnection bus = m_bus;
    if (agentPath != BluezAgentRoutes::defaultAgent()) {
        const QDBusConnection own = BluezAgentRoutes::openAttemptBus();
        if (own.isConnected())
            bus = own;
    }
    if (bus.name() == m_bus.name() && !registerRouter())
        return m_bus;
    BluezAgentRoutes::startAttempt(devicePath, agentPath, bus.name());
    return bus;
}

void Bluez5Dialect::notePaired(const QString &devicePath)
{
    auto device = m_devices.find(devicePath);
    if (device != m_devices.end() && !device->createdHere) {
        const Device before = *device;
        device->createdHere = true;
        if (!isKnown(before))
            Q_EMIT deviceCreated(QDBusObjectPath(devicePath));
    }
}

bool Bluez5Dialect::triesOwnPins(quint32 classOfDevice) const
{
    // bluetoothd's autopair plugin tries "0000", "1234" and "1111" on
    // headsets, hands-free, headphones, portable and hi-fi audio devices.
    static const QList<quint32> audioMinors { 0x01, 0x02, 0x06, 0x07, 0x0a };
    const quint32 major = (classOfDevice >> 8) & 0x1f;
    return major == 0x04 && audioMinors.contains((classOfDevice & 0xfc) >> 2);
}

void Bluez5Dialect::cancelDeviceCreation(const QString &address)
{
    for (const Lookup &lookup : std::as_const(m_lookups)) {
        if (lookup.address == address) {
            endLookup(
                address,
                bluezError("AuthenticationCanceled", QStringLiteral("Authentication Canceled")));
            return;
        }
    }
    const QString devicePath = devicePathFor(address);
    auto *cancel = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call(devicePath, deviceInterface, QStringLiteral("CancelPairing"))), this);
    connect(cancel, &QDBusPendingCallWatcher::finished, this, [this, cancel, devicePath] {
        cancel->deleteLater();
        if (cancel->isError()
            && cancel->error().name() == QLatin1String("org.bluez.Error.DoesNotExist"))
            cancelCameLate(devicePath);
    });
}

void Bluez5Dialect::cancelCameLate(const QString &devicePath)
{
    // bluetoothd had no pairing left to cancel, yet it had the kernel forget
    // the device's key: past its bonding, a Pair still succeeds and BlueZ
    // calls the device paired. The device goes, so that BlueZ, the kernel
    // and the screen agree it is not paired, and the pairing ends cancelled.
    if (m_pairsRunning.contains(devicePath)) {
        m_forgetAfterPair.insert(devicePath);
        return;
    }
    const auto device = m_devices.constFind(devicePath);
    if (device != m_devices.constEnd()
        && device->properties.value(QStringLiteral("Paired")).toBool())
        removeDevice(devicePath);
}

bool Bluez5Dialect::removeDevice(const QString &devicePath)
{
    if (m_adapterPath.isEmpty())
        return false;
    // The object is gone for this process from now on, though BlueZ's
    // signal is still to come: a pairing asked for right after looks for the
    // device anew. The signal tells the others, as for any removal.
    std::optional<Device> removed;
    const auto device = m_devices.constFind(devicePath);
    if (device != m_devices.constEnd()) {
        removed = *device;
        m_removedHere.insert(devicePath, isKnown(*device));
        m_devices.erase(device);
    }
    // bluetoothd answers once a connected device's link is down (seconds):
    // never waited for on the event loop.
    const QDBusPendingCall removal
        = m_bus.asyncCall(call(m_adapterPath, adapterInterface, QStringLiteral("RemoveDevice"),
                               { QVariant::fromValue(QDBusObjectPath(devicePath)) }),
                          slowCallTimeoutMs);
    whenAnswered(removal, this, [this, devicePath, removed](const QDBusMessage &answer) {
        if (answer.type() != QDBusMessage::ErrorMessage)
            return;
        // Refused: the device is as it was.
        m_removedHere.remove(devicePath);
        if (removed && !m_devices.contains(devicePath))
            m_devices.insert(devicePath, *removed);
        warnCallFailed("RemoveDevice", QDBusError(answer));
        Q_EMIT deviceRemovalFailed(devicePath, QDBusError(answer));
    });
    return true;
}

bool Bluez5Dialect::deviceProperties(const QString &devicePath, QVariantMap *properties,
                                     QDBusError *error)
{
    const auto device = m_devices.constFind(devicePath);
    if (device != m_devices.constEnd()) {
        *properties = device->properties;
        return true;
    }
    return await(m_bus.asyncCall(call(devicePath, propertiesInterface, QStringLiteral("GetAll"),
                                      { deviceInterface })),
                 properties, error);
}

QList<QVariantMap> Bluez5Dialect::devicePropertiesOf(const QStringList &devicePaths)
{
    QList<QVariantMap> answers;
    answers.reserve(devicePaths.size());
    for (const QString &path : devicePaths)
        answers.append(m_devices.value(path).properties);
    return answers;
}

void Bluez5Dialect::fetchDeviceProperties(const QString &devicePath, QObject *context,
                                          const PropertiesDone &done)
{
    // Answered later all the same, as a call would be.
    QPointer<Bluez5Dialect> self(this);
    QTimer::singleShot(0, context, [self, devicePath, done] {
        QVariantMap properties;
        QDBusError error = daemonGone();
        if (self && self->deviceProperties(devicePath, &properties, &error))
            error = QDBusError();
        done(properties, error);
    });
}

bool Bluez5Dialect::setDeviceProperty(const QString &devicePath, const QString &name,
                                      const QVariant &value)
{
    if (!setProperty(devicePath, deviceInterface, name, value))
        return false;
    // As for the adapter; a device trusted or blocked here becomes known here.
    const auto device = m_devices.find(devicePath);
    if (device == m_devices.end())
        return true;
    const bool wasKnown = isKnown(*device);
    device->properties.insert(name, value);
    if (!wasKnown && isKnown(*device))
        Q_EMIT deviceCreated(QDBusObjectPath(devicePath));
    return true;
}

QDBusPendingCall Bluez5Dialect::disconnectDevice(const QString &devicePath)
{
    return m_bus.asyncCall(call(devicePath, deviceInterface, QStringLiteral("Disconnect")));
}

// --- audio -------------------------------------------------------------------

bool Bluez5Dialect::isAudioConnected(const QString &devicePath, QDBusError *error)
{
    // Device1 has no audio state of its own: an audio device's link is its
    // audio, unless only a pairing of ours brought it up.
    QVariantMap properties;
    const auto device = m_devices.constFind(devicePath);
    return deviceProperties(devicePath, &properties, error)
        && properties.value(QStringLiteral("Connected")).toBool()
        && (device == m_devices.constEnd() || !device->pairingLink
            || (device->pairingAnswered.isValid()
                && device->pairingAnswered.hasExpired(pairingLinkIdleMs)));
}

QDBusPendingCall Bluez5Dialect::connectAudio(const QString &devicePath)
{
    // Connect tries the device's auto-connect profiles, audio among them;
    // it waits for the radio.
    const QDBusPendingCall connecting = m_bus.asyncCall(
        call(devicePath, deviceInterface, QStringLiteral("Connect")), slowCallTimeoutMs);
    // Once connected, the link carries the profiles. Watched before the
    // caller watches, so the caller already reads it so.
    auto *watcher = new QDBusPendingCallWatcher(connecting, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, devicePath, watcher] {
        watcher->deleteLater();
        auto device = m_devices.find(devicePath);
        if (!watcher->isError() && device != m_devices.end())
            device->pairingLink = false;
    });
    return connecting;
}

} // namespace Ovrin
