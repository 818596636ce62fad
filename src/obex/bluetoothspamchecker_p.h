#ifndef OVRIN_BLUETOOTHSPAMCHECKER_P_H
#define OVRIN_BLUETOOTHSPAMCHECKER_P_H

namespace Ovrin {

class BluetoothDevice;

// The record every checker of the process shares; the last checker to go
// deletes it.
class BluetoothSpamCheckerPrivate
{
public:
    ~BluetoothSpamCheckerPrivate();

    BluetoothDevice *lastRejectedDevice = nullptr;
    int count = 0;

    static BluetoothSpamCheckerPrivate *record;
    static int instances;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHSPAMCHECKER_P_H
