#include "agentclient.h"

#include "sendhook.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QJsonObject>

AgentClient::AgentClient(const QString &interface, QObject *parent)
    : QObject(parent), m_interface(interface)
{
}

quint64 AgentClient::request(const Target &agent, const QString &member,
                             const QVariantList &args, ReplyHandler handler)
{
    QDBusMessage call = QDBusMessage::createMethodCall(agent.owner, agent.path, m_interface, member);
    call.setArguments(args);
    const quint64 id = m_nextId++;
    m_pending.insert(id, { agent, member, args });
    SendHook::run(m_connection.name());
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call, m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, id, handler, agent, member](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                recordAnswer(agent, member, w->reply());
                if (!m_pending.remove(id))
                    return;
                handler(w->reply());
            });
    return id;
}

void AgentClient::recordAnswer(const Target &agent, const QString &member, const QDBusMessage &reply)
{
    QJsonArray values;
    for (const QVariant &value : reply.arguments())
        values.append(QJsonValue::fromVariant(value));
    const bool isError = reply.type() == QDBusMessage::ErrorMessage;
    QJsonObject answer { { "owner", agent.owner },
                         { "path", agent.path },
                         { "interface", m_interface },
                         { "member", member },
                         { "error", isError ? reply.errorName() : QString() },
                         { "values", values } };
    if (!m_service.isEmpty())
        answer.insert(QStringLiteral("service"), m_service);
    m_answers.append(answer);
}

void AgentClient::notify(const Target &agent, const QString &member, const QVariantList &args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(agent.owner, agent.path, m_interface, member);
    call.setArguments(args);
    SendHook::run(m_connection.name());
    // send() marks method calls as not expecting a reply.
    m_connection.send(call);
}

void AgentClient::forget(quint64 id)
{
    m_pending.remove(id);
}

void AgentClient::forgetAll()
{
    m_pending.clear();
}

bool AgentClient::hasPendingRequest(const Target &agent) const
{
    for (const Pending &p : m_pending) {
        if (p.agent == agent)
            return true;
    }
    return false;
}

QJsonArray AgentClient::pendingToJson() const
{
    QJsonArray list;
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it) {
        QJsonArray args;
        for (const QVariant &arg : it->args) {
            if (arg.canConvert<QDBusObjectPath>() && arg.userType() == qMetaTypeId<QDBusObjectPath>())
                args.append(arg.value<QDBusObjectPath>().path());
            else
                args.append(QJsonValue::fromVariant(arg));
        }
        QJsonObject entry { { "id", qint64(it.key()) },
                                  { "owner", it->agent.owner },
                                  { "path", it->agent.path },
                                  { "interface", m_interface },
                                  { "member", it->member },
                                  { "arguments", args } };
        if (!m_service.isEmpty())
            entry.insert(QStringLiteral("service"), m_service);
        list.append(entry);
    }
    return list;
}
