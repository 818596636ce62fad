#ifndef ACCEPTPUSHES_H
#define ACCEPTPUSHES_H

#include "bluetoothobexagent.h"
#include "bluetoothtransfertracker.h"

namespace OvrinTest {

// agent takes every push, into the folder of its type under the tracker's
// base path: what the receiving component does when the user says yes.
inline void acceptEveryPush(Ovrin::BluetoothObexAgent *agent)
{
    QObject::connect(agent, &Ovrin::BluetoothObexAgent::authorizationRequested, agent,
                     [agent](const QString &transfer, const QString &name, const QString &mime) {
                         agent->authorizeTransfer(transfer, Ovrin::BluetoothTransferTracker::filePath(name, mime));
                     });
}

} // namespace OvrinTest

#endif // ACCEPTPUSHES_H
