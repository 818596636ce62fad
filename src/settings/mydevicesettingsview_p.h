#ifndef OVRIN_MYDEVICESETTINGSVIEW_P_H
#define OVRIN_MYDEVICESETTINGSVIEW_P_H

#include "bluetoothadapter.h"

#include <QObject>
#include <QPointer>

namespace Ovrin {

class DeviceNameEdit;
class MyDeviceSettingsView;

class MyDeviceSettingsViewPrivate : public QObject
{
    Q_OBJECT
public:
    MyDeviceSettingsViewPrivate(BluetoothAdapter &adapter, MyDeviceSettingsView *view);

    void createContent();

    // Not owned; a deleted adapter leaves nothing to rename.
    QPointer<BluetoothAdapter> adapter;
    DeviceNameEdit *nameEdit = nullptr;
    MyDeviceSettingsView *view;

public Q_SLOTS:
    void nameEditChanged();
};

} // namespace Ovrin

#endif // OVRIN_MYDEVICESETTINGSVIEW_P_H
