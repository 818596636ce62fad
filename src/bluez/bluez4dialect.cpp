#include "bluez4dialect.h"

#include "bluezpropertytypes.h"

#include "bluezlogging.h"

#include <QDBusMetaType>

namespace Ovrin {

namespace {
const QString bluezService = QStringLiteral("org.bluez");
const QString managerInterface = QStringLiteral("org.bluez.Manager");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString deviceInterface = QStringLiteral("org.bluez.Device");
const QString audioInterface = QStringLiteral("org.bluez.Audio");
const QString propertyChanged = QStringLiteral("PropertyChanged");

QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

} // namespace

Bluez4Dialect::Bluez4Dialect(const QDBusConnection &bus, QObject *parent)
    : BluezDialect(parent)
    , m_bus(bus)
{
    // QtDBus finds the slots by their types' names, which a process knows
    // only once the types are registered.
    qRegisterMetaType<QDBusVariant>();
    qRegisterMetaType<QDBusObjectPath>();
    qRegisterMetaType<QDBusMessage>();
    // One match rule each for every device object: the bus refuses a
    // connection more than a few hundred, and each costs a call. The sender
    // is still only BlueZ (QtDBus checks its owner).
    const bool followed
        = m_bus.connect(bluezService, QString(), deviceInterface, propertyChanged, this,
                        SLOT(onDevicePropertyChanged(QString, QDBusVariant, QDBusMessage)))
        && m_bus.connect(bluezService, QString(), adapterInterface, QStringLiteral("DeviceRemoved"),
                         this, SLOT(onDeviceRemoved(QDBusObjectPath, QDBusMessage)));
    if (!followed)
        qCWarning(lcBluez, "Unable to follow the changes of BlueZ devices");
}

Bluez4Dialect::~Bluez4Dialect() = default;

// --- calls -----------------------------------------------------------------

QDBusMessage Bluez4Dialect::adapterCall(const QString &method, const QVariantList &args) const
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(bluezService, m_adapterPath, adapterInterface, method);
    call.setArguments(args);
    return call;
}

QDBusMessage Bluez4Dialect::deviceCall(const QString &devicePath, const QString &method,
                                       const QVariantList &args) const
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(bluezService, devicePath, deviceInterface, method);
    call.setArguments(args);
    return call;
}

bool Bluez4Dialect::blockingAdapterCall(const char *method, const QVariantList &args)
{
    const QDBusMessage reply = m_bus.call(adapterCall(QLatin1String(method), args));
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    warnCallFailed(method, QDBusError(reply));
    return false;
}

QDBusPendingCall Bluez4Dialect::slowAdapterCall(const QString &method, const QVariantList &args)
{
    return m_bus.asyncCall(adapterCall(method, args), slowCallTimeoutMs);
}

// --- the adapter -------------------------------------------------------------

QString Bluez4Dialect::findAdapter()
{
    QDBusObjectPath answer;
    QDBusError error;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        bluezService, QStringLiteral("/"), managerInterface, QStringLiteral("DefaultAdapter"));
    if (!await(m_bus.asyncCall(call), &answer, &error)) {
        warnCallFailed("DefaultAdapter", error);
        return QString();
    }
    const QString path = answer.path();
    if (path == m_adapterPath)
        return path;
    if (!m_adapterPath.isEmpty()) {
        followDeviceFound(false);
        m_bus.disconnect(bluezService, m_adapterPath, adapterInterface, propertyChanged, this,
                         SLOT(onAdapterPropertyChanged(QString, QDBusVariant)));
        m_bus.disconnect(bluezService, m_adapterPath, adapterInterface,
                         QStringLiteral("DeviceCreated"), this,
                         SIGNAL(deviceCreated(QDBusObjectPath)));
    }
    m_adapterPath = path;
    m_bus.connect(bluezService, path, adapterInterface, propertyChanged, this,
                  SLOT(onAdapterPropertyChanged(QString, QDBusVariant)));
    m_bus.connect(bluezService, path, adapterInterface, QStringLiteral("DeviceCreated"), this,
                  SIGNAL(deviceCreated(QDBusObjectPath)));
    return path;
}

