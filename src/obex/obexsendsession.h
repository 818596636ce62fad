#ifndef OVRIN_OBEXSENDSESSION_H
#define OVRIN_OBEXSENDSESSION_H

#include "obexdaemon.h"

#include <QDBusError>
#include <QObject>
#include <QStringList>

namespace Ovrin {

// One send of files to one device, spoken in the words of the obexd that
// runs: how a send is asked for, followed, cancelled and cleaned up. The
// files go one after another, each announced, followed and completed; the
// first failure ends the send. After cancel() or a failure it says nothing more.
class ObexSendSession : public QObject
{
    Q_OBJECT
public:
    // Serves the daemon of generation that daemon follows: the send fails
    // (with an empty text) when that daemon leaves the bus.
    ObexSendSession(ObexDaemon *daemon, ObexDaemon::Generation generation, QObject *parent);

    // Starts sending files (existing local paths) to the device at address;
    // false, with error, when the send cannot start at all.
    virtual bool start(const QString &address, const QStringList &files, QString *error) = 0;
    // Stops the send: the running file is cancelled, the others are not sent.
    virtual void cancel() = 0;

Q_SIGNALS:
    // file (one of those given to start()) of size bytes is being sent.
    void fileStarted(const QString &file, qulonglong size);
    // Bytes of the running file handed over so far, of total.
    void progress(qulonglong transferred, qulonglong total);
    // The running file reached the remote completely.
    void fileCompleted();
    // The send failed: error is the daemon's account (empty when the daemon
    // left); refused tells whether the remote refused a file, rather than
    // the link failing.
    void failed(const QString &error, bool refused);

protected:
    // The daemon left: nothing of the send is left to talk to.
    virtual void daemonLeft() = 0;
    // Whether the send has failed or was cancelled.
    bool hasEnded() const { return m_ended; }
    void setEnded() { m_ended = true; }
    // Ends the send as failed, once.
    void fail(const QString &error, bool refused);
    // Ends the send as failed by a call to the daemon (method) that failed.
    void callFailed(const char *method, const QDBusError &error, bool refused);

private:
    ObexDaemon::Generation m_generation;
    bool m_ended = false;
};

} // namespace Ovrin

#endif // OVRIN_OBEXSENDSESSION_H
