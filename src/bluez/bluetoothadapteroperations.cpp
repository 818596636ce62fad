// What a BluetoothAdapter handle does to the adapter: power with orderly
// disconnection, visibility kept in GConf, sessions, discovery, device
// creation and removal, and agent registration.

#include "bluetoothadapter.h"

#include "bluetoothadapter_p.h"
#include "bluetoothagent.h"
#include "bluezdialect.h"
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
// How long power-off waits for each connected device to go.
constexpr int disconnectTimeLimitMs = 5000;

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
    // Both go with the copy, so neither acts after its wait has ended.
    auto *watcher = new QDBusPendingCallWatcher(d->dialect()->disconnectDevice(copy->path()), copy);
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
        connect(copy, &BluetoothDevice::propertyChanged, this,
                &BluetoothAdapterPrivate::deviceDisconnected);
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
    propertyChanged(QStringLiteral("Powered"), false);
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

void BluetoothAdapter::requestSession()
{
    if (!isValid())
        return;
    // Asynchronous: BlueZ may ask our own agent to confirm switching on.
    // The answer goes with this handle.
    BluetoothAdapterPrivate *d = d_ptr;
    d->dialect()->requestSession(this,
                                 [d](const QDBusError &error) { d->sessionRequestReply(error); });
}

void BluetoothAdapterPrivate::sessionRequestReply(const QDBusError &error)
{
    if (error.isValid()) {
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
        d_ptr->dialect()->releaseSession();
}

// --- discovery --------------------------------------------------------------

void BluetoothAdapterPrivate::releaseAdapter()
{
    adapterPath.clear();
}

void BluetoothAdapter::startDiscovery()
{
    if (!isValid())
        return;
    d_ptr->dialect()->startDiscovery();
}

void BluetoothAdapter::stopDiscovery()
{
    if (!isValid())
        return;
    d_ptr->dialect()->stopDiscovery();
}

void BluetoothAdapterPrivate::deviceFound(const QString &address, const QVariantMap &value)
{
    if (!BluezPropertyTypes::isAddress(address)) {
        if (isFirstReport(QStringLiteral("adapter/DeviceFound/address")))
            qCWarning(lcBluez, "Ignoring DeviceFound for '%s': not a Bluetooth address",
                      qPrintable(loggable(address)));
        return;
    }
    // Checked by the dialect, which for BlueZ 5 holds them checked already.
    QVariantMap properties = value;
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
    // The answer goes with this handle.
    BluetoothAdapterPrivate *d = d_ptr;
    const QString address = device.address();
    d->dialect()->createDevice(address, this,
                               [d, address](const QDBusObjectPath &path, const QDBusError &error) {
                                   d->deviceCreationFinished(path, error, address);
                               });
}

void BluetoothAdapter::startCreatingPairedDevice(const BluetoothDevice &device,
                                                 const BluetoothAgent *agent)
{
    if (!isValid())
        return;
    BluetoothAdapterPrivate *d = d_ptr;
    const QString address = device.address();
    d->dialect()->createPairedDevice(
        address, agent ? agent->path() : QString(), this,
        [d, address](const QDBusObjectPath &path, const QDBusError &error) {
            d->deviceCreationFinished(path, error, address);
        });
}

void BluetoothAdapter::cancelDeviceCreation(const BluetoothDevice &device)
{
    if (isValid())
        d_ptr->dialect()->cancelDeviceCreation(device.address());
}

void BluetoothAdapterPrivate::deviceCreationFinished(const QDBusObjectPath &path,
                                                     const QDBusError &error,
                                                     const QString &address)
{
    if (!error.isValid()) {
        deviceCreated(path);
        return;
    }
    if (error.name() == QLatin1String("org.bluez.Error.AlreadyExists")) {
        // A device BlueZ knows already (or, for a paired creation, has paired
        // already): that device is the result.
        const BluetoothDevice existing = deviceForAddress(address);
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
    return isValid() && d_ptr->dialect()->removeDevice(device.path());
}

// --- agents -----------------------------------------------------------------

void BluetoothAdapter::registerAgent(const BluetoothAgent &agent)
{
    if (isValid())
        d_ptr->dialect()->registerAgent(agent.path());
}

void BluetoothAdapter::unregisterAgent(const BluetoothAgent &agent)
{
    if (isValid())
        d_ptr->dialect()->unregisterAgent(agent.path());
}

} // namespace Ovrin
