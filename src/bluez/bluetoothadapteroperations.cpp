// What a BluetoothAdapter handle does to the adapter: power with orderly
// disconnection, visibility kept in GConf, sessions, discovery, device
// creation and removal, and agent registration.

#include "bluetoothadapter.h"

#include "bluetoothadapter_p.h"
#include "bluetoothagent.h"
#include "bluezadapterproxy.h"
#include "bluezlogging.h"
#include "bluezpropertytypes.h"
#include "firstreport.h"
#include "orvelgconfitem.h"
#include "radiostate.h"

#include <QDBusPendingCallWatcher>
#include <QTimer>

namespace Ovrin {

namespace {

const QString visibleKey = QStringLiteral("/system/varn/connectivity/BT/visible");
const char addressProperty[] = "BT address";
constexpr int asyncTimeoutMs = 120000;
// How long power-off waits for each connected device to go.
constexpr int disconnectTimeLimitMs = 5000;

QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

bool blockingCall(BluezAdapterProxy *adapter, const char *method, const QVariantList &args = {})
{
    const QDBusMessage reply = adapter->callWithArgumentList(QDBus::Block, QLatin1String(method), args);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return true;
    warnCallFailed(method, QDBusError(reply));
    return false;
}

// The address goes with the creation: a refusal because the device exists
// already is answered with that device.
void watchCreation(BluetoothAdapterPrivate *d, QDBusPendingCallWatcher *watcher,
                   const QString &address)
{
    watcher->setProperty(addressProperty, address);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, d,
                     &BluetoothAdapterPrivate::deviceCreationFinished);
}

// Ends the wait for one device of a power-off, whichever way it ended; the
// radio goes off with the last one. False when it had ended already.
bool endDisconnect(BluetoothAdapterPrivate *d, BluetoothDevice *copy)
{
    if (!QObject::disconnect(copy, &BluetoothDevice::propertyChanged, d,
                             &BluetoothAdapterPrivate::deviceDisconnected))
        return false;
    d->pendingDisconnects.removeAll(copy);
    copy->deleteLater();
    if (d->pendingDisconnects.isEmpty())
        d->powerOff();
    return true;
}

// Asks BlueZ to drop copy's link. A refusal, or no report within the time
// limit, counts as gone: one device must not keep the radio on for good.
void startDisconnect(BluetoothAdapterPrivate *d, BluetoothDevice *copy)
{
    QDBusMessage call = QDBusMessage::createMethodCall(d->adapter->service(), copy->path(),
                                                       QStringLiteral("org.bluez.Device"),
                                                       QStringLiteral("Disconnect"));
    // Both go with the copy, so neither acts after its wait has ended.
    auto *watcher = new QDBusPendingCallWatcher(d->adapter->connection().asyncCall(call), copy);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, d, [d, copy](QDBusPendingCallWatcher *reply) {
            reply->deleteLater();
            if (!reply->isError() || !endDisconnect(d, copy))
                return;
            const QDBusError error = reply->error();
            qCWarning(lcBluez, "Disconnect failed: %s, %s", error.name().toUtf8().constData(),
                      error.message().toUtf8().constData());
        });
    QTimer::singleShot(disconnectTimeLimitMs, copy, [d, copy]() {
        if (endDisconnect(d, copy))
            qCWarning(lcBluez, "Disconnect of %s not reported in time", qPrintable(copy->path()));
    });
}

} // namespace

// --- power ------------------------------------------------------------------

void BluetoothAdapter::setPowered(bool powered)
{
    if (powered)
        d_ptr->radioState->setEnabled(true);
    else
        d_ptr->disconnectAndPowerOff();
}

void BluetoothAdapterPrivate::disconnectAndPowerOff()
{
    disconnectAll();
    if (pendingDisconnects.isEmpty())
        powerOff();
}

void BluetoothAdapterPrivate::disconnectAll()
{
    // Copies of an earlier round still report, and are deleted when they do.
    pendingDisconnects.clear();
    for (const BluetoothDevice &device : listDevices()) {
        if (!device.isConnected())
            continue;
        auto *copy = new BluetoothDevice(device);
        copy->setParent(this);
        pendingDisconnects.append(copy);
        connect(copy, &BluetoothDevice::propertyChanged, this, &BluetoothAdapterPrivate::deviceDisconnected);
        startDisconnect(this, copy);
    }
}

void BluetoothAdapterPrivate::deviceDisconnected(const QString &property)
{
    if (property != QLatin1String("connected"))
        return;
    auto *device = qobject_cast<BluetoothDevice *>(sender());
    if (device && !device->isConnected())
        endDisconnect(this, device);
}

