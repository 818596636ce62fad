#include "bluetoothdevicelist.h"
#include "bluetoothdevicelist_p.h"

#include "bluetoothadapter.h"
#include "bluetoothconnectionmanager.h"
#include "bluetoothdevicelistcellcreator.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothdeviceuimodel.h"
#include "deviceslogging.h"
#include "simpleinformationbanner.h"

#include "orvelaction.h"
#include "orvelobjectmenu.h"

#include <QItemSelectionModel>
#include <QSignalMapper>

namespace Ovrin {

BluetoothDeviceListPrivate::BluetoothDeviceListPrivate(BluetoothDeviceList *list)
    : QObject(list)
    , q(list)
    , setTrustedMapper(new QSignalMapper(this))
    , setUntrustedMapper(new QSignalMapper(this))
    , connectMapper(new QSignalMapper(this))
    , disconnectMapper(new QSignalMapper(this))
    , removePairingMapper(new QSignalMapper(this))
    , blockMapper(new QSignalMapper(this))
    , longTapTimer(new QTimer(this))
{
    longTapTimer->setSingleShot(true);
    connect(longTapTimer, &QTimer::timeout, this, &BluetoothDeviceListPrivate::longTapTimeout);
    connect(setTrustedMapper, &QSignalMapper::mappedInt, this,
            &BluetoothDeviceListPrivate::setTrustedActionTriggered);
    connect(setUntrustedMapper, &QSignalMapper::mappedInt, this,
            &BluetoothDeviceListPrivate::setUntrustedActionTriggered);
    connect(connectMapper, &QSignalMapper::mappedInt, this,
            &BluetoothDeviceListPrivate::connectActionTriggered);
    connect(disconnectMapper, &QSignalMapper::mappedInt, this,
            &BluetoothDeviceListPrivate::disconnectActionTriggered);
    connect(removePairingMapper, &QSignalMapper::mappedInt, this,
            &BluetoothDeviceListPrivate::removePairingActionsTriggered);
    connect(blockMapper, &QSignalMapper::mappedInt, this,
            &BluetoothDeviceListPrivate::blockActionTriggered);
}

BluetoothDeviceListPrivate::~BluetoothDeviceListPrivate()
{
    delete uiModel;
    delete deviceToBlock;
    delete selectedDevice;
}

QModelIndex BluetoothDeviceListPrivate::sourceIndex(const QModelIndex &proxyIndex) const
{
    return uiModel ? uiModel->mapToSource(proxyIndex) : QModelIndex();
}

BluetoothDevice *BluetoothDeviceListPrivate::deviceForAction(int row) const
{
    if (!model)
        return nullptr;
    // Rows move while discovery runs: act on the device the menu was opened
    // for, wherever it went, and on nothing once it is gone.
    BluetoothDevice *device = model->deviceFromList(row);
    if (device && device->address() == menuAddress)
        return device;
    for (int other = 0; other < model->rowCount(); ++other) {
        device = model->deviceFromList(other);
        if (device && device->address() == menuAddress)
            return device;
    }
    qCWarning(lcDevices, "BluetoothDeviceList: device %s of the menu is gone",
              qUtf8Printable(menuAddress));
    return nullptr;
}

void BluetoothDeviceListPrivate::clearActions()
{
    const QList<QAction *> actions = q->actions();
    q->clearActions();
    for (QAction *action : actions) {
        if (action->parent() == this)
            delete action;
    }
}

void BluetoothDeviceListPrivate::addAction(const char *textId, QSignalMapper *mapper, int row)
{
    auto *action = new OrvelAction(qtTrId(textId), this);
    action->setObjectName(QString::fromLatin1(textId));
    action->setLocation(OrvelAction::ObjectMenuLocation);
    q->addAction(action);
    connect(action, &QAction::triggered, mapper, qOverload<>(&QSignalMapper::map));
    mapper->setMapping(action, row);
}

void BluetoothDeviceListPrivate::deviceSelected(const QModelIndex &proxyIndex)
{
    if (!proxyIndex.isValid()) {
        qCWarning(lcDevices, "Buggy OrvelList in action: invalid index selected!");
        return;
    }
    const QModelIndex source = sourceIndex(proxyIndex);
    BluetoothDevice *device = source.isValid() ? model->deviceFromList(source.row()) : nullptr;
    if (!device) {
        qCWarning(lcDevices, "Selected proxy index did not map to BluetoothDeviceModel index");
        return;
    }
    delete selectedDevice;
    selectedDevice = new BluetoothDevice(*device);
    Q_EMIT q->bluetoothdeviceSelected(*selectedDevice);
}

void BluetoothDeviceListPrivate::deviceLongTapped(const QModelIndex &proxyIndex,
                                                  const QPointF &position)
{
    clearActions();
    if (!proxyIndex.isValid()) {
        qCWarning(lcDevices, "Buggy OrvelList in action: invalid index selected with long tap!");
        return;
    }
    const QModelIndex source = sourceIndex(proxyIndex);
    if (!source.isValid() || !model->deviceFromList(source.row())) {
        qCWarning(lcDevices, "Selected proxy index did not map to BluetoothDeviceModel index");
        return;
    }
    const int row = source.row();
    auto value = [this, row](int column) {
        return model->index(row, column).data().toBool();
    };
    const bool trusted = value(BluetoothDeviceModel::TrustedColumn);
    const bool paired = value(BluetoothDeviceModel::PairedColumn);
    const bool blocked = value(BluetoothDeviceModel::BlockedColumn);
    const bool connected = value(BluetoothDeviceModel::ConnectionStatusColumn);
    const bool connectable = value(BluetoothDeviceModel::ConnectableColumn);
    menuAddress = model->deviceFromList(row)->address();

    if (connectable && !blocked) {
        if (connected)
            addAction("qtn_conn_bt_disconnect", disconnectMapper, row);
        else if (model->adapter() && model->adapter()->isPowered())
            addAction("qtn_conn_bt_connect", connectMapper, row);
    }
    if (blocked) {
        // A blocked device has no menu: a long tap chooses it instead.
        longTapRow = row;
        longTapTimer->start(1);
    } else {
        if (paired) {
            addAction("qtn_conn_bt_remove_pairing", removePairingMapper, row);
            if (trusted)
                addAction("qtn_conn_bt_set_untrusted", setUntrustedMapper, row);
            else
                addAction("qtn_conn_bt_set_trusted", setTrustedMapper, row);
        }
        addAction("qtn_conn_bt_block", blockMapper, row);
    }
    if (q->actions().isEmpty())
        return;
    auto *menu = new OrvelObjectMenu(q);
    menu->setCursorPosition(position);
    menu->appear(nullptr, OrvelSceneWindow::DestroyWhenDone);
}

void BluetoothDeviceListPrivate::longTapTimeout()
{
    longTapTimer->stop();
    if (!model)
        return;
    BluetoothDevice *device = deviceForAction(longTapRow);
    if (device)
        Q_EMIT q->bluetoothdeviceSelected(*device);
}

void BluetoothDeviceListPrivate::setTrustedActionTriggered(int row)
{
    if (BluetoothDevice *device = deviceForAction(row))
        device->setTrusted(true);
}

void BluetoothDeviceListPrivate::setUntrustedActionTriggered(int row)
{
    if (BluetoothDevice *device = deviceForAction(row))
        device->setTrusted(false);
}

void BluetoothDeviceListPrivate::removePairingActionsTriggered(int row)
{
    BluetoothDevice *device = deviceForAction(row);
    if (device && model->adapter())
        model->adapter()->removeDevice(*device);
}

void BluetoothDeviceListPrivate::connectActionTriggered(int row)
{
    BluetoothDevice *device = deviceForAction(row);
    if (!device)
        return;
    auto *manager = new BluetoothConnectionManager(*device);
    connect(manager, &BluetoothConnectionManager::connected, this,
            &BluetoothDeviceListPrivate::deviceConnectionFinished);
    connect(manager, &BluetoothConnectionManager::connectionFailed, this,
            &BluetoothDeviceListPrivate::connectionFailed);
    Q_EMIT q->connectingStarted();
    manager->connect();
}

void BluetoothDeviceListPrivate::disconnectActionTriggered(int row)
{
    BluetoothDevice *device = deviceForAction(row);
    if (!device)
        return;
    auto *manager = new BluetoothConnectionManager(*device);
    connect(manager, &BluetoothConnectionManager::disconnected, this,
            &BluetoothDeviceListPrivate::deviceConnectionFinished);
    connect(manager, &BluetoothConnectionManager::disconnectionFailed, this,
            &BluetoothDeviceListPrivate::deviceConnectionFinished);
    manager->disconnect();
}

void BluetoothDeviceListPrivate::deviceConnectionFinished()
{
    if (auto *manager = qobject_cast<BluetoothConnectionManager *>(sender()))
        manager->deleteLater();
    Q_EMIT q->connectingStopped();
}

void BluetoothDeviceListPrivate::connectionFailed(const QString &reason)
{
    Q_UNUSED(reason)
    if (auto *manager = qobject_cast<BluetoothConnectionManager *>(sender())) {
        SimpleInformationBanner::show(
            qtTrId("qtn_conn_bt_connection_failed").arg(manager->device().name()),
            QStringLiteral("icon-m-bluetooth"));
        manager->deleteLater();
    }
    Q_EMIT q->connectingStopped();
}

void BluetoothDeviceListPrivate::blockActionTriggered(int row)
{
    BluetoothDevice *device = deviceForAction(row);
    if (!device)
        return;
    blockAddress = device->address();
    if (!device->path().isEmpty()) {
        blockDevice(*device);
        return;
    }
    // A device only found by discovery must exist in BlueZ to be blocked.
    if (BluetoothAdapter *adapter = model->adapter()) {
        connect(adapter, &BluetoothAdapter::deviceCreated, this,
                &BluetoothDeviceListPrivate::blockDevice, Qt::UniqueConnection);
        connect(adapter, &BluetoothAdapter::deviceCreationFailed, this,
                &BluetoothDeviceListPrivate::blockCreationFailed, Qt::UniqueConnection);
        adapter->startCreatingDevice(*device);
    }
}

void BluetoothDeviceListPrivate::stopWaitingForCreation(BluetoothAdapter *adapter)
{
    disconnect(adapter, &BluetoothAdapter::deviceCreated, this,
               &BluetoothDeviceListPrivate::blockDevice);
    disconnect(adapter, &BluetoothAdapter::deviceCreationFailed, this,
               &BluetoothDeviceListPrivate::blockCreationFailed);
    blockAddress.clear();
}

void BluetoothDeviceListPrivate::blockCreationFailed(const QString &errorName)
{
    Q_UNUSED(errorName)
    // The block is over: a later creation of that device (when the user
    // pairs it, say) must not block it behind the user's back.
    if (auto *adapter = qobject_cast<BluetoothAdapter *>(sender()))
        stopWaitingForCreation(adapter);
}

void BluetoothDeviceListPrivate::blockDevice(const BluetoothDevice &device)
{
    BluetoothAdapter *adapter = model ? model->adapter() : nullptr;
    if (!adapter)
        return;
    if (device.address() != blockAddress) {
        qCWarning(lcDevices, "BluetoothDeviceListPrivate::blockDevice() called for wrong device %s",
                  qUtf8Printable(device.address()));
        return;
    }
    if (sender() == adapter)
        stopWaitingForCreation(adapter);
    blockAddress.clear();

    delete deviceToBlock;
    deviceToBlock = new BluetoothDevice(device);
    if (deviceToBlock->isConnected()) {
        // Blocking a connected device would leave its link up.
        connect(deviceToBlock, &BluetoothDevice::propertyChanged, this,
                &BluetoothDeviceListPrivate::blockDisconnectedDevice);
        deviceToBlock->disconnect();
    } else {
        blockDisconnectedDevice();
    }
}

void BluetoothDeviceListPrivate::blockDisconnectedDevice()
{
    if (!deviceToBlock || deviceToBlock->isConnected())
        return;
    disconnect(deviceToBlock, &BluetoothDevice::propertyChanged, this,
               &BluetoothDeviceListPrivate::blockDisconnectedDevice);
    deviceToBlock->setBlocked(true);
    delete deviceToBlock;
    deviceToBlock = nullptr;
}

BluetoothDeviceList::BluetoothDeviceList(QGraphicsItem *parent)
    : OrvelList(parent)
    , d_ptr(new BluetoothDeviceListPrivate(this))
{
    setViewType(QStringLiteral("fast"));
    setShowGroups(true);
    setColumns(1);
    setObjectName(QStringLiteral("BluetoothDeviceList"));
    connect(this, &OrvelList::itemClicked, d_ptr, &BluetoothDeviceListPrivate::deviceSelected);
    connect(this, &OrvelList::itemLongTapped, d_ptr, &BluetoothDeviceListPrivate::deviceLongTapped);
}

BluetoothDeviceList::~BluetoothDeviceList()
{
    // The item model goes with the private object; the list must let go first.
    setItemModel(nullptr);
}

void BluetoothDeviceList::setBluetoothDeviceModel(BluetoothDeviceModel *model)
{
    Q_D(BluetoothDeviceList);
    d->model = model;
    setItemModel(nullptr);
    delete d->uiModel;
    d->uiModel = new BluetoothDeviceUiModel(model);
    QItemSelectionModel *selection = nullptr;
    if (d->immediateSelectionEnabled)
        selection = new QItemSelectionModel(d->uiModel, d->uiModel);
    setCellCreator(new BluetoothDeviceListCellCreator(selection, d));
    setItemModel(d->uiModel);
    if (selection)
        setSelectionModel(selection);
    else
        setSelectionMode(SingleSelection);
}

BluetoothDeviceModel *BluetoothDeviceList::bluetoothDeviceModel() const
{
    return d_ptr->model;
}

bool BluetoothDeviceList::immediateSelectionEnabled() const
{
    return d_ptr->immediateSelectionEnabled;
}

void BluetoothDeviceList::setImmediateSelectionEnabled(bool enabled)
{
    d_ptr->immediateSelectionEnabled = enabled;
}

BluetoothDevice BluetoothDeviceList::selectedBluetoothDevice() const
{
    return d_ptr->selectedDevice ? BluetoothDevice(*d_ptr->selectedDevice) : BluetoothDevice();
}

void BluetoothDeviceList::hideBlockedDevices(bool hide)
{
    if (d_ptr->uiModel)
        d_ptr->uiModel->hideBlockedDevices(hide);
}

void BluetoothDeviceList::setScanFinished(bool finished)
{
    if (d_ptr->uiModel)
        d_ptr->uiModel->setScanFinished(finished);
}

} // namespace Ovrin
