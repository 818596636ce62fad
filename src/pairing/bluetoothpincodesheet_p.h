#ifndef OVRIN_BLUETOOTHPINCODESHEET_P_H
#define OVRIN_BLUETOOTHPINCODESHEET_P_H

#include "bluetoothpincodeedit.h"

#include <QObject>

namespace Ovrin {

class BluetoothPinCodeSheet;
class BluetoothTrustPanel;

// Each digit of text in the default locale's digits; other characters stay.
QString localizedDigits(const QString &text);
// Each digit of text as ASCII; characters that are neither digits nor
// letters are dropped.
QString asciiDigits(const QString &text);

class BluetoothPinCodeSheetPrivate : public QObject
{
    Q_OBJECT
public:
    explicit BluetoothPinCodeSheetPrivate(BluetoothPinCodeSheet *sheet);

    BluetoothPinCodeSheet *sheet;
    BluetoothPinCodeEdit *edit = nullptr;
    BluetoothTrustPanel *trustPanel = nullptr;
    QString deviceName;
    BluetoothPinCodeEdit::BluetoothPasskeyType type = BluetoothPinCodeEdit::PinCodeType;
    bool readOnly = false;
    bool keptOpenOnAccept = false;

public Q_SLOTS:
    void pinCodeChanged();
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPINCODESHEET_P_H
