#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothdeviceselectionsheet_p.h"

#include "bluetoothdevicelist.h"
#include "bluetoothdevicemodel.h"
#include "deviceslogging.h"
#include "dialoghelperwidget.h"

#include "orvelapplicationwindow.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

#include <QTimer>

namespace Ovrin {

BluetoothDeviceSelectionSheetPrivate::BluetoothDeviceSelectionSheetPrivate(
    BluetoothDeviceSelectionSheet *sheet, BluetoothAdapter *adapter)
    : QObject(sheet)
    , q(sheet)
    , adapter(adapter)
{
    if (!adapter)
        return;
    connect(adapter, &BluetoothAdapter::adapterValid, this,
            &BluetoothDeviceSelectionSheetPrivate::updateDiscovery);
    // BlueZ took our discovery with it; the sheet starts a new one when it is back.
    connect(adapter, &BluetoothAdapter::adapterInvalid, this, [this] {
        discoveryStarted = false;
        if (list)
            list->setScanFinished(true);
        updateProgressIndicator();
    });
    connect(adapter, &BluetoothAdapter::propertyChanged, this,
            &BluetoothDeviceSelectionSheetPrivate::adapterPropertyChanged);
}

void BluetoothDeviceSelectionSheetPrivate::deviceSelectedFromList(const BluetoothDevice &device)
{
    Q_UNUSED(device)
    q->setAcceptEnabled(true);
}

void BluetoothDeviceSelectionSheetPrivate::adapterPropertyChanged(const QString &property)
{
    if (!adapter)
        return;
    if (property == QLatin1String("powered")) {
        if (!adapter->isPowered()) {
            list->setScanFinished(true);
            // The radio took our discovery with it; asking it to stop would
            // only fail, and the sheet starts a new one when power is back.
            discoveryStarted = false;
        }
        updateDiscovery();
    } else if (property == QLatin1String("discovering")) {
        list->setScanFinished(!adapter->isDiscovering());
        updateProgressIndicator();
    }
}

void BluetoothDeviceSelectionSheetPrivate::updateProgressIndicator()
{
    // Waiting for the caller is as much a wait as searching.
    q->setProgressIndicatorVisible(q->isPending() || (adapter && adapter->isDiscovering()));
}

void BluetoothDeviceSelectionSheetPrivate::sheetAppeared()
{
    appeared = true;
    updateDiscovery();
}

void BluetoothDeviceSelectionSheetPrivate::updateDiscovery()
{
    if (!adapter || !adapter->isPowered() || !appeared)
        return;
    bool inSwitcher = false;
    if (OrvelApplicationWindow *window = OrvelApplicationWindow::activeWindow()) {
        connect(window, &OrvelApplicationWindow::switcherEntered, this,
                &BluetoothDeviceSelectionSheetPrivate::updateDiscovery, Qt::UniqueConnection);
        connect(window, &OrvelApplicationWindow::switcherExited, this,
                &BluetoothDeviceSelectionSheetPrivate::updateDiscovery, Qt::UniqueConnection);
        inSwitcher = window->isInSwitcher();
    }
    const bool shouldRun = onDisplay && !q->isPending() && !inSwitcher;
    if (shouldRun && !discoveryStarted) {
        adapter->startDiscovery();
        discoveryStarted = true;
    } else if (!shouldRun && discoveryStarted) {
        adapter->stopDiscovery();
        discoveryStarted = false;
    }
}

BluetoothDeviceSelectionSheet::BluetoothDeviceSelectionSheet(BluetoothAdapter *adapter,
                                                             const QMap<QString, QVariant> &filter)
    : d_ptr(new BluetoothDeviceSelectionSheetPrivate(this, adapter))
{
    setStyleName(QStringLiteral("Inverted"));
    setTitle(qtTrId("qtn_conn_bt_select_device"));
    setAcceptLabel(qtTrId("qtn_comm_command_continue"));
    setRejectLabel(qtTrId("qtn_comm_cancel"));
    setAcceptEnabled(false);
    d_ptr->filter = filter;
    createContent();
}

BluetoothDeviceSelectionSheet::~BluetoothDeviceSelectionSheet()
{
    Q_D(BluetoothDeviceSelectionSheet);
    // Never leave the radio searching for a sheet that is gone.
    if (d->discoveryStarted && d->adapter && d->adapter->isPowered())
        d->adapter->stopDiscovery();
    d->discoveryStarted = false;
}

void BluetoothDeviceSelectionSheet::createContent()
{
    Q_D(BluetoothDeviceSelectionSheet);
    auto *content = new OrvelWidget();
    // All the sheet's room: the list fills it, the pending note sits in its middle.
    content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    d->model = new BluetoothDeviceModel(d->adapter, this);
    d->model->setFilter(d->filter);

    d->list = new BluetoothDeviceList();
    d->list->setImmediateSelectionEnabled(false);
    d->list->setBluetoothDeviceModel(d->model);
    d->list->hideBlockedDevices(true);
    // No long-tap menu on this sheet.
    disconnect(d->list, &OrvelList::itemLongTapped, nullptr, nullptr);
    connect(d->list, &BluetoothDeviceList::bluetoothdeviceSelected, d,
            &BluetoothDeviceSelectionSheetPrivate::deviceSelectedFromList);
    connect(this, &OrvelSceneWindow::appeared, d,
            &BluetoothDeviceSelectionSheetPrivate::sheetAppeared);

    auto *layout = new OrvelLayout();
    layout->setContentsMargins(0, 0, 0, 0);
    content->setLayout(layout);

    d->normalPolicy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    d->normalPolicy->setSpacing(0);
    d->normalPolicy->addItem(d->list);

    d->pendingPolicy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    d->pendingPolicy->setSpacing(0);
    auto *label = new OrvelLabel(qtTrId("qtn_conn_bt_send_another"));
    label->setObjectName(QStringLiteral("BluetoothSendAnotherLabel"));
    label->setStyleName(QStringLiteral("CommonSubText"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    d->pendingPolicy->addStretch();
    d->pendingPolicy->addItem(label, Qt::AlignCenter);
    d->pendingPolicy->addStretch();
    d->normalPolicy->activate();

    setContent(new DialogHelperWidget(content, nullptr));
}

void BluetoothDeviceSelectionSheet::done(bool accepted)
{
    Q_D(BluetoothDeviceSelectionSheet);
    if (!accepted) {
        SimpleSheet::done(false);
        return;
    }
    const BluetoothDevice device = d->list->selectedBluetoothDevice();
    if (device.address().isEmpty()) {
        // Nothing to report: the sheet stays until a device is chosen.
        qCWarning(lcDevices, "BluetoothDeviceSelectionSheet: accepted without a chosen device");
        return;
    }
    SimpleSheet::done(true);
    Q_EMIT deviceSelectionFinished(device);
}

bool BluetoothDeviceSelectionSheet::isPending() const
{
    Q_D(const BluetoothDeviceSelectionSheet);
    if (!d->pendingPolicy) {
        qCWarning(lcDevices,
                  "Cannot query the sheet for the pending state because pending "
                  "policy is not set");
        return false;
    }
    return d->pendingPolicy->isActive();
}

void BluetoothDeviceSelectionSheet::setPending(bool pending)
{
    Q_D(BluetoothDeviceSelectionSheet);
    if (pending == isPending() || !d->pendingPolicy)
        return;
    if (pending)
        d->pendingPolicy->activate();
    else
        d->normalPolicy->activate();
    d->updateProgressIndicator();
    d->updateDiscovery();
}

bool BluetoothDeviceSelectionSheet::isInSwitcher() const
{
    OrvelApplicationWindow *window = OrvelApplicationWindow::activeWindow();
    return window && window->isInSwitcher();
}

void BluetoothDeviceSelectionSheet::setScanFinished(bool finished)
{
    d_ptr->list->setScanFinished(finished);
}

BluetoothDeviceList *BluetoothDeviceSelectionSheet::deviceList() const
{
    return d_ptr->list;
}

void BluetoothDeviceSelectionSheet::enterDisplayEvent()
{
    Q_D(BluetoothDeviceSelectionSheet);
    SimpleSheet::enterDisplayEvent();
    d->onDisplay = true;
    QTimer::singleShot(0, d, &BluetoothDeviceSelectionSheetPrivate::updateDiscovery);
}

void BluetoothDeviceSelectionSheet::exitDisplayEvent()
{
    Q_D(BluetoothDeviceSelectionSheet);
    SimpleSheet::exitDisplayEvent();
    d->onDisplay = false;
    d->updateDiscovery();
}

} // namespace Ovrin
