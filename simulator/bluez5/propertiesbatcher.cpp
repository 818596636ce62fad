#include "propertiesbatcher.h"

#include "propertyobject.h"

#include <algorithm>

PropertiesBatcher::PropertiesBatcher(QObject *parent)
    : QObject(parent)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, &PropertiesBatcher::flush);
}

void PropertiesBatcher::queue(PropertyObject *object, const QString &name)
{
    auto it = std::find_if(m_pending.begin(), m_pending.end(),
                           [object](const Pending &p) { return p.object == object; });
    if (it == m_pending.end()) {
        m_pending.append({ object, { name } });
    } else if (!it->names.contains(name)) {
        it->names.append(name);
    }
    m_idle.start();
}

void PropertiesBatcher::flush()
{
    // Sending a signal asks for a flush again; the queue is taken already.
    if (m_flushing)
        return;
    m_flushing = true;
    while (!m_pending.isEmpty()) {
        const Pending next = m_pending.takeFirst();
        next.object->sendPropertiesChanged(next.names);
    }
    m_flushing = false;
}

void PropertiesBatcher::drop(PropertyObject *object)
{
    m_pending.removeIf([object](const Pending &p) { return p.object == object; });
}

void PropertiesBatcher::clear()
{
    m_pending.clear();
    m_idle.stop();
}
