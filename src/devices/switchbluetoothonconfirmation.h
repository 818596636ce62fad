#ifndef OVRIN_SWITCHBLUETOOTHONCONFIRMATION_H
#define OVRIN_SWITCHBLUETOOTHONCONFIRMATION_H

#include "ovringlobal.h"

#include "orvelmessagebox.h"

namespace Ovrin {

/// Asks whether Bluetooth may be switched on although the handset is in
/// offline mode. Answered with the standard buttons Yes and No.
class OVRIN_EXPORT SwitchBluetoothOnConfirmation : public OrvelMessageBox
{
    Q_OBJECT
public:
    /// The question, with Yes and No.
    SwitchBluetoothOnConfirmation();
    ~SwitchBluetoothOnConfirmation() override;
};

} // namespace Ovrin

#endif // OVRIN_SWITCHBLUETOOTHONCONFIRMATION_H
