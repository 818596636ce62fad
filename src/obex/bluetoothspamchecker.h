#ifndef OVRIN_BLUETOOTHSPAMCHECKER_H
#define OVRIN_BLUETOOTHSPAMCHECKER_H

#include "ovringlobal.h"

#include <QObject>

namespace Ovrin {

class BluetoothDevice;
class BluetoothSpamCheckerPrivate;

/// Recognises a device whose requests the user keeps rejecting: after three
/// rejections of one device in a row, isDeviceSpamming() says so once and the
/// count starts again. Every checker of the process shares the count.
class OVRIN_EXPORT BluetoothSpamChecker : public QObject
{
    Q_OBJECT
public:
    /// A checker on the process's shared count.
    explicit BluetoothSpamChecker(QObject *parent = nullptr);
    ~BluetoothSpamChecker() override;

    /// True once after the third rejection of device in a row.
    bool isDeviceSpamming(const BluetoothDevice &device) const;

public Q_SLOTS:
    /// Counts a rejection; a rejection of another device starts the count again.
    void rejectDevice(const BluetoothDevice &device);

private:
    BluetoothSpamCheckerPrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothSpamChecker)
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHSPAMCHECKER_H