void BluetoothAdapterPrivate::powerOff()
{
    radioState->setEnabled(false);
    // Announced at once; BlueZ confirms later.
    propertyChanged(QStringLiteral("Powered"), QDBusVariant(false));
}

// --- visibility -------------------------------------------------------------

bool BluetoothAdapterPrivate::savedDiscoverableStatus() const
{
    const QVariant saved = OrvelGConfItem(visibleKey).value();
    if (saved.isValid())
        return saved.toBool();
    return properties.value(QStringLiteral("Discoverable")).toBool();
}

void BluetoothAdapterPrivate::setSavedDiscoverableStatus(bool visible)
{
    OrvelGConfItem(visibleKey).set(visible);
}

bool BluetoothAdapter::isDiscoverable() const
{
    if (!isPowered())
        return d_ptr->savedDiscoverableStatus();
    d_ptr->getProperties();
    return d_ptr->properties.value(QStringLiteral("Discoverable")).toBool();
}

bool BluetoothAdapter::setDiscoverable(bool discoverable)
{
    bool taken = true;
    if (isPowered())
        taken = d_ptr->setProperty(QStringLiteral("Discoverable"), discoverable);
    d_ptr->setSavedDiscoverableStatus(discoverable);
    return taken;
}

void BluetoothAdapter::restoreVisibility()
{
    d_ptr->restoreVisibility();
}

void BluetoothAdapterPrivate::restoreVisibility()
{
    setProperty(QStringLiteral("Discoverable"), savedDiscoverableStatus());
}

// --- sessions ---------------------------------------------------------------

QDBusPendingCallWatcher *BluetoothAdapterPrivate::callAsync(BluetoothAdapter *handle, const QString &method,
                                                            const QVariantList &args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(adapter->service(), adapter->path(), adapter->interface(), method);
    call.setArguments(args);
    return new QDBusPendingCallWatcher(adapter->connection().asyncCall(call, asyncTimeoutMs), handle);
}

void BluetoothAdapterPrivate::releaseFinished(QDBusPendingCallWatcher *watcher)
{
    // The handle that asked owns the watcher, so that its going drops the
    // answer. Once the answer is here, a receiver of what it brings may
    // delete that handle while the watcher is still emitting: from now on
    // the watcher is ours, and this object outlives any emission.
    watcher->setParent(this);
    watcher->deleteLater();
}

void BluetoothAdapter::requestSession()
{
    if (!isValid())
        return;
    // Asynchronous: BlueZ may ask our own agent to confirm switching on.
    QDBusPendingCallWatcher *watcher = d_ptr->callAsync(this, QStringLiteral("RequestSession"), {});
    connect(watcher, &QDBusPendingCallWatcher::finished, d_ptr, &BluetoothAdapterPrivate::sessionRequestReply);
}

void BluetoothAdapterPrivate::sessionRequestReply(QDBusPendingCallWatcher *watcher)
{
    releaseFinished(watcher);
    if (watcher->isError()) {
        const QDBusError error = watcher->error();
        qCWarning(lcBluez, "Session request failed: %s, %s", error.name().toUtf8().constData(),
                  error.message().toUtf8().constData());
        emitOnHandles([](BluetoothAdapter *h) { Q_EMIT h->sessionRejected(); });
    } else {
        emitOnHandles([](BluetoothAdapter *h) { Q_EMIT h->sessionObtained(); });
    }
}

void BluetoothAdapter::releaseSession()
{
    if (isValid())
        blockingCall(d_ptr->adapter, "ReleaseSession");
}

// --- discovery --------------------------------------------------------------

void BluetoothAdapterPrivate::connectDeviceFound()
{
    if (deviceFoundConnected)
        return;
    deviceFoundConnected = adapter->connection().connect(adapter->service(), adapter->path(), adapter->interface(),
                                                         QStringLiteral("DeviceFound"), this,
                                                         SLOT(deviceFound(QString, QVariantMap)));
    if (!deviceFoundConnected)
        qCWarning(lcBluez, "startDiscovery: Connection failed");
}

void BluetoothAdapterPrivate::disconnectDeviceFound()
{
    const bool disconnected = adapter->connection().disconnect(adapter->service(), adapter->path(),
                                                               adapter->interface(), QStringLiteral("DeviceFound"),
                                                               this, SLOT(deviceFound(QString, QVariantMap)));
    if (!disconnected)
        qCWarning(lcBluez, "stopDiscovery: Disconnection failed");
    deviceFoundConnected = false;
}

