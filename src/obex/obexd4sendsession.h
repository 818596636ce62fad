#ifndef OVRIN_OBEXD4SENDSESSION_H
#define OVRIN_OBEXD4SENDSESSION_H

#include "obexsendsession.h"

#include <QElapsedTimer>

class QDBusPendingCallWatcher;

namespace Ovrin {

class BluetoothObexAgent;

// A send through BlueZ 4's obex-client ("org.openobex.client"): one
// SendFiles call with a client agent of ours, which obex-client asks before
// each file and tells of its progress and end.
class Obexd4SendSession : public ObexSendSession
{
    Q_OBJECT
public:
    Obexd4SendSession(ObexDaemon *daemon, QObject *parent);
    ~Obexd4SendSession() override;

    bool start(const QString &address, const QStringList &files, QString *error) override;
    void cancel() override;

private:
    void daemonLeft() override;
    void authorizationRequested(const QString &transfer, const QString &name, qulonglong length);
    void transferProgress(const QString &transfer, qulonglong transferred, qulonglong total);
    void transferCompleted(const QString &transfer);
    void transferFailed(const QString &transfer, const QString &error);
    bool isCurrent(const QString &transfer, const char *what) const;
    void callFinished(QDBusPendingCallWatcher *call);
    static bool isRefusal(const QString &error);

    BluetoothObexAgent *m_agent = nullptr;
    QStringList m_files;
    QString m_transfer; // the running one
    QElapsedTimer m_sinceProgress;
};

} // namespace Ovrin

#endif // OVRIN_OBEXD4SENDSESSION_H
