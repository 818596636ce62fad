#include "obexserverservice.h"

#include "obexerrors.h"
#include "obexpush.h"
#include "simobject.h"

#include <QDBusObjectPath>

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
    : SimService(parent)
    , m_busAddress(busAddress)
    , m_tree(new ObjectTree(QStringLiteral("session"), serviceName(), log, faults, this))
    , m_agents(new AgentClient(QStringLiteral("org.openobex.Agent"), this))
    , m_peers(new PeerWatcher(this))
{
    m_agents->setService(serviceName());
    setActivatable(true);
    connect(m_peers, &PeerWatcher::peerLeft, this, [this](const QString &name) {
        // The agent is bound to its owner's unique name.
        if (m_agent.owner == name)
            m_agent = {};
    });
}

ObexServerService::~ObexServerService()
{
    stop();
}

bool ObexServerService::start(QString *error)
{
    if (m_running)
        return true;
    m_connectionName = QStringLiteral("btsim-obexd-%1").arg(m_restarts);
    QDBusConnection connection = QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    if (!connection.isConnected()) {
        *error = QStringLiteral("cannot connect to %1: %2")
                     .arg(m_busAddress, connection.lastError().message());
        return false;
    }
    m_agents->setConnection(connection);
    m_peers->setConnection(connection);
    m_tree->attachTo(connection);
    m_nextConnectionId = 1;
    m_manager = std::make_unique<ObexServerManager>(this);
    m_tree->add(m_manager.get());
    if (!connection.registerService(serviceName())) {
        *error = QStringLiteral("cannot own %1: %2")
                     .arg(serviceName(), connection.lastError().message());
        stop();
        return false;
    }
    m_running = true;
    return true;
}

void ObexServerService::stop()
{
    if (m_connectionName.isEmpty())
        return;
    // The daemon dies: its connection closes, its agent registration and its
    // connections with remote devices go with it.
    m_agents->forgetAll();
    m_tree->detach();
    const QDBusConnection none { QString() };
    m_agents->setConnection(none);
    m_peers->setConnection(none);
    QDBusConnection(m_connectionName).unregisterService(serviceName());
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName.clear();
    endAllPushes(QStringLiteral("Disconnected"), true);
    m_manager.reset();
    m_agent = {};
    m_running = false;
    ++m_restarts;
}

void ObexServerService::load(const ObexSpec &options)
{
    m_options = options;
    // A new world: connections of the old one end without a word.
    m_agents->forgetAll();
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
        m_tree->remove(push);
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
    QJsonObject json { { "running", m_running },         { "activatable", isActivatable() },
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
        ObexError::agentAlreadyExists(call);
        return;
    }
    m_agent = { call.sender(), call.argument(0).value<QDBusObjectPath>().path() };
    m_peers->watch(call.sender());
    call.reply();
}

void ObexServerService::unregisterAgent(const SimCall &call)
{
    const QString path = call.argument(0).value<QDBusObjectPath>().path();
    if (!m_agent.isValid() || m_agent.path != path) {
        ObexError::agentDoesNotExist(call);
        return;
    }
    if (m_agent.owner != call.sender()) {
        ObexError::notAuthorized(call);
        return;
    }
    // obexd has no Release for its agent.
    m_agent = {};
    call.reply();
}

bool ObexServerService::push(const QJsonObject &json, Done done, QString *transferPath,
                             QString *error)
{
    if (!m_running) {
        *error = QStringLiteral("%1 is not running").arg(serviceName());
        return false;
    }
    const QString address = normalizedAddress(json.value(QLatin1String("address")).toString());
    if (address.isEmpty()) {
        *error = QStringLiteral("a push needs the sender's \"address\"");
        return false;
    }
    auto objects = ObexPush::objectsFromJson(json, error);
    if (!objects)
        return false;
    const QJsonValue speed = json.value(QLatin1String("speed"));
    // 0.43+: /transferN counts the connections since the daemon started.
    const QString path = QStringLiteral("/transfer%1").arg(m_nextConnectionId++);
    auto *push = new ObexPush(this, path, address, *objects, speed.isDouble() ? speed.toInt() : -1,
                              std::move(done));
    m_pushes.append(push);
    m_tree->add(push);
    *transferPath = path;
    push->start();
    return true;
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
    m_tree->emitSignal(QStringLiteral("/"), managerInterface, name, args);
}

void ObexServerService::pushEnded(ObexPush *push)
{
    // The remote disconnected: "/transferN" goes away.
    m_pushes.removeAll(push);
    m_tree->remove(push);
    push->deleteLater();
}

void ObexServerService::recordReceived(const QJsonObject &entry)
{
    m_received.append(entry);
    while (m_received.size() > 100)
        m_received.removeFirst();
}
