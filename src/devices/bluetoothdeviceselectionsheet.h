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

/// The sheet on which the user picks a device: a list of the devices that
/// pass the filter, searched for while the sheet is on screen. While pending,
/// a note replaces the list and the search rests.
class OVRIN_EXPORT BluetoothDeviceSelectionSheet : public SimpleSheet
{
    Q_OBJECT
    Q_PROPERTY(bool pending READ isPending WRITE setPending)
public:
    /// filter: keys of BluetoothDeviceModel::setFilter(); adapter is not owned.
    BluetoothDeviceSelectionSheet(BluetoothAdapter *adapter, const QMap<QString, QVariant> &filter);
    ~BluetoothDeviceSelectionSheet() override;

    /// Whether the note replaces the list; see setPending().
    bool isPending() const;
    /// Whether the application sits in the task switcher.
    bool isInSwitcher() const;
    /// Whether discovery has ended; decides the empty list's text.
    void setScanFinished(bool finished);

    /// The list on the sheet.
    BluetoothDeviceList *deviceList() const;

public Q_SLOTS:
    /// While pending a note replaces the list and discovery rests.
    void setPending(bool pending);
    /// Accepting needs a device chosen in the list (otherwise the sheet stays)
    /// and reports it with deviceSelectionFinished().
    void done(bool accepted) override;

Q_SIGNALS:
    /// After accepted(): the device the user chose.
    void deviceSelectionFinished(const Ovrin::BluetoothDevice &device);

protected:
    /// Builds the list, the pending note and the empty-list texts.
    void createContent() override;
    /// Starts discovery (unless pending) while the sheet is on screen.
    void enterDisplayEvent() override;
    /// Stops the discovery the sheet started.
    void exitDisplayEvent() override;

private:
    friend class BluetoothDeviceSelectionSheetPrivate;
    BluetoothDeviceSelectionSheetPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceSelectionSheet)
    Q_DISABLE_COPY(BluetoothDeviceSelectionSheet)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICESELECTIONSHEET_H