void BluetoothAdapterPrivate::releaseAdapter()
{
    if (adapter && deviceFoundConnected)
        disconnectDeviceFound();
    deviceFoundConnected = false;
    delete adapter;
    adapter = nullptr;
}

void BluetoothAdapter::startDiscovery()
{
    if (!isValid())
        return;
    d_ptr->connectDeviceFound();
    blockingCall(d_ptr->adapter, "StartDiscovery");
}

void BluetoothAdapter::stopDiscovery()
{
    if (!isValid())
        return;
    d_ptr->disconnectDeviceFound();
    blockingCall(d_ptr->adapter, "StopDiscovery");
}

void BluetoothAdapterPrivate::deviceFound(const QString &address, const QVariantMap &value)
{
    if (!BluezPropertyTypes::isAddress(address)) {
        if (isFirstReport(QStringLiteral("adapter/DeviceFound/address")))
            qCWarning(lcBluez, "Ignoring DeviceFound for '%s': not a Bluetooth address",
                      qPrintable(loggable(address)));
        return;
    }
    QVariantMap properties = BluezPropertyTypes::device().filtered(value);
    // BlueZ sends the address among the values too; the argument counts.
    // Inserting only when they differ saves copying the whole map.
    const auto known = properties.constFind(QStringLiteral("Address"));
    if (known == properties.constEnd() || known->toString() != address)
        properties.insert(QStringLiteral("Address"), address);
    const BluetoothDevice device(properties);
    emitOnHandles([&device](BluetoothAdapter *h) { Q_EMIT h->deviceDiscovered(device); });
}

// --- device creation and removal --------------------------------------------

void BluetoothAdapter::startCreatingDevice(const BluetoothDevice &device)
{
    if (!isValid())
        return;
    watchCreation(d_ptr,
                  d_ptr->callAsync(this, QStringLiteral("CreateDevice"), { device.address() }),
                  device.address());
}

void BluetoothAdapter::startCreatingPairedDevice(const BluetoothDevice &device, const BluetoothAgent *agent)
{
    if (!isValid())
        return;
    QDBusPendingCallWatcher *watcher = d_ptr->callAsync(
            this, QStringLiteral("CreatePairedDevice"),
            { device.address(), objectPath(agent ? agent->path() : QString()), QString() });
    watchCreation(d_ptr, watcher, device.address());
}

void BluetoothAdapter::cancelDeviceCreation(const BluetoothDevice &device)
{
    if (!isValid())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(d_ptr->adapter->service(), d_ptr->adapter->path(),
                                                       d_ptr->adapter->interface(),
                                                       QStringLiteral("CancelDeviceCreation"));
    call.setArguments({ device.address() });
    // The creation ends through its own reply; this one is not looked at.
    d_ptr->adapter->connection().asyncCall(call);
}

void BluetoothAdapterPrivate::deviceCreationFinished(QDBusPendingCallWatcher *watcher)
{
    releaseFinished(watcher);
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ReplyMessage) {
        deviceCreated(qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)));
        return;
    }
    const QDBusError error(reply);
    if (error.name() == QLatin1String("org.bluez.Error.AlreadyExists")) {
        // A device BlueZ knows already (or, for a paired creation, has paired
        // already): that device is the result.
        const BluetoothDevice existing = deviceForAddress(watcher->property(addressProperty).toString());
        if (!existing.path().isEmpty()) {
            deviceCreated(QDBusObjectPath(existing.path()));
            return;
        }
    }
    qCWarning(lcBluez, "Device creation failed: %s, %s", error.name().toUtf8().constData(),
              error.message().toUtf8().constData());
    const QString name = error.name();
    emitOnHandles([&name](BluetoothAdapter *h) { Q_EMIT h->deviceCreationFailed(name); });
}

bool BluetoothAdapter::removeDevice(const BluetoothDevice &device)
{
    return isValid() && blockingCall(d_ptr->adapter, "RemoveDevice", { objectPath(device.path()) });
}

// --- agents -----------------------------------------------------------------

void BluetoothAdapter::registerAgent(const BluetoothAgent &agent)
{
    if (isValid())
        blockingCall(d_ptr->adapter, "RegisterAgent", { objectPath(agent.path()), QString() });
}

void BluetoothAdapter::unregisterAgent(const BluetoothAgent &agent)
{
    if (isValid())
        blockingCall(d_ptr->adapter, "UnregisterAgent", { objectPath(agent.path()) });
}

} // namespace Ovrin
