#ifndef OVRIN_OBEX5TRANSFERSIGNALS_H
#define OVRIN_OBEX5TRANSFERSIGNALS_H

#include <QDBusMessage>
#include <QObject>

namespace Ovrin {

class BluetoothObexAgentPrivate;

// Receives BlueZ 5 obexd's word on the pushes the server agent let in: the
// property changes of their transfers, and the transfers' removal. A QObject
// of its own, as the agent's adaptors' slots would be callable on the bus.
// Signals are taken from any sender and checked to come from obexd.
class Obex5TransferSignals : public QObject
{
    Q_OBJECT
public:
    explicit Obex5TransferSignals(BluetoothObexAgentPrivate *agent);

    bool connectManager();
    bool follow(const QString &transfer);
    void unfollow(const QString &transfer);

public Q_SLOTS:
    void propertiesChanged(const QDBusMessage &message);
    void interfacesRemoved(const QDBusMessage &message);

private:
    bool fromObexd(const QDBusMessage &message) const;
    BluetoothObexAgentPrivate *m_agent;
};

} // namespace Ovrin

#endif // OVRIN_OBEX5TRANSFERSIGNALS_H
