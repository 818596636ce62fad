#ifndef OVRIN_BLUETOOTHDEVICESELECTOR_P_H
#define OVRIN_BLUETOOTHDEVICESELECTOR_P_H

#include "bluetoothdevice.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>

class OrvelMessageBox;
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
    // Guarded: a dialog server may delete what it shows.
    QPointer<SwitchBluetoothOnConfirmation> confirmation;
    BluetoothAdapter *adapter;
    QVariantList request;
    QPointer<BluetoothDeviceSelectionSheet> sheet;
    BluetoothDevice device;
    bool pending = false;
    int bondingMode = 0;

    // The sheet it opens; null when the request needs none (the flow may
    // have ended then).
    BluetoothDeviceSelectionSheet *processRequest();
    QMap<QString, QVariant> filterFromRequest() const;
    void startPairing();
    void askToUnblock(const BluetoothDevice &blocked);
    // rfkill keeps the radio off: the user is told so, and the flow ends.
    void tellRadioBlocked();
    void unblockAnswered(OrvelMessageBox *box, const BluetoothDevice &blocked, bool unblock);
    void showWindow(OrvelSceneWindow *window);
    // Takes the window off screen and lets it go.
    void dropWindow(OrvelSceneWindow *window);
    void closeSheet();
    void closeConfirmation();

public Q_SLOTS:
    void pairingFinished();
    void bluetoothOnDialogAccepted();
    void bluetoothOnDialogRejected();
    void deviceSelectionFinished(const Ovrin::BluetoothDevice &device);
    void sheetCanceled();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICESELECTOR_P_H
