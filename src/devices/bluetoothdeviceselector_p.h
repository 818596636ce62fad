#ifndef OVRIN_BLUETOOTHDEVICESELECTOR_P_H
#define OVRIN_BLUETOOTHDEVICESELECTOR_P_H

#include "bluetoothdevice.h"

#include <QObject>
#include <QVariantList>

class OrvelSceneWindow;

namespace Ovrin {

class BluetoothAdapter;
class BluetoothDeviceSelectionSheet;
class BluetoothDeviceSelector;
class ConnectivityDialogServerInterface;
class SwitchBluetoothOnConfirmation;

class BluetoothDeviceSelectorPrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothDeviceSelectorPrivate(BluetoothDeviceSelector *selector,
                                   ConnectivityDialogServerInterface *server);
    ~BluetoothDeviceSelectorPrivate() override;

    BluetoothDeviceSelector *q;
    ConnectivityDialogServerInterface *dialogServer;
    SwitchBluetoothOnConfirmation *confirmation = nullptr;
    BluetoothAdapter *adapter;
    QVariantList request;
    BluetoothDeviceSelectionSheet *sheet = nullptr;
    BluetoothDevice device;
    bool pending = false;
    int bondingMode = 0;

    void processRequest();
    QMap<QString, QVariant> filterFromRequest() const;
    void startPairing();
    void askToUnblock(const BluetoothDevice &blocked);
    void showWindow(OrvelSceneWindow *window);
    // Takes the window off screen and lets it go.
    void dropWindow(OrvelSceneWindow *window);

public Q_SLOTS:
    void pairingFinished();
    void bluetoothOnDialogAccepted();
    void bluetoothOnDialogRejected();
    void deviceSelectionFinished(const Ovrin::BluetoothDevice &device);
    void sheetCanceled();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICESELECTOR_P_H
