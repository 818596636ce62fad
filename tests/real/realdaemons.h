#ifndef REALDAEMONS_H
#define REALDAEMONS_H

// The daemons the real suite runs against, and the second controller that
// plays the remote phone. Either the genuine bluetoothd and obexd (inside the
// guest of scripts/real-daemons.sh, which sets OVRIN_REAL_DAEMONS=1) or btsim
// on private buses with a scenario of two adapters. The suite drives the
// remote only through what both offer: plain D-Bus on the second adapter and
// obexd, and stopping and starting the daemons.

#include <QDBusObjectPath>
#include <QString>
#include <QVariant>

namespace RealDaemons {

// The genuine daemons, not btsim.
bool genuine();

const QString ourAdapter = QStringLiteral("/org/bluez/hci0");
const QString remoteAdapter = QStringLiteral("/org/bluez/hci1");

// Every adapter object bluetoothd describes, by path.
QStringList adapterPaths();
QVariant adapterProperty(const QString &adapter, const QString &name);
bool setAdapterProperty(const QString &adapter, const QString &name, const QVariant &value);
// The device object of address under adapter; empty when BlueZ knows none.
QString deviceObject(const QString &adapter, const QString &address);
QVariant deviceProperty(const QString &device, const QString &name);
// Takes the device out of adapter if BlueZ knows it.
void forgetDevice(const QString &adapter, const QString &address);

// The user of the other phone: bluetoothd asks the default agent about what
// the remote side is asked (its confirmation of a pairing, a push to it), so
// an agent of the test's own, on a bus connection of its own, is made the
// default and says yes to everything. Call again after bluetoothd restarted.
bool startRemoteUser();
// The other phone's user says No to pairings from now on (or yes again).
void setRemoteUserRefusesPairing(bool refuses);
int pairingsRefusedByRemoteUser();

// hci1 as the user of the other phone leaves it: on, named name, and
// visible until hidden.
bool showRemotePhone(const QString &name);

// bluetoothd and obexd both hold their names on the buses: neither has
// ended since they started.
bool daemonsRunning();

// The kernel's rfkill switch of a controller ("hci0") blocked or unblocked:
// /dev/rfkill written in the guest; btsim's switch otherwise.
bool setRadioBlocked(const QString &controller, bool blocked);

// The kernel's current settings of a genuine controller (index 0 for hci0)
// as btmgmt reads them: "powered", "connectable", "discoverable", ...
QStringList controllerSettings(int index);

// bluetoothd killed at once (SIGKILL of the genuine one; btsim drops the
// name) and started again; true once both adapters are back and powered.
void killBluetoothd();
bool startBluetoothd();
void killObexd();
bool startObexd();

// A push of file from the remote adapter to ours through obexd's client,
// as another phone would send it. Returns the session, or an empty path
// with the error in *error.
QDBusObjectPath pushFromRemote(const QString &file, QString *error);
// Ends the remote's push session (obexd keeps it otherwise).
void endRemoteSession(const QDBusObjectPath &session);

// The client sessions obexd holds, of any owner.
QStringList obexClientSessions();

// One line of measured figures, gathered for the note and the docs.
void reportFigure(const QString &name, double milliseconds);

} // namespace RealDaemons

#endif // REALDAEMONS_H
