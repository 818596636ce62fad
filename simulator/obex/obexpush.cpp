#include "obexpush.h"

#include "datapump.h"
#include "obexserverservice.h"

#include <QDBusObjectPath>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QPointer>
#include <QTimer>

namespace {

const QString transferInterface = QStringLiteral("org.openobex.Transfer");
const QString noReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");

// Push outcomes: "" when every object was stored, otherwise the OBEX response
// the remote got, or what ended the connection.
const QString forbidden = QStringLiteral("Forbidden");
const QString badRequest = QStringLiteral("BadRequest");
const QString notFound = QStringLiteral("NotFound");
const QString internalError = QStringLiteral("InternalServerError");
const QString canceled = QStringLiteral("Canceled");
const QString aborted = QStringLiteral("Aborted");
const QString disconnected = QStringLiteral("Disconnected");

// The body of an object given only by its size: "abc...xyzabc...".
QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

qint64 number(const QJsonObject &json, const char *key, qint64 fallback)
{
    const QJsonValue value = json.value(QLatin1String(key));
    return value.isDouble() ? qint64(value.toDouble()) : fallback;
}

} // namespace

ObexPush::ObexPush(ObexServerService *service, const QString &path, const QString &address,
                   const QList<Object> &objects, int speed, Done done)
    : SimObject(path)
    , m_service(service)
    , m_address(address)
    , m_objects(objects)
    , m_speed(speed)
    , m_done(std::move(done))
{
    addMethod(transferInterface, QStringLiteral("Cancel"), QString(),
              [this](const SimCall &call) { cancel(call); });
}

const ObexPush::Object *ObexPush::currentObject() const
{
    return m_index >= 0 && m_index < m_objects.size() ? &m_objects.at(m_index) : nullptr;
}

qint64 ObexPush::transferred() const
{
    return m_pump ? m_pump->done() : 0;
}

ObexPush::~ObexPush()
{
    if (m_authorizeCall)
        m_service->agents()->forget(m_authorizeCall);
}

std::optional<QList<ObexPush::Object>> ObexPush::objectsFromJson(const QJsonObject &json,
                                                                 QString *error)
{
    QList<QJsonObject> items;
    if (json.value(QLatin1String("objects")).isArray()) {
        for (const QJsonValue &item : json.value(QLatin1String("objects")).toArray())
            items.append(item.toObject());
    } else {
        items.append(json);
    }
    if (items.isEmpty()) {
        *error = QStringLiteral("a push needs at least one object");
        return std::nullopt;
    }
    QList<Object> objects;
    for (const QJsonObject &item : std::as_const(items)) {
        Object object;
        object.name = item.value(QLatin1String("name")).toString();
        object.type = item.value(QLatin1String("type")).toString();
        if (item.value(QLatin1String("contents")).isString()) {
            object.contents = item.value(QLatin1String("contents")).toString().toUtf8();
        } else if (item.value(QLatin1String("contentsBase64")).isString()) {
            object.contents = QByteArray::fromBase64(
                item.value(QLatin1String("contentsBase64")).toString().toLatin1());
        } else if (item.value(QLatin1String("size")).isDouble()) {
            const qint64 size = number(item, "size", 0);
            if (size < 0 || size > 512 * 1024 * 1024) {
                *error = QStringLiteral("\"size\" must be between 0 and 512 MiB");
                return std::nullopt;
            }
            object.contents = pattern(size);
        } else {
            *error = QStringLiteral(
                         "object \"%1\" has no \"contents\", \"contentsBase64\" or \"size\"")
                         .arg(object.name);
            return std::nullopt;
        }
        object.announced = number(item, "announcedSize", object.contents.size());
        object.abortAfter = number(item, "abortAfter", number(json, "abortAfter", -1));
        object.stallAfter = number(item, "stallAfter", number(json, "stallAfter", -1));
        object.pauseBeforeMs = int(number(item, "pauseBeforeMs", 0));
        object.goesOnIfRefused = item.value(QLatin1String("goesOnIfRefused"))
                                     .toBool(json.value(QLatin1String("goesOnIfRefused")).toBool());
        objects.append(object);
    }
    return objects;
}

void ObexPush::start()
{
    // RFCOMM and OBEX CONNECT; the object path exists from now on.
    QTimer::singleShot(m_service->options().connectMs, this, [this]() {
        if (m_state == State::Connecting)
            nextObject();
    });
}

QString ObexPush::stateName() const
{
    switch (m_state) {
    case State::Connecting:
        return QStringLiteral("connecting");
    case State::Authorizing:
        return QStringLiteral("authorizing");
    case State::Receiving:
        return m_pump && m_pump->isStalled() ? QStringLiteral("stalled")
                                             : QStringLiteral("receiving");
    case State::Between:
        return QStringLiteral("connected");
    case State::Ended:
        break;
    }
    return QStringLiteral("ended");
}

