#ifndef OVRIN_BLUETOOTHDEVICEUIMODEL_H
#define OVRIN_BLUETOOTHDEVICEUIMODEL_H

#include "ovringlobal.h"

#include <QAbstractProxyModel>

namespace Ovrin {

class BluetoothDeviceModel;
class BluetoothDeviceUiModelPrivate;

/// The device model in the shape the device list shows: group headers (paired
/// devices, other devices or devices in range, blocked devices) with their
/// devices below, and a placeholder row in the middle group while it has no
/// device. One column; a device row reads as a QVariantList of the nine
/// values of the device model's row, whatever role is asked for.
class OVRIN_EXPORT BluetoothDeviceUiModel : public QAbstractProxyModel
{
    Q_OBJECT
    Q_PROPERTY(bool scanFinished READ isScanFinished WRITE setScanFinished)

public:
    /// The groups of source (not owned).
    explicit BluetoothDeviceUiModel(BluetoothDeviceModel *source, QObject *parent = nullptr);
    ~BluetoothDeviceUiModel() override;

    using QObject::parent;

    /// A group (under no parent) or a row of a group.
    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    /// A row's group; invalid for a group.
    QModelIndex parent(const QModelIndex &child) const override;
    /// The groups shown, or the rows of a group.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    /// 1.
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    /// Whether parent is the root or a group with rows.
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;

    /// A group's title, the placeholder's text or a device row's values.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    /// The source row of a device row; invalid for headers and placeholders.
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    /// The device row showing sourceIndex's row.
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    /// The device row showing source row sourceRow.
    QModelIndex mapFromSource(int sourceRow) const;
    /// Group headers and placeholders cannot be selected.
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    /// See setScanFinished().
    bool isScanFinished() const;
    /// Whether discovery has ended; decides the placeholder's text.
    void setScanFinished(bool finished);
    /// Never show the blocked group; meant to be set before the list is shown.
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
