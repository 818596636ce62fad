#ifndef OVRIN_PAIREDDEVICESETTINGSVIEW_P_H
#define OVRIN_PAIREDDEVICESETTINGSVIEW_P_H

#include "bluetoothadapter.h"
#include "bluetoothdevice.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class OrvelButton;
class OrvelLabel;
class QGraphicsLinearLayout;

namespace Ovrin {

class BluetoothConnectionManager;
class BluetoothTrustPanel;
class DeviceNameEdit;
class PairedDeviceSettingsView;

class PairedDeviceSettingsViewPrivate : public QObject
{
    Q_OBJECT
public:
    PairedDeviceSettingsViewPrivate(const BluetoothDevice &device, BluetoothAdapter *adapter,
                                    PairedDeviceSettingsView *view);
    ~PairedDeviceSettingsViewPrivate() override;

    void createContent();
    QString displayName() const;
    void updateProfiles();
    void updateConnectButton();
    void updateTrustedSwitch();
    bool switchOnWhenOffline();
    void stopWaitingForPower();

    BluetoothDevice device;
    // Not owned: the application may delete it before the page.
    QPointer<BluetoothAdapter> adapter;
    PairedDeviceSettingsView *view;
    DeviceNameEdit *nameEdit = nullptr;
    BluetoothTrustPanel *trustPanel = nullptr;
    OrvelLabel *profilesLabel = nullptr;
    QPointer<OrvelButton> connectButton;
    OrvelButton *removeButton = nullptr;
    BluetoothConnectionManager *connectionManager = nullptr;
    QGraphicsLinearLayout *buttonLayout = nullptr;
    // A connect request waits this long for the adapter's power-on.
    QTimer powerWait;
    // BlueZ 5 answers a removal once a connected device's link is down.
    bool removing = false;

public Q_SLOTS:
    void removePairing();
    void deviceRemoved(const Ovrin::BluetoothDevice &removed);
    void removalFailed(const Ovrin::BluetoothDevice &kept);
    void connectDisconnect();
    void devicePropertyChanged(const QString &property);
    void adapterPropertyChanged(const QString &property);
    void connectionFailed(const QString &reason);
    void tellRadioBlocked();
    void nameFieldChanged();
    void powerWaitTimeout();
};

} // namespace Ovrin

#endif // OVRIN_PAIREDDEVICESETTINGSVIEW_P_H
