#ifndef OVRIN_BLUETOOTHPINCODEVALIDATOR_H
#define OVRIN_BLUETOOTHPINCODEVALIDATOR_H

#include "bluetoothpincodeedit.h"

#include <QValidator>

namespace Ovrin {

class BluetoothPinCodeValidatorPrivate;

/// PIN codes: letters or digits that take up to 16 bytes in UTF-8 as BlueZ
/// gets them (digits as ASCII). Passkeys: up to 6 digits. Digits of any
/// script count. Text is either acceptable or refused, never half-way;
/// the empty text is acceptable here and refused when the user accepts.
class OVRIN_EXPORT BluetoothPinCodeValidator : public QValidator
{
    Q_OBJECT
public:
    /// A validator of codes of type.
    BluetoothPinCodeValidator(BluetoothPinCodeEdit::BluetoothPasskeyType type,
                              QObject *parent = nullptr);
    ~BluetoothPinCodeValidator() override;

    /// Acceptable or Invalid, never Intermediate.
    State validate(QString &input, int &pos) const override;

private:
    BluetoothPinCodeValidatorPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPINCODEVALIDATOR_H
