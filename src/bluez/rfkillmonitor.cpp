#include "rfkillmonitor.h"

#include "bluezlogging.h"

#include <QFile>
#include <QSocketNotifier>

#include <linux/rfkill.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Ovrin {

namespace {

const QByteArray kernelDevice = QByteArrayLiteral("/dev/rfkill");

QByteArray devicePath()
{
    const QByteArray path = qgetenv("OVRIN_RFKILL_DEVICE");
    return path.isEmpty() ? kernelDevice : path;
}

int connectToSocket(const QByteArray &path)
{
    sockaddr_un address {};
    if (size_t(path.size()) >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// The controller a kernel switch belongs to ("hci0"), from sysfs.
QString controllerOf(quint32 index)
{
    QFile name(QStringLiteral("/sys/class/rfkill/rfkill%1/name").arg(index));
    if (!name.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(name.readAll().trimmed());
}

} // namespace

RfkillMonitor::RfkillMonitor(QObject *parent)
    : QObject(parent)
{
    const QByteArray path = devicePath();
    if (!open(path)) {
        // A machine without rfkill, or without the right to read it: only
        // BlueZ's own words then tell a block.
        qCDebug(lcBluez, "rfkill is not followed: %s: %s", path.constData(), strerror(errno));
        return;
    }
    m_namesFromSysfs = path == kernelDevice;
    // The kernel queues the present switches at open: known before we return.
    readEvents();
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &RfkillMonitor::readEvents);
}

RfkillMonitor::~RfkillMonitor()
{
    close();
}

bool RfkillMonitor::open(const QByteArray &path)
{
    struct stat status {};
    if (::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode))
        m_fd = connectToSocket(path);
    else
        m_fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return m_fd >= 0;
}

bool RfkillMonitor::isBlocked(const QString &controller) const
{
    for (const Switch &rfkillSwitch : m_switches) {
        if (rfkillSwitch.blocked
            && (rfkillSwitch.controller.isEmpty() || rfkillSwitch.controller == controller))
            return true;
    }
    return false;
}

void RfkillMonitor::readEvents()
{
    bool changedNow = false;
    for (;;) {
        char buffer[256];
        const ssize_t got = ::read(m_fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            break;
        if (got <= 0) {
            // The device went: what it said no longer holds.
            qCDebug(lcBluez, "rfkill events ended: %s", got == 0 ? "closed" : strerror(errno));
            changedNow = !m_switches.isEmpty();
            m_switches.clear();
            close();
            break;
        }
        m_partial.append(buffer, got);
        // The kernel hands out one event per read; a socket may join them.
        while (m_partial.size() >= qsizetype(RFKILL_EVENT_SIZE_V1)) {
            changedNow |= apply(m_partial.left(RFKILL_EVENT_SIZE_V1));
            m_partial.remove(0, RFKILL_EVENT_SIZE_V1);
        }
    }
    if (changedNow)
        Q_EMIT changed();
}

bool RfkillMonitor::apply(const QByteArray &bytes)
{
    rfkill_event event {};
    memcpy(&event, bytes.constData(), RFKILL_EVENT_SIZE_V1);
    if (event.type != RFKILL_TYPE_BLUETOOTH)
        return false;
    const bool blocked = event.soft || event.hard;
    switch (event.op) {
    case RFKILL_OP_ADD:
    case RFKILL_OP_CHANGE: {
        auto known = m_switches.find(event.idx);
        if (known == m_switches.end()) {
            Switch added;
            added.controller = m_namesFromSysfs ? controllerOf(event.idx)
                                                : QStringLiteral("hci%1").arg(event.idx);
            added.blocked = blocked;
            m_switches.insert(event.idx, added);
            return blocked;
        }
        const bool before = known->blocked;
        known->blocked = blocked;
        return before != blocked;
    }
    case RFKILL_OP_DEL:
        return m_switches.take(event.idx).blocked;
    default:
        return false;
    }
}

void RfkillMonitor::close()
{
    // Possibly from within the notifier's own signal.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_partial.clear();
}

} // namespace Ovrin
