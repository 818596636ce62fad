#ifndef OVRIN_RFKILLMONITOR_H
#define OVRIN_RFKILLMONITOR_H

#include <QHash>
#include <QObject>

class QSocketNotifier;

namespace Ovrin {

// Follows the kernel's rfkill switches of Bluetooth controllers, as desktop
// stacks do: it only reads the events of /dev/rfkill (the switches present
// when it opens, then every change), and never writes one.
// $OVRIN_RFKILL_DEVICE names another device (a test's), whose switch N
// belongs to controller hciN; a Unix socket there is connected to and must
// speak the same 8-byte events.
class RfkillMonitor : public QObject
{
    Q_OBJECT
public:
    explicit RfkillMonitor(QObject *parent = nullptr);
    ~RfkillMonitor() override;

    // Whether a switch of the controller (e.g. "hci0") keeps its radio off.
    // A switch whose controller is unknown counts for every controller.
    bool isBlocked(const QString &controller) const;

Q_SIGNALS:
    void changed();

private:
    struct Switch
    {
        QString controller;
        bool blocked = false;
    };

    bool open(const QByteArray &path);
    void readEvents();
    // One 8-byte event; true when it changed what isBlocked() answers.
    bool apply(const QByteArray &event);
    void close();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    // Controller names come from sysfs for the kernel's own device.
    bool m_namesFromSysfs = false;
    QByteArray m_partial;
    QHash<quint32, Switch> m_switches;
};

} // namespace Ovrin

#endif // OVRIN_RFKILLMONITOR_H
