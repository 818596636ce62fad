#include "simobject.h"

#include "objecttree.h"

#include <QDBusVariant>

SimObject::SimObject(const QString &path) : m_path(path) { }

SimObject::~SimObject()
{
    if (m_tree)
        m_tree->remove(this);
}

void SimObject::addMethod(const QString &interface, const QString &member,
                          const QString &signature, Handler handler)
{
    m_methods.insert(member, { interface, signature, std::move(handler) });
}

bool SimObject::dispatch(const SimCall &call)
{
    const QDBusMessage &message = call.message();
    const QStringList offered = interfaces();
    for (auto it = m_methods.constFind(message.member());
         it != m_methods.constEnd() && it.key() == message.member(); ++it) {
        if (!message.interface().isEmpty() && message.interface() != it->interface)
            continue;
        if (!offered.contains(it->interface) || message.signature() != it->signature)
            continue;
        it->handler(call);
        return true;
    }
    return false;
}

void SimObject::emitSignal(const QString &interface, const QString &name,
                           const QVariantList &args) const
{
    if (m_tree)
        m_tree->emitSignal(m_path, interface, name, args);
}

void SimObject::emitPropertyChanged(const QString &interface, const QString &name,
                                    const QVariant &value) const
{
    emitSignal(interface, QStringLiteral("PropertyChanged"),
               { name, QVariant::fromValue(QDBusVariant(value)) });
}
