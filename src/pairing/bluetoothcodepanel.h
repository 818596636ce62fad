#ifndef OVRIN_BLUETOOTHCODEPANEL_H
#define OVRIN_BLUETOOTHCODEPANEL_H

#include "ovringlobal.h"

#include "orvelstylablewidget.h"

namespace Ovrin {

/// Shows a six-digit passkey in two groups of three, in large digits of the
/// user's locale, with a line explaining what to compare it with.
class OVRIN_EXPORT BluetoothCodePanel : public OrvelStylableWidget
{
    Q_OBJECT
public:
    /// A panel showing passkey as formatPasskey() writes it.
    explicit BluetoothCodePanel(uint passkey);

    ~BluetoothCodePanel() override;

    /// The passkey as shown: "123 456" in the default locale's digits, kept
    /// left to right in right-to-left languages.
    static QString formatPasskey(uint passkey);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHCODEPANEL_H
