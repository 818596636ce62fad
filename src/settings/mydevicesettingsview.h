#ifndef OVRIN_MYDEVICESETTINGSVIEW_H
#define OVRIN_MYDEVICESETTINGSVIEW_H

#include "ovringlobal.h"

#include "orvelwidget.h"

namespace Ovrin {

class BluetoothAdapter;
class MyDeviceSettingsViewPrivate;

/// The page that renames the handset's own Bluetooth device and shows its
/// address. The application owns accept and cancel: it follows
/// mandatoryValuesProvided() and calls save() on accept.
class OVRIN_EXPORT MyDeviceSettingsView : public OrvelWidget
{
    Q_OBJECT
public:
    /// The adapter is not owned and must outlive the page's use of it.
    explicit MyDeviceSettingsView(BluetoothAdapter &adapter, QGraphicsItem *parent = nullptr);
    ~MyDeviceSettingsView() override;

    /// Writes the typed name. False, with a banner telling why, when nothing
    /// was written: a blank or over-long name, BlueZ refused it or is gone.
    bool save();

Q_SIGNALS:
    /// Whether the name entry holds text, i.e. whether accept may be offered.
    void mandatoryValuesProvided(bool provided);

private:
    friend class MyDeviceSettingsViewPrivate;
    MyDeviceSettingsViewPrivate *d_ptr;
    Q_DECLARE_PRIVATE(MyDeviceSettingsView)
    Q_DISABLE_COPY(MyDeviceSettingsView)
};

} // namespace Ovrin

#endif // OVRIN_MYDEVICESETTINGSVIEW_H
