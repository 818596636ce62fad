#ifndef DEVICECREATION_H
#define DEVICECREATION_H

#include "agentclient.h"
#include "bluezerrors.h"
#include "simadapter.h"

#include <QList>
#include <QObject>

class SimDevice;

// One run of CreateDevice, CreatePairedDevice or a pairing the remote side
// started: paging, the link, the agent dialogue, service discovery, and the
// answer, with the signals in the order bluetoothd sends them.
class DeviceCreation : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Create, CreatePaired, Incoming };

    DeviceCreation(SimAdapter *adapter, Kind kind, const QString &address, const SimCall &call,
                   const AgentClient::Target &agent, const QString &capability,
                   SimAdapter::Done done = {});
    ~DeviceCreation() override;

    void start();
    Kind kind() const { return m_kind; }
    const QString &address() const { return m_address; }
    QString creator() const { return m_call.sender(); }
    const AgentClient::Target &agent() const { return m_agent; }

    // CancelDeviceCreation from the creator; every cancelCall is answered at the end.
    void cancel(const SimCall &cancelCall);
    // The adapter is switched off under the creation.
    void abort();
    // The creator left the bus: nobody to answer or release.
    void creatorLeft();

private:
    SimDevice *device() const;
    const DeviceSpec &spec() const;
    void linkUp();
    void askAgent(const AgentClient::Target &agent, bool fallback);
    void agentAnswered(const QDBusMessage &reply, const AgentClient::Target &agent, bool fallback);
    bool canFallBack(const QDBusMessage &reply, const AgentClient::Target &agent, bool fallback) const;
    std::optional<BluezError::Error> judge(const QDBusMessage &reply) const;
    void remoteTyped(uchar entered);
    void remoteAgreed();
    void paired();
    void servicesResolved();
    void fail(const BluezError::Error &error) { fail(error.qname(), error.qtext()); }
    void fail(const QString &errorName, const QString &text);
    // The device object went away under the creation: its link is gone.
    void linkLost();
    void releaseAgent();
    // Runs fn after ms unless the creation has moved on (cancelled, aborted) since.
    void after(int ms, std::function<void()> fn);
    void cancelPendingRequest(bool notifyAgent);
    void finish(const QString &errorName);

    SimAdapter *m_adapter;
    Kind m_kind;
    QString m_address;
    SimCall m_call;
    AgentClient::Target m_agent;
    QString m_capability;
    SimAdapter::Done m_done;
    QList<SimCall> m_cancelCalls;
    quint64 m_request = 0;
    AgentClient::Target m_requestAgent;
    bool m_linked = false;
    bool m_cancelling = false;
    bool m_released = false;
    bool m_finished = false;
    int m_generation = 0;
};

#endif // DEVICECREATION_H
