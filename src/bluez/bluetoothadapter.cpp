// The adapter handle, the shared private object, BlueZ tracking, the property
// cache and the device list. Operations on the adapter (power, visibility,
// discovery, creation, agents) are in bluetoothadapteroperations.cpp.

#include "bluetoothadapter.h"

#include "bluetoothadapter_p.h"
#include "bluetoothdevice_p.h"
#include "bluezdaemon.h"
#include "bluezdialect.h"
#include "bluezlogging.h"
#include "bluezpropertytypes.h"
#include "firstreport.h"
#include "radiostate.h"

#include <QCoreApplication>
#include <QMetaProperty>
#include <QTimer>

namespace Ovrin {

namespace {
constexpr int firstRetryMs = 1000;
constexpr int timedRetries = 4;

} // namespace

BluetoothAdapterPrivate *BluetoothAdapterPrivate::globalInstance = nullptr;
int BluetoothAdapterPrivate::refCount = 0;

// --- sharing ----------------------------------------------------------------

BluetoothAdapterPrivate *BluetoothAdapterPrivate::join(BluetoothAdapter *handle)
{
    if (!globalInstance) {
        refCount = 1;
        globalInstance = new BluetoothAdapterPrivate;
    } else {
        ++refCount;
    }
    globalInstance->handles.append(handle);
    return globalInstance;
}

void BluetoothAdapterPrivate::leave(BluetoothAdapter *handle)
{
    if (!globalInstance)
        return;
    globalInstance->handles.removeAll(handle);
    if (--refCount >= 1)
        return;
    refCount = 0;
    if (globalInstance->emitting) {
        // The last handle went from inside one of this object's signals: the
        // emission and the code after it still run on it. It goes once they
        // are over, unless a new handle has taken it up by then.
        QTimer::singleShot(0, QCoreApplication::instance(), &BluetoothAdapterPrivate::deleteUnused);
        return;
    }
    deleteUnused();
}

void BluetoothAdapterPrivate::deleteUnused()
{
    if (!globalInstance || refCount > 0 || globalInstance->emitting)
        return;
    delete globalInstance;
    globalInstance = nullptr;
}

BluetoothAdapterPrivate::BluetoothAdapterPrivate()
    : retryTimer(new QTimer(this))
{
    // The retries are 2, 4 and 8 s apart; a coarse timer would drift by 5 %.
    retryTimer->setTimerType(Qt::PreciseTimer);
    BluezDaemon *daemon = BluezDaemon::instance();
    connect(daemon, &BluezDaemon::appeared, this, &BluetoothAdapterPrivate::serviceRegistered);
    connect(daemon, &BluezDaemon::gone, this, &BluetoothAdapterPrivate::serviceUnregistered);
    connect(daemon, &BluezDaemon::adapterAdded, this, &BluetoothAdapterPrivate::getBluezAdapter);
    connect(daemon, &BluezDaemon::adapterRemoved, this,
            &BluetoothAdapterPrivate::serviceUnregistered);
    connect(daemon, &BluezDaemon::adapterPropertyChanged, this,
            [this](const QString &name, const QVariant &value) {
                if (!adapterPath.isEmpty())
                    propertyChanged(name, value);
            });
    connect(daemon, &BluezDaemon::deviceCreated, this,
            &BluetoothAdapterPrivate::deviceCreatedSignal);
    connect(daemon, &BluezDaemon::deviceRemoved, this,
            &BluetoothAdapterPrivate::deviceRemovedSignal);
    connect(daemon, &BluezDaemon::deviceRemovalFailed, this,
            [this](const QString &path, const QDBusError &error) {
                const BluetoothDevice device { QDBusObjectPath(path) };
                const QString name = error.name();
                emitOnHandles([&device, &name](BluetoothAdapter *h) {
                    Q_EMIT h->deviceRemovalFailed(device, name);
                });
            });
    connect(daemon, &BluezDaemon::deviceFound, this, &BluetoothAdapterPrivate::deviceFound);
    connect(retryTimer, &QTimer::timeout, this, &BluetoothAdapterPrivate::getBluezAdapter);
    connect(this, &BluetoothAdapterPrivate::discoverableStateInconsistent, this,
            &BluetoothAdapterPrivate::restoreVisibility);
    getBluezAdapter();
    radioState = new RadioState(RadioState::Bluetooth, this);
    // A refused power-on may be all that tells a blocked radio.
    connect(radioState, &RadioState::enableRefused, this, [this](const QString &errorName) {
        if (BluezDialect *d = dialect())
            d->powerOnRefused(errorName);
    });
}

BluetoothAdapterPrivate::~BluetoothAdapterPrivate()
{
    qDeleteAll(pendingDisconnects);
}

// --- following BlueZ --------------------------------------------------------

void BluetoothAdapterPrivate::serviceRegistered()
{
    // bluetoothd registers its name before its adapter is ready: try a few
    // times, at 1, 3, 7 and 15 s.
    retryCount = 0;
    retryTimer->start(firstRetryMs);
}

void BluetoothAdapterPrivate::serviceUnregistered()
{
    releaseAdapter();
    emitOnHandles([](BluetoothAdapter *h) { Q_EMIT h->adapterInvalid(); });
}

void BluetoothAdapterPrivate::getBluezAdapter()
{
    if (retryTimer->isActive()) {
        if (++retryCount < timedRetries)
            retryTimer->start(retryTimer->interval() * 2);
        else
            retryTimer->stop();
    }
    releaseAdapter();

    BluezDaemon *daemon = BluezDaemon::instance();
    if (!daemon->isRunning()) {
        qCWarning(lcBluez, "Bluez does not exist");
        return;
    }
    BluezDialect *dialect = daemon->dialect();
    const QString path = dialect ? dialect->findAdapter() : QString();
    if (path.isEmpty())
        return;
    adapterPath = path;
    // The radio switch acts on the controller the handles serve.
    RadioState::setBluetoothAdapter(path);
    retryTimer->stop();
    refreshProperties();
    emitOnHandles([](BluetoothAdapter *h) { Q_EMIT h->adapterValid(); });
}

void BluetoothAdapterPrivate::refreshProperties()
{
    // Nothing cached yet: the first getter reads them.
    if (!propertiesFetched)
        return;
    // What the daemon that is back says replaces what was kept while it was
    // away (the radio may have been blocked or switched meanwhile).
    const QVariantMap kept = properties;
    propertiesFetched = false;
    getProperties();
    if (!propertiesFetched)
        return;
    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it) {
        if (kept.value(it.key()) != it.value())
            announceChange(it.key(), kept.value(it.key()));
    }
}