QString Bluez4Dialect::adapterPath() const
{
    return m_adapterPath;
}

bool Bluez4Dialect::adapterProperties(QVariantMap *properties, QDBusError *error)
{
    return await(m_bus.asyncCall(adapterCall(QStringLiteral("GetProperties"))), properties, error);
}

bool Bluez4Dialect::setAdapterProperty(const QString &name, const QVariant &value)
{
    return blockingAdapterCall("SetProperty", { name, QVariant::fromValue(QDBusVariant(value)) });
}

bool Bluez4Dialect::listDevices(QList<QDBusObjectPath> *devices)
{
    QDBusError error;
    if (await(m_bus.asyncCall(adapterCall(QStringLiteral("ListDevices"))), devices, &error))
        return true;
    warnCallFailed("ListDevices", error);
    return false;
}

QDBusObjectPath Bluez4Dialect::findDevice(const QString &address, QDBusError *error)
{
    QDBusObjectPath path;
    await(m_bus.asyncCall(adapterCall(QStringLiteral("FindDevice"), { address })), &path, error);
    return path;
}

void Bluez4Dialect::followDeviceFound(bool follow)
{
    // A stop without a start still tries, and says that it failed.
    if (follow && m_followingDeviceFound)
        return;
    const QString signal = QStringLiteral("DeviceFound");
    const char *slot = SLOT(onDeviceFound(QString, QVariantMap));
    const bool done = follow
        ? m_bus.connect(bluezService, m_adapterPath, adapterInterface, signal, this, slot)
        : m_bus.disconnect(bluezService, m_adapterPath, adapterInterface, signal, this, slot);
    if (!done)
        qCWarning(lcBluez,
                  follow ? "startDiscovery: Connection failed"
                         : "stopDiscovery: Disconnection failed");
    m_followingDeviceFound = follow && done;
}

bool Bluez4Dialect::startDiscovery()
{
    followDeviceFound(true);
    return blockingAdapterCall("StartDiscovery");
}

bool Bluez4Dialect::stopDiscovery()
{
    followDeviceFound(false);
    return blockingAdapterCall("StopDiscovery");
}

void Bluez4Dialect::requestSession(QObject *context, const CallDone &done)
{
    whenAnswered(slowAdapterCall(QStringLiteral("RequestSession"), {}), context,
                 [done](const QDBusMessage &answer) {
                     done(answer.type() == QDBusMessage::ErrorMessage ? QDBusError(answer)
                                                                      : QDBusError());
                 });
}

bool Bluez4Dialect::releaseSession()
{
    return blockingAdapterCall("ReleaseSession");
}

bool Bluez4Dialect::registerAgent(const QString &agentPath)
{
    return blockingAdapterCall("RegisterAgent", { objectPath(agentPath), QString() });
}

bool Bluez4Dialect::unregisterAgent(const QString &agentPath)
{
    return blockingAdapterCall("UnregisterAgent", { objectPath(agentPath) });
}

// --- devices -------------------------------------------------------------------

void Bluez4Dialect::whenCreated(const QDBusPendingCall &call, QObject *context,
                                const CreationDone &done)
{
    whenAnswered(call, context, [done](const QDBusMessage &answer) {
        if (answer.type() == QDBusMessage::ReplyMessage)
            done(pathIn(answer), QDBusError());
        else
            done(QDBusObjectPath(), QDBusError(answer));
    });
}

void Bluez4Dialect::createDevice(const QString &address, QObject *context, const CreationDone &done)
{
    whenCreated(slowAdapterCall(QStringLiteral("CreateDevice"), { address }), context, done);
}

void Bluez4Dialect::createPairedDevice(const QString &address, const QString &agentPath,
                                       QObject *context, const CreationDone &done)
{
    whenCreated(slowAdapterCall(QStringLiteral("CreatePairedDevice"),
                                { address, objectPath(agentPath), QString() }),
                context, done);
}

void Bluez4Dialect::cancelDeviceCreation(const QString &address)
{
    m_bus.asyncCall(adapterCall(QStringLiteral("CancelDeviceCreation"), { address }));
}

