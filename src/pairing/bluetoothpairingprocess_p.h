#ifndef OVRIN_BLUETOOTHPAIRINGPROCESS_P_H
#define OVRIN_BLUETOOTHPAIRINGPROCESS_P_H

#include <QString>

namespace Ovrin {

class BluetoothPairingProcessHandler;
class ConnectivityDialogServerInterface;

class BluetoothPairingProcessPrivate
{
public:
    bool errorNotification = false;
    ConnectivityDialogServerInterface *dialogServer = nullptr;
    BluetoothPairingProcessHandler *handler = nullptr;
    bool pairing = false;
    QString pinCode;
    bool autoTrusted = false;
    bool autoConnected = true;
    bool ignoreLegacyPairing = false;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPAIRINGPROCESS_P_H