BluezDialect *BluetoothAdapterPrivate::dialect() const
{
    return adapterPath.isEmpty() ? nullptr : BluezDaemon::instance()->dialect();
}

bool BluetoothAdapterPrivate::isValid() const
{
    return dialect() != nullptr;
}

// --- property cache ---------------------------------------------------------

void BluetoothAdapterPrivate::getProperties()
{
    if (propertiesFetched || !isValid())
        return;
    QVariantMap answer;
    QDBusError error;
    if (!dialect()->adapterProperties(&answer, &error)) {
        warnCallFailed("GetProperties", error);
        return;
    }
    properties = BluezPropertyTypes::adapter().filtered(answer);
    propertiesFetched = true;
}

bool BluetoothAdapterPrivate::setProperty(const QString &name, const QVariant &value)
{
    if (!isValid())
        return false;
    if (name == QLatin1String("discoverableSync")) {
        discoverableSync = value.toBool();
        return true;
    }
    if (!dialect()->setAdapterProperty(name, value))
        return false;
    propertiesFetched = false;
    return true;
}

void BluetoothAdapterPrivate::propertyChanged(const QString &property, const QVariant &value)
{
    QVariant newValue = value;
    if (!BluezPropertyTypes::adapter().check(property, &newValue))
        return;
    // The first visibility report after power-on is checked against the
    // user's saved choice instead of being taken as it is.
    if (property == QLatin1String("Discoverable") && restorePending) {
        const bool saved = savedDiscoverableStatus();
        if (newValue.toBool() != saved) {
            if (discoverableSync)
                setProperty(QStringLiteral("Discoverable"), saved);
        } else {
            properties.insert(property, newValue);
        }
        restorePending = false;
        return;
    }
    const QVariant old = properties.value(property);
    properties.insert(property, newValue);
    announceChange(property, old);
    if (property == QLatin1String("Powered") && properties.value(property).toBool())
        restorePending = true;
}

void BluetoothAdapterPrivate::announceChange(const QString &property, const QVariant &old)
{
    if (property == QLatin1String("RadioBlocked")
        && old.toBool() != properties.value(property).toBool()) {
        const bool blocked = properties.value(property).toBool();
        emitOnHandles([blocked](BluetoothAdapter *h) { Q_EMIT h->radioBlockedChanged(blocked); });
        emitOnHandles(
            [](BluetoothAdapter *h) { Q_EMIT h->propertyChanged(QStringLiteral("radioBlocked")); });
    }
    const QString lower = property.toLower();
    if (BluetoothAdapter::staticMetaObject.indexOfProperty(lower.toLatin1().constData()) >= 0)
        emitOnHandles([&lower](BluetoothAdapter *h) { Q_EMIT h->propertyChanged(lower); });
}

// --- devices ----------------------------------------------------------------

QList<BluetoothDevice> BluetoothAdapterPrivate::listDevices()
{
    if (!isValid())
        return {};
    QList<QDBusObjectPath> paths;
    if (!dialect()->listDevices(&paths))
        return {};
    QList<BluetoothDevice> devices;
    for (const QDBusObjectPath &path : std::as_const(paths)) {
        if (isDevicePath(path.path(), "ListDevices"))
            devices.append(BluetoothDevice(path));
    }
    // Whoever lists the devices reads them next.
    BluetoothDevicePrivate::fetchAll(devices);
    return devices;
}

