#ifndef OVRIN_BLUETOOTHDEVICESELECTIONSHEET_P_H
#define OVRIN_BLUETOOTHDEVICESELECTIONSHEET_P_H

#include "bluetoothadapter.h"
#include "bluetoothdevice.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QVariant>

class OrvelLinearLayoutPolicy;

namespace Ovrin {

class BluetoothDeviceList;
class BluetoothDeviceModel;
class BluetoothDeviceSelectionSheet;

class BluetoothDeviceSelectionSheetPrivate : public QObject
{
    Q_OBJECT
public:
    BluetoothDeviceSelectionSheetPrivate(BluetoothDeviceSelectionSheet *sheet,
                                         BluetoothAdapter *adapter);

    BluetoothDeviceSelectionSheet *q;
    QPointer<BluetoothAdapter> adapter;
    BluetoothDeviceModel *model = nullptr;
    BluetoothDeviceList *list = nullptr;
    QMap<QString, QVariant> filter;
    OrvelLinearLayoutPolicy *normalPolicy = nullptr;
    OrvelLinearLayoutPolicy *pendingPolicy = nullptr;
    bool appeared = false;
    bool onDisplay = false;
    bool discoveryStarted = false;

    void updateProgressIndicator();

public Q_SLOTS:
    void deviceSelectedFromList(const Ovrin::BluetoothDevice &device);
    void adapterPropertyChanged(const QString &property);
    void updateDiscovery();
    void sheetAppeared();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICESELECTIONSHEET_P_H
