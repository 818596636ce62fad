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

/// The remote devices worth showing, one row each: the paired and blocked
/// devices BlueZ knows and the devices the current discovery found. Rows stay
/// sorted (paired by name, then found ones by signal strength and name, blocked
/// last) and follow every change the adapter and the devices report.
class OVRIN_EXPORT BluetoothDeviceModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    /// Every value is given for Qt::DisplayRole only.
    enum Column {
        CodColumn, ///< Class of device, uint.
        NameColumn, ///< QString.
        PairedColumn, ///< bool.
        TrustedColumn, ///< bool.
        ConnectionStatusColumn, ///< Connected, bool.
        ConnectableColumn, ///< Paired and offering audio, bool.
        ActiveColumn, ///< Being paired from the list, bool.
        BlockedColumn, ///< bool.
        AddressColumn, ///< QString.
        ColumnCount ///< The number of columns.
    };

    /// A model of the devices adapter (not owned) knows and finds.
    explicit BluetoothDeviceModel(BluetoothAdapter *adapter, QObject *parent = nullptr);
    ~BluetoothDeviceModel() override;

    /// The devices shown; 0 under a valid parent.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    /// ColumnCount.
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    /// The value of the Column of index.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    /// The column names, for debugging views.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// The model's own object for the row (do not delete it); null for a row
    /// that does not exist.
    BluetoothDevice *deviceFromList(int row) const;
    /// The adapter given at construction.
    BluetoothAdapter *adapter() const;

    /// The device of setPairingDevice(), or null.
    const BluetoothDevice *pairingDevice() const;
    /// True only while the pairing device is being dropped, so that views can
    /// tell that update from others.
    bool isDeletingPairingDevice() const;
    /// Marks the device being paired from the list ("Active" column).
    void setPairingDevice(const BluetoothDevice *device);

    /// Keys "classOfDevice", "majorClass", "serviceClass" and "uuids"; an
    /// empty filter lets every device through.
    void setFilter(const QMap<QString, QVariant> &filter);

private:
    friend class BluetoothDeviceModelPrivate;
    /// Reads whole rows at once.
    friend class BluetoothDeviceUiModelPrivate;
    BluetoothDeviceModelPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceModel)
    Q_DISABLE_COPY(BluetoothDeviceModel)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEMODEL_H
