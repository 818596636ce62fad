#ifndef OBEXTESTAGENT_H
#define OBEXTESTAGENT_H

#include "scriptedagent.h"

// A scriptable "org.openobex.Agent" for testing the obexd side, with the
// methods of both roles (server: Authorize, Cancel; client: Request, Progress,
// Complete, Error, Release), as the library's agent has them.
//
// Unless told otherwise, Authorize answers with the remote's proposed name
// (stored in obexd's root folder) and Request with "" (keep the name).
class ObexTestAgent : public ScriptedAgent
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.openobex.Agent")
public:
    ObexTestAgent(const QDBusConnection &connection, const QString &path,
                  SignalRecorder *recorder = nullptr, QObject *parent = nullptr);

    // org.openobex.Manager.RegisterAgent / UnregisterAgent on obexd; the error
    // name, "" on success.
    QString registerWithObexd();
    QString unregisterFromObexd();

public Q_SLOTS:
    QString Authorize(const QDBusObjectPath &transfer, const QString &address, const QString &name,
                      const QString &type, int length, int time);
    void Cancel();
    QString Request(const QDBusObjectPath &transfer);
    void Progress(const QDBusObjectPath &transfer, qulonglong transferred);
    void Complete(const QDBusObjectPath &transfer);
    void Error(const QDBusObjectPath &transfer, const QString &message);
    void Release();

private:
    QString managerCall(const QString &member);
};

#endif // OBEXTESTAGENT_H
