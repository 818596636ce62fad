#ifndef CONTROLLERLINK_H
#define CONTROLLERLINK_H

#include "controlledadapter.h"

#include <QObject>

class Bluez5Adapter;
class Bluez5Pairing;

// Two controllers of one bluetoothd within reach of each other, as btvirt
// makes them: each is a remote device in the other's world. What one shows of
// itself (power, visibility, name, class) is what the other finds, and a link
// or bond made from one side shows on the other.
class ControllerLink : public QObject
{
    Q_OBJECT
public:
    ControllerLink(Bluez5Adapter *first, Bluez5Adapter *second, QObject *parent = nullptr);

    // The adapter whose address this is, if it is one of the two.
    Bluez5Adapter *adapter(const QString &address) const;
    // The link from one controller to the other is secured before data goes
    // over it: an unpaired pair bonds just works, which the receiving side asks
    // its default agent about. done gets "" or the error name.
    void secure(Bluez5Adapter *from, Bluez5Adapter *to, ControlledAdapter::Done done);

private:
    Bluez5Adapter *other(Bluez5Adapter *adapter) const;
    // A pairing from one controller to the other: the receiving side's
    // default agent is asked as well, and the bond needs both answers.
    void answerPairing(Bluez5Adapter *from, const QString &address, Bluez5Pairing *pairing);
    // to's default agent is asked about a pairing from's side started, by method.
    void startResponder(Bluez5Adapter *from, Bluez5Adapter *to, const QString &method,
                        ControlledAdapter::Done done);
    // observer's picture of radio, told on observer's device object if it has one.
    void showTo(Bluez5Adapter *observer, Bluez5Adapter *radio);
    // from's device object of the other controller changed its link or bond.
    void mirrorLink(Bluez5Adapter *from, const QString &address);

    Bluez5Adapter *m_first;
    Bluez5Adapter *m_second;
};

#endif // CONTROLLERLINK_H
