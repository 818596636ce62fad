#ifndef OVRIN_BLUETOOTHDEVICEMODEL_H
#define OVRIN_BLUETOOTHDEVICEMODEL_H

#include "ovringlobal.h"

#include <QAbstractTableModel>
#include <QMap>
#include <QVariant>

namespace Ovrin {

class BluetoothAdapter;
class BluetoothDevice;
class BluetoothDeviceModelPrivate;

// The remote devices worth showing, one row each: the paired and blocked
// devices BlueZ knows and the devices the current discovery found. Rows stay
// sorted (paired by name, then found ones by signal strength and name, blocked
// last) and follow every change the adapter and the devices report.
class OVRIN_EXPORT BluetoothDeviceModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Every value is given for Qt::DisplayRole only.
    enum Column {
        CodColumn, // class of device, uint
        NameColumn, // QString
        PairedColumn, // bool
        TrustedColumn, // bool
        ConnectionStatusColumn, // bool
        ConnectableColumn, // paired and offering audio, bool
        ActiveColumn, // being paired from the list, bool
        BlockedColumn, // bool
        AddressColumn, // QString
        ColumnCount
    };

    explicit BluetoothDeviceModel(BluetoothAdapter *adapter, QObject *parent = nullptr);
    ~BluetoothDeviceModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The model's own object for the row (do not delete it); null for a row
    // that does not exist.
    BluetoothDevice *deviceFromList(int row) const;
    BluetoothAdapter *adapter() const;

    const BluetoothDevice *pairingDevice() const;
    // True only while the pairing device is being dropped, so that views can
    // tell that update from others.
    bool isDeletingPairingDevice() const;
    // Marks the device being paired from the list ("Active" column).
    void setPairingDevice(const BluetoothDevice *device);

    // Keys "classOfDevice", "majorClass", "serviceClass" and "uuids"; an
    // empty filter lets every device through.
    void setFilter(const QMap<QString, QVariant> &filter);

private:
    friend class BluetoothDeviceModelPrivate;
    // Reads whole rows at once.
    friend class BluetoothDeviceUiModelPrivate;
    BluetoothDeviceModelPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceModel)
    Q_DISABLE_COPY(BluetoothDeviceModel)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEMODEL_H
