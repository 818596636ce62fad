#ifndef OVRIN_OBEXDAEMON_H
#define OVRIN_OBEXDAEMON_H

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

namespace Ovrin {

// Which OBEX daemon serves one side of object exchange on the session bus:
// BlueZ 4's obexd ("org.openobex" receives, "org.openobex.client" sends) or
// BlueZ 5's ("org.bluez.obex" does both). The bus name is the generation, so
// a daemon that appears is known at once; which one runs when following
// starts is asked with one call (ListNames), never by introspection.
class ObexDaemon : public QObject
{
    Q_OBJECT
public:
    enum Side { Receiving, Sending };
    enum Generation { None, Obexd4, Obexd5 };

    explicit ObexDaemon(Side side, QObject *parent = nullptr);

    // The generation on the bus now; the later one when both are.
    Generation generation() const { return m_generation; }
    // Its bus name; empty while none runs.
    QString service() const { return serviceOf(m_side, m_generation); }
    static QString serviceOf(Side side, Generation generation);

    // Asks the bus to start a daemon for this side: the generation that ran
    // last in this process first, then the other. The one that started (its
    // appeared() follows), or None.
    Generation start();

    static QDBusConnection bus() { return QDBusConnection::sessionBus(); }

Q_SIGNALS:
    // A daemon of generation took its name; generation() tells it already.
    void appeared(Ovrin::ObexDaemon::Generation generation);
    // The daemon of generation left; generation() no longer tells it.
    void left(Ovrin::ObexDaemon::Generation generation);

private:
    void ownerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);
    Generation generationOf(const QString &service) const;

    Side m_side;
    Generation m_generation = None;
    bool m_running[3] = {};
    QDBusServiceWatcher *m_watcher;
};

} // namespace Ovrin

#endif // OVRIN_OBEXDAEMON_H
