#ifndef OVRIN_PAIREDDEVICESETTINGSVIEW_H
#define OVRIN_PAIREDDEVICESETTINGSVIEW_H

#include "ovringlobal.h"

#include "orvelwidget.h"

namespace Ovrin {

class BluetoothAdapter;
class BluetoothDevice;
class PairedDeviceSettingsViewPrivate;

/// The page of one paired device: its name (kept in BlueZ as the alias),
/// trust, profiles and address; connecting or disconnecting its audio, and
/// removing the pairing. The application owns accept and cancel: it follows
/// mandatoryValuesProvided() and calls save() on accept.
class OVRIN_EXPORT PairedDeviceSettingsView : public OrvelWidget
{
    Q_OBJECT
public:
    /// The adapter is not owned and may be null.
    PairedDeviceSettingsView(const BluetoothDevice &device, BluetoothAdapter *adapter,
                             QGraphicsItem *parent = nullptr);
    ~PairedDeviceSettingsView() override;

    /// Writes name and trust. False, with a banner telling why, when they
    /// were not written: a blank or over-long name, or BlueZ refused them.
    bool save() const;

Q_SIGNALS:
    /// BlueZ removed the pairing the user asked to remove: close the page.
    /// When BlueZ could not, a banner tells the user and the page stays.
    void pairingRemoved();
    /// Whether the name entry holds text, i.e. whether accept may be offered.
    void mandatoryValuesProvided(bool provided);

private:
    friend class PairedDeviceSettingsViewPrivate;
    PairedDeviceSettingsViewPrivate *d_ptr;
    Q_DECLARE_PRIVATE(PairedDeviceSettingsView)
    Q_DISABLE_COPY(PairedDeviceSettingsView)
};

} // namespace Ovrin

#endif // OVRIN_PAIREDDEVICESETTINGSVIEW_H
