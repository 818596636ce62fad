#ifndef OVRIN_BLUETOOTHMYDEVICEPANEL_P_H
#define OVRIN_BLUETOOTHMYDEVICEPANEL_P_H

#include "bluetoothadapter.h"

#include <QObject>
#include <QPointer>

class OrvelButton;
class OrvelLabel;

namespace Ovrin {

class BluetoothMyDevicePanel;
class DrillDownItem;
class SimpleCheckBoxLabel;

class BluetoothMyDevicePanelPrivate : public QObject
{
    Q_OBJECT
public:
    explicit BluetoothMyDevicePanelPrivate(BluetoothAdapter *adapter);

    void build(BluetoothMyDevicePanel *panel);
    void updateName();
    void updateDiscoverable();

    // Not owned: the application may delete it before the page.
    QPointer<BluetoothAdapter> adapter;
    DrillDownItem *nameItem = nullptr;
    OrvelButton *discoverableSwitch = nullptr;
    SimpleCheckBoxLabel *discoverableRow = nullptr;
    OrvelLabel *discoverableHint = nullptr;

public Q_SLOTS:
    void discoverableToggled();
    void adapterPropertyChanged(const QString &property);
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHMYDEVICEPANEL_P_H
