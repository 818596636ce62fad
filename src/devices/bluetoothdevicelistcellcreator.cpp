#include "bluetoothdevicelistcellcreator.h"

#include "bluetoothdevicecontentitem.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdevicelist_p.h"
#include "bluetoothdevicemodel.h"
#include "deviceslogging.h"

#include "orvelwidgetrecycler.h"

#include <QItemSelectionModel>

namespace Ovrin {

namespace {
const QString textCell = QStringLiteral("TextCell");

// The nine values of a device row, by position.
enum RowValue { Cod = 0, Name = 1, Trusted = 3, Connected = 4, Active = 6, Address = 8 };

bool isDeviceRow(const QVariant &data)
{
    return data.typeId() == QMetaType::QVariantList;
}
} // namespace

BluetoothDeviceListCellCreator::BluetoothDeviceListCellCreator(QItemSelectionModel *selection,
                                                               BluetoothDeviceListPrivate *list)
    : m_selection(selection)
    , m_list(list)
{
    auto *measure = new BluetoothDeviceContentItem();
    setCellSize(measure->preferredSize());
    delete measure;
}

BluetoothDeviceListCellCreator::~BluetoothDeviceListCellCreator() = default;

OrvelWidget *BluetoothDeviceListCellCreator::createCell(const QModelIndex &index,
                                                        OrvelWidgetRecycler &recycler) const
{
    if (!index.isValid()) {
        qCWarning(lcDevices, "BluetoothDeviceListCellCreator::createCell index is not valid!");
        return createContentItem(recycler, textCell);
    }
    const QVariant data = index.data(Qt::DisplayRole);
    if (!data.isValid()) {
        qCWarning(lcDevices,
                  "BluetoothDeviceListCellCreator::createCell content is not valid! row=%i",
                  index.row());
        return createContentItem(recycler, textCell);
    }
    if (data.typeId() == QMetaType::QString) {
        BluetoothDeviceContentItem *item = createContentItem(recycler, textCell);
        item->setLabel(data.toString());
        item->setAcceptedMouseButtons(Qt::NoButton);
        updateContentItemMode(index, item);
        return item;
    }
    const QVariantList values = data.toList();
    QString kind = QStringLiteral("NormalCell");
    if (values.value(Active).toBool())
        kind = QStringLiteral("ProgressCell");
    else if (values.value(Trusted).toBool())
        kind = QStringLiteral("TrustedCell");
    BluetoothDeviceContentItem *item = createContentItem(recycler, kind);
    updateCell(index, item);
    return item;
}

BluetoothDeviceContentItem *
BluetoothDeviceListCellCreator::createContentItem(OrvelWidgetRecycler &recycler,
                                                  const QString &kind) const
{
    if (auto *item = qobject_cast<BluetoothDeviceContentItem *>(recycler.take(kind)))
        return item;
    auto *item = new BluetoothDeviceContentItem(kind);
    item->setProperty(OrvelWidgetRecycler::RecycledObjectIdentifier, kind);
    return item;
}

void BluetoothDeviceListCellCreator::updateCell(const QModelIndex &index, OrvelWidget *cell) const
{
    if (!index.isValid()) {
        qCWarning(lcDevices, "BluetoothDeviceListCellCreator::updateCell index is not valid!");
        return;
    }
    auto *item = qobject_cast<BluetoothDeviceContentItem *>(cell);
    if (!item)
        return;
    const QVariant data = index.data(Qt::DisplayRole);
    if (!data.isValid()) {
        qCWarning(lcDevices,
                  "BluetoothDeviceListCellCreator::updateCell content is not valid! row=%i",
                  index.row());
        return;
    }
    if (data.typeId() == QMetaType::QString) {
        // The placeholder changes its text in place (searching, none found, off).
        item->setLabel(data.toString());
        return;
    }
    if (!isDeviceRow(data))
        return;

    const QVariantList values = data.toList();
    item->setClassOfDevice(values.value(Cod).toUInt());
    item->setLabel(values.value(Name).toString());

    const bool dropping = m_list->model && m_list->model->isDeletingPairingDevice();
    if (!dropping) {
        if (m_selection) {
            // Connected devices stand out while the list selects at once.
            m_selection->select(index,
                                values.value(Connected).toBool() ? QItemSelectionModel::Select
                                                                 : QItemSelectionModel::Deselect);
        } else if (m_list->selectedDevice
                   && m_list->selectedDevice->address() == values.value(Address).toString()) {
            // The chosen device stays marked while rows come and go.
            if (QItemSelectionModel *selection = m_list->q->selectionModel())
                selection->select(index, QItemSelectionModel::ClearAndSelect);
        }
    }
    updateContentItemMode(index, item);
}

void BluetoothDeviceListCellCreator::updateContentItemMode(const QModelIndex &index,
                                                           OrvelWidget *cell) const
{
    auto *item = qobject_cast<OrvelContentItem *>(cell);
    if (!item)
        return;
    const int count = index.model()->rowCount(index.parent());
    if (count < 2)
        item->setLayoutPosition(OrvelContentItem::DefaultPosition);
    else if (index.row() == 0)
        item->setLayoutPosition(OrvelContentItem::VerticalTopPosition);
    else if (index.row() < count - 1)
        item->setLayoutPosition(OrvelContentItem::VerticalCenterPosition);
    else
        item->setLayoutPosition(OrvelContentItem::VerticalBottomPosition);
}

} // namespace Ovrin
