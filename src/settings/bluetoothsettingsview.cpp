#include "bluetoothsettingsview.h"
#include "bluetoothsettingsview_p.h"

#include "bluetoothmydevicepanel.h"
#include "settingswindow_p.h"
#include "switchbluetoothonconfirmation.h"

#include "drilldownitem.h"
#include "orvelbutton.h"
#include "orvelgconfitem.h"
#include "orvelimagewidget.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "orvelprogressindicator.h"
#include "orvelseparator.h"
#include "simplecheckboxlabel.h"

namespace Ovrin {

namespace {

const QString showAlwaysKey = QStringLiteral("/system/varn/connectivity/BT/show_always");
// The switch (or the spinner standing in for it) follows icon, title and stretch.
const int switchIndex = 3;
const int powerSettingDelay = 100;
const int statusCheckDelay = 3000;

OrvelSeparator *divider()
{
    auto separator = new OrvelSeparator;
    separator->setStyleName(QStringLiteral("CommonItemDivider"));
    return separator;
}

} // namespace

BluetoothSettingsViewPrivate::BluetoothSettingsViewPrivate(BluetoothAdapter *adapter,
                                                           BluetoothSettingsView *view)
    : QObject(view)
    , view(view)
    , adapter(adapter)
{
    statusTimer.setSingleShot(true);
    connect(&statusTimer, &QTimer::timeout, this, &BluetoothSettingsViewPrivate::statusTimeout);
    connect(&powerSettingTimer, &QTimer::timeout, this,
            &BluetoothSettingsViewPrivate::powerSettingTimeout);
}

BluetoothSettingsViewPrivate::~BluetoothSettingsViewPrivate()
{
    // Once placed, the header owns the spinner.
    if (!spinnerPlaced)
        delete spinner;
    // Nobody would be left to hear the answer.
    delete offlineQueryDialog;
}

void BluetoothSettingsViewPrivate::initWidget()
{
    QGraphicsWidget *header = createHeader();

    spinner = new OrvelProgressIndicator(nullptr, OrvelProgressIndicator::spinnerType);
    spinner->setStyleName(QStringLiteral("CommonListItemSpinnerInverted"));
    spinner->setObjectName(QStringLiteral("BluetoothPowerSpinner"));
    spinner->setUnknownDuration(true);

    QGraphicsWidget *statusMenuRow = createStatusMenuRow();

    auto myDevicePanel = new BluetoothMyDevicePanel(adapter);
    connect(myDevicePanel, &BluetoothMyDevicePanel::deviceNameChangeRequested, view,
            &BluetoothSettingsView::myDeviceSelected);

    if (adapter) {
        connect(adapter, &BluetoothAdapter::propertyChanged, this,
                &BluetoothSettingsViewPrivate::adapterPropertyChanged);
    }
    connect(onOffSwitch, &OrvelButton::toggled, this, &BluetoothSettingsViewPrivate::onOffToggled);

    devicesItem = new DrillDownItem(view);
    devicesItem->setObjectName(QStringLiteral("BluetoothDevicesItem"));
    devicesItem->setTitle(qtTrId("qtn_conn_bluetooth_devices"));
    connect(devicesItem, &DrillDownItem::clicked, view, &BluetoothSettingsView::deviceListSelected);

    auto layout = new OrvelLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    pagePolicy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    pagePolicy->addItem(header);
    pagePolicy->addItem(myDevicePanel);
    pagePolicy->addItem(divider());
    pagePolicy->addItem(devicesItem);
    pagePolicy->addItem(divider());
    pagePolicy->addItem(statusMenuRow);

    blockedNotice = new OrvelLabel(qtTrId("qtn_conn_bt_radio_blocked"), view);
    blockedNotice->setObjectName(QStringLiteral("BluetoothRadioBlockedLabel"));
    blockedNotice->setStyleName(QStringLiteral("CommonBodyText"));
    blockedNotice->setWordWrap(true);
    pagePolicy->insertItem(1, blockedNotice);
    updateRadioBlocked();
    updateBluetoothDevicesItem();
}

QGraphicsWidget *BluetoothSettingsViewPrivate::createHeader()
{
    auto header = new OrvelStylableWidget(view);
    header->setViewType(QStringLiteral("background"));
    header->setStyleName(QStringLiteral("CommonPanel"));
    auto layout = new OrvelLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    headerPolicy = new OrvelLinearLayoutPolicy(layout, Qt::Horizontal);

    auto icon = new OrvelImageWidget(QStringLiteral("icon-m-bluetooth"));
    icon->setStyleName(QStringLiteral("CommonMainIcon"));
    headerPolicy->addItem(icon, Qt::AlignCenter);

    auto title = new OrvelLabel(qtTrId("qtn_conn_bluetooth"));
    title->setStyleName(QStringLiteral("CommonSingleTitle"));
    headerPolicy->addItem(title);
    headerPolicy->addStretch(1);

    onOffSwitch = new OrvelButton;
    onOffSwitch->setViewType(OrvelButton::switchType);
    onOffSwitch->setStyleName(QStringLiteral("CommonRightSwitch"));
    onOffSwitch->setObjectName(QStringLiteral("BluetoothOnOffSwitch"));
    onOffSwitch->setCheckable(true);
    updatePoweredStatus();
    headerPolicy->addItem(onOffSwitch, Qt::AlignCenter);
    return header;
}

QGraphicsWidget *BluetoothSettingsViewPrivate::createStatusMenuRow()
{
    auto button = new OrvelButton;
    button->setObjectName(QStringLiteral("BluetoothStatusMenuSwitch"));
    auto row = new SimpleCheckBoxLabel(button, qtTrId("qtn_conn_bt_show_in_sm"),
                                       OrvelButton::switchType, view);
    button->setChecked(OrvelGConfItem(showAlwaysKey).value(true).toBool());
    connect(button, &OrvelButton::toggled, this,
            &BluetoothSettingsViewPrivate::showBluetoothToggled);
    return row;
}

bool BluetoothSettingsViewPrivate::adapterPowered() const
{
    return adapter && adapter->isPowered();
}

void BluetoothSettingsViewPrivate::adapterPropertyChanged(const QString &property)
{
    if (property == QLatin1String("radioBlocked")) {
        updateRadioBlocked();
        return;
    }
    if (property != QLatin1String("powered"))
        return;
    updatePoweredStatus();
    updateBluetoothDevicesItem();
}

void BluetoothSettingsViewPrivate::updatePoweredStatus()
{
    const bool state = adapterPowered();
    if (state == powered)
        return;
    onOffSwitch->setChecked(state);
    powered = state;
    placeSwitch();
}

void BluetoothSettingsViewPrivate::updateRadioBlocked()
{
    const bool blocked = adapter && adapter->isRadioBlocked();
    // Blocked, the radio cannot come on: no switch to flip, and the reason in words.
    onOffSwitch->setEnabled(!blocked);
    if (blocked == (pagePolicy->indexOf(blockedNotice) >= 0))
        return;
    if (!blocked) {
        pagePolicy->removeItem(blockedNotice);
        return;
    }
    pagePolicy->insertItem(1, blockedNotice);
    // A switch request under way has been refused.
    powerSettingTimer.stop();
    statusTimer.stop();
    statusTimeout();
}

void BluetoothSettingsViewPrivate::onOffToggled(bool checked)
{
    if (!adapter) {
        // Nothing to switch: the switch goes back to showing Bluetooth off.
        onOffSwitch->setChecked(false);
        return;
    }
    if (adapter->isPowered() == checked)
        return;
    statusTimer.stop();
    if (checked && offlineMode.currentStatus() == OfflineMode::Offline) {
        // A question already up answers for this toggle too.
        if (offlineQueryDialog)
            return;
        offlineQueryDialog = new SwitchBluetoothOnConfirmation;
        connect(offlineQueryDialog, &OrvelDialog::finished, this,
                &BluetoothSettingsViewPrivate::offlineQueryfinished);
        offlineQueryDialog->appear(windowOf(view));
        return;
    }
    placeSpinner();
    powerSettingTimer.start(powerSettingDelay);
}

void BluetoothSettingsViewPrivate::placeSpinner()
{
    if (headerPolicy->indexOf(spinner) >= 0)
        return;
    headerPolicy->removeItem(onOffSwitch);
    headerPolicy->insertItem(switchIndex, spinner, Qt::AlignCenter);
    spinnerPlaced = true;
}

void BluetoothSettingsViewPrivate::placeSwitch()
{
    const int index = headerPolicy->indexOf(spinner);
    if (index <= 0)
        return;
    headerPolicy->removeAt(index);
    headerPolicy->insertItem(switchIndex, onOffSwitch, Qt::AlignCenter);
}

void BluetoothSettingsViewPrivate::offlineQueryfinished(int result)
{
    if (result == QMessageBox::Yes)
        powerSettingTimer.start(powerSettingDelay);
    else
        onOffSwitch->setChecked(false);
    if (offlineQueryDialog)
        offlineQueryDialog->deleteLater();
    offlineQueryDialog = nullptr;
}

void BluetoothSettingsViewPrivate::powerSettingTimeout()
{
    powerSettingTimer.stop();
    statusTimer.start(statusCheckDelay);
    if (adapter)
        adapter->setPowered(onOffSwitch->isChecked());
}

void BluetoothSettingsViewPrivate::statusTimeout()
{
    const bool state = adapterPowered();
    if (onOffSwitch->isChecked() != state)
        onOffSwitch->setChecked(state);
    // BlueZ did not report in time: the request failed or BlueZ is gone.
    // The user gets the switch back, showing the real state, to try again.
    placeSwitch();
}

void BluetoothSettingsViewPrivate::showBluetoothToggled(bool checked)
{
    OrvelGConfItem(showAlwaysKey).set(checked);
}

void BluetoothSettingsViewPrivate::updateBluetoothDevicesItem()
{
    bool enabled = adapterPowered();
    if (!enabled && adapter) {
        // While off, the device list still has paired and blocked devices to show.
        const QList<BluetoothDevice> devices = adapter->listDevices();
        for (const BluetoothDevice &device : devices) {
            if (device.isPaired() || device.isBlocked()) {
                enabled = true;
                break;
            }
        }
    }
    devicesItem->setEnabled(enabled);
}

BluetoothSettingsView::BluetoothSettingsView(BluetoothAdapter *adapter, QGraphicsItem *parent)
    : OrvelWidget(parent)
    , d_ptr(new BluetoothSettingsViewPrivate(adapter, this))
{
    d_ptr->initWidget();
}

BluetoothSettingsView::~BluetoothSettingsView()
{
    // Before the widgets it points at go.
    delete d_ptr;
}

void BluetoothSettingsView::enterDisplayEvent()
{
    d_ptr->updateBluetoothDevicesItem();
}

} // namespace Ovrin
