#include "obex5service.h"

#include "bluetoothservice.h"
#include "obex5client.h"
#include "obex5manager.h"
#include "obex5session.h"
#include "obex5transfer.h"
#include "obexpush.h"
#include "objectmanager.h"
#include "objecttree.h"
#include "peerwatcher.h"
#include "propertiesbatcher.h"
#include "sendhook.h"

#include <QDBusObjectPath>
#include <QDir>
#include <QJsonArray>

Obex5Service::Obex5Service(const QString &busAddress, BluetoothService *bluez, CallLog *log,
                           FaultPlan *faults, QObject *parent)
    : ObexServerService(
        { QStringLiteral("org.bluez.obex"), QStringLiteral("session"), busAddress,
          QStringLiteral("org.bluez.obex.Agent1"), QStringLiteral("obexd5") },
        { QStringLiteral("org.bluez.obex.Error."), QStringLiteral("Not authorized") }, log, faults,
        parent)
    , m_bluez(bluez)
    , m_batcher(new PropertiesBatcher(this))
    , m_client(new Obex5Client(bluez, this, log, faults, this))
{
    connect(peers(), &PeerWatcher::peerLeft, m_client, &Obex5Client::ownerLeft);
}

Obex5Service::~Obex5Service()
{
    stop();
}

void Obex5Service::started(const QDBusConnection &connection)
{
    // Nothing leaves obexd before the property changes queued ahead of it.
    m_connectionName = connection.name();
    SendHook::set(m_connectionName, [this]() { m_batcher->flush(); });
    m_nextSession = 1;
    m_nextTransfer = 0;
    QDir().mkpath(rootFolder());
    m_objectManager = std::make_unique<ObjectManager>(tree(), m_batcher);
    tree()->add(m_objectManager.get());
    m_manager = std::make_unique<Obex5Manager>(
        Obex5Manager::Handlers { [this](const SimCall &call) { registerAgent(call); },
                                 [this](const SimCall &call) { unregisterAgent(call); },
                                 [this](const SimCall &call) { m_client->createSession(call); },
                                 [this](const SimCall &call) {
                                     m_client->removeSession(call);
                                 } });
    m_objectManager->add(m_manager.get());
    m_client->attach(m_objectManager.get(), m_batcher, peers());
}

void Obex5Service::stopped()
{
    SendHook::clear(m_connectionName);
    m_client->detach();
    ObexServerService::stopped();
    m_objectManager->forgetAll();
    m_objects.clear();
    m_manager.reset();
    m_objectManager.reset();
    m_batcher->clear();
}

QJsonObject Obex5Service::state() const
{
    QJsonObject json = ObexServerService::state();
    json.insert(QStringLiteral("dialect"), 5);
    QJsonArray sessions;
    for (const auto &[push, objects] : m_objects)
        sessions.append(objects.session->path());
    json.insert(QStringLiteral("sessions"), sessions);
    json.insert(QStringLiteral("client"), m_client->state());
    return json;
}

QString Obex5Service::rootFolder() const
{
    // The stock unit passes no -r: $XDG_CACHE_HOME/obexd.
    if (!options().rootFolder.isEmpty())
        return options().rootFolder;
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/obexd");
}

QString Obex5Service::rootAsCompared() const
{
    // obexd 5.66 compares the folder's real path with its root as given:
    // a root reached through a symbolic link takes nothing.
    return rootFolder();
}

QString Obex5Service::authorizeMethod() const
{
    return QStringLiteral("AuthorizePush");
}

QVariantList Obex5Service::authorizeArguments(const ObexPush *push) const
{
    return { QVariant::fromValue(QDBusObjectPath(push->path())) };
}

bool Obex5Service::isSinglePacket(const ObexPush *push) const
{
    return push->currentObject()->contents.size() <= options().packetSize;
}

void Obex5Service::objectHeaders(ObexPush *push)
{
    m_objects.at(push).transfer->headersRead();
}

void Obex5Service::objectStarted(ObexPush *push)
{
    m_objects.at(push).transfer->started(isSinglePacket(push));
}

void Obex5Service::objectProgress(ObexPush *push, qint64)
{
    m_objects.at(push).transfer->progressed();
}

void Obex5Service::objectEnded(ObexPush *push, bool success)
{
    m_objects.at(push).transfer->ended(success, isSinglePacket(push));
}

bool Obex5Service::mayCancel(const SimCall &call) const
{
    if (agent().isValid())
        return ObexServerService::mayCancel(call);
    call.replyError(QStringLiteral("org.bluez.obex.Error.DoesNotExist"),
                    QStringLiteral("Agent does not exist"));
    return false;
}

QString Obex5Service::nextPushPath()
{
    // The transfer counter runs across the whole process.
    return QStringLiteral("/org/bluez/obex/server/session%1/transfer%2")
        .arg(m_nextSession++)
        .arg(m_nextTransfer++);
}

void Obex5Service::pushAdded(ObexPush *push)
{
    const QString session = push->path().section(QLatin1Char('/'), 0, -2);
    const QVariantMap sessionProperties {
        { "Source",
          push->receiver().isEmpty() ? m_bluez->world().adapter.address : push->receiver() },
        { "Destination", push->address() },
        { "Root", rootFolder() },
    };
    Objects objects { std::make_unique<Obex5Session>(session, sessionProperties, m_batcher),
                      std::make_unique<Obex5Transfer>(push->path(), session, push, m_batcher) };
    m_objectManager->add(objects.session.get());
    m_objectManager->add(objects.transfer.get());
    m_objects.emplace(push, std::move(objects));
}

void Obex5Service::pushRemoved(ObexPush *push)
{
    auto it = m_objects.find(push);
    if (it == m_objects.end())
        return;
    // The transfer goes first, then its session.
    m_objectManager->remove(it->second.transfer.get());
    m_objectManager->remove(it->second.session.get());
    m_objects.erase(it);
}