bool Bluez4Dialect::removeDevice(const QString &devicePath)
{
    return blockingAdapterCall("RemoveDevice", { objectPath(devicePath) });
}

bool Bluez4Dialect::deviceProperties(const QString &devicePath, QVariantMap *properties,
                                     QDBusError *error)
{
    return await(m_bus.asyncCall(deviceCall(devicePath, QStringLiteral("GetProperties"))),
                 properties, error);
}

QList<QVariantMap> Bluez4Dialect::devicePropertiesOf(const QStringList &devicePaths)
{
    // The calls go out together, as many at a time as the system bus lets
    // one connection wait for (128 replies): a list costs about one round
    // of calls, not one round per device.
    constexpr int inFlight = 100;
    QList<QDBusPendingCall> calls;
    calls.reserve(devicePaths.size());
    const auto sendNext = [&] {
        calls.append(m_bus.asyncCall(
            deviceCall(devicePaths.at(calls.size()), QStringLiteral("GetProperties"))));
    };
    while (calls.size() < devicePaths.size() && calls.size() < inFlight)
        sendNext();
    QList<QVariantMap> answers;
    answers.reserve(devicePaths.size());
    for (int i = 0; i < devicePaths.size(); ++i) {
        QVariantMap properties;
        await(calls.at(i), &properties, nullptr);
        answers.append(properties);
        if (calls.size() < devicePaths.size())
            sendNext();
    }
    return answers;
}

void Bluez4Dialect::fetchDeviceProperties(const QString &devicePath, QObject *context,
                                          const PropertiesDone &done)
{
    const QDBusPendingCall call
        = m_bus.asyncCall(deviceCall(devicePath, QStringLiteral("GetProperties")));
    whenAnswered(call, context, [done, call](const QDBusMessage &) {
        QVariantMap properties;
        QDBusError error;
        await(call, &properties, &error);
        done(properties, error);
    });
}

bool Bluez4Dialect::setDeviceProperty(const QString &devicePath, const QString &name,
                                      const QVariant &value)
{
    const QDBusMessage reply
        = m_bus.call(deviceCall(devicePath, QStringLiteral("SetProperty"),
                                { name, QVariant::fromValue(QDBusVariant(value)) }));
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    warnCallFailed("SetProperty", QDBusError(reply));
    return false;
}

QDBusPendingCall Bluez4Dialect::disconnectDevice(const QString &devicePath)
{
    return m_bus.asyncCall(deviceCall(devicePath, QStringLiteral("Disconnect")));
}

// --- audio -------------------------------------------------------------------

bool Bluez4Dialect::isAudioConnected(const QString &devicePath, QDBusError *error)
{
    QVariantMap properties;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        bluezService, devicePath, audioInterface, QStringLiteral("GetProperties"));
    return await(m_bus.asyncCall(call), &properties, error)
        && properties.value(QStringLiteral("State")).toString() == QLatin1String("connected");
}

QDBusPendingCall Bluez4Dialect::connectAudio(const QString &devicePath)
{
    return m_bus.asyncCall(QDBusMessage::createMethodCall(bluezService, devicePath, audioInterface,
                                                          QStringLiteral("Connect")));
}

// --- what BlueZ says -------------------------------------------------------------

void Bluez4Dialect::onAdapterPropertyChanged(const QString &name, const QDBusVariant &value)
{
    Q_EMIT adapterPropertyChanged(name, value.variant());
}

void Bluez4Dialect::onDevicePropertyChanged(const QString &name, const QDBusVariant &value,
                                            const QDBusMessage &message)
{
    Q_EMIT devicePropertyChanged(message.path(), name, value.variant());
}

void Bluez4Dialect::onDeviceRemoved(const QDBusObjectPath &path, const QDBusMessage &message)
{
    Q_EMIT deviceObjectRemoved(path.path());
    // Only the default adapter's devices are this process's known devices.
    if (!m_adapterPath.isEmpty() && message.path() == m_adapterPath)
        Q_EMIT deviceRemoved(path);
}

void Bluez4Dialect::onDeviceFound(const QString &address, const QVariantMap &properties)
{
    Q_EMIT deviceFound(address, BluezPropertyTypes::device().filtered(properties));
}

} // namespace Ovrin
