#ifndef OVRIN_BLUETOOTHDEVICELISTCELLCREATOR_H
#define OVRIN_BLUETOOTHDEVICELISTCELLCREATOR_H

#include "ovringlobal.h"

#include "orvelabstractcellcreator.h"

class QItemSelectionModel;

namespace Ovrin {

class BluetoothDeviceContentItem;
class BluetoothDeviceListPrivate;

// Makes and refreshes the rows of the device list: placeholder texts,
// devices, devices with a trusted lock and devices being paired (spinner).
class OVRIN_EXPORT BluetoothDeviceListCellCreator : public OrvelAbstractCellCreator
{
public:
    // selection: marks connected devices when given; list: for the device
    // the user chose.
    BluetoothDeviceListCellCreator(QItemSelectionModel *selection,
                                   BluetoothDeviceListPrivate *list);
    ~BluetoothDeviceListCellCreator() override;

    OrvelWidget *createCell(const QModelIndex &index, OrvelWidgetRecycler &recycler) const override;
    void updateCell(const QModelIndex &index, OrvelWidget *cell) const override;

    BluetoothDeviceContentItem *createContentItem(OrvelWidgetRecycler &recycler,
                                                  const QString &kind) const;
    void updateContentItemMode(const QModelIndex &index, OrvelWidget *cell) const;

private:
    QItemSelectionModel *m_selection;
    BluetoothDeviceListPrivate *m_list;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICELISTCELLCREATOR_H
