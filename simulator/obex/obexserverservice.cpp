#include "obexserverservice.h"

#include "obexpush.h"
#include "simobject.h"

#include <QDBusObjectPath>
#include <QFileInfo>

namespace {
const QString managerInterface = QStringLiteral("org.openobex.Manager");
}

// "org.openobex.Manager" at "/".
class ObexServerManager : public SimObject
{
public:
    explicit ObexServerManager(ObexServerService *service)
        : SimObject(QStringLiteral("/"))
    {
        addMethod(managerInterface, QStringLiteral("RegisterAgent"), QStringLiteral("o"),
                  [service](const SimCall &call) { service->registerAgent(call); });
        addMethod(managerInterface, QStringLiteral("UnregisterAgent"), QStringLiteral("o"),
                  [service](const SimCall &call) { service->unregisterAgent(call); });
    }
    QStringList interfaces() const override { return { managerInterface }; }
};

ObexServerService::ObexServerService(const QString &busAddress, CallLog *log, FaultPlan *faults,
                                     QObject *parent)
    : ObexServerService({ QStringLiteral("org.openobex"), QStringLiteral("session"), busAddress,
                          QStringLiteral("org.openobex.Agent"), QStringLiteral("obexd") },
                        { QStringLiteral("org.openobex.Error."), QStringLiteral("Not authorized") },
                        log, faults, parent)
{
}

ObexServerService::ObexServerService(const Identity &identity, const Errors &errors, CallLog *log,
                                     FaultPlan *faults, QObject *parent)
    : SimService(identity, log, faults, parent)
    , m_errors(errors)
{
    setActivatable(true);
    connect(peers(), &PeerWatcher::peerLeft, this, [this](const QString &name) {
        // The agent is bound to its owner's unique name.
        if (m_agent.owner == name)
            dropAgent();
    });
}

ObexServerService::~ObexServerService()
{
    stop();
}

void ObexServerService::started(const QDBusConnection &)
{
    m_nextConnectionId = 1;
    m_manager = std::make_unique<ObexServerManager>(this);
    tree()->add(m_manager.get());
}

void ObexServerService::stopped()
{
    // The agent registration and the connections with remote devices go
    // with the daemon.
    endAllPushes(QStringLiteral("Disconnected"), true);
    m_manager.reset();
    m_agent = {};
}

void ObexServerService::load(const ObexSpec &options)
{
    m_options = options;
    // A new world: connections of the old one end without a word.
    agents()->forgetAll();
    endAllPushes(QStringLiteral("Disconnected"), true);
    m_received = {};
}

void ObexServerService::endAllPushes(const QString &outcome, bool quietly)
{
    const QList<ObexPush *> pushes = m_pushes;
    m_pushes.clear();
    for (ObexPush *push : pushes) {
        if (quietly)
            push->endQuietly(outcome);
        pushRemoved(push);
        push->deleteLater();
    }
}

bool ObexServerService::isAuthorizing() const
{
    for (ObexPush *push : m_pushes) {
        if (push->isAuthorizing())
            return true;
    }
    return false;
}

QJsonObject ObexServerService::state() const
{
    QJsonArray transfers;
    for (ObexPush *push : m_pushes)
        transfers.append(push->toJson());
    QJsonObject json { { "running", isRunning() },       { "activatable", isActivatable() },
                       { "activations", activations() }, { "options", m_options.toJson() },
                       { "transfers", transfers },       { "received", m_received } };
    json.insert(QStringLiteral("agent"),
                m_agent.isValid() ? QJsonValue(
                    QJsonObject { { "owner", m_agent.owner }, { "path", m_agent.path } })
                                  : QJsonValue());
    return json;
}

void ObexServerService::registerAgent(const SimCall &call)
{
    if (m_agent.isValid()) {
        replyError(call, "AlreadyExists", QStringLiteral("Agent already exists"));
        return;
    }
    m_agent = { call.sender(), call.argument(0).value<QDBusObjectPath>().path() };
    peers()->watch(call.sender());
    call.reply();
}

void ObexServerService::unregisterAgent(const SimCall &call)
{
    const QString path = call.argument(0).value<QDBusObjectPath>().path();
    if (!m_agent.isValid() || m_agent.path != path) {
        replyError(call, "DoesNotExist", QStringLiteral("Agent does not exist"));
        return;
    }
    if (m_agent.owner != call.sender()) {
        replyError(call, "NotAuthorized", m_errors.notAuthorized);
        return;
    }
    // obexd has no Release for its agent.
    dropAgent();
    call.reply();
}

