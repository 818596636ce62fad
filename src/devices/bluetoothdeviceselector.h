#ifndef OVRIN_BLUETOOTHDEVICESELECTOR_H
#define OVRIN_BLUETOOTHDEVICESELECTOR_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QObject>
#include <QVariantList>

namespace Ovrin {

class BluetoothDeviceSelectorPrivate;
class ConnectivityDialogServerInterface;

/// Lets the user pick the device to send something to: switches Bluetooth on
/// (asking first in offline mode; with the radio blocked by rfkill it says so
/// and ends with dialogCanceled()), shows the selection sheet narrowed to the
/// devices the request asks for, pairs the chosen device when the request
/// demands it, and ends with deviceSelected() or dialogCanceled().
///
/// A request holds four values: major class name, minor class name, a list of
/// service class names and service UUIDs, and the bonding option ("",
/// "require", "require=<address>" or "force").
class OVRIN_EXPORT BluetoothDeviceSelector : public QObject
{
    Q_OBJECT
public:
    /// Windows are shown through dialogServer (not owned) when given.
    explicit BluetoothDeviceSelector(ConnectivityDialogServerInterface *dialogServer = nullptr);
    ~BluetoothDeviceSelector() override;

    /// False, with nothing shown, when there is no Bluetooth (BlueZ or its
    /// adapter missing); otherwise the outcome comes later as a signal.
    bool startSelection(const QVariantList &request);

    /// Whether the selection sheet's application sits in the task switcher.
    bool isSelectionSheetInSwitcher() const;
    /// The sheet's pending state; false (with a warning) without a sheet.
    bool isPending() const;

public Q_SLOTS:
    /// While pending the sheet shows a note instead of the list; a value set
    /// without a sheet applies to the next one.
    void setPending(bool state);
    /// Closes the sheet as if the user cancelled it.
    void cancelSelectionSheet();

Q_SIGNALS:
    /// The user chose device (paired first when the request demanded it).
    void deviceSelected(const Ovrin::BluetoothDevice &device);
    /// The selection ended without a device: cancelled, refused or failed.
    void dialogCanceled();

private:
    BluetoothDeviceSelectorPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDeviceSelector)
    Q_DISABLE_COPY(BluetoothDeviceSelector)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICESELECTOR_H
