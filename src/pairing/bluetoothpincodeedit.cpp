#include "bluetoothpincodeedit.h"

#include "bluetoothpincodevalidator.h"

#include "simpleinformationbanner.h"

namespace Ovrin {

class BluetoothPinCodeEditPrivate
{
public:
    BluetoothPinCodeEdit::BluetoothPasskeyType type;
};

BluetoothPinCodeEdit::BluetoothPinCodeEdit(BluetoothPasskeyType type, QGraphicsItem *parent)
    : OrvelTextEdit(FreeTextContentType, QString(), parent)
    , d(new BluetoothPinCodeEditPrivate { type })
{
    if (type == PasskeyType)
        setContentType(NumberContentType);
    setInputMethodCorrectionEnabled(false);
    setInputMethodAutoCapitalizationEnabled(false);
    setInputMethodPredictionEnabled(false);
    setValidator(new BluetoothPinCodeValidator(type, this));
}

BluetoothPinCodeEdit::~BluetoothPinCodeEdit()
{
    delete d;
}

BluetoothPinCodeEdit::BluetoothPasskeyType BluetoothPinCodeEdit::passkeyType() const
{
    return d->type;
}

bool BluetoothPinCodeEdit::validateInput()
{
    if (text().isEmpty()) {
        SimpleInformationBanner::show(qtTrId("qtn_conn_bt_at_least_one_char"), 3000);
        return false;
    }
    return true;
}

} // namespace Ovrin
