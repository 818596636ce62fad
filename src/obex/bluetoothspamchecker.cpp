#include "bluetoothspamchecker.h"
#include "bluetoothspamchecker_p.h"

#include "bluetoothdevice.h"

namespace Ovrin {

namespace {

// Rejections in a row after which the device counts as spamming.
const int spamThreshold = 3;

} // namespace

BluetoothSpamCheckerPrivate *BluetoothSpamCheckerPrivate::record = nullptr;
int BluetoothSpamCheckerPrivate::instances = 0;

BluetoothSpamCheckerPrivate::~BluetoothSpamCheckerPrivate()
{
    delete lastRejectedDevice;
}

BluetoothSpamChecker::BluetoothSpamChecker(QObject *parent)
    : QObject(parent)
{
    if (!BluetoothSpamCheckerPrivate::record)
        BluetoothSpamCheckerPrivate::record = new BluetoothSpamCheckerPrivate;
    ++BluetoothSpamCheckerPrivate::instances;
    d_ptr = BluetoothSpamCheckerPrivate::record;
}

BluetoothSpamChecker::~BluetoothSpamChecker()
{
    if (--BluetoothSpamCheckerPrivate::instances == 0) {
        delete BluetoothSpamCheckerPrivate::record;
        BluetoothSpamCheckerPrivate::record = nullptr;
    }
}

bool BluetoothSpamChecker::isDeviceSpamming(const BluetoothDevice &device) const
{
    Q_D(const BluetoothSpamChecker);
    if (!d->lastRejectedDevice || !(*d->lastRejectedDevice == device) || d->count < spamThreshold)
        return false;
    // Said once; the device needs as many rejections again.
    d_ptr->count = 0;
    return true;
}

void BluetoothSpamChecker::rejectDevice(const BluetoothDevice &device)
{
    Q_D(BluetoothSpamChecker);
    if (d->lastRejectedDevice && *d->lastRejectedDevice == device) {
        ++d->count;
        return;
    }
    delete d->lastRejectedDevice;
    d->lastRejectedDevice = new BluetoothDevice(device);
    d->count = 1;
}

} // namespace Ovrin
