#include "bluetoothdeviceuimodel.h"

#include "bluetoothadapter.h"
#include "bluetoothdevicemodel_p.h"
#include "bluetoothdeviceuimodel_p.h"

#include <QVarLengthArray>

namespace Ovrin {

namespace {
// Distinct addresses that tell the kinds of index apart.
const char indexIds[4] = {};
} // namespace

// --- private ----------------------------------------------------------------

BluetoothDeviceUiModelPrivate::BluetoothDeviceUiModelPrivate(BluetoothDeviceUiModel *q,
                                                             BluetoothDeviceModel *source)
    : q_ptr(q)
    , source(source)
{
}

const void *BluetoothDeviceUiModelPrivate::groupId()
{
    return &indexIds[3];
}

const void *BluetoothDeviceUiModelPrivate::idOf(Group group)
{
    return &indexIds[group];
}

BluetoothDeviceUiModelPrivate::Group BluetoothDeviceUiModelPrivate::classify(int sourceRow) const
{
    const BluetoothDeviceModelPrivate::SortKey &key = source->d_func()->devices.at(sourceRow)->key;
    if (key.blocked)
        return Blocked;
    return key.paired ? Paired : Other;
}

QVariantList BluetoothDeviceUiModelPrivate::sourceValues(int sourceRow) const
{
    return source->d_func()->rowValues(sourceRow);
}

void BluetoothDeviceUiModelPrivate::computeSections()
{
    const int rows = source ? source->rowCount() : 0;
    int firstBlocked = -1;
    for (int row = 0; row < rows && firstBlocked < 0; ++row) {
        if (classify(row) == Blocked)
            firstBlocked = row;
    }
    const int limit = firstBlocked >= 0 ? firstBlocked : rows;
    int firstNotPaired = -1;
    bool pairedVisible = false;
    if (limit >= 1) {
        if (classify(0) != Paired) {
            firstNotPaired = 0;
        } else {
            pairedVisible = true;
            for (int row = 1; row < limit && firstNotPaired < 0; ++row) {
                if (classify(row) != Paired)
                    firstNotPaired = row;
            }
        }
    }
    pairedCount = pairedVisible ? (firstNotPaired >= 0 ? firstNotPaired : limit) : 0;
    otherCount = firstNotPaired >= 0 ? limit - firstNotPaired : 0;
    blockedCount = firstBlocked >= 0 ? rows - firstBlocked : 0;
    pairedGroupVisible = pairedCount > 0;
    blockedGroupVisible = blockedCount > 0 && !hideBlocked;
    placeholderVisible = otherCount == 0;
    pendingFirst = 0;
    pendingCount = 0;
}

bool BluetoothDeviceUiModelPrivate::isGroupShown(Group group) const
{
    switch (group) {
    case Paired:
        return pairedGroupVisible;
    case Other:
        return true;
    case Blocked:
        return blockedGroupVisible;
    default:
        return false;
    }
}

int BluetoothDeviceUiModelPrivate::groupRow(Group group) const
{
    const int paired = pairedGroupVisible ? 1 : 0;
    switch (group) {
    case Paired:
        return 0;
    case Other:
        return paired;
    case Blocked:
        return paired + 1;
    default:
        return -1;
    }
}

BluetoothDeviceUiModelPrivate::Group BluetoothDeviceUiModelPrivate::groupAt(int topRow) const
{
    if (pairedGroupVisible) {
        if (topRow == 0)
            return Paired;
        --topRow;
    }
    if (topRow == 0)
        return Other;
    if (topRow == 1 && blockedGroupVisible)
        return Blocked;
    return NoGroup;
}

BluetoothDeviceUiModelPrivate::Group
BluetoothDeviceUiModelPrivate::groupOfChild(const QModelIndex &index) const
{
    const void *id = index.constInternalPointer();
    for (Group group : { Paired, Other, Blocked }) {
        if (id == idOf(group))
            return group;
    }
    return NoGroup;
}

int BluetoothDeviceUiModelPrivate::sectionSize(Group group) const
{
    switch (group) {
    case Paired:
        return pairedCount;
    case Other:
        return otherCount;
    case Blocked:
        return blockedCount;
    default:
        return 0;
    }
}

int BluetoothDeviceUiModelPrivate::childCount(Group group) const
{
    if (!isGroupShown(group))
        return 0;
    if (group == Other && placeholderVisible)
        return otherCount + 1;
    return sectionSize(group);
}

int BluetoothDeviceUiModelPrivate::sectionStart(Group group) const
{
    switch (group) {
    case Paired:
        return 0;
    case Other:
        return pairedCount;
    case Blocked:
        return pairedCount + otherCount;
    default:
        return -1;
    }
}

int BluetoothDeviceUiModelPrivate::sourceRowOf(Group group, int row) const
{
    if (row < 0 || row >= sectionSize(group))
        return -1;
    const int shown = sectionStart(group) + row;
    return shown < pendingFirst ? shown : shown + pendingCount;
}

BluetoothDeviceUiModelPrivate::Location BluetoothDeviceUiModelPrivate::locate(int sourceRow) const
{
    int shown = sourceRow;
    if (sourceRow < 0)
        return {};
    if (sourceRow >= pendingFirst) {
        if (sourceRow < pendingFirst + pendingCount)
            return {};
        shown -= pendingCount;
    }
    for (Group group : { Paired, Other, Blocked }) {
        const int start = sectionStart(group);
        if (shown < start + sectionSize(group))
            return { group, shown - start };
    }
    return {};
}

QModelIndex BluetoothDeviceUiModelPrivate::headerIndex(Group group) const
{
    Q_Q(const BluetoothDeviceUiModel);
    if (!isGroupShown(group))
        return QModelIndex();
    return q->createIndex(groupRow(group), 0, groupId());
}

QModelIndex BluetoothDeviceUiModelPrivate::childIndex(const Location &location) const
{
    Q_Q(const BluetoothDeviceUiModel);
    if (location.group == NoGroup || !isGroupShown(location.group))
        return QModelIndex();
    return q->createIndex(location.row, 0, idOf(location.group));
}

bool BluetoothDeviceUiModelPrivate::isPlaceholder(const QModelIndex &index) const
{
    return placeholderVisible && index.row() == 0 && index.constInternalPointer() == idOf(Other);
}

QVariant BluetoothDeviceUiModelPrivate::placeholderText() const
{
    // While discovery runs, more may come: an empty row.
    if (!scanFinished)
        return QVariant(QStringLiteral(""));
    BluetoothAdapter *adapter = source ? source->adapter() : nullptr;
    if (adapter && !adapter->isPowered())
        return qtTrId("qtn_conn_bt_is_off");
    return qtTrId("qtn_conn_no_devices_found");
}

QString BluetoothDeviceUiModelPrivate::headerText(Group group) const
{
    switch (group) {
    case Paired:
        return qtTrId("qtn_conn_bt_paired_devices");
    case Other:
        return pairedGroupVisible ? qtTrId("qtn_conn_bt_other_devices")
                                  : qtTrId("qtn_conn_bt_devices_in_range");
    case Blocked:
        return qtTrId("qtn_conn_bt_blocked_devices");
    default:
        return QString();
    }
}

void BluetoothDeviceUiModelPrivate::countRow(Group group, int delta)
{
    switch (group) {
    case Paired:
        pairedCount += delta;
        break;
    case Other:
        otherCount += delta;
        break;
    case Blocked:
        blockedCount += delta;
        break;
    default:
        break;
    }
}

// --- model ------------------------------------------------------------------

BluetoothDeviceUiModel::BluetoothDeviceUiModel(BluetoothDeviceModel *source, QObject *parent)
    : QAbstractProxyModel(parent)
    , d_ptr(new BluetoothDeviceUiModelPrivate(this, source))
{
    Q_D(BluetoothDeviceUiModel);
    setSourceModel(source);
    if (source) {
        connect(source, &QAbstractItemModel::dataChanged, this,
                &BluetoothDeviceUiModel::sourceDataChanged);
        connect(source, &QAbstractItemModel::rowsInserted, this,
                &BluetoothDeviceUiModel::sourceRowsInserted);
        connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                &BluetoothDeviceUiModel::sourceRowsAboutToBeRemoved);
        connect(source, &QAbstractItemModel::rowsRemoved, this,
                &BluetoothDeviceUiModel::sourceRowsRemoved);
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this,
                &BluetoothDeviceUiModel::sourceAboutToBeReset);
        connect(source, &QAbstractItemModel::modelReset, this,
                &BluetoothDeviceUiModel::sourceReset);
        // Gone before us: show an empty list rather than read a dead model.
        connect(source, &QObject::destroyed, this, [this]() {
            beginResetModel();
            d_ptr->computeSections();
            endResetModel();
        });
    }
    BluetoothAdapter *adapter = source ? source->adapter() : nullptr;
    d->scanFinished = !adapter || !adapter->isPowered();
    d->computeSections();
}

