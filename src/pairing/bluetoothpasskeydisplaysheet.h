#ifndef OVRIN_BLUETOOTHPASSKEYDISPLAYSHEET_H
#define OVRIN_BLUETOOTHPASSKEYDISPLAYSHEET_H

#include "ovringlobal.h"

#include "simplesheet.h"

namespace Ovrin {

class BluetoothPasskeyDisplaySheetPrivate;

/// Shows the passkey the user types on a remote keyboard, in large digits,
/// with how many digits have been typed so far. Nothing is answered here:
/// the only button is Cancel (rejected()); the owner hides the sheet when the
/// pairing ends.
class OVRIN_EXPORT BluetoothPasskeyDisplaySheet : public SimpleSheet
{
    Q_OBJECT
    Q_PROPERTY(uint entered READ entered WRITE setEntered)
public:
    /// A sheet titled with deviceName showing passkey, none of it typed yet.
    BluetoothPasskeyDisplaySheet(const QString &deviceName, uint passkey);
    ~BluetoothPasskeyDisplaySheet() override;

    /// How many digits the remote side has typed.
    uint entered() const;
    /// See entered().
    void setEntered(uint entered);

protected:
    /// Builds the explanation, the passkey and the count of digits typed.
    void createContent() override;

private:
    BluetoothPasskeyDisplaySheetPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPASSKEYDISPLAYSHEET_H
