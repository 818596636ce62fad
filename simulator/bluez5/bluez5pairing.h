#ifndef BLUEZ5PAIRING_H
#define BLUEZ5PAIRING_H

#include "agentclient.h"
#include "bluezerrors.h"
#include "controlledadapter.h"
#include "simcall.h"

#include <QObject>

class Bluez5Device;

// One pairing of bluetoothd 5: Device1.Pair from a client, or a pairing the
// remote side started. The link comes up (Connected), the agent fixed at the
// start is asked with Agent1 requests as the remote's pairing method wants,
// then Bonded, service discovery (UUIDs, ServicesResolved), Paired and the
// reply. Failures answer with the errors of 5.66's kernel status mapping.
class Bluez5Pairing : public QObject
{
    Q_OBJECT
public:
    // call: the Pair call, null for a pairing the remote started (done reports it).
    Bluez5Pairing(Bluez5Device *device, const SimCall &call, const AgentClient::Target &agent,
                  const QString &capability, ControlledAdapter::Done done = {});
    ~Bluez5Pairing() override;

    void start();
    bool isIncoming() const { return m_call.isNull(); }
    // The key is stored: only the service search is left, and nothing cancels the pairing.
    bool isBonded() const { return m_bonded; }
    QString caller() const { return m_call.sender(); }
    QString capability() const { return m_capability; }
    // Both ends of a pairing between two controllers of this daemon: each
    // side's user answers, and the bond is made once both have agreed. A
    // link that fails on one side fails the other.
    void pairWith(Bluez5Pairing *peer);
    // The remote refused before anyone was asked (errorName from its side).
    void remoteRefused(const QString &errorName);
    // Ends the pairing now with error (CancelPairing, Disconnect, power off, removal).
    void fail(const BluezError::Error &error) { fail(error.qname(), error.qtext()); }
    void fail(const QString &errorName, const QString &text);
    // The Pair caller left the bus: nobody to answer.
    void callerLeft();

private:
    void linkUp();
    void runMethod();
    void askAgentForMethod();
    // The autopair plugin's fixed PIN number attempt, or the agent once all failed.
    void tryPluginPin(int attempt);
    void remoteTyped(uint entered);
    void displayPinCode();
    void askAgent(const QString &member, const QVariantList &args);
    void agentAnswered(const QDBusMessage &reply, const QString &member);
    // Our side's user agreed (or nobody had to be asked), or said No.
    void ourSideAnswered(bool agreed);
    void remoteAgreed();
    // Drops the link with the other end; returns it.
    Bluez5Pairing *unpair();
    void bonded();
    void servicesResolved();
    void cancelAgentRequest();
    void after(int ms, std::function<void()> fn);
    void finish(const QString &errorName);

    Bluez5Device *m_device;
    SimCall m_call;
    AgentClient::Target m_agent;
    QString m_capability;
    ControlledAdapter::Done m_done;
    Bluez5Pairing *m_peer = nullptr;
    enum class Answer { None, Yes, No };
    Answer m_answer = Answer::None;
    quint64 m_request = 0;
    int m_generation = 0;
    bool m_finished = false;
    bool m_bonded = false;
};

#endif // BLUEZ5PAIRING_H
