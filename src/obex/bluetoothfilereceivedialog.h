#ifndef OVRIN_BLUETOOTHFILERECEIVEDIALOG_H
#define OVRIN_BLUETOOTHFILERECEIVEDIALOG_H

#include "ovringlobal.h"

#include "orvelmessagebox.h"

namespace Ovrin {

class BluetoothDevice;
class BluetoothFileReceiveDialogPrivate;

/// Asks whether to accept a file that a device wants to push. The caller shows
/// it and answers the transfer by the button pressed (Yes or No).
class OVRIN_EXPORT BluetoothFileReceiveDialog : public OrvelMessageBox
{
    Q_OBJECT
public:
    /// A Yes/No question naming the sending device and the file.
    BluetoothFileReceiveDialog(const BluetoothDevice &device, const QString &fileName);

    ~BluetoothFileReceiveDialog() override;

private:
    BluetoothFileReceiveDialogPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothFileReceiveDialog)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHFILERECEIVEDIALOG_H
