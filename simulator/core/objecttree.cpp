#include "objecttree.h"

#include "calllog.h"
#include "faultplan.h"
#include "sendhook.h"
#include "simobject.h"

#include <QFile>
#include <QSet>
#include <QTimer>

namespace {
const QString introspectable = QStringLiteral("org.freedesktop.DBus.Introspectable");
}

ObjectTree::ObjectTree(const QString &busLabel, const QString &serviceName, CallLog *log,
                       FaultPlan *faults, QObject *parent)
    : QDBusVirtualObject(parent)
    , m_busLabel(busLabel)
    , m_serviceName(serviceName)
    , m_log(log)
    , m_faults(faults)
{
}

ObjectTree::~ObjectTree()
{
    for (SimObject *object : std::as_const(m_objects))
        object->attach(nullptr);
    detach();
}

bool ObjectTree::attachTo(const QDBusConnection &connection)
{
    detach();
    m_connection = connection;
    m_attached = m_connection.registerVirtualObject(QStringLiteral("/"), this,
                                                    QDBusConnection::SubPath);
    return m_attached;
}

void ObjectTree::detach()
{
    if (m_attached)
        m_connection.unregisterObject(QStringLiteral("/"));
    m_attached = false;
    // Holding on to the connection would keep it open.
    m_connection = QDBusConnection(QString());
}

void ObjectTree::add(SimObject *object)
{
    m_objects.insert(object->path(), object);
    object->attach(this);
}

void ObjectTree::remove(SimObject *object)
{
    if (m_objects.value(object->path()) == object)
        m_objects.remove(object->path());
    object->attach(nullptr);
}

void ObjectTree::emitSignal(const QString &path, const QString &interface, const QString &name,
                            const QVariantList &args)
{
    if (!m_attached)
        return;
    SendHook::run(m_connection.name());
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(args);
    m_connection.send(signal);
}

QString ObjectTree::introspect(const QString &path) const
{
    return introspectionOf(path);
}

bool ObjectTree::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    m_log->record(m_busLabel, m_serviceName, message);
    SimCall call(message, connection);

    if (auto fault = m_faults->take(message.interface(), message.member())) {
        switch (fault->kind) {
        case FaultPlan::Kind::Fail:
            call.replyError(fault->errorName, fault->errorText);
            return true;
        case FaultPlan::Kind::NeverAnswer:
            call.setNeverAnswer();
            break;
        case FaultPlan::Kind::Delay:
            call.setReplyDelay(fault->delayMs);
            break;
        case FaultPlan::Kind::Ignore:
            return true;
        case FaultPlan::Kind::AnswerAndIgnore:
            call.reply();
            return true;
        }
    }

    if (message.member() == QLatin1String("Introspect")
        && (message.interface().isEmpty() || message.interface() == introspectable)
        && message.signature().isEmpty()) {
        call.reply({ introspectionOf(message.path()) });
        return true;
    }

    SimObject *target = m_objects.value(message.path());
    if (!target) {
        call.replyError(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                        QStringLiteral("No such object path '%1'").arg(message.path()));
        return true;
    }
    if (!target->dispatch(call)) {
        call.replyError(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                        QStringLiteral("Method \"%1\" with signature \"%2\" on interface \"%3\" "
                                       "doesn't exist")
                                .arg(message.member(), message.signature(), message.interface()));
    }
    return true;
}

QString ObjectTree::interfaceXml(const QString &fileName)
{
    static QHash<QString, QString> cache;
    auto it = cache.find(fileName);
    if (it != cache.end())
        return *it;
    QFile file(QStringLiteral(":/dbus/%1.xml").arg(fileName));
    QString xml;
    if (file.open(QIODevice::ReadOnly)) {
        const QString all = QString::fromUtf8(file.readAll());
        const int begin = all.indexOf(QLatin1String("<interface"));
        const int end = all.lastIndexOf(QLatin1String("</interface>"));
        if (begin >= 0 && end > begin)
            xml = all.mid(begin, end - begin + int(qstrlen("</interface>")));
    }
    cache.insert(fileName, xml);
    return xml;
}

QString ObjectTree::introspectionOf(const QString &path) const
{
    QString xml = QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object "
                                 "Introspection 1.0//EN\"\n\"http://www.freedesktop.org/standards/"
                                 "dbus/1.0/introspect.dtd\">\n<node>\n");
    if (SimObject *object = m_objects.value(path)) {
        xml += QStringLiteral("<interface name=\"%1\"><method name=\"Introspect\"><arg "
                              "type=\"s\" direction=\"out\"/></method></interface>\n")
                       .arg(introspectable);
        for (const QString &interface : object->interfaces())
            xml += interfaceXml(m_interfaceFiles.value(interface, interface)) + QLatin1Char('\n');
    }
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    QSet<QString> children;
    for (auto it = m_objects.constBegin(); it != m_objects.constEnd(); ++it) {
        if (it.key().startsWith(prefix) && it.key() != path)
            children.insert(it.key().mid(prefix.size()).section(QLatin1Char('/'), 0, 0));
    }
    QStringList sorted(children.begin(), children.end());
    sorted.sort();
    for (const QString &child : sorted)
        xml += QStringLiteral("<node name=\"%1\"/>\n").arg(child);
    return xml + QStringLiteral("</node>\n");
}
