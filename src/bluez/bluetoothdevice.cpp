#include "bluetoothdevice.h"

#include "bluetoothdevice_p.h"
#include "bluezdaemon.h"
#include "bluezdevicesignals.h"
#include "bluezdialect.h"
#include "bluezlogging.h"
#include "bluezpropertytypes.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QSet>

namespace Ovrin {

// Devices travel by value everywhere: a handle is its QObject and one pointer.
static_assert(sizeof(BluetoothDevice) == sizeof(QObject) + sizeof(void *));

namespace {

// What a call to a daemon that does not run ends with.
QDBusError notRunning()
{
    return QDBusError(QDBusError::ServiceUnknown, QStringLiteral("org.bluez does not run"));
}

// A new value replaces a stored one only when it differs by more than this.
constexpr int rssiHysteresis = 10;

// Tells the reports BlueZ sent before a fetch from those it sent after: the
// earlier ones reached the process while it waited for the reply and are
// queued already, so a marker queued after the reply comes after them. One
// marker in the queue at a time serves every fetch; a fetch made while one
// waits is served by the next, queued when that one is handed over.
class FetchMarkers
{
public:
    // The count of handed-over markers at which this fetch's earlier reports
    // are all through.
    static quint64 afterFetch()
    {
        if (s_queued > s_handedOver) {
            s_anotherWanted = true;
            return s_queued + 1;
        }
        queue();
        return s_queued;
    }
    static bool passed(quint64 marker) { return s_handedOver >= marker; }

private:
    static void queue()
    {
        ++s_queued;
        QMetaObject::invokeMethod(QCoreApplication::instance(), &FetchMarkers::handOver,
                                  Qt::QueuedConnection);
    }
    static void handOver()
    {
        ++s_handedOver;
        if (s_anotherWanted) {
            s_anotherWanted = false;
            queue();
        }
    }

