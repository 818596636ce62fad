#include "bluetoothdevicemodel.h"

#include "bluetoothadapter.h"
#include "bluetoothconnectionmanager.h"
#include "bluetoothdevicemodel_p.h"
#include "deviceslogging.h"

#include <algorithm>
#include <vector>

namespace Ovrin {

namespace {
// The class of device bits a class filter compares: major and minor class.
constexpr quint32 majorMinorMask = 0x1FFC;
} // namespace

// --- private ----------------------------------------------------------------

BluetoothDeviceModelPrivate::BluetoothDeviceModelPrivate(BluetoothDeviceModel *model,
                                                         BluetoothAdapter *adapter)
    : q_ptr(model)
    , adapter(adapter)
{
    headers = { QStringLiteral("BluetoothDevice:Cod"),
                QStringLiteral("BluetoothDevice:Name"),
                QStringLiteral("BluetoothDevice:Paired"),
                QStringLiteral("BluetoothDevice:Trusted"),
                QStringLiteral("BluetoothDevice:ConnectionStatus"),
                QStringLiteral("BluetoothDevice:ConnectableColumn"),
                QStringLiteral("BluetoothDevice:Active"),
                QStringLiteral("BluetoothDevice:Blocked"),
                QStringLiteral("BluetoothDevice:Address") };
}

void BluetoothDeviceModelPrivate::start()
{
    if (!adapter) {
        qCWarning(lcDevices, "Constructing BluetoothDeviceModel without adapter!");
        return;
    }
    loadPairedDevices();
    connect(adapter, &BluetoothAdapter::propertyChanged, this,
            &BluetoothDeviceModelPrivate::adapterPropertyChanged);
    connect(adapter, &BluetoothAdapter::deviceCreated, this,
            &BluetoothDeviceModelPrivate::deviceCreated);
    connect(adapter, &BluetoothAdapter::deviceRemoved, this,
            &BluetoothDeviceModelPrivate::deviceRemoved);
    connect(adapter, &BluetoothAdapter::deviceDiscovered, this,
            &BluetoothDeviceModelPrivate::deviceDiscovered);
    connect(adapter, &BluetoothAdapter::adapterInvalid, this,
            &BluetoothDeviceModelPrivate::adapterDisappeared);
    connect(adapter, &BluetoothAdapter::adapterValid, this,
            &BluetoothDeviceModelPrivate::adapterAppeared);
}

BluetoothDeviceModelPrivate::~BluetoothDeviceModelPrivate()
{
    for (Row *row : std::as_const(devices)) {
        delete row->device;
        delete row;
    }
    qDeleteAll(hiddenDevices);
    delete pairingDevice;
}

int BluetoothDeviceModelPrivate::deviceSortCmp(const SortKey &a, const SortKey &b)
{
    if (a.blocked != b.blocked)
        return a.blocked ? 1 : -1;
    if (a.paired != b.paired)
        return a.paired ? -1 : 1;
    // Paired devices are listed by name only.
    if (!a.paired) {
        if (a.rssi != b.rssi)
            return a.rssi > b.rssi ? -1 : 1;
    }
    if (a.name < b.name)
        return -1;
    if (b.name < a.name)
        return 1;
    return 0;
}

BluetoothDeviceModelPrivate::SortKey
BluetoothDeviceModelPrivate::sortKey(const BluetoothDevice &device)
{
    return { device.isBlocked(), device.isPaired(), device.rssi(), device.name() };
}

QString BluetoothDeviceModelPrivate::lookupAddress(const BluetoothDevice &device)
{
    const QString path = device.path();
    // A found device answers from the properties it came with.
    if (path.isEmpty())
        return device.address();
    // ".../dev_00_11_22_AA_BB_CC": no need to ask BlueZ, whose object may be
    // gone already (a removed device).
    if (path.size() < 17)
        return QString();
    return path.right(17).replace(QLatin1Char('_'), QLatin1Char(':')).toUpper();
}

int BluetoothDeviceModelPrivate::rowOf(const QString &lookup) const
{
    const auto key = sortKeys.constFind(lookup);
    if (key == sortKeys.constEnd())
        return -1;
    // The rows are in key order: only the run of equal keys needs a look.
    auto it = std::lower_bound(
        devices.cbegin(), devices.cend(), *key,
        [](const Row *row, const SortKey &k) { return deviceSortCmp(row->key, k) < 0; });
    for (; it != devices.cend() && deviceSortCmp((*it)->key, *key) == 0; ++it) {
        if ((*it)->lookup == lookup)
            return int(it - devices.cbegin());
    }
    return -1;
}

int BluetoothDeviceModelPrivate::findRow(const BluetoothDevice &device, const QString &lookup) const
{
    if (!lookup.isEmpty())
        return rowOf(lookup);
    for (int row = 0; row < devices.size(); ++row) {
        if (*devices.at(row)->device == device)
            return row;
    }
    return -1;
}

int BluetoothDeviceModelPrivate::findHidden(const BluetoothDevice &device) const
{
    for (int i = 0; i < hiddenDevices.size(); ++i) {
        if (*hiddenDevices.at(i) == device)
            return i;
    }
    return -1;
}

bool BluetoothDeviceModelPrivate::admits(const BluetoothDevice &device, bool foundInScan) const
{
    const bool known = device.isPaired() || device.isBlocked();
    if (!known && (!foundInScan || !adapter || !adapter->isPowered()))
        return false;
    return filterDevice(device);
}

BluetoothDevice *BluetoothDeviceModelPrivate::follow(const BluetoothDevice &device)
{
    auto *copy = new BluetoothDevice(device);
    connect(copy, &BluetoothDevice::propertyChanged, this,
            &BluetoothDeviceModelPrivate::devicePropertyChanged);
    return copy;
}

void BluetoothDeviceModelPrivate::discard(BluetoothDevice *device)
{
    // Later: it may be the very handle whose signal is being delivered.
    QObject::disconnect(device, nullptr, this, nullptr);
    device->deleteLater();
}

void BluetoothDeviceModelPrivate::readValues(Row *row)
{
    const BluetoothDevice &device = *row->device;
    row->classOfDevice = device.classOfDevice();
    row->trusted = device.isTrusted();
    row->connected = device.isConnected();
    row->connectable = row->key.paired && BluetoothConnectionManager::isConnectable(device);
}

void BluetoothDeviceModelPrivate::insertRow(const BluetoothDevice &device)
{
    Q_Q(BluetoothDeviceModel);
    auto *row = new Row;
    row->device = follow(device);
    row->key = sortKey(*row->device);
    row->address = row->device->address();
    row->lookup = row->device->path().isEmpty() ? row->address : lookupAddress(*row->device);
    readValues(row);
    // Behind every row that sorts equal, so equal rows keep their order.
    const auto it = std::upper_bound(
        devices.cbegin(), devices.cend(), row->key,
        [](const SortKey &k, const Row *r) { return deviceSortCmp(r->key, k) > 0; });
    const int at = int(it - devices.cbegin());
    q->beginInsertRows(QModelIndex(), at, at);
    if (!row->lookup.isEmpty())
        sortKeys.insert(row->lookup, row->key);
    devices.insert(at, row);
    q->endInsertRows();
}

void BluetoothDeviceModelPrivate::takeRow(int row, Disposal disposal)
{
    Q_Q(BluetoothDeviceModel);
    q->beginRemoveRows(QModelIndex(), row, row);
    Row *taken = devices.takeAt(row);
    if (!taken->lookup.isEmpty())
        sortKeys.remove(taken->lookup);
    q->endRemoveRows();
    if (disposal == Disposal::KeepFollowing && !taken->device->path().isEmpty())
        hiddenDevices.append(taken->device);
    else
        discard(taken->device);
    delete taken;
}

void BluetoothDeviceModelPrivate::clearAll()
{
    Q_Q(BluetoothDeviceModel);
    const bool announce = !devices.isEmpty();
    if (announce)
        q->beginRemoveRows(QModelIndex(), 0, int(devices.size()) - 1);
    for (Row *row : std::as_const(devices)) {
        delete row->device;
        delete row;
    }
    devices.clear();
    sortKeys.clear();
    qDeleteAll(hiddenDevices);
    hiddenDevices.clear();
    if (announce)
        q->endRemoveRows();
}

void BluetoothDeviceModelPrivate::updateDevice(const BluetoothDevice &device, bool foundInScan,
                                               bool onlyUpdate)
{
    const QString lookup = lookupAddress(device);
    update(device, findRow(device, lookup), foundInScan, onlyUpdate);
}

void BluetoothDeviceModelPrivate::update(const BluetoothDevice &device, int row, bool foundInScan,
                                         bool onlyUpdate)
{
    Q_Q(BluetoothDeviceModel);
    if (row >= 0) {
        const bool inPlace = !onlyUpdate && staysInPlace(row, device, foundInScan);
        if (onlyUpdate || inPlace) {
            Row *held = devices.at(row);
            if (inPlace) {
                held->key = sortKey(device);
                if (!held->lookup.isEmpty())
                    sortKeys.insert(held->lookup, held->key);
            }
            readValues(held);
            Q_EMIT q->dataChanged(q->index(row, 0),
                                  q->index(row, BluetoothDeviceModel::ColumnCount - 1));
            return;
        }
        takeRow(row, Disposal::KeepFollowing);
    }
    if (!admits(device, foundInScan))
        return;
    if (!device.path().isEmpty()) {
        const int hidden = findHidden(device);
        if (hidden >= 0) {
            BluetoothDevice *copy = hiddenDevices.at(hidden);
            hiddenDevices.removeAll(copy);
            discard(copy);
        }
    }
    insertRow(device);
}

bool BluetoothDeviceModelPrivate::staysInPlace(int row, const BluetoothDevice &device,
                                               bool foundInScan) const
{
    // A BlueZ object (its row's copy shares its values) that still belongs
    // in its group and sorts where it is: changed in place, so that a finger
    // on the row stays on it while discovery updates its signal strength.
    const Row &held = *devices.at(row);
    if (device.path().isEmpty() || held.device->path() != device.path()
        || !admits(device, foundInScan))
        return false;
    // The list draws a trusted row as a cell of its own kind, made anew.
    const SortKey key = sortKey(device);
    if (key.paired != held.key.paired || key.blocked != held.key.blocked
        || held.trusted != device.isTrusted())
        return false;
    const bool afterPrevious = row == 0 || deviceSortCmp(devices.at(row - 1)->key, key) <= 0;
    const bool beforeNext
        = row + 1 >= devices.size() || deviceSortCmp(key, devices.at(row + 1)->key) <= 0;
    return afterPrevious && beforeNext;
}

bool BluetoothDeviceModelPrivate::hasDeviceChanged(const Row &row,
                                                   const BluetoothDevice &device) const
{
    return row.key.name != device.name() || row.key.paired != device.isPaired()
        || row.key.blocked != device.isBlocked() || row.connected != device.isConnected()
        || row.trusted != device.isTrusted() || row.key.rssi != device.rssi()
        || row.device->uuids() != device.uuids();
}

void BluetoothDeviceModelPrivate::deviceDiscovered(const BluetoothDevice &device)
{
    const QString lookup = lookupAddress(device);
    const int row = findRow(device, lookup);
    if (row >= 0) {
        const Row &held = *devices.at(row);
        // A BlueZ object reports its own changes.
        if (!held.device->path().isEmpty() || !hasDeviceChanged(held, device))
            return;
    }
    update(device, row, true, false);
}

void BluetoothDeviceModelPrivate::deviceCreated(const BluetoothDevice &device)
{
    const QString lookup = lookupAddress(device);
    const int row = findRow(device, lookup);
    // Followed until a change makes it a row (paired, say). BlueZ announces a
    // creation and its requester hears of it too: follow it once only.
    if (row < 0 && findHidden(device) < 0)
        hiddenDevices.append(follow(device));
    update(device, row, row >= 0, false);
}

void BluetoothDeviceModelPrivate::deviceRemoved(const BluetoothDevice &device)
{
    const QString lookup = lookupAddress(device);
    const bool wasBeingPaired = pairingDevice && !lookup.isEmpty() && lookup == pairingAddress;
    // BlueZ has forgotten it: there is nothing left to follow.
    const int row = findRow(device, lookup);
    if (row >= 0)
        takeRow(row, Disposal::Discard);
    for (int i = int(hiddenDevices.size()) - 1; i >= 0; --i) {
        if (*hiddenDevices.at(i) == device)
            discard(hiddenDevices.takeAt(i));
    }
    if (!wasBeingPaired)
        return;
    // A failed pairing drops the device BlueZ made for it; the user still
    // sees the device that was found.
    const QVariantMap properties { { QStringLiteral("Alias"), pairingDevice->name() },
                                   { QStringLiteral("Address"), pairingDevice->address() },
                                   { QStringLiteral("LegacyPairing"),
                                     pairingDevice->isLegacyPairing() },
                                   { QStringLiteral("Class"), pairingDevice->classOfDevice() } };
    updateDevice(BluetoothDevice(properties), true, false);
    deletePairingDevice();
}

void BluetoothDeviceModelPrivate::removeDevice(const BluetoothDevice &device)
{
    const int row = findRow(device, lookupAddress(device));
    if (row >= 0)
        takeRow(row, Disposal::KeepFollowing);
}

void BluetoothDeviceModelPrivate::devicePropertyChanged(const QString &property)
{
    auto *sender = qobject_cast<BluetoothDevice *>(QObject::sender());
    if (!sender) {
        qCWarning(lcDevices, "devicePropertyChanged: device == 0");
        return;
    }
    const BluetoothDevice device(*sender);
    const QString lookup = lookupAddress(device);
    if (property == QLatin1String("paired") && pairingDevice && device.isPaired()
        && lookup == pairingAddress)
        deletePairingDevice();
    const bool inPlace
        = property == QLatin1String("connected") || property == QLatin1String("uuids");
    update(device, findRow(device, lookup), true, inPlace);
}

void BluetoothDeviceModelPrivate::adapterPropertyChanged(const QString &property)
{
    if (property != QLatin1String("powered") || adapter->isPowered())
        return;
    // Found devices are gone with the radio; known ones stay.
    for (int row = 0; row < devices.size();) {
        const SortKey &key = devices.at(row)->key;
        if (!key.paired && !key.blocked)
            takeRow(row, Disposal::KeepFollowing);
        else
            ++row;
    }
}

void BluetoothDeviceModelPrivate::adapterDisappeared()
{
    clearAll();
}

void BluetoothDeviceModelPrivate::adapterAppeared()
{
    if (devices.isEmpty())
        loadPairedDevices();
}

void BluetoothDeviceModelPrivate::readmitHidden()
{
    // Copies: an admitted device's hidden object goes away.
    std::vector<BluetoothDevice> hidden;
    hidden.reserve(hiddenDevices.size());
    for (const BluetoothDevice *device : std::as_const(hiddenDevices))
        hidden.emplace_back(*device);
    // Known devices come back at once; found ones with the next discovery
    // result, as after any other absence. A device found again while BlueZ
    // also knows it has a row already and keeps it.
    for (const BluetoothDevice &device : hidden) {
        if (findRow(device, lookupAddress(device)) < 0)
            update(device, -1, false, false);
    }
}

void BluetoothDeviceModelPrivate::loadPairedDevices()
{
    const QList<BluetoothDevice> known = adapter->listDevices();
    for (const BluetoothDevice &device : known)
        deviceCreated(device);
}

bool BluetoothDeviceModelPrivate::filterDevice(const BluetoothDevice &device) const
{
    if (filter.isEmpty())
        return true;
    bool serviceMatch = false;
    bool classMatch = false;
    bool uuidMatch = false;
    // In key order: a class criterion, when there is one, decides first.
    for (auto it = filter.cbegin(); it != filter.cend(); ++it) {
        const QString &key = it.key();
        if (key == QLatin1String("uuids")) {
            const QStringList offered = device.uuids();
            const QStringList wanted = it.value().toStringList();
            uuidMatch
                = std::any_of(wanted.cbegin(), wanted.cend(),
                              [&offered](const QString &uuid) { return offered.contains(uuid); });
        } else if (key == QLatin1String("serviceClass")) {
            serviceMatch = (int(device.serviceClass()) & it.value().toInt()) != 0;
        } else if (key == QLatin1String("majorClass")) {
            if (int(device.majorClass()) != it.value().toInt())
                return uuidMatch || serviceMatch;
            classMatch = true;
        } else if (key == QLatin1String("classOfDevice")) {
            if ((it.value().toUInt() ^ device.classOfDevice()) & majorMinorMask)
                return uuidMatch || serviceMatch;
            classMatch = true;
        }
    }
    return classMatch || uuidMatch || serviceMatch;
}

QModelIndex BluetoothDeviceModelPrivate::activeDeviceIndex() const
{
    Q_Q(const BluetoothDeviceModel);
    if (!pairingDevice || pairingAddress.isEmpty())
        return QModelIndex();
    const int row = rowOf(pairingAddress);
    return row >= 0 ? q->index(row, BluetoothDeviceModel::ActiveColumn) : QModelIndex();
}

bool BluetoothDeviceModelPrivate::isActive(const Row &row) const
{
    return pairingDevice && !pairingAddress.isEmpty() && row.address == pairingAddress;
}

QVariantList BluetoothDeviceModelPrivate::rowValues(int index) const
{
    const Row &row = *devices.at(index);
    return { row.classOfDevice, row.key.name,  row.key.paired,  row.trusted, row.connected,
             row.connectable,   isActive(row), row.key.blocked, row.address };
}

void BluetoothDeviceModelPrivate::deletePairingDevice()
{
    Q_Q(BluetoothDeviceModel);
    deletingPairingDevice = true;
    const QModelIndex index = activeDeviceIndex();
    discard(pairingDevice);
    pairingDevice = nullptr;
    pairingAddress.clear();
    if (index.isValid())
        Q_EMIT q->dataChanged(index, index);
    deletingPairingDevice = false;
}

// --- model ------------------------------------------------------------------

BluetoothDeviceModel::BluetoothDeviceModel(BluetoothAdapter *adapter, QObject *parent)
    : QAbstractTableModel(parent)
    , d_ptr(new BluetoothDeviceModelPrivate(this, adapter))
{
    // Once the model can answer for the rows it announces.
    d_ptr->start();
}

BluetoothDeviceModel::~BluetoothDeviceModel()
{
    delete d_ptr;
}

int BluetoothDeviceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(d_ptr->devices.size());
}

int BluetoothDeviceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(d_ptr->headers.size());
}

QVariant BluetoothDeviceModel::data(const QModelIndex &index, int role) const
{
    Q_D(const BluetoothDeviceModel);
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= d->devices.size())
        return QVariant();
    const BluetoothDeviceModelPrivate::Row &row = *d->devices.at(index.row());
    switch (index.column()) {
    case CodColumn:
        return row.classOfDevice;
    case NameColumn:
        return row.key.name;
    case PairedColumn:
        return row.key.paired;
    case TrustedColumn:
        return row.trusted;
    case ConnectionStatusColumn:
        return row.connected;
    case ConnectableColumn:
        return row.connectable;
    case ActiveColumn:
        return d->isActive(row);
    case BlockedColumn:
        return row.key.blocked;
    case AddressColumn:
        return row.address;
    default:
        return QVariant();
    }
}

QVariant BluetoothDeviceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    Q_UNUSED(orientation)
    Q_D(const BluetoothDeviceModel);
    if (role != Qt::DisplayRole || section < 0 || section >= d->headers.size())
        return QVariant();
    return d->headers.at(section);
}

BluetoothDevice *BluetoothDeviceModel::deviceFromList(int row) const
{
    Q_D(const BluetoothDeviceModel);
    if (row < 0 || row >= d->devices.size()) {
        qCWarning(lcDevices, "deviceFromList: no row %d", row);
        return nullptr;
    }
    return d->devices.at(row)->device;
}

