#ifndef OVRIN_BLUETOOTHPINCODEEDIT_H
#define OVRIN_BLUETOOTHPINCODEEDIT_H

#include "ovringlobal.h"

#include "orveltextedit.h"

namespace Ovrin {

class BluetoothPinCodeEditPrivate;

/// The single-line entry for a PIN code or a numeric passkey; text that the
/// type does not allow never reaches it.
class OVRIN_EXPORT BluetoothPinCodeEdit : public OrvelTextEdit
{
    Q_OBJECT
public:
    /// What the entry takes.
    enum BluetoothPasskeyType {
        PinCodeType = 0, ///< A PIN code: up to 16 letters or digits.
        PasskeyType = 1 ///< A passkey: up to 6 digits.
    };
    Q_ENUM(BluetoothPasskeyType)

    /// An entry for type, validated by a BluetoothPinCodeValidator.
    explicit BluetoothPinCodeEdit(BluetoothPasskeyType type, QGraphicsItem *parent = nullptr);
    ~BluetoothPinCodeEdit() override;

    /// The type given at construction.
    BluetoothPasskeyType passkeyType() const;

    /// False, after telling the user so, while the entry is empty.
    bool validateInput();

private:
    BluetoothPinCodeEditPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPINCODEEDIT_H
