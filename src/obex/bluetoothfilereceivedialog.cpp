#include "bluetoothfilereceivedialog.h"

#include "bluetoothdevice.h"

namespace Ovrin {

class BluetoothFileReceiveDialogPrivate
{
public:
    BluetoothFileReceiveDialogPrivate(const BluetoothDevice &device, const QString &fileName)
        : device(device)
        , fileName(fileName)
    {
    }

    BluetoothDevice device;
    QString fileName;
};

BluetoothFileReceiveDialog::BluetoothFileReceiveDialog(const BluetoothDevice &device,
                                                       const QString &fileName)
    : OrvelMessageBox(qtTrId("qtn_conn_bt_receive_file"),
                      // Both in one pass: the device's name and the file's are
                      // chosen by the sender and may hold "%1" or "%2" themselves.
                      qtTrId("qtn_conn_bt_receive_info1").arg(device.name(), fileName),
                      QMessageBox::Yes | QMessageBox::No)
    , d_ptr(new BluetoothFileReceiveDialogPrivate(device, fileName))
{
    setIconId(QStringLiteral("icon-m-bluetooth"));
}

BluetoothFileReceiveDialog::~BluetoothFileReceiveDialog()
{
    delete d_ptr;
}

} // namespace Ovrin
