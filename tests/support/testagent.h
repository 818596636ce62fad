#ifndef TESTAGENT_H
#define TESTAGENT_H

#include "scriptedagent.h"

// A scriptable "org.bluez.Agent" for testing the daemon side.
class TestAgent : public ScriptedAgent
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent")
public:
    TestAgent(const QDBusConnection &connection, const QString &path,
              SignalRecorder *recorder = nullptr, QObject *parent = nullptr);

public Q_SLOTS:
    void Release();
    QString RequestPinCode(const QDBusObjectPath &device);
    uint RequestPasskey(const QDBusObjectPath &device);
    void DisplayPasskey(const QDBusObjectPath &device, uint passkey, uchar entered);
    void RequestConfirmation(const QDBusObjectPath &device, uint passkey);
    void Authorize(const QDBusObjectPath &device, const QString &uuid);
    void ConfirmModeChange(const QString &mode);
    void Cancel();
};

#endif // TESTAGENT_H