BluetoothDeviceUiModel::~BluetoothDeviceUiModel()
{
    delete d_ptr;
}

QModelIndex BluetoothDeviceUiModel::index(int row, int column, const QModelIndex &parent) const
{
    Q_D(const BluetoothDeviceUiModel);
    using Group = BluetoothDeviceUiModelPrivate::Group;
    if (row < 0 || column != 0)
        return QModelIndex();
    if (!parent.isValid()) {
        if (d->groupAt(row) == Group::NoGroup)
            return QModelIndex();
        return createIndex(row, 0, d->groupId());
    }
    if (parent.model() != this || parent.column() != 0
        || parent.constInternalPointer() != d->groupId())
        return QModelIndex();
    const Group group = d->groupAt(parent.row());
    if (group == Group::NoGroup || row >= d->childCount(group))
        return QModelIndex();
    return createIndex(row, 0, d->idOf(group));
}

QModelIndex BluetoothDeviceUiModel::parent(const QModelIndex &child) const
{
    Q_D(const BluetoothDeviceUiModel);
    if (!child.isValid() || child.model() != this || child.constInternalPointer() == d->groupId())
        return QModelIndex();
    return d->headerIndex(d->groupOfChild(child));
}

int BluetoothDeviceUiModel::rowCount(const QModelIndex &parent) const
{
    Q_D(const BluetoothDeviceUiModel);
    if (!parent.isValid())
        return 1 + (d->pairedGroupVisible ? 1 : 0) + (d->blockedGroupVisible ? 1 : 0);
    if (parent.model() != this || parent.column() != 0
        || parent.constInternalPointer() != d->groupId())
        return 0;
    return d->childCount(d->groupAt(parent.row()));
}

int BluetoothDeviceUiModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return 1;
}

bool BluetoothDeviceUiModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

Qt::ItemFlags BluetoothDeviceUiModel::flags(const QModelIndex &index) const
{
    Q_D(const BluetoothDeviceUiModel);
    if (!index.isValid() || index.model() != this)
        return Qt::NoItemFlags;
    if (index.constInternalPointer() == d->groupId())
        return Qt::ItemIsEnabled;
    if (d->isPlaceholder(index))
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant BluetoothDeviceUiModel::data(const QModelIndex &index, int role) const
{
    Q_UNUSED(role)
    Q_D(const BluetoothDeviceUiModel);
    using Group = BluetoothDeviceUiModelPrivate::Group;
    if (!index.isValid() || index.column() != 0 || index.model() != this)
        return QVariant();
    if (index.constInternalPointer() == d->groupId()) {
        const Group group = d->groupAt(index.row());
        if (group == Group::NoGroup)
            return QVariant();
        return d->headerText(group);
    }
    if (d->isPlaceholder(index))
        return d->placeholderText();
    const int sourceRow = d->sourceRowOf(d->groupOfChild(index), index.row());
    if (sourceRow < 0 || !d->source)
        return QVariant();
    return d->sourceValues(sourceRow);
}

QModelIndex BluetoothDeviceUiModel::mapToSource(const QModelIndex &proxyIndex) const
{
    Q_D(const BluetoothDeviceUiModel);
    if (!proxyIndex.isValid() || proxyIndex.model() != this || !d->source
        || proxyIndex.constInternalPointer() == d->groupId() || d->isPlaceholder(proxyIndex))
        return QModelIndex();
    const int sourceRow = d->sourceRowOf(d->groupOfChild(proxyIndex), proxyIndex.row());
    if (sourceRow < 0)
        return QModelIndex();
    return d->source->index(sourceRow, BluetoothDeviceModel::NameColumn);
}

QModelIndex BluetoothDeviceUiModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != d_ptr->source)
        return QModelIndex();
    return mapFromSource(sourceIndex.row());
}

QModelIndex BluetoothDeviceUiModel::mapFromSource(int sourceRow) const
{
    Q_D(const BluetoothDeviceUiModel);
    return d->childIndex(d->locate(sourceRow));
}

bool BluetoothDeviceUiModel::isScanFinished() const
{
    return d_ptr->scanFinished;
}

void BluetoothDeviceUiModel::setScanFinished(bool finished)
{
    Q_D(BluetoothDeviceUiModel);
    d->scanFinished = finished;
    // The placeholder's text follows; it is the only row that reads the flag.
    if (!d->source || d->source->rowCount() == 0) {
        beginResetModel();
        endResetModel();
    } else if (d->placeholderVisible) {
        const QModelIndex placeholder
            = index(0, 0, d->headerIndex(BluetoothDeviceUiModelPrivate::Other));
        Q_EMIT dataChanged(placeholder, placeholder);
    }
}

void BluetoothDeviceUiModel::hideBlockedDevices(bool hide)
{
    Q_D(BluetoothDeviceUiModel);
    if (hide == d->hideBlocked)
        return;
    beginResetModel();
    d->hideBlocked = hide;
    d->blockedGroupVisible = d->blockedCount > 0 && !hide;
    endResetModel();
}

