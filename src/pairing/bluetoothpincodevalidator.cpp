#include "bluetoothpincodevalidator.h"

#include "bluetoothpincodesheet_p.h"

#include <algorithm>

namespace Ovrin {

class BluetoothPinCodeValidatorPrivate
{
public:
    BluetoothPinCodeEdit::BluetoothPasskeyType type;
};

BluetoothPinCodeValidator::BluetoothPinCodeValidator(
    BluetoothPinCodeEdit::BluetoothPasskeyType type, QObject *parent)
    : QValidator(parent)
    , d(new BluetoothPinCodeValidatorPrivate { type })
{
}

BluetoothPinCodeValidator::~BluetoothPinCodeValidator()
{
    delete d;
}

QValidator::State BluetoothPinCodeValidator::validate(QString &input, int &) const
{
    if (d->type == BluetoothPinCodeEdit::PasskeyType) {
        if (input.size() > 6)
            return Invalid;
        return std::all_of(input.cbegin(), input.cend(), [](QChar c) { return c.isDigit(); })
            ? Acceptable
            : Invalid;
    }
    // BlueZ takes at most 16 bytes of UTF-8, counted as they are sent: locale
    // digits go as ASCII, other letters may take up to four bytes each.
    if (asciiDigits(input).toUtf8().size() > 16)
        return Invalid;
    return std::all_of(input.cbegin(), input.cend(),
                       [](QChar c) { return c.isDigit() || c.isLetter(); })
        ? Acceptable
        : Invalid;
}

} // namespace Ovrin
