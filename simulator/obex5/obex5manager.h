#ifndef OBEX5MANAGER_H
#define OBEX5MANAGER_H

#include "simobject.h"

// "/org/bluez/obex" of obexd 5: "org.bluez.obex.AgentManager1", whose calls
// the receiving side answers, and "org.bluez.obex.Client1" for the sending side.
class Obex5Manager : public SimObject
{
public:
    struct Handlers
    {
        Handler registerAgent, unregisterAgent, createSession, removeSession;
    };
    explicit Obex5Manager(const Handlers &handlers);
    QStringList interfaces() const override;
};

#endif // OBEX5MANAGER_H