BluetoothAdapter *BluetoothDeviceModel::adapter() const
{
    return d_ptr->adapter;
}

const BluetoothDevice *BluetoothDeviceModel::pairingDevice() const
{
    return d_ptr->pairingDevice;
}

bool BluetoothDeviceModel::isDeletingPairingDevice() const
{
    return d_ptr->deletingPairingDevice;
}

void BluetoothDeviceModel::setPairingDevice(const BluetoothDevice *device)
{
    Q_D(BluetoothDeviceModel);
    if (!device)
        return;
    const QModelIndex before = d->activeDeviceIndex();
    if (d->pairingDevice)
        d->discard(d->pairingDevice);
    d->pairingDevice = new BluetoothDevice(*device);
    d->pairingAddress = d->pairingDevice->address();
    const QModelIndex now = d->activeDeviceIndex();
    // The row that was active is not any more.
    if (before.isValid() && before != now)
        Q_EMIT dataChanged(before, before);
    if (now.isValid())
        Q_EMIT dataChanged(now, now);
}

void BluetoothDeviceModel::setFilter(const QMap<QString, QVariant> &filter)
{
    Q_D(BluetoothDeviceModel);
    d->filter = filter;
    // Copies: each update replaces the object it was given.
    std::vector<BluetoothDevice> current;
    current.reserve(d->devices.size());
    for (const BluetoothDeviceModelPrivate::Row *row : std::as_const(d->devices))
        current.emplace_back(*row->device);
    for (const BluetoothDevice &device : current)
        d->updateDevice(device, true, false);
    d->readmitHidden();
}

} // namespace Ovrin
