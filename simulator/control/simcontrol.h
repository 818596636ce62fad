#ifndef SIMCONTROL_H
#define SIMCONTROL_H

#include "liar.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QJsonObject>
#include <QObject>

#include <functional>
#include <optional>

class ClientTransfer;
class ObexPush;
class Simulator;

// "com.brivo.BtSim" at "/com/brivo/BtSim" on the session bus: lets tests and
// the demo change the world, plan faults, restart daemons and read the log.
// Every method acts and replies at once, so no caller ever waits on us while
// we wait on it.
class SimControl : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brivo.BtSim")
public:
    SimControl(Simulator *simulator, const QDBusConnection &connection, QObject *parent = nullptr);
    bool publish(QString *error);

public Q_SLOTS:
    void LoadScenario(const QString &json);
    void LoadScenarioFile(const QString &fileName);
    QString State();
    void AddDevice(const QString &json);
    void ChangeDevice(const QString &address, const QString &json);
    void RemoveDevice(const QString &address);
    void ChangeAdapter(const QString &json);
    void SetTiming(const QString &json);
    void SetRawProperty(const QString &target, const QString &name, const QDBusVariant &value);
    void ReportDeviceFound(const QString &address);
    void FailNext(const QString &method, const QString &errorName, const QString &errorText);
    void NeverAnswerNext(const QString &method);
    void IgnoreNext(const QString &method, bool answer);
    void DelayNext(const QString &method, int msecs);
    void ClearFaults();
    void DropService(const QString &name);
    void RestoreService(const QString &name);
    QString CallLog();
    void ClearCallLog();
    QString PendingAgentCalls();
    QString AgentAnswers();
    uint RequestAuthorization(const QString &address, const QString &uuid);
    uint IncomingPairing(const QString &address);
    void SetObexOptions(const QString &json);
    uint PushFile(const QString &json, QString &transfer);
    void StallTransfer(const QString &transfer);
    void ResumeTransfer(const QString &transfer);
    void FailTransfer(const QString &transfer, const QString &error);
    void SetTransferSpeed(const QString &transfer, int bytesPerSecond);
    void SetSendOutcome(const QString &file, const QString &outcome);
    void ActivateService(const QString &name);
    void SetActivatable(const QString &name, bool activatable);
    // The daemons lie: count signals of every kind clients listen to, picked
    // from seed; returns JSON, how many lies of each kind were sent.
    QString TellLies(uint count, uint seed);
    void LieInReplies(bool lying, uint seed);
    void Quit();

Q_SIGNALS:
    void RequestFinished(uint ticket, const QString &errorName);

private:
    bool check(bool ok, const QString &error);
    std::optional<QJsonObject> parseObject(const QString &json);
    // Runs push or send on the transfer at path (obexd's or obex-client's).
    bool withTransfer(const QString &transfer, const std::function<void(ObexPush *)> &push,
                      const std::function<void(ClientTransfer *)> &send);
    uint finishLater(const std::function<bool(std::function<void(const QString &)>, QString *)> &start);

    Simulator *m_simulator;
    QDBusConnection m_connection;
    Liar m_liar;
    uint m_nextTicket = 1;
};

#endif // SIMCONTROL_H
