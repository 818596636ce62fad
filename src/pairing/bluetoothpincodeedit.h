#ifndef OVRIN_BLUETOOTHPINCODEEDIT_H
#define OVRIN_BLUETOOTHPINCODEEDIT_H

#include "ovringlobal.h"

#include "orveltextedit.h"

namespace Ovrin {

class BluetoothPinCodeEditPrivate;

// The single-line entry for a PIN code or a numeric passkey; text that the
// type does not allow never reaches it.
class OVRIN_EXPORT BluetoothPinCodeEdit : public OrvelTextEdit
{
    Q_OBJECT
public:
    enum BluetoothPasskeyType { PinCodeType = 0, PasskeyType = 1 };
    Q_ENUM(BluetoothPasskeyType)

    explicit BluetoothPinCodeEdit(BluetoothPasskeyType type, QGraphicsItem *parent = nullptr);
    ~BluetoothPinCodeEdit() override;

    BluetoothPasskeyType passkeyType() const;

    // False, after telling the user so, while the entry is empty.
    bool validateInput();

private:
    BluetoothPinCodeEditPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPINCODEEDIT_H