    static inline quint64 s_queued = 0;
    static inline quint64 s_handedOver = 0;
    static inline bool s_anotherWanted = false;
};

} // namespace

// --- private ----------------------------------------------------------------

QHash<QString, int> BluetoothDevicePrivate::rssiTable;
QHash<QString, BluetoothDevicePrivate *> BluetoothDevicePrivate::byPath;
int BluetoothDevicePrivate::deviceCount = 0;

BluetoothDevicePrivate::BluetoothDevicePrivate()
{
    ++deviceCount;
}

BluetoothDevicePrivate::BluetoothDevicePrivate(const QDBusObjectPath &path)
    : objectPath(path.path())
{
    ++deviceCount;
    if (!BluezDaemon::instance()->isRunning()) {
        qCWarning(lcBluez, "Unable to get device: %s", qPrintable(objectPath));
        return;
    }
    followed = true;
    BluezDeviceSignals::follow(objectPath, this);
    byPath.insert(objectPath, this);
}

BluetoothDevicePrivate *BluetoothDevicePrivate::forPath(const QDBusObjectPath &path)
{
    if (BluetoothDevicePrivate *live = byPath.value(path.path()))
        return live;
    return new BluetoothDevicePrivate(path);
}

void BluetoothDevicePrivate::forgetPath(const QString &path)
{
    byPath.remove(path);
}

void BluetoothDevicePrivate::leavePath()
{
    if (followed && byPath.value(objectPath) == this)
        byPath.remove(objectPath);
}

BluetoothDevicePrivate::BluetoothDevicePrivate(const QVariantMap &map)
    : propertiesFetched(true)
    , properties(map)
{
    ++deviceCount;
    if (properties.contains(QStringLiteral("RSSI")))
        setRssi(resolveAddress(), properties.value(QStringLiteral("RSSI")).toInt());
}

BluetoothDevicePrivate::~BluetoothDevicePrivate()
{
    if (followed) {
        leavePath();
        BluezDeviceSignals::unfollow(objectPath, this);
    }
    if (--deviceCount < 1)
        rssiTable.clear();
}

bool BluetoothDevicePrivate::getProperties(QDBusError *error) const
{
    if (propertiesFetched)
        return true;
    if (objectPath.isEmpty())
        return false;
    BluezDialect *dialect = BluezDaemon::instance()->dialect();
    QVariantMap answer;
    QDBusError failure = notRunning();
    if (!dialect || !dialect->deviceProperties(objectPath, &answer, &failure)) {
        if (error)
            *error = failure;
        else
            warnCallFailed("GetProperties", failure);
        return false;
    }
    properties = BluezPropertyTypes::device().filtered(answer);
    noteFetched();
    return true;
}

void BluetoothDevicePrivate::noteFetched() const
{
    propertiesFetched = true;
    const QVariant address = properties.value(QStringLiteral("Address"));
    const QVariant rssi = properties.value(QStringLiteral("RSSI"));
    if (address.isValid() && rssi.isValid())
        setRssi(address.toString(), rssi.toInt());
    if (firstFetchMarker == 0)
        firstFetchMarker = FetchMarkers::afterFetch();
}

void BluetoothDevicePrivate::fetchProperties(const BluetoothDevice &handle, QObject *context,
                                             const Fetched &done)
{
    BluetoothDevicePrivate *d = handle.d_ptr;
    if (d->objectPath.isEmpty()) {
        done(handle, QDBusError(QDBusError::UnknownObject, QStringLiteral("Not a BlueZ object")));
        return;
    }
    BluezDialect *dialect = BluezDaemon::instance()->dialect();
    if (!dialect) {
        done(handle, notRunning());
        return;
    }
    // The copy keeps the shared object, and so its cache, alive meanwhile.
    dialect->fetchDeviceProperties(
        d->objectPath, context,
        [done, held = BluetoothDevice(handle)](const QVariantMap &answer, const QDBusError &error) {
            BluetoothDevicePrivate *d = held.d_ptr;
            if (!error.isValid() && !d->propertiesFetched) {
                d->properties = BluezPropertyTypes::device().filtered(answer);
                d->noteFetched();
            }
            done(held, error);
        });
}

void BluetoothDevicePrivate::fetchAll(const QList<BluetoothDevice> &handles)
{
    BluezDialect *dialect = BluezDaemon::instance()->dialect();
    if (!dialect)
        return;
    QList<BluetoothDevicePrivate *> unfetched;
    QSet<BluetoothDevicePrivate *> listed;
    QStringList paths;
    for (const BluetoothDevice &handle : handles) {
        BluetoothDevicePrivate *d = handle.d_ptr;
        if (!d->propertiesFetched && !d->objectPath.isEmpty() && !listed.contains(d)) {
            listed.insert(d);
            unfetched.append(d);
            paths.append(d->objectPath);
        }
    }
    if (paths.isEmpty())
        return;
    const QList<QVariantMap> answers = dialect->devicePropertiesOf(paths);
    for (int i = 0; i < unfetched.size() && i < answers.size(); ++i) {
        // A failed answer leaves the cache to the next read, which tells why.
        BluetoothDevicePrivate *d = unfetched.at(i);
        if (answers.at(i).isEmpty() || d->propertiesFetched)
            continue;
        d->properties = BluezPropertyTypes::device().filtered(answers.at(i));
        d->noteFetched();
    }
}

bool BluetoothDevicePrivate::setProperty(const QString &name, const QVariant &value)
{
    BluezDialect *dialect = followed ? BluezDaemon::instance()->dialect() : nullptr;
    if (!dialect || !dialect->setDeviceProperty(objectPath, name, value))
        return false;
    propertiesFetched = false;
    return true;
}

QString BluetoothDevicePrivate::resolveAddress() const
{
    const auto known = properties.constFind(QStringLiteral("Address"));
    if (propertiesFetched && known != properties.constEnd())
        return known->toString();
    // A daemon that leaves the address out still named the object after it.
    // ".../dev_00_11_22_AA_BB_CC" holds the address: no bus call needed.
    if (objectPath.size() < 17)
        return QString();
    return objectPath.right(17).replace(QLatin1Char('_'), QLatin1Char(':'));
}

void BluetoothDevicePrivate::addParent(BluetoothDevice *handle)
{
    parents.append(handle);
}

void BluetoothDevicePrivate::removeParent(BluetoothDevice *handle)
{
    parents.removeOne(handle);
    if (!parents.isEmpty())
        return;
    // No new handle joins an object on its way out.
    leavePath();
    // Deferred: a last PropertyChanged may still be on its way to us.
    deleteLater();
}

int BluetoothDevicePrivate::rssi(const QString &address)
{
    return rssiTable.value(address.toUpper(), 0);
}

void BluetoothDevicePrivate::setRssi(const QString &address, int rssi)
{
    if (rssi == 0)
        return;
    const QString key = address.toUpper();
    auto it = rssiTable.find(key);
    if (it == rssiTable.end())
        rssiTable.insert(key, rssi);
    else if (qAbs(*it - rssi) > rssiHysteresis)
        *it = rssi;
}

void BluetoothDevicePrivate::propertyChanged(const QString &property, const QVariant &value)
{
    QVariant newValue = value;
    if (!BluezPropertyTypes::device().check(property, &newValue))
        return;
    // The process hears every device's reports, also those sent before this
    // object first asked BlueZ: such a one that the cache holds already tells
    // nothing new. Any later report is passed on, even when a fetch in between
    // (after a write, say) read its value first.
    const auto known = properties.constFind(property);
    if (firstFetchMarker && !FetchMarkers::passed(firstFetchMarker)
        && known != properties.constEnd() && *known == newValue)
        return;
    properties.insert(property, newValue);
    const QString reported
        = property == QLatin1String("Alias") ? QStringLiteral("name") : property.toLower();
    const QByteArray name = reported.toLatin1();
    const QList<BluetoothDevice *> handles = parents;
    for (BluetoothDevice *handle : handles) {
        // A receiver may have destroyed another handle of this device meanwhile.
        if (!parents.contains(handle))
            continue;
        if (handle->metaObject()->indexOfProperty(name.constData()) >= 0)
            Q_EMIT handle->propertyChanged(reported);
    }
}

// --- handle -----------------------------------------------------------------

BluetoothDevice::BluetoothDevice()
    : d_ptr(new BluetoothDevicePrivate)
{
    d_ptr->addParent(this);
}

BluetoothDevice::BluetoothDevice(const QDBusObjectPath &path, QObject *parent)
    : QObject(parent)
    , d_ptr(BluetoothDevicePrivate::forPath(path))
{
    d_ptr->addParent(this);
}

BluetoothDevice::BluetoothDevice(const QVariantMap &properties, QObject *parent)
    : QObject(parent)
    , d_ptr(new BluetoothDevicePrivate(properties))
{
    d_ptr->addParent(this);
}

BluetoothDevice::BluetoothDevice(const BluetoothDevice &other)
    : QObject()
    , d_ptr(other.d_ptr)
{
    d_ptr->addParent(this);
}

BluetoothDevice &BluetoothDevice::operator=(const BluetoothDevice &other)
{
    if (d_ptr != other.d_ptr) {
        d_ptr->removeParent(this);
        d_ptr = other.d_ptr;
        d_ptr->addParent(this);
    }
    return *this;
}

BluetoothDevice::~BluetoothDevice()
{
    d_ptr->removeParent(this);
}

bool BluetoothDevice::operator==(const BluetoothDevice &other) const
{
    if (d_ptr == other.d_ptr)
        return true;
    const QString mine = d_ptr->resolveAddress();
    const QString theirs = other.d_ptr->resolveAddress();
    // A path spells the address in upper case, a caller may not.
    if (!mine.isEmpty() && !theirs.isEmpty() && mine.compare(theirs, Qt::CaseInsensitive) == 0)
        return true;
    return !d_ptr->objectPath.isEmpty() && d_ptr->objectPath == other.d_ptr->objectPath;
}

bool BluetoothDevice::isValid() const
{
    return d_ptr->followed && BluezDaemon::instance()->isRunning();
}

QString BluetoothDevice::path() const
{
    return d_ptr->objectPath;
}

QString BluetoothDevice::name() const
{
    Q_D(const BluetoothDevice);
    d->getProperties();
    const QString name = d->properties.contains(QStringLiteral("Alias"))
        ? d->properties.value(QStringLiteral("Alias")).toString()
        : d->properties.value(QStringLiteral("Name")).toString();
    const QString dashed = address().replace(QLatin1Char(':'), QLatin1Char('-'));
    // BlueZ falls back to the dashed address when a device has no name.
    if (name.trimmed().isEmpty() || name.compare(dashed, Qt::CaseInsensitive) == 0)
        return qtTrId("qtn_conn_bt_unnamed_device");
    return name;
}

QString BluetoothDevice::address() const
{
    Q_D(const BluetoothDevice);
    d->getProperties();
    return d->resolveAddress().toUpper();
}

static bool cachedBool(const BluetoothDevicePrivate *d, const char *key)
{
    d->getProperties();
    return d->properties.value(QLatin1String(key)).toBool();
}

bool BluetoothDevice::isPaired() const
{
    return cachedBool(d_ptr, "Paired");
}

bool BluetoothDevice::isTrusted() const
{
    return cachedBool(d_ptr, "Trusted");
}

bool BluetoothDevice::isConnected() const
{
    return cachedBool(d_ptr, "Connected");
}

bool BluetoothDevice::isBlocked() const
{
    return cachedBool(d_ptr, "Blocked");
}

bool BluetoothDevice::isLegacyPairing() const
{
    Q_D(const BluetoothDevice);
    d->getProperties();
    // Low-energy devices never pair the legacy way.
    if (d->properties.contains(QStringLiteral("Broadcaster")))
        return false;
    return d->properties.value(QStringLiteral("LegacyPairing"), true).toBool();
}

quint32 BluetoothDevice::classOfDevice() const
{
    Q_D(const BluetoothDevice);
    d->getProperties();
    return quint32(d->properties.value(QStringLiteral("Class")).toULongLong());
}

BluetoothDevice::MajorClass BluetoothDevice::majorClass() const
{
    const quint32 major = (classOfDevice() >> 8) & 0x1f;
    return major >= Uncategorized ? Uncategorized : MajorClass(major);
}

BluetoothDevice::ServiceClass BluetoothDevice::serviceClass() const
{
    return ServiceClass((classOfDevice() >> 16) & 0xff);
}

QStringList BluetoothDevice::uuids() const
{
    Q_D(const BluetoothDevice);
    d->getProperties();
    return d->properties.value(QStringLiteral("UUIDs")).toStringList();
}

int BluetoothDevice::rssi() const
{
    return BluetoothDevicePrivate::rssi(address());
}

bool BluetoothDevice::setName(const QString &name)
{
    return d_ptr->setProperty(QStringLiteral("Alias"), name);
}

bool BluetoothDevice::setTrusted(bool trusted)
{
    return d_ptr->setProperty(QStringLiteral("Trusted"), trusted);
}

bool BluetoothDevice::setBlocked(bool blocked)
{
    return d_ptr->setProperty(QStringLiteral("Blocked"), blocked);
}

void BluetoothDevice::disconnect()
{
    BluezDialect *dialect = d_ptr->followed ? BluezDaemon::instance()->dialect() : nullptr;
    if (dialect)
        dialect->disconnectDevice(d_ptr->objectPath);
}

} // namespace Ovrin
