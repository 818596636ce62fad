#ifndef OVRIN_BLUETOOTHPINCODESHEET_H
#define OVRIN_BLUETOOTHPINCODESHEET_H

#include "bluetoothpincodeedit.h"

#include "simplesheet.h"

namespace Ovrin {

class BluetoothPinCodeSheetPrivate;

/// The sheet where the user types the PIN code or passkey for pairing, and
/// says whether the device is trusted. Digits are shown in the user's locale
/// and read back as ASCII.
class OVRIN_EXPORT BluetoothPinCodeSheet : public SimpleSheet
{
    Q_OBJECT
    Q_PROPERTY(QString pinCode READ pinCode WRITE setPinCode)
    Q_PROPERTY(bool trusted READ isTrusted)
public:
    /// A sheet titled with deviceName whose entry takes type.
    BluetoothPinCodeSheet(const QString &deviceName,
                          BluetoothPinCodeEdit::BluetoothPasskeyType type);
    ~BluetoothPinCodeSheet() override;

    /// The code typed, in ASCII digits.
    QString pinCode() const;
    /// Fills the entry, shown in the user's digits.
    void setPinCode(const QString &pinCode);
    /// Whether the user left the trust switch on.
    bool isTrusted() const;

    /// While pairing runs the entry and the trust switch are frozen and the
    /// sheet can only be cancelled.
    void setReadOnly(bool readOnly);
    /// See setReadOnly().
    bool isReadOnly() const;

    /// For a sheet whose code pairs: an accepted code does not close it; the
    /// sheet turns read-only with its spinner and emits accepted(), and stays
    /// up until its owner hides it. Cancel still closes it (rejected()).
    /// isReadOnly(), not isAccepted(), then tells that it was accepted.
    void setKeptOpenOnAccept(bool keep);
    /// See setKeptOpenOnAccept(); off by default.
    bool isKeptOpenOnAccept() const;

public Q_SLOTS:
    /// Accepting needs a non-empty code; while read-only, accepting only
    /// says that pairing is ongoing.
    void done(bool accepted) override;

protected:
    /// Builds the entry and the trust switch.
    void createContent() override;

private:
    BluetoothPinCodeSheetPrivate *d;
    friend class BluetoothPinCodeSheetPrivate;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHPINCODESHEET_H