BluetoothDevice BluetoothAdapterPrivate::deviceForAddress(const QString &address)
{
    if (!isValid())
        return BluetoothDevice();
    // BlueZ names its objects after the upper-case form.
    QDBusError error;
    const QDBusObjectPath path = dialect()->findDevice(address.toUpper(), &error);
    if (error.isValid()) {
        // An address BlueZ does not know is an everyday answer, not a fault.
        if (error.name() != QLatin1String("org.bluez.Error.DoesNotExist"))
            warnCallFailed("FindDevice", error);
        // Not a BlueZ object, but it still answers address().
        return BluetoothDevice(QVariantMap { { QStringLiteral("Address"), address } });
    }
    return BluetoothDevice(path);
}

void BluetoothAdapterPrivate::deviceCreated(const QDBusObjectPath &path)
{
    const BluetoothDevice device(path);
    emitOnHandles([&device](BluetoothAdapter *h) { Q_EMIT h->deviceCreated(device); });
}

void BluetoothAdapterPrivate::deviceRemoved(const QDBusObjectPath &path)
{
    const BluetoothDevice device(path);
    emitOnHandles([&device](BluetoothAdapter *h) { Q_EMIT h->deviceRemoved(device); });
}

bool BluetoothAdapterPrivate::isDevicePath(const QString &path, const char *signal) const
{
    const QString prefix = adapterPath + QStringLiteral("/dev_");
    if (path.startsWith(prefix)) {
        QString address = path.mid(prefix.size());
        address.replace(QLatin1Char('_'), QLatin1Char(':'));
        if (BluezPropertyTypes::isAddress(address))
            return true;
    }
    if (isFirstReport(QStringLiteral("adapter/%1/path").arg(QLatin1String(signal))))
        qCWarning(lcBluez, "Ignoring %s for '%s': not a device of adapter %s", signal,
                  qPrintable(loggable(path)), qPrintable(adapterPath));
    return false;
}

void BluetoothAdapterPrivate::deviceCreatedSignal(const QDBusObjectPath &path)
{
    if (adapterPath.isEmpty() || !isDevicePath(path.path(), "DeviceCreated"))
        return;
    // Asked without blocking: the interface goes on meanwhile, and handles
    // made from now on share what the answer holds.
    BluetoothDevicePrivate::fetchProperties(
        BluetoothDevice(path), this,
        [this, path](const BluetoothDevice &, const QDBusError &error) {
            if (BluezDialect::isNoSuchObject(error)) {
                if (isFirstReport(QStringLiteral("adapter/DeviceCreated/unknown")))
                    qCWarning(lcBluez, "Ignoring DeviceCreated for %s: BlueZ does not know it",
                              qPrintable(path.path()));
                return;
            }
            // Any other failure is BlueZ being slow or busy: the device is
            // there all the same, and its address is in its path.
            deviceCreated(path);
        });
}

void BluetoothAdapterPrivate::deviceRemovedSignal(const QDBusObjectPath &path)
{
    if (!adapterPath.isEmpty() && isDevicePath(path.path(), "DeviceRemoved"))
        deviceRemoved(path);
}

// --- handle -----------------------------------------------------------------

BluetoothAdapter::BluetoothAdapter(QObject *parent)
    : QObject(parent)
    , d_ptr(BluetoothAdapterPrivate::join(this))
{
}

BluetoothAdapter::~BluetoothAdapter()
{
    BluetoothAdapterPrivate::leave(this);
}

BluetoothAdapter *BluetoothAdapter::defaultAdapter()
{
    return new BluetoothAdapter();
}

bool BluetoothAdapter::isValid() const
{
    return d_ptr->isValid();
}

bool BluetoothAdapter::isPowered() const
{
    d_ptr->getProperties();
    return d_ptr->properties.value(QStringLiteral("Powered")).toBool();
}

bool BluetoothAdapter::isRadioBlocked() const
{
    d_ptr->getProperties();
    return d_ptr->properties.value(QStringLiteral("RadioBlocked")).toBool();
}

bool BluetoothAdapter::isDiscovering() const
{
    d_ptr->getProperties();
    return d_ptr->properties.value(QStringLiteral("Discovering")).toBool();
}

QString BluetoothAdapter::name() const
{
    d_ptr->getProperties();
    return d_ptr->properties.value(QStringLiteral("Name")).toString();
}

QString BluetoothAdapter::address() const
{
    d_ptr->getProperties();
    return d_ptr->properties.value(QStringLiteral("Address")).toString();
}

quint32 BluetoothAdapter::classOfDevice() const
{
    d_ptr->getProperties();
    return quint32(d_ptr->properties.value(QStringLiteral("Class")).toULongLong());
}

bool BluetoothAdapter::isDiscoverableSync() const
{
    return d_ptr->discoverableSync;
}

void BluetoothAdapter::setDiscoverableSync(bool sync)
{
    d_ptr->discoverableSync = sync;
}

bool BluetoothAdapter::setName(const QString &name)
{
    return d_ptr->setProperty(QStringLiteral("Name"), name);
}

QList<BluetoothDevice> BluetoothAdapter::listDevices() const
{
    return d_ptr->listDevices();
}

BluetoothDevice BluetoothAdapter::deviceForAddress(const QString &address) const
{
    return d_ptr->deviceForAddress(address);
}

} // namespace Ovrin
