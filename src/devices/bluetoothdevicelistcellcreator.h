#ifndef OVRIN_BLUETOOTHDEVICELISTCELLCREATOR_H
#define OVRIN_BLUETOOTHDEVICELISTCELLCREATOR_H

#include "ovringlobal.h"

#include "orvelabstractcellcreator.h"

class QItemSelectionModel;

namespace Ovrin {

class BluetoothDeviceContentItem;
class BluetoothDeviceListPrivate;

/// Makes and refreshes the rows of the device list: placeholder texts,
/// devices, devices with a trusted lock and devices being paired (spinner).
class OVRIN_EXPORT BluetoothDeviceListCellCreator : public OrvelAbstractCellCreator
{
public:
    /// selection: marks connected devices when given; list: for the device
    /// the user chose.
    BluetoothDeviceListCellCreator(QItemSelectionModel *selection,
                                   BluetoothDeviceListPrivate *list);
    ~BluetoothDeviceListCellCreator() override;

    /// A row of the kind the row at index needs, recycled when one is free.
    OrvelWidget *createCell(const QModelIndex &index, OrvelWidgetRecycler &recycler) const override;
    /// Fills cell with the row at index: text, class icon and mark.
    void updateCell(const QModelIndex &index, OrvelWidget *cell) const override;

    /// A free row of kind from recycler, or a new one.
    BluetoothDeviceContentItem *createContentItem(OrvelWidgetRecycler &recycler,
                                                  const QString &kind) const;
    /// Gives cell its place in its group (top, middle, bottom or alone), which
    /// decides its background.
    void updateContentItemMode(const QModelIndex &index, OrvelWidget *cell) const;

private:
    QItemSelectionModel *m_selection;
    BluetoothDeviceListPrivate *m_list;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICELISTCELLCREATOR_H
