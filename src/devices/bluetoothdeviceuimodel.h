#ifndef OVRIN_BLUETOOTHDEVICEUIMODEL_H
#define OVRIN_BLUETOOTHDEVICEUIMODEL_H

#include "ovringlobal.h"

#include <QAbstractProxyModel>

namespace Ovrin {

class BluetoothDeviceModel;
class BluetoothDeviceUiModelPrivate;

// The device model in the shape the device list shows: group headers (paired
// devices, other devices or devices in range, blocked devices) with their
// devices below, and a placeholder row in the middle group while it has no
// device. One column; a device row reads as a QVariantList of the nine
// values of the device model's row, whatever role is asked for.
class OVRIN_EXPORT BluetoothDeviceUiModel : public QAbstractProxyModel
{
    Q_OBJECT
    Q_PROPERTY(bool scanFinished READ isScanFinished WRITE setScanFinished)

public:
    explicit BluetoothDeviceUiModel(BluetoothDeviceModel *source, QObject *parent = nullptr);
    ~BluetoothDeviceUiModel() override;

    using QObject::parent;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex mapFromSource(int sourceRow) const;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    bool isScanFinished() const;
    // Whether discovery has ended; decides the placeholder's text.
    void setScanFinished(bool finished);
    // Never show the blocked group; meant to be set before the list is shown.
    void hideBlockedDevices(bool hide);

private Q_SLOTS:
    void sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void sourceRowsInserted(const QModelIndex &parent, int first, int last);
    void sourceRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void sourceRowsRemoved(const QModelIndex &parent, int first, int last);
    void sourceAboutToBeReset();
    void sourceReset();

private:
    friend class BluetoothDeviceUiModelPrivate;
    BluetoothDeviceUiModelPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceUiModel)
    Q_DISABLE_COPY(BluetoothDeviceUiModel)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEUIMODEL_H