QJsonObject ObexPush::toJson() const
{
    QJsonObject json { { "path", path() },
                       { "address", m_address },
                       { "state", stateName() },
                       { "object", m_index },
                       { "objects", int(m_objects.size()) },
                       { "speed", m_speed >= 0 ? m_speed : m_service->options().speed } };
    if (m_index >= 0 && m_index < m_objects.size()) {
        const Object &o = current();
        json.insert(QStringLiteral("name"), o.name);
        json.insert(QStringLiteral("type"), o.type);
        json.insert(QStringLiteral("size"), qint64(o.contents.size()));
        json.insert(QStringLiteral("announcedSize"), o.announced);
        json.insert(QStringLiteral("transferred"), m_pump ? m_pump->done() : 0);
        json.insert(QStringLiteral("file"), m_filePath);
    }
    return json;
}

void ObexPush::nextObject()
{
    ++m_index;
    m_filePath.clear();
    if (m_index >= m_objects.size()) {
        // Everything sent: the remote disconnects.
        finish(QString());
        return;
    }
    if (current().pauseBeforeMs > 0) {
        QPointer<ObexPush> self(this);
        QTimer::singleShot(current().pauseBeforeMs, this, [self]() {
            if (self && self->m_state != State::Ended)
                self->putObject();
        });
        return;
    }
    putObject();
}

void ObexPush::putObject()
{
    const Object &object = current();
    m_service->objectHeaders(this);
    // 0.43+ refuses such names before the agent is asked.
    if (object.name.contains(QLatin1Char('/')) || object.name == QLatin1String(".")
        || object.name == QLatin1String("..")) {
        finish(badRequest);
        return;
    }
    const ObexSpec &options = m_service->options();
    if (options.autoAccept) {
        if (object.name.isEmpty())
            finish(badRequest);
        else
            receive(m_service->rootFolder(), object.name);
        return;
    }
    authorize();
}

void ObexPush::authorize()
{
    const AgentClient::Target agent = m_service->agent();
    // No agent (and no -a): OBEX Forbidden. So is a second authorization
    // while obexd still waits for the first.
    if (!agent.isValid() || m_service->isAuthorizing()) {
        finish(forbidden);
        return;
    }
    m_state = State::Authorizing;
    AgentClient *agents = m_service->agents();
    agents->setTimeout(m_service->options().authorizeTimeoutMs);
    QPointer<ObexPush> self(this);
    m_authorizeCall
        = agents->request(agent, m_service->authorizeMethod(), m_service->authorizeArguments(this),
                          [self, agent, agents](const QDBusMessage &reply) {
                              if (!self)
                                  return;
                              self->m_authorizeCall = 0;
                              if (reply.type() == QDBusMessage::ErrorMessage) {
                                  if (reply.errorName() == noReply)
                                      agents->notify(agent, QStringLiteral("Cancel"));
                                  self->refuseObject(forbidden);
                                  return;
                              }
                              // Only a path is an answer.
                              if (reply.signature() != QLatin1String("s")) {
                                  self->refuseObject(forbidden);
                                  return;
                              }
                              self->authorized(reply.arguments().value(0).toString());
                          });
}

void ObexPush::authorized(const QString &reply)
{
    if (m_state != State::Authorizing)
        return;
    const ObexSpec &options = m_service->options();
    // obexd splits the answer at the last "/": a bare name goes into the root
    // folder, anything else is used as it is (relative to obexd's folder).
    QString folder = m_service->rootFolder();
    QString name = reply;
    const int slash = reply.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        folder = slash == 0 ? QStringLiteral("/") : reply.left(slash);
        name = reply.mid(slash + 1);
    }
    if (name.isEmpty()) {
        finish(badRequest);
        return;
    }
    if (m_service->createsFileBeforeRootCheck() && !openFile(folder, name))
        return;
    if (!options.symlinks) {
        // 0.43+: the folder's real path must lie inside the root folder.
        const QString real
            = QFileInfo(QDir::current().absoluteFilePath(folder)).canonicalFilePath();
        const QString root = m_service->rootAsCompared();
        if (real.isEmpty() || root.isEmpty() || !real.startsWith(root)) {
            m_file.close();
            m_filePath.clear();
            refuseObject(forbidden);
            return;
        }
    }
    receive(folder, name);
}

bool ObexPush::openFile(const QString &folder, const QString &name)
{
    m_filePath
        = QDir::cleanPath(QDir::current().absoluteFilePath(folder) + QLatin1Char('/') + name);
    m_file.setFileName(m_filePath);
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    const QFileInfo dir(QFileInfo(m_filePath).absolutePath());
    const QString outcome = !dir.isDir() ? notFound : !dir.isWritable() ? forbidden : internalError;
    objectFailed(0, outcome);
    return false;
}

void ObexPush::receive(const QString &folder, const QString &name)
{
    m_state = State::Receiving;
    if (!m_file.isOpen()) {
        // obexd 0.45 announces the transfer before it opens the file.
        m_filePath
            = QDir::cleanPath(QDir::current().absoluteFilePath(folder) + QLatin1Char('/') + name);
        m_service->objectStarted(this);
        if (!openFile(folder, name))
            return;
    } else {
        m_service->objectStarted(this);
    }
    if (m_cancelRequested) {
        abortObject(canceled);
        return;
    }
    const Object &object = current();
    const int speed = m_speed >= 0 ? m_speed : m_service->options().speed;
    m_pump = new DataPump(object.contents.size(), speed, m_service->options().packetSize, this);
    m_pump->stallAt(m_stallRequested ? 0 : object.stallAfter);
    m_stallRequested = false;
    m_pump->setPacketHandler(
        [this](qint64 offset, qint64 length) { return packetArrived(offset, length); });
    m_pump->setFinishedHandler([this]() { objectStored(); });
    m_pump->start();
}

