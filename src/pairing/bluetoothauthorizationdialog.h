#ifndef BLUETOOTHAUTHORIZATIONDIALOG_H
#define BLUETOOTHAUTHORIZATIONDIALOG_H

#include "ovringlobal.h"

#include "orvelmessagebox.h"

/// Asks whether to allow a device's connection request; the caller runs it
/// and reads the pressed button (Yes or No).
class OVRIN_EXPORT BluetoothAuthorizationDialog : public OrvelMessageBox
{
    Q_OBJECT
public:
    /// A Yes/No question naming the device.
    explicit BluetoothAuthorizationDialog(const QString &deviceName);

    ~BluetoothAuthorizationDialog() override;
};

#endif // BLUETOOTHAUTHORIZATIONDIALOG_H
