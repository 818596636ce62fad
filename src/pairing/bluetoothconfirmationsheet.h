#ifndef OVRIN_BLUETOOTHCONFIRMATIONSHEET_H
#define OVRIN_BLUETOOTHCONFIRMATIONSHEET_H

#include "ovringlobal.h"

#include "simplesheet.h"

namespace Ovrin {

class BluetoothConfirmationSheetPrivate;

/// Asks the user to confirm the passkey both devices show (numeric
/// comparison), with the trust switch below it.
class OVRIN_EXPORT BluetoothConfirmationSheet : public SimpleSheet
{
    Q_OBJECT
public:
    /// A sheet titled with deviceName; passkey is shown only if showPasskey.
    BluetoothConfirmationSheet(const QString &deviceName, uint passkey, bool showPasskey);
    ~BluetoothConfirmationSheet() override;

    /// Whether the user left the trust switch on.
    bool isTrusted() const;

protected:
    /// Builds the passkey panel, the explanation and the trust switch.
    void createContent() override;

private:
    BluetoothConfirmationSheetPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHCONFIRMATIONSHEET_H
