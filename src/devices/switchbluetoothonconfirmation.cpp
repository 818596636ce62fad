#include "switchbluetoothonconfirmation.h"

namespace Ovrin {

SwitchBluetoothOnConfirmation::SwitchBluetoothOnConfirmation()
    : OrvelMessageBox(qtTrId("qtn_offl_blueactive_title"), qtTrId("qtn_offl_blueactive"),
                      QMessageBox::Yes | QMessageBox::No)
{
}

SwitchBluetoothOnConfirmation::~SwitchBluetoothOnConfirmation() = default;

} // namespace Ovrin
