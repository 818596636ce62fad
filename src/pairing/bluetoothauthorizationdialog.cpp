#include "bluetoothauthorizationdialog.h"

BluetoothAuthorizationDialog::BluetoothAuthorizationDialog(const QString &deviceName)
    : OrvelMessageBox(qtTrId("qtn_conn_bt_connection_request"),
                      qtTrId("qtn_conn_bt_connection_request_i").arg(deviceName),
                      QMessageBox::Yes | QMessageBox::No)
{
}

BluetoothAuthorizationDialog::~BluetoothAuthorizationDialog() = default;
