#include "bluetoothmydevicepanel.h"
#include "bluetoothmydevicepanel_p.h"

#include "drilldownitem.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "simplecheckboxlabel.h"

namespace Ovrin {

BluetoothMyDevicePanelPrivate::BluetoothMyDevicePanelPrivate(BluetoothAdapter *adapter)
    : adapter(adapter)
{
}

void BluetoothMyDevicePanelPrivate::build(BluetoothMyDevicePanel *panel)
{
    nameItem = new DrillDownItem(panel);
    nameItem->setObjectName(QStringLiteral("BluetoothDeviceNameItem"));
    nameItem->setTitle(qtTrId("qtn_conn_bt_name_info"));
    connect(nameItem, &DrillDownItem::clicked, panel,
            &BluetoothMyDevicePanel::deviceNameChangeRequested);

    discoverableSwitch = new OrvelButton(panel);
    discoverableRow = new SimpleCheckBoxLabel(
        discoverableSwitch, qtTrId("qtn_conn_bt_discoverable"), OrvelButton::switchType, panel);
    discoverableRow->setObjectName(QStringLiteral("BluetoothDiscoverableSwitch"));
    // Hidden, the handset takes no link from a device it has not paired yet.
    discoverableHint = new OrvelLabel(qtTrId("qtn_conn_bt_discoverable_hint"), panel);
    discoverableHint->setObjectName(QStringLiteral("BluetoothDiscoverableHint"));
    discoverableHint->setStyleName(QStringLiteral("CommonSubText"));
    discoverableHint->setWordWrap(true);

    if (adapter) {
        connect(adapter, &BluetoothAdapter::propertyChanged, this,
                &BluetoothMyDevicePanelPrivate::adapterPropertyChanged);
    }
    connect(discoverableSwitch, &OrvelButton::toggled, this,
            &BluetoothMyDevicePanelPrivate::discoverableToggled);

    updateName();
    updateDiscoverable();

    auto content = new OrvelWidget;
    auto layout = new OrvelLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->addItem(nameItem);
    policy->addItem(discoverableRow);
    policy->addItem(discoverableHint);
    panel->setContent(content);
}

void BluetoothMyDevicePanelPrivate::updateName()
{
    nameItem->setSubtitle(adapter ? adapter->name() : QString());
}

void BluetoothMyDevicePanelPrivate::updateDiscoverable()
{
    discoverableSwitch->setChecked(adapter && adapter->isDiscoverable());
}

void BluetoothMyDevicePanelPrivate::adapterPropertyChanged(const QString &property)
{
    if (property == QLatin1String("name"))
        updateName();
    else if (property == QLatin1String("discoverable"))
        updateDiscoverable();
}

void BluetoothMyDevicePanelPrivate::discoverableToggled()
{
    if (!adapter) {
        // Nothing to make visible: the switch goes back off.
        updateDiscoverable();
        return;
    }
    const bool checked = discoverableSwitch->isChecked();
    // Only a real change is sent: refreshing the switch toggles it too.
    // When BlueZ refuses, the switch shows the visibility it kept.
    if (checked != adapter->isDiscoverable() && !adapter->setDiscoverable(checked))
        updateDiscoverable();
}

BluetoothMyDevicePanel::BluetoothMyDevicePanel(BluetoothAdapter *adapter)
    : SimpleFrame(qtTrId("qtn_conn_bt_my_device"))
    , d_ptr(new BluetoothMyDevicePanelPrivate(adapter))
{
    d_ptr->build(this);
}

BluetoothMyDevicePanel::~BluetoothMyDevicePanel()
{
    delete d_ptr;
}

} // namespace Ovrin
