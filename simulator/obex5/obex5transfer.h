#ifndef OBEX5TRANSFER_H
#define OBEX5TRANSFER_H

#include "propertyobject.h"

#include <QPointer>

class ObexPush;

// "org.bluez.obex.Transfer1" of one incoming OPP connection of obexd 5: one
// object serves every object pushed over the connection. Only Status,
// Transferred and Size are ever signalled, at the start and the end of an
// object (no progress in between); obexd sets the others silently and clears
// them, the count too, at the end of each object, before its signal leaves.
class Obex5Transfer : public PropertyObject
{
    Q_OBJECT
public:
    Obex5Transfer(const QString &path, const QString &session, ObexPush *push,
                  PropertiesBatcher *batcher);

    QVariantMap properties() const override;

    void headersRead();
    void started(bool singlePacket);
    void progressed();
    void ended(bool success, bool singlePacket);

private:
    QString m_session;
    QPointer<ObexPush> m_push;
    QString m_status = QStringLiteral("queued");
    bool m_headers = false;
    bool m_started = false;
    QString m_name; // the agent's base name once accepted
    QString m_filename;
    qint64 m_transferred = 0;
};

#endif // OBEX5TRANSFER_H