void ObexServerService::dropAgent()
{
    m_agent = {};
    // The question open with it can no longer be answered: the push is refused.
    const QList<ObexPush *> pushes = m_pushes;
    for (ObexPush *push : pushes) {
        if (push->isAuthorizing())
            push->refuse();
    }
}

bool ObexServerService::push(const QJsonObject &json, Done done, QString *transferPath,
                             QString *error)
{
    if (!checkRunning(error))
        return false;
    const QString address = normalizedAddress(json.value(QLatin1String("address")).toString());
    if (address.isEmpty()) {
        *error = QStringLiteral("a push needs the sender's \"address\"");
        return false;
    }
    auto objects = ObexPush::objectsFromJson(json, error);
    if (!objects)
        return false;
    const QJsonValue speed = json.value(QLatin1String("speed"));
    ObexPush *started = push(address, QString(), *objects, speed.isDouble() ? speed.toInt() : -1,
                             std::move(done), error);
    if (started)
        *transferPath = started->path();
    return started;
}

bool ObexServerService::checkRunning(QString *error) const
{
    if (!isRunning())
        *error = QStringLiteral("%1 is not running").arg(serviceName());
    return isRunning();
}

ObexPush *ObexServerService::push(const QString &address, const QString &receiver,
                                  const QList<ObexPush::Object> &objects, int speed, Done done,
                                  QString *error)
{
    if (!checkRunning(error))
        return nullptr;
    auto *push = new ObexPush(this, nextPushPath(), address, objects, speed, std::move(done));
    push->setReceiver(receiver);
    m_pushes.append(push);
    pushAdded(push);
    push->start();
    return push;
}

QStringList ObexServerService::transferPaths() const
{
    QStringList paths;
    for (ObexPush *push : m_pushes)
        paths.append(push->path());
    return paths;
}

ObexPush *ObexServerService::transfer(const QString &path) const
{
    for (ObexPush *push : m_pushes) {
        if (push->path() == path)
            return push;
    }
    return nullptr;
}

void ObexServerService::emitManagerSignal(const QString &name, const QVariantList &args)
{
    tree()->emitSignal(QStringLiteral("/"), managerInterface, name, args);
}

void ObexServerService::pushEnded(ObexPush *push)
{
    // The remote disconnected: "/transferN" goes away.
    m_pushes.removeAll(push);
    pushRemoved(push);
    push->deleteLater();
}

QString ObexServerService::nextPushPath()
{
    // 0.43+: /transferN counts the connections since the daemon started.
    return QStringLiteral("/transfer%1").arg(m_nextConnectionId++);
}

void ObexServerService::pushAdded(ObexPush *push)
{
    tree()->add(push);
}

void ObexServerService::pushRemoved(ObexPush *push)
{
    tree()->remove(push);
}

QString ObexServerService::rootAsCompared() const
{
    return QFileInfo(rootFolder()).canonicalFilePath();
}

QString ObexServerService::authorizeMethod() const
{
    return QStringLiteral("Authorize");
}

QVariantList ObexServerService::authorizeArguments(const ObexPush *push) const
{
    const ObexPush::Object &object = *push->currentObject();
    return { QVariant::fromValue(QDBusObjectPath(push->path())),
             push->address(),
             object.name,
             object.type,
             int(object.announced),
             0 };
}

void ObexServerService::objectStarted(ObexPush *push)
{
    emitManagerSignal(QStringLiteral("TransferStarted"),
                      { QVariant::fromValue(QDBusObjectPath(push->path())) });
}

void ObexServerService::objectProgress(ObexPush *push, qint64 done)
{
    push->emitSignal(QStringLiteral("org.openobex.Transfer"), QStringLiteral("Progress"),
                     { int(push->currentObject()->announced), int(done) });
}

void ObexServerService::objectEnded(ObexPush *push, bool success)
{
    emitManagerSignal(QStringLiteral("TransferCompleted"),
                      { QVariant::fromValue(QDBusObjectPath(push->path())), success });
}

bool ObexServerService::mayCancel(const SimCall &call) const
{
    if (m_agent.isValid() && m_agent.owner == call.sender())
        return true;
    replyError(call, "NotAuthorized", m_errors.notAuthorized);
    return false;
}

void ObexServerService::replyError(const SimCall &call, const char *name, const QString &text) const
{
    call.replyError(m_errors.prefix + QLatin1String(name), text);
}

void ObexServerService::recordReceived(const QJsonObject &entry)
{
    m_received.append(entry);
    while (m_received.size() > 100)
        m_received.removeFirst();
}
