#include "rfkillswitches.h"

#include <QFile>
#include <QSocketNotifier>

#include <linux/rfkill.h>

#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

RfkillSwitches::RfkillSwitches(const QString &socketPath, States states, QObject *parent)
    : QObject(parent)
    , m_path(QFile::encodeName(socketPath))
    , m_states(std::move(states))
{
    sockaddr_un address {};
    if (size_t(m_path.size()) >= sizeof(address.sun_path))
        return;
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, m_path.constData(), size_t(m_path.size()));
    // A btsim started again takes the place of the one before.
    ::unlink(m_path.constData());
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
        || ::listen(m_listener, 16) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_accepting = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_accepting, &QSocketNotifier::activated, this, &RfkillSwitches::accept);
}

RfkillSwitches::~RfkillSwitches()
{
    for (int client : std::as_const(m_clients))
        ::close(client);
    if (m_listener >= 0) {
        ::close(m_listener);
        ::unlink(m_path.constData());
    }
}

void RfkillSwitches::accept()
{
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0)
        return;
    m_clients.append(client);
    // As the kernel does at open: every switch present, as added.
    for (auto it = m_told.constBegin(); it != m_told.constEnd(); ++it)
        send(client, it.key(), RFKILL_OP_ADD, it.value());
}

void RfkillSwitches::sync()
{
    const QMap<quint32, bool> now = m_states();
    const QMap<quint32, bool> before = std::exchange(m_told, now);
    for (int client : QList<int>(m_clients)) {
        for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
            if (!now.contains(it.key()))
                send(client, it.key(), RFKILL_OP_DEL, it.value());
        }
        for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
            if (!before.contains(it.key()))
                send(client, it.key(), RFKILL_OP_ADD, it.value());
            else if (before.value(it.key()) != it.value())
                send(client, it.key(), RFKILL_OP_CHANGE, it.value());
        }
    }
}

void RfkillSwitches::send(int client, quint32 index, quint8 op, bool blocked)
{
    if (!m_clients.contains(client))
        return;
    rfkill_event event {};
    event.idx = index;
    event.type = RFKILL_TYPE_BLUETOOTH;
    event.op = op;
    event.soft = blocked ? 1 : 0;
    // Eight bytes fit a socket's buffer whole; a reader gone is dropped.
    if (::send(client, &event, RFKILL_EVENT_SIZE_V1, MSG_NOSIGNAL) != RFKILL_EVENT_SIZE_V1)
        dropClient(client);
}

void RfkillSwitches::dropClient(int client)
{
    m_clients.removeAll(client);
    ::close(client);
}
