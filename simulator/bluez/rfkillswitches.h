#ifndef RFKILLSWITCHES_H
#define RFKILLSWITCHES_H

#include <QList>
#include <QMap>
#include <QObject>

#include <functional>

class QSocketNotifier;

// The kernel's /dev/rfkill as its readers see it, served on a Unix socket:
// every client first gets the present switches as "add" events, then each
// change, in the device's 8-byte events (index, type Bluetooth, op, soft,
// hard). Switch N belongs to controller hciN. Nothing written is read.
class RfkillSwitches : public QObject
{
    Q_OBJECT
public:
    // Switch index -> soft-blocked, for the controllers present now.
    using States = std::function<QMap<quint32, bool>()>;

    RfkillSwitches(const QString &socketPath, States states, QObject *parent = nullptr);
    ~RfkillSwitches() override;

    bool isListening() const { return m_listener >= 0; }
    // Takes the states and tells every client what changed since it was last told.
    void sync();

private:
    void accept();
    void send(int client, quint32 index, quint8 op, bool blocked);
    void dropClient(int client);

    QByteArray m_path;
    States m_states;
    int m_listener = -1;
    QSocketNotifier *m_accepting = nullptr;
    QList<int> m_clients;
    QMap<quint32, bool> m_told;
};

#endif // RFKILLSWITCHES_H