bool ObexPush::packetArrived(qint64 offset, qint64 length)
{
    if (length == 0)
        return true;
    const Object &object = current();
    if (m_file.write(object.contents.constData() + offset, length) != length || !m_file.flush()) {
        abortObject(internalError);
        return false;
    }
    const qint64 done = offset + length;
    m_service->objectProgress(this, done);
    if (object.abortAfter >= 0 && done >= object.abortAfter && done < object.contents.size()) {
        abortObject(aborted);
        return false;
    }
    return true;
}

void ObexPush::objectStored()
{
    m_file.close();
    objectEnded(current().contents.size(), QString());
    m_pump->deleteLater();
    m_pump = nullptr;
    m_state = State::Between;
    nextObject();
}

void ObexPush::abortObject(const QString &outcome)
{
    if (m_pump)
        m_pump->stop();
    const qint64 written = m_file.size();
    m_file.close();
    // Without a Length obexd cannot tell an object the sender cut short: it
    // keeps what came and calls the object complete.
    const bool cutBySender = outcome == aborted || outcome == disconnected;
    if (cutBySender && current().announced < 0 && m_service->keepsCutShortObjects()) {
        objectEnded(written, QString());
        finish(outcome);
        return;
    }
    m_file.remove();
    objectFailed(written, outcome);
}

void ObexPush::objectEnded(qint64 size, const QString &outcome)
{
    m_service->objectEnded(this, outcome.isEmpty());
    m_service->recordReceived({ { "transfer", path() },
                                { "address", m_address },
                                { "name", current().name },
                                { "type", current().type },
                                { "file", m_filePath },
                                { "size", size },
                                { "success", outcome.isEmpty() },
                                { "outcome", outcome } });
}

void ObexPush::objectFailed(qint64 size, const QString &outcome)
{
    objectEnded(size, outcome);
    finish(outcome);
}

void ObexPush::finish(const QString &outcome)
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    if (m_pump)
        m_pump->stop();
    if (m_authorizeCall) {
        m_service->agents()->forget(m_authorizeCall);
        m_authorizeCall = 0;
    }
    if (m_done)
        m_done(outcome);
    m_done = nullptr;
    m_service->pushEnded(this);
}

void ObexPush::refuse()
{
    finish(forbidden);
}

void ObexPush::refuseObject(const QString &outcome)
{
    if (!current().goesOnIfRefused || m_index + 1 >= m_objects.size()) {
        finish(outcome);
        return;
    }
    m_state = State::Between;
    nextObject();
}

void ObexPush::endQuietly(const QString &outcome)
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    if (m_pump)
        m_pump->stop();
    m_file.close();
    if (m_authorizeCall) {
        m_service->agents()->forget(m_authorizeCall);
        m_authorizeCall = 0;
    }
    if (m_done)
        m_done(outcome);
    m_done = nullptr;
}

void ObexPush::cancel(const SimCall &call)
{
    if (!m_service->mayCancel(call))
        return;
    // obexd marks the object aborted; the remote learns it at its next packet.
    call.reply();
    if (m_state == State::Receiving)
        abortObject(canceled);
    else if (m_state != State::Ended)
        m_cancelRequested = true;
}

void ObexPush::stall()
{
    if (m_state == State::Receiving && m_pump)
        m_pump->stall();
    else
        m_stallRequested = true;
}

void ObexPush::resume()
{
    m_stallRequested = false;
    if (m_pump)
        m_pump->resume();
}

bool ObexPush::fail(const QString &how, QString *error)
{
    QString outcome;
    if (how.isEmpty() || how.compare(QLatin1String("abort"), Qt::CaseInsensitive) == 0) {
        outcome = aborted;
    } else if (how.compare(QLatin1String("disconnect"), Qt::CaseInsensitive) == 0) {
        outcome = disconnected;
    } else {
        *error
            = QStringLiteral("unknown failure \"%1\" for a push: use \"abort\" or \"disconnect\"")
                  .arg(how);
        return false;
    }
    switch (m_state) {
    case State::Receiving:
        abortObject(outcome);
        break;
    case State::Authorizing:
        // The remote went while the agent was deciding: obexd tells the agent.
        m_service->agents()->notify(m_service->agent(), QStringLiteral("Cancel"));
        finish(outcome);
        break;
    case State::Connecting:
    case State::Between:
        finish(outcome);
        break;
    case State::Ended:
        *error = QStringLiteral("%1 has ended").arg(path());
        return false;
    }
    return true;
}

void ObexPush::setSpeed(int bytesPerSecond)
{
    m_speed = bytesPerSecond;
    if (m_pump)
        m_pump->setSpeed(bytesPerSecond);
}
