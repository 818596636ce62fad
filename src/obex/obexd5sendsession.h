#ifndef OVRIN_OBEXD5SENDSESSION_H
#define OVRIN_OBEXD5SENDSESSION_H

#include "obexsendsession.h"

#include <QDBusMessage>
#include <QElapsedTimer>

#include <functional>
#include <optional>

class QDBusError;
class QDBusPendingCall;
class QDBusPendingCallWatcher;

namespace Ovrin {

// A send through BlueZ 5's obexd ("org.bluez.obex"): a session to the device
// (Client1.CreateSession), each file in turn given to ObjectPush1.SendFile,
// its Transfer1 object followed through obexd's signals, and the session
// removed however the send ends.
class Obexd5SendSession : public ObexSendSession
{
    Q_OBJECT
public:
    Obexd5SendSession(ObexDaemon *daemon, QObject *parent);
    ~Obexd5SendSession() override;

    bool start(const QString &address, const QStringList &files, QString *error) override;
    void cancel() override;

private Q_SLOTS:
    void propertiesChanged(const QDBusMessage &message);
    void interfacesRemoved(const QDBusMessage &message);

private:
    void daemonLeft() override;
    void sessionCreated(QDBusPendingCallWatcher *call);
    void sendNextFile();
    void fileAccepted(QDBusPendingCallWatcher *call);
    void transferEnded(bool completed);
    void countTold(qulonglong transferred);
    // Whether the failure came after the remote was silent for as long as
    // obexd waits for it: it went away rather than refused.
    bool remoteTimedOut() const;
    void callFailed(const char *method, const QDBusError &error);
    // Removes the session; whenRemoved (if any) hears whether it was still there.
    void removeSession(const std::function<void(bool)> &whenRemoved = {});
    QDBusPendingCallWatcher *watch(const QDBusPendingCall &call);

    QString m_daemon; // obexd's unique name: a restarted obexd knows nothing of us
    QStringList m_files;
    int m_nextFile = 0;
    QDBusPendingCallWatcher *m_creating = nullptr;
    QString m_session;
    QString m_transfer; // the file being sent, once obexd took it
    qulonglong m_size = 0;
    // The remote's last sign of life for the file being sent, and whether it
    // answered the file's first packet (a count moved on after the first).
    QElapsedTimer m_sinceRemoteAnswered;
    std::optional<qulonglong> m_lastCount;
    bool m_remoteAnswered = false;
};

} // namespace Ovrin

#endif // OVRIN_OBEXD5SENDSESSION_H
