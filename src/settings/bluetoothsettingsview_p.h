#ifndef OVRIN_BLUETOOTHSETTINGSVIEW_P_H
#define OVRIN_BLUETOOTHSETTINGSVIEW_P_H

#include "bluetoothadapter.h"
#include "offlinemode.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class OrvelButton;
class OrvelLabel;
class OrvelLinearLayoutPolicy;
class OrvelProgressIndicator;

namespace Ovrin {

class BluetoothSettingsView;
class DrillDownItem;
class SwitchBluetoothOnConfirmation;

class BluetoothSettingsViewPrivate : public QObject
{
    Q_OBJECT
public:
    explicit BluetoothSettingsViewPrivate(BluetoothAdapter *adapter, BluetoothSettingsView *view);
    ~BluetoothSettingsViewPrivate() override;

    void initWidget();
    QGraphicsWidget *createHeader();
    QGraphicsWidget *createStatusMenuRow();
    void updatePoweredStatus();
    void updateRadioBlocked();
    void placeSpinner();
    void placeSwitch();
    bool adapterPowered() const;

    bool powered = false;
    BluetoothSettingsView *view;
    // Not owned: the application may delete it before the page.
    QPointer<BluetoothAdapter> adapter;
    OrvelButton *onOffSwitch = nullptr;
    QTimer statusTimer;
    QTimer powerSettingTimer;
    OfflineMode offlineMode;
    QPointer<SwitchBluetoothOnConfirmation> offlineQueryDialog;
    OrvelProgressIndicator *spinner = nullptr;
    bool spinnerPlaced = false;
    OrvelLinearLayoutPolicy *headerPolicy = nullptr;
    DrillDownItem *devicesItem = nullptr;
    // Under the header while rfkill blocks the radio.
    OrvelLabel *blockedNotice = nullptr;
    OrvelLinearLayoutPolicy *pagePolicy = nullptr;

public Q_SLOTS:
    void adapterPropertyChanged(const QString &property);
    void onOffToggled(bool checked);
    void statusTimeout();
    void powerSettingTimeout();
    void offlineQueryfinished(int result);
    void showBluetoothToggled(bool checked);
    void updateBluetoothDevicesItem();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHSETTINGSVIEW_P_H
