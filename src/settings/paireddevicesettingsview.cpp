#include "paireddevicesettingsview.h"
#include "paireddevicesettingsview_p.h"

#include "bluetoothconnectionmanager.h"
#include "bluetoothdeviceinfoutils.h"
#include "bluetoothtrustpanel.h"
#include "devicenameedit.h"
#include "settingswindow_p.h"
#include "switchbluetoothonconfirmation.h"

#include "offlinemode.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "simpleframe.h"
#include "simpleinformationbanner.h"

#include <QGraphicsLinearLayout>

namespace Ovrin {

namespace {

// How long a connect waits for the power-on it asked for, as the settings
// page waits for a power change before it resynchronises its switch.
const int powerWaitLimit = 3000;
const QString bluetoothIcon = QStringLiteral("icon-m-bluetooth");
const QString invertedButtonStyle = QStringLiteral("CommonSingleButtonInverted");

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

// A titled value on a panel of its own.
OrvelStylableWidget *panel(const QString &styleName, OrvelLabel *title, OrvelLabel *value)
{
    auto panel = styled(styleName);
    auto layout = new QGraphicsLinearLayout(Qt::Vertical, panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addItem(title);
    layout->addItem(value);
    return panel;
}

} // namespace

PairedDeviceSettingsViewPrivate::PairedDeviceSettingsViewPrivate(const BluetoothDevice &device,
                                                                 BluetoothAdapter *adapter,
                                                                 PairedDeviceSettingsView *view)
    : device(device)
    , adapter(adapter)
    , view(view)
    , connectionManager(new BluetoothConnectionManager(device))
{
    connect(connectionManager, &BluetoothConnectionManager::connectionFailed, this,
            &PairedDeviceSettingsViewPrivate::connectionFailed);
    powerWait.setSingleShot(true);
    connect(&powerWait, &QTimer::timeout, this, &PairedDeviceSettingsViewPrivate::powerWaitTimeout);
}

PairedDeviceSettingsViewPrivate::~PairedDeviceSettingsViewPrivate()
{
    delete connectionManager;
}

QString PairedDeviceSettingsViewPrivate::displayName() const
{
    const QString name = device.name();
    // The stand-in text for a nameless device is no name to edit.
    return name == qtTrId("qtn_conn_bt_unnamed_device") ? QString() : name;
}

void PairedDeviceSettingsViewPrivate::createContent()
{
    auto frame = new SimpleFrame(qtTrId("qtn_conn_bt_device_name"));
    nameEdit = new DeviceNameEdit(displayName(), frame);
    nameEdit->setObjectName(QStringLiteral("NameEdit"));
    frame->setContent(nameEdit);
    connect(nameEdit, &OrvelTextEdit::textChanged, this,
            &PairedDeviceSettingsViewPrivate::nameFieldChanged);

    trustPanel = new BluetoothTrustPanel(device.isTrusted());

    auto profilesTitle = label(qtTrId("qtn_conn_bt_profiles"), QStringLiteral("CommonTitle"));
    profilesLabel = label(QString(), QStringLiteral("CommonSubTitle"));
    profilesLabel->setObjectName(QStringLiteral("ProfilesLabel"));
    profilesLabel->setWordWrap(true);
    // Many profiles take several lines rather than running off the screen.
    QSizePolicy wrapping(QSizePolicy::Preferred, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    profilesLabel->setSizePolicy(wrapping);
    updateProfiles();

    auto addressTitle
        = label(qtTrId("qtn_conn_bt_bluetooth_address"), QStringLiteral("CommonTitle"));
    auto address = label(device.address(), QStringLiteral("CommonSubTitle"));
    address->setObjectName(QStringLiteral("AddressLabel"));

    auto profilesPanel = panel(QStringLiteral("CommonLargePanel"), profilesTitle, profilesLabel);
    auto addressPanel = panel(QStringLiteral("CommonPanel"), addressTitle, address);

    auto buttons = new OrvelWidget;
    buttonLayout = new QGraphicsLinearLayout(Qt::Vertical, buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(0);
    updateConnectButton();

    removeButton = new OrvelButton(qtTrId("qtn_conn_bt_remove_pairing"));
    removeButton->setStyleName(QStringLiteral("CommonSingleButton"));
    removeButton->setObjectName(QStringLiteral("RemovePairingButton"));
    connect(removeButton, &OrvelButton::clicked, this,
            &PairedDeviceSettingsViewPrivate::removePairing);
    buttonLayout->addItem(removeButton);
    buttonLayout->setAlignment(removeButton, Qt::AlignCenter);

    auto layout = new OrvelLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->addItem(styled(QStringLiteral("CommonLargeSpacer")));
    policy->addItem(frame);
    policy->addItem(styled(QStringLiteral("CommonLargeSpacer")));
    policy->addItem(trustPanel);
    policy->addItem(profilesPanel);
    policy->addItem(addressPanel);
    policy->addItem(styled(QStringLiteral("CommonLargeSpacer")));
    policy->addItem(buttons, Qt::AlignCenter);
}

void PairedDeviceSettingsViewPrivate::updateProfiles()
{
    if (!profilesLabel)
        return;
    QStringList names;
    const QStringList ids = BluetoothDeviceInfoUtils::uuidsToProfileNames(device.uuids());
    for (const QString &id : ids)
        names << qtTrId(id.toLatin1().constData());
    profilesLabel->setText(names.join(QLatin1String(", ")));
}

void PairedDeviceSettingsViewPrivate::updateConnectButton()
{
    const bool connected = device.isConnected();
    if (!connected && !connectionManager->isConnectable()) {
        if (connectButton) {
            buttonLayout->removeItem(connectButton);
            connectButton->hide();
            // Later: a change may arrive while the button is being tapped.
            connectButton->deleteLater();
            connectButton = nullptr;
        }
        if (removeButton)
            removeButton->setStyleName(invertedButtonStyle);
        return;
    }
    if (!connectButton) {
        connectButton = new OrvelButton;
        connectButton->setStyleName(invertedButtonStyle);
        connectButton->setObjectName(QStringLiteral("ConnectButton"));
        // Queued: the offline question runs an event loop, in which the
        // page (and the button) may go; the tap's handling must be over.
        connect(connectButton, &OrvelButton::clicked, this,
                &PairedDeviceSettingsViewPrivate::connectDisconnect, Qt::QueuedConnection);
        buttonLayout->insertItem(0, connectButton);
        buttonLayout->setAlignment(connectButton, Qt::AlignCenter);
        if (removeButton)
            removeButton->setStyleName(invertedButtonStyle);
    }
    connectButton->setText(connected ? qtTrId("qtn_conn_bt_disconnect")
                                     : qtTrId("qtn_conn_bt_connect"));
}

void PairedDeviceSettingsViewPrivate::updateTrustedSwitch()
{
    if (trustPanel)
        trustPanel->setTrusted(device.isTrusted());
}

void PairedDeviceSettingsViewPrivate::devicePropertyChanged(const QString &property)
{
    if (property == QLatin1String("connected")) {
        updateConnectButton();
    } else if (property == QLatin1String("uuids")) {
        updateProfiles();
        updateConnectButton();
    } else if (property == QLatin1String("trusted")) {
        updateTrustedSwitch();
    }
}

void PairedDeviceSettingsViewPrivate::nameFieldChanged()
{
    Q_EMIT view->mandatoryValuesProvided(!nameEdit->text().isEmpty());
}

bool PairedDeviceSettingsViewPrivate::switchOnWhenOffline()
{
    QPointer<PairedDeviceSettingsViewPrivate> self(this);
    QPointer<SwitchBluetoothOnConfirmation> question(new SwitchBluetoothOnConfirmation);
    const int result = question->exec(windowOf(view));
    if (question)
        question->deleteLater();
    // The page may have been closed while the user was asked.
    return self && result == QMessageBox::Yes;
}

void PairedDeviceSettingsViewPrivate::connectDisconnect()
{
    if (!view->save())
        return;
    if (device.isConnected()) {
        connectionManager->disconnect();
        return;
    }
    // A radio blocked by rfkill cannot come on: said at once, nothing asked of BlueZ.
    if (adapter && adapter->isRadioBlocked()) {
        tellRadioBlocked();
        return;
    }
    if (adapter && !adapter->isPowered()) {
        if (OfflineMode().currentStatus() == OfflineMode::Offline && !switchOnWhenOffline())
            return;
        // Someone else may have switched it on while the user was asked.
        if (adapter && !adapter->isPowered()) {
            connect(adapter, &BluetoothAdapter::propertyChanged, this,
                    &PairedDeviceSettingsViewPrivate::adapterPropertyChanged, Qt::UniqueConnection);
            powerWait.start(powerWaitLimit);
            adapter->setPowered(true);
            return;
        }
    }
    connectionManager->connect();
}

void PairedDeviceSettingsViewPrivate::stopWaitingForPower()
{
    powerWait.stop();
    if (adapter) {
        disconnect(adapter, &BluetoothAdapter::propertyChanged, this,
                   &PairedDeviceSettingsViewPrivate::adapterPropertyChanged);
    }
}

void PairedDeviceSettingsViewPrivate::adapterPropertyChanged(const QString &property)
{
    // The power-on was refused: the radio is blocked.
    if (property == QLatin1String("radioBlocked") && adapter && adapter->isRadioBlocked()) {
        stopWaitingForPower();
        tellRadioBlocked();
        return;
    }
    if (property != QLatin1String("powered") || !adapter || !adapter->isPowered())
        return;
    stopWaitingForPower();
    connectionManager->connect();
}

void PairedDeviceSettingsViewPrivate::powerWaitTimeout()
{
    // The power request failed (or BlueZ is gone): a power-on much later
    // must not start a connection the user no longer expects.
    stopWaitingForPower();
    connectionFailed(QString());
}

void PairedDeviceSettingsViewPrivate::tellRadioBlocked()
{
    SimpleInformationBanner::show(qtTrId("qtn_conn_bt_radio_blocked"), bluetoothIcon);
}

void PairedDeviceSettingsViewPrivate::connectionFailed(const QString &reason)
{
    Q_UNUSED(reason)
    SimpleInformationBanner::show(qtTrId("qtn_conn_bt_connection_failed").arg(device.name()),
                                  bluetoothIcon);
}

void PairedDeviceSettingsViewPrivate::removePairing()
{
    if (removing)
        return;
    if (!adapter || !adapter->removeDevice(device)) {
        removalFailed(device);
        return;
    }
    // BlueZ 5 answers once a connected device's link is down: the page says
    // removed when BlueZ tells it, without holding up the screen meanwhile.
    removing = true;
    removeButton->setEnabled(false);
    connect(adapter, &BluetoothAdapter::deviceRemoved, this,
            &PairedDeviceSettingsViewPrivate::deviceRemoved, Qt::UniqueConnection);
    connect(adapter, &BluetoothAdapter::deviceRemovalFailed, this,
            &PairedDeviceSettingsViewPrivate::removalFailed, Qt::UniqueConnection);
}

void PairedDeviceSettingsViewPrivate::deviceRemoved(const BluetoothDevice &removed)
{
    if (!removing || removed.path() != device.path())
        return;
    removing = false;
    Q_EMIT view->pairingRemoved();
}

void PairedDeviceSettingsViewPrivate::removalFailed(const BluetoothDevice &kept)
{
    if (kept.path() != device.path())
        return;
    removing = false;
    removeButton->setEnabled(true);
    SimpleInformationBanner::show(qtTrId("qtn_conn_bt_remove_pairing_failed").arg(device.name()),
                                  bluetoothIcon);
}

PairedDeviceSettingsView::PairedDeviceSettingsView(const BluetoothDevice &device,
                                                   BluetoothAdapter *adapter, QGraphicsItem *parent)
    : OrvelWidget(parent)
    , d_ptr(new PairedDeviceSettingsViewPrivate(device, adapter, this))
{
    connect(&d_ptr->device, &BluetoothDevice::propertyChanged, d_ptr,
            &PairedDeviceSettingsViewPrivate::devicePropertyChanged);
    d_ptr->createContent();
}

PairedDeviceSettingsView::~PairedDeviceSettingsView()
{
    delete d_ptr;
}

bool PairedDeviceSettingsView::save() const
{
    if (!d_ptr->nameEdit->checkForSaving())
        return false;
    // As typed: blanks around the name are the user's choice. Trust waits
    // for the name: a refusal leaves nothing half written.
    if (d_ptr->device.setName(d_ptr->nameEdit->text())
        && d_ptr->device.setTrusted(d_ptr->trustPanel->isTrusted()))
        return true;
    SimpleInformationBanner::show(qtTrId("qtn_conn_bt_not_saved"), bluetoothIcon);
    return false;
}

} // namespace Ovrin
