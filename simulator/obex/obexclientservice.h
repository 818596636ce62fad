#ifndef OBEXCLIENTSERVICE_H
#define OBEXCLIENTSERVICE_H

#include "agentclient.h"
#include "objecttree.h"
#include "peerwatcher.h"
#include "scenario.h"
#include "simcall.h"
#include "simservice.h"

#include <QHash>
#include <QJsonArray>

#include <memory>
#include <optional>

class BluetoothService;
class CallLog;
class ClientTransfer;
class FaultPlan;
class ObexClientManager;
class ObexServerService;
class SendSession;

// What the remote does with one file that obex-client sends.
struct SendOutcome
{
    enum class Kind { Ok, Stall, Timeout, Refuse, Message, Disconnect };
    Kind kind = Kind::Ok;
    int response = 0; // Refuse: OBEX response code without the final bit (0x43)
    QString message; // Message: the agent's Error text as it is

    // "ok", "stall", "timeout", "disconnect" (the remote drops the link), an
    // OBEX response name ("forbidden", ...) or code ("0x43"), or
    // "message:<text>".
    static std::optional<SendOutcome> parse(const QString &text, QString *error);
};

// obex-client 0.45: "org.openobex.client" on the session bus. "org.openobex.Client"
// at "/" sends files (SendFiles) over OPP sessions that ask BlueZ for an adapter
// session first; each queued file is an "/org/openobex/transferN" object.
class ObexClientService : public SimService
{
    Q_OBJECT
public:
    ObexClientService(const QString &busAddress, const QString &systemBusAddress,
                      BluetoothService *bluez, CallLog *log, FaultPlan *faults,
                      QObject *parent = nullptr);
    ~ObexClientService() override;

    QJsonObject state() const override;

    void load(const ObexSpec &options);
    ObexSpec &options() { return m_options; }
    BluetoothService *bluez() const { return m_bluez; }
    // The daemon's own connection to the system bus, for BlueZ.
    QDBusConnection systemBus() const;

    virtual ClientTransfer *transfer(const QString &path) const;
    // Plans what the remote does with a file: file is a local path, a bare
    // file name, or "" for whichever file is sent next.
    bool setSendOutcome(const QString &file, const QString &outcome, QString *error);
    SendOutcome takeOutcome(const QString &fileName);
    // The remote's answer in the words of this obex-client version.
    QString refusalText(int response) const;

    void recordSent(const QJsonObject &entry);

    // Called by sessions and transfers. The machinery is shared by both obexd
    // dialects; what each tells its clients on the bus is in these hooks.
    virtual QString nextTransferPath(const SendSession *session);
    virtual void transferAdded(ClientTransfer *transfer);
    virtual void transferRemoved(ClientTransfer *transfer);
    // The link is up: the call that asked for the session is answered.
    virtual void sessionConnected(SendSession *session, const SimCall &call);
    virtual void sessionEnded(SendSession *session);
    virtual void failCall(const SimCall &call, const QString &text);
    // obex-client 0.45 ends a session after its last file; obexd 5 keeps it.
    virtual bool endsWhenIdle() const { return true; }
    // obex-client 0.45 beside BlueZ 4 holds an adapter session for each link.
    virtual bool needsAdapterSession() const;
    // The server that receives what is sent to destination when that is a
    // controller of this machine; nullptr for a remote device.
    virtual ObexServerService *receiverFor(const QString &destination) const
    {
        Q_UNUSED(destination)
        return nullptr;
    }
    // Whether call may cancel a transfer of session; answers the call with an error if not.
    virtual bool mayCancel(const SimCall &call, const SendSession *session) const;

protected:
    void started(const QDBusConnection &connection) override;
    void stopping() override;
    void stopped() override;

    void adopt(SendSession *session) { m_sessions.append(session); }
    void endAllSessions();

private:
    void sendFiles(const SimCall &call);

    QString m_systemBusAddress;
    BluetoothService *m_bluez;
    ObexSpec m_options;
    std::unique_ptr<ObexClientManager> m_manager;
    QList<SendSession *> m_sessions;
    QList<QPair<QString, SendOutcome>> m_outcomes;
    QJsonArray m_sent;
    QString m_systemConnectionName;
    int m_nextTransfer = 0;

    friend class ObexClientManager;
};

#endif // OBEXCLIENTSERVICE_H
