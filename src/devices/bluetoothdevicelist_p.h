#ifndef OVRIN_BLUETOOTHDEVICELIST_P_H
#define OVRIN_BLUETOOTHDEVICELIST_P_H

#include "bluetoothdevice.h"

#include <QModelIndex>
#include <QObject>
#include <QPointF>
#include <QTimer>

class QSignalMapper;

namespace Ovrin {

class BluetoothAdapter;
class BluetoothDeviceList;
class BluetoothDeviceModel;
class BluetoothDeviceUiModel;

class BluetoothDeviceListPrivate : public QObject
{
    Q_OBJECT
public:
    explicit BluetoothDeviceListPrivate(BluetoothDeviceList *list);
    ~BluetoothDeviceListPrivate() override;

    BluetoothDeviceList *q;
    BluetoothDeviceModel *model = nullptr;
    BluetoothDeviceUiModel *uiModel = nullptr;
    QString blockAddress;
    BluetoothDevice *deviceToBlock = nullptr;
    BluetoothDevice *selectedDevice = nullptr;
    QSignalMapper *setTrustedMapper;
    QSignalMapper *setUntrustedMapper;
    QSignalMapper *connectMapper;
    QSignalMapper *disconnectMapper;
    QSignalMapper *removePairingMapper;
    QSignalMapper *blockMapper;
    QTimer *longTapTimer;
    int longTapRow = -1;
    // The device the last menu was opened for.
    QString menuAddress;
    bool immediateSelectionEnabled = true;

    QModelIndex sourceIndex(const QModelIndex &proxyIndex) const;
    void addAction(const char *textId, QSignalMapper *mapper, int row);
    void clearActions();
    BluetoothDevice *deviceForAction(int row) const;
    void stopWaitingForCreation(BluetoothAdapter *adapter);

public Q_SLOTS:
    void deviceSelected(const QModelIndex &proxyIndex);
    void deviceLongTapped(const QModelIndex &proxyIndex, const QPointF &position);
    void setTrustedActionTriggered(int row);
    void setUntrustedActionTriggered(int row);
    void connectActionTriggered(int row);
    void disconnectActionTriggered(int row);
    void removePairingActionsTriggered(int row);
    void blockActionTriggered(int row);
    void deviceConnectionFinished();
    void connectionFailed(const QString &reason);
    void blockDevice(const Ovrin::BluetoothDevice &device);
    void blockCreationFailed(const QString &errorName);
    void blockDisconnectedDevice();
    void longTapTimeout();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICELIST_P_H