void BluetoothDeviceUiModel::sourceDataChanged(const QModelIndex &topLeft,
                                               const QModelIndex &bottomRight)
{
    Q_D(BluetoothDeviceUiModel);
    if (!topLeft.isValid() || topLeft.parent().isValid())
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        const QModelIndex proxy = d->childIndex(d->locate(row));
        if (proxy.isValid())
            Q_EMIT dataChanged(proxy, proxy);
    }
}

void BluetoothDeviceUiModel::sourceRowsInserted(const QModelIndex &parent, int first, int last)
{
    Q_D(BluetoothDeviceUiModel);
    using Group = BluetoothDeviceUiModelPrivate::Group;
    if (parent.isValid() || !d->source)
        return;
    // In the source already; each row is shown once it has been announced.
    d->pendingFirst = first;
    d->pendingCount = last - first + 1;
    QVarLengthArray<Group, 4> groups;
    groups.reserve(d->pendingCount);
    for (int row = first; row <= last; ++row)
        groups.append(d->classify(row));

    if (!d->pairedGroupVisible && groups.contains(Group::Paired)) {
        beginInsertRows(QModelIndex(), 0, 0);
        d->pairedGroupVisible = true;
        endInsertRows();
        // The middle group is now "other devices" rather than "devices in range".
        const QModelIndex other = d->headerIndex(Group::Other);
        Q_EMIT dataChanged(other, other);
    }
    if (!d->blockedGroupVisible && !d->hideBlocked && groups.contains(Group::Blocked)) {
        const int row = d->groupRow(Group::Blocked);
        beginInsertRows(QModelIndex(), row, row);
        d->blockedGroupVisible = true;
        endInsertRows();
    }
    if (d->placeholderVisible && groups.contains(Group::Other)) {
        beginRemoveRows(d->headerIndex(Group::Other), 0, 0);
        d->placeholderVisible = false;
        endRemoveRows();
    }
    for (const Group group : std::as_const(groups)) {
        // Every source row above this one is shown by now.
        const int row = d->pendingFirst - d->sectionStart(group);
        if (row < 0 || row > d->sectionSize(group)) {
            // Rows out of their sections' order: start over from the source.
            beginResetModel();
            d->computeSections();
            endResetModel();
            return;
        }
        const bool announce = d->isGroupShown(group);
        if (announce)
            beginInsertRows(d->headerIndex(group), row, row);
        ++d->pendingFirst;
        --d->pendingCount;
        d->countRow(group, 1);
        if (announce)
            endInsertRows();
    }
}

void BluetoothDeviceUiModel::sourceRowsAboutToBeRemoved(const QModelIndex &parent, int first,
                                                        int last)
{
    Q_D(BluetoothDeviceUiModel);
    if (parent.isValid() || !d->source)
        return;
    // While the source still has the rows: each is taken out of view, the
    // last first, so every announced row number is valid when announced.
    for (int sourceRow = last; sourceRow >= first; --sourceRow) {
        const BluetoothDeviceUiModelPrivate::Location location = d->locate(sourceRow);
        const QModelIndex header = d->headerIndex(location.group);
        if (header.isValid())
            beginRemoveRows(header, location.row, location.row);
        d->pendingFirst = sourceRow;
        ++d->pendingCount;
        d->countRow(location.group, -1);
        if (header.isValid())
            endRemoveRows();
    }
}

void BluetoothDeviceUiModel::sourceRowsRemoved(const QModelIndex &parent, int first, int last)
{
    Q_D(BluetoothDeviceUiModel);
    using Group = BluetoothDeviceUiModelPrivate::Group;
    Q_UNUSED(first)
    Q_UNUSED(last)
    if (parent.isValid() || !d->source)
        return;
    d->pendingFirst = 0;
    d->pendingCount = 0;
    if (d->pairedGroupVisible && d->pairedCount == 0) {
        beginRemoveRows(QModelIndex(), 0, 0);
        d->pairedGroupVisible = false;
        endRemoveRows();
        const QModelIndex other = d->headerIndex(Group::Other);
        Q_EMIT dataChanged(other, other);
    }
    if (d->blockedGroupVisible && d->blockedCount == 0) {
        const int row = d->groupRow(Group::Blocked);
        beginRemoveRows(QModelIndex(), row, row);
        d->blockedGroupVisible = false;
        endRemoveRows();
    }
    if (!d->placeholderVisible && d->otherCount == 0) {
        beginInsertRows(d->headerIndex(Group::Other), 0, 0);
        d->placeholderVisible = true;
        endInsertRows();
    }
}

void BluetoothDeviceUiModel::sourceAboutToBeReset()
{
    beginResetModel();
}

void BluetoothDeviceUiModel::sourceReset()
{
    d_ptr->computeSections();
    endResetModel();
}

} // namespace Ovrin
