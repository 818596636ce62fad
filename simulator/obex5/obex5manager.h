#ifndef OBEX5MANAGER_H
#define OBEX5MANAGER_H

#include "simobject.h"

// "/org/bluez/obex" of obexd 5: "org.bluez.obex.AgentManager1", whose calls
// the receiving side answers.
class Obex5Manager : public SimObject
{
public:
    Obex5Manager(Handler registerAgent, Handler unregisterAgent);
    QStringList interfaces() const override;
};

#endif // OBEX5MANAGER_H
