#ifndef OBEX5CLIENTSESSION_H
#define OBEX5CLIENTSESSION_H

#include "propertyobject.h"

#include <functional>

// "org.bluez.obex.Session1" and "org.bluez.obex.ObjectPush1" of one session
// obexd 5 opened with CreateSession; SendFile is answered by the client.
class Obex5ClientSession : public PropertyObject
{
    Q_OBJECT
public:
    Obex5ClientSession(const QString &path, const QVariantMap &properties, Handler sendFile,
                       PropertiesBatcher *batcher);

    QStringList interfaces() const override;
    QVariantMap properties() const override { return m_properties; }

private:
    QVariantMap m_properties;
};

#endif // OBEX5CLIENTSESSION_H
