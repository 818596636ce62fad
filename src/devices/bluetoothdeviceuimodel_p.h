#ifndef OVRIN_BLUETOOTHDEVICEUIMODEL_P_H
#define OVRIN_BLUETOOTHDEVICEUIMODEL_P_H

#include "bluetoothdevicemodel.h"
#include "bluetoothdeviceuimodel.h"

#include <QPointer>

namespace Ovrin {

// The source's rows fall into three sections in its own order: paired, other
// (found) and blocked. The proxy shows them as groups. It keeps what it shows
// itself, as counts per section, and changes it one announced step at a time,
// so that every index it hands out between two notifications is right.
class BluetoothDeviceUiModelPrivate
{
public:
    enum Group { Paired, Other, Blocked, NoGroup };
    struct Location
    {
        Group group = NoGroup;
        int row = -1;
    };

    BluetoothDeviceUiModelPrivate(BluetoothDeviceUiModel *q, BluetoothDeviceModel *source);

    // Reads the sections from the source afresh (construction, resets).
    void computeSections();
    Group classify(int sourceRow) const;
    // The source row's nine values, read in one go.
    QVariantList sourceValues(int sourceRow) const;

    bool isGroupShown(Group group) const;
    int groupRow(Group group) const;
    Group groupAt(int topRow) const;
    Group groupOfChild(const QModelIndex &index) const;
    int sectionSize(Group group) const;
    int childCount(Group group) const;
    int sectionStart(Group group) const;
    int sourceRowOf(Group group, int row) const;
    Location locate(int sourceRow) const;
    QModelIndex headerIndex(Group group) const;
    QModelIndex childIndex(const Location &location) const;
    bool isPlaceholder(const QModelIndex &index) const;
    QVariant placeholderText() const;
    QString headerText(Group group) const;
    void countRow(Group group, int delta);

    static const void *groupId();
    static const void *idOf(Group group);

    BluetoothDeviceUiModel *q_ptr;
    QPointer<BluetoothDeviceModel> source;

    // Source rows shown in each section.
    int pairedCount = 0;
    int otherCount = 0;
    int blockedCount = 0;
    bool pairedGroupVisible = false;
    bool blockedGroupVisible = false;
    bool placeholderVisible = true;
    // Source rows [pendingFirst, pendingFirst + pendingCount) are in the
    // source but not shown: announced as removed already, or not yet as
    // inserted.
    int pendingFirst = 0;
    int pendingCount = 0;

    bool scanFinished = true;
    bool hideBlocked = false;

    Q_DECLARE_PUBLIC(BluetoothDeviceUiModel)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEUIMODEL_P_H
