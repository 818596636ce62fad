#ifndef OBEX5SESSION_H
#define OBEX5SESSION_H

#include "propertyobject.h"

// "org.bluez.obex.Session1" of one incoming connection of obexd 5: the
// addresses and the root folder, never changing (no Target for OPP).
class Obex5Session : public PropertyObject
{
    Q_OBJECT
public:
    Obex5Session(const QString &path, const QVariantMap &properties, PropertiesBatcher *batcher);

    QVariantMap properties() const override { return m_properties; }

private:
    QVariantMap m_properties;
};

#endif // OBEX5SESSION_H
