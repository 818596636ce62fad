#ifndef OBEXSERVERSERVICE_H
#define OBEXSERVERSERVICE_H

#include "agentclient.h"
#include "obexpush.h"
#include "objecttree.h"
#include "peerwatcher.h"
#include "scenario.h"
#include "simcall.h"
#include "simservice.h"

#include <QJsonArray>
#include <QPointer>

#include <functional>
#include <memory>

class CallLog;
class FaultPlan;
class ObexPush;
class ObexServerManager;

// obexd 0.45: "org.openobex" on the session bus. "org.openobex.Manager" at "/"
// keeps the one agent that authorizes incoming pushes; every incoming OPP
// connection (started by a test as a push) is a "/transferN" object with
// "org.openobex.Transfer" until the remote disconnects.
class ObexServerService : public SimService
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &outcome)>;

    ObexServerService(const QString &busAddress, CallLog *log, FaultPlan *faults,
                      QObject *parent = nullptr);
    ~ObexServerService() override;

    QJsonObject state() const override;

    void load(const ObexSpec &options);
    ObexSpec &options() { return m_options; }
    const ObexSpec &options() const { return m_options; }
    AgentClient::Target agent() const { return m_agent; }
    // obexd asks one agent at a time; a push arriving meanwhile is refused.
    bool isAuthorizing() const;
    // The agent is gone: unregistered, or its owner left the bus.
    void dropAgent();

    // A remote device pushes one or more objects over one connection. done
    // gets the outcome ("" when every object was stored) once the remote has
    // disconnected. Returns false with a reason when the push cannot start.
    bool push(const QJsonObject &json, Done done, QString *transferPath, QString *error);
    // The same for objects already read; receiver is the local controller it
    // arrives at ("" for the first). nullptr with a reason when it cannot start.
    ObexPush *push(const QString &address, const QString &receiver,
                   const QList<ObexPush::Object> &objects, int speed, Done done, QString *error);
    ObexPush *transfer(const QString &path) const;
    QStringList transferPaths() const;

    // Called by pushes. The push machinery is shared by both obexd dialects;
    // what each tells its clients on the bus is in these hooks.
    void pushEnded(ObexPush *push);
    void recordReceived(const QJsonObject &entry);
    virtual QString rootFolder() const { return m_options.effectiveRootFolder(); }
    // obexd 5 creates (truncates) the file before it checks the folder.
    virtual bool createsFileBeforeRootCheck() const { return false; }
    // Whether an object without a Length that the sender cuts short is kept, as complete.
    virtual bool keepsCutShortObjects() const { return false; }
    // The root a received file's folder must lie in, as obexd compares it.
    virtual QString rootAsCompared() const;
    virtual QString authorizeMethod() const;
    virtual QVariantList authorizeArguments(const ObexPush *push) const;
    // The PUT headers of the next object have been read.
    virtual void objectHeaders(ObexPush *) { }
    virtual void objectStarted(ObexPush *push);
    virtual void objectProgress(ObexPush *push, qint64 done);
    virtual void objectEnded(ObexPush *push, bool success);
    // Whether call may cancel a push; answers the call with an error if not.
    virtual bool mayCancel(const SimCall &call) const;

protected:
    struct Errors
    {
        QString prefix; // "org.openobex.Error."
        QString notAuthorized; // its text
    };
    ObexServerService(const Identity &identity, const Errors &errors, CallLog *log,
                      FaultPlan *faults, QObject *parent);
    void started(const QDBusConnection &connection) override;
    void stopped() override;
    void registerAgent(const SimCall &call);
    void unregisterAgent(const SimCall &call);
    // Each connection's object path, and its objects on and off the bus.
    virtual QString nextPushPath();
    virtual void pushAdded(ObexPush *push);
    virtual void pushRemoved(ObexPush *push);
    const QList<ObexPush *> &pushes() const { return m_pushes; }

private:
    bool checkRunning(QString *error) const;
    void emitManagerSignal(const QString &name, const QVariantList &args);
    void endAllPushes(const QString &outcome, bool quietly);
    void replyError(const SimCall &call, const char *name, const QString &text) const;

    Errors m_errors;

    ObexSpec m_options;
    std::unique_ptr<ObexServerManager> m_manager;
    QList<ObexPush *> m_pushes;
    QJsonArray m_received;
    AgentClient::Target m_agent;
    int m_nextConnectionId = 1;

    friend class ObexServerManager;
};

#endif // OBEXSERVERSERVICE_H
