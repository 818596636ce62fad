#ifndef OVRIN_BLUETOOTHDEVICESELECTIONSHEET_H
#define OVRIN_BLUETOOTHDEVICESELECTIONSHEET_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include "simplesheet.h"

#include <QMap>
#include <QVariant>

namespace Ovrin {

class BluetoothAdapter;
class BluetoothDeviceList;
class BluetoothDeviceSelectionSheetPrivate;

// The sheet on which the user picks a device: a list of the devices that
// pass the filter, searched for while the sheet is on screen. While pending,
// a note replaces the list and the search rests.
class OVRIN_EXPORT BluetoothDeviceSelectionSheet : public SimpleSheet
{
    Q_OBJECT
    Q_PROPERTY(bool pending READ isPending WRITE setPending)
public:
    // filter: keys of BluetoothDeviceModel::setFilter(); adapter is not owned.
    BluetoothDeviceSelectionSheet(BluetoothAdapter *adapter, const QMap<QString, QVariant> &filter);
    ~BluetoothDeviceSelectionSheet() override;

    bool isPending() const;
    // Whether the application sits in the task switcher.
    bool isInSwitcher() const;
    // Whether discovery has ended; decides the empty list's text.
    void setScanFinished(bool finished);

    BluetoothDeviceList *deviceList() const;

public Q_SLOTS:
    void setPending(bool pending);
    void done(bool accepted) override;

Q_SIGNALS:
    // After accepted(): the device the user chose.
    void deviceSelectionFinished(const Ovrin::BluetoothDevice &device);

protected:
    void createContent() override;
    void enterDisplayEvent() override;
    void exitDisplayEvent() override;

private:
    friend class BluetoothDeviceSelectionSheetPrivate;
    BluetoothDeviceSelectionSheetPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceSelectionSheet)
    Q_DISABLE_COPY(BluetoothDeviceSelectionSheet)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICESELECTIONSHEET_H
