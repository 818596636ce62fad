#ifndef OBEX5CLIENTTRANSFER_H
#define OBEX5CLIENTTRANSFER_H

#include "propertyobject.h"

#include <QPointer>
#include <QTimer>

class ClientTransfer;

// "org.bluez.obex.Transfer1" of one file obexd 5 sends. A 1-second timer
// reports progress: Status "active" and Transferred while bytes are still to
// go, silently once all are handed over; so Transferred is never the final
// value and a quick file goes from "queued" straight to its last Status.
class Obex5ClientTransfer : public PropertyObject
{
    Q_OBJECT
public:
    Obex5ClientTransfer(ClientTransfer *transfer, const QString &session,
                        PropertiesBatcher *batcher);

    QVariantMap properties() const override;
    // The transfer ended: its last Status, if it has one, before it goes.
    void ended();

private:
    void tick();
    // Suspend and Resume: only for the session's owner and in the right state.
    void suspend(const SimCall &call, bool suspending);

    QPointer<ClientTransfer> m_transfer;
    QString m_session;
    QString m_status = QStringLiteral("queued");
    qint64 m_transferred = -1; // -1: absent until the transfer starts
    QString m_resumeTo; // the Status a suspended transfer had
    QTimer m_timer;
};

#endif // OBEX5CLIENTTRANSFER_H
