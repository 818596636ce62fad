#include "mydevicesettingsview.h"
#include "mydevicesettingsview_p.h"

#include "devicenameedit.h"

#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "simpleframe.h"
#include "simpleinformationbanner.h"

#include <QGraphicsLinearLayout>

namespace Ovrin {

namespace {

const QString bluetoothIcon = QStringLiteral("icon-m-bluetooth");

OrvelStylableWidget *styled(const QString &styleName)
{
    auto widget = new OrvelStylableWidget;
    widget->setStyleName(styleName);
    return widget;
}

OrvelLabel *label(const QString &text, const QString &styleName)
{
    auto label = new OrvelLabel(text);
    label->setStyleName(styleName);
    return label;
}

} // namespace

MyDeviceSettingsViewPrivate::MyDeviceSettingsViewPrivate(BluetoothAdapter &adapter,
                                                         MyDeviceSettingsView *view)
    : QObject(view)
    , adapter(&adapter)
    , view(view)
{
}

void MyDeviceSettingsViewPrivate::createContent()
{
    auto frame = new SimpleFrame(qtTrId("qtn_conn_bt_device_name"));
    nameEdit = new DeviceNameEdit(adapter->name(), frame);
    nameEdit->setObjectName(QStringLiteral("MyDeviceNameEdit"));
    frame->setContent(nameEdit);
    connect(nameEdit, &OrvelTextEdit::textChanged, this,
            &MyDeviceSettingsViewPrivate::nameEditChanged);

    auto addressTitle
        = label(qtTrId("qtn_conn_bt_bluetooth_address"), QStringLiteral("CommonTitle"));
    auto address = label(adapter->address(), QStringLiteral("CommonSubTitle"));
    address->setObjectName(QStringLiteral("MyDeviceAddressLabel"));

    auto addressPanel = styled(QStringLiteral("CommonPanel"));
    auto addressLayout = new QGraphicsLinearLayout(Qt::Vertical, addressPanel);
    addressLayout->setContentsMargins(0, 0, 0, 0);
    addressLayout->setSpacing(0);
    addressLayout->addItem(addressTitle);
    addressLayout->addItem(address);
    addressLayout->addStretch(1);

    auto layout = new OrvelLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->addItem(styled(QStringLiteral("CommonLargeSpacer")));
    policy->addItem(frame);
    policy->addItem(styled(QStringLiteral("CommonLargeSpacer")));
    policy->addItem(addressPanel);
}

void MyDeviceSettingsViewPrivate::nameEditChanged()
{
    Q_EMIT view->mandatoryValuesProvided(!nameEdit->text().isEmpty());
}

MyDeviceSettingsView::MyDeviceSettingsView(BluetoothAdapter &adapter, QGraphicsItem *parent)
    : OrvelWidget(parent)
    , d_ptr(new MyDeviceSettingsViewPrivate(adapter, this))
{
    d_ptr->createContent();
}

MyDeviceSettingsView::~MyDeviceSettingsView()
{
    delete d_ptr;
}

bool MyDeviceSettingsView::save()
{
    if (!d_ptr->nameEdit->checkForSaving())
        return false;
    // As typed: blanks around the name are the user's choice.
    if (d_ptr->adapter && d_ptr->adapter->setName(d_ptr->nameEdit->text()))
        return true;
    // The page stays with what was typed, for another try.
    SimpleInformationBanner::show(qtTrId("qtn_conn_bt_not_saved"), bluetoothIcon);
    return false;
}

} // namespace Ovrin
