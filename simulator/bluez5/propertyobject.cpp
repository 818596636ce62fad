#include "propertyobject.h"

#include "propertiesbatcher.h"

#include <QDBusVariant>

namespace {
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
} // namespace

const QString PropertyObject::propertiesInterface
    = QStringLiteral("org.freedesktop.DBus.Properties");

PropertyObject::PropertyObject(const QString &path, const QString &interface,
                               PropertiesBatcher *batcher, QObject *parent)
    : QObject(parent)
    , SimObject(path)
    , m_interface(interface)
    , m_batcher(batcher)
{
    addMethod(propertiesInterface, QStringLiteral("Get"), QStringLiteral("ss"),
              [this](const SimCall &call) { get(call); });
    addMethod(propertiesInterface, QStringLiteral("GetAll"), QStringLiteral("s"),
              [this](const SimCall &call) { getAll(call); });
    addMethod(propertiesInterface, QStringLiteral("Set"), QStringLiteral("ssv"),
              [this](const SimCall &call) { set(call); });
}

PropertyObject::~PropertyObject()
{
    m_batcher->drop(this);
}

void PropertyObject::addWritable(const QString &name, int metaType, Setter setter)
{
    m_writable.insert(name, { metaType, std::move(setter) });
}

void PropertyObject::changed(const QString &name)
{
    m_batcher->queue(this, name);
}

void PropertyObject::changed(const QStringList &names)
{
    for (const QString &name : names)
        changed(name);
}

void PropertyObject::changedBetween(const QVariantMap &before, const QVariantMap &after)
{
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (before.value(it.key()) != it.value())
            changed(it.key());
    }
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (!after.contains(it.key()))
            changed(it.key());
    }
}

void PropertyObject::sendPropertiesChanged(const QStringList &names)
{
    const QVariantMap now = properties();
    QVariantMap values;
    QStringList invalidated;
    for (const QString &name : names) {
        if (now.contains(name))
            values.insert(name, now.value(name));
        else
            invalidated.append(name);
    }
    emitSignal(propertiesInterface, QStringLiteral("PropertiesChanged"),
               { m_interface, values, invalidated });
}

bool PropertyObject::checkInterface(const SimCall &call)
{
    const QString interface = call.argument(0).toString();
    if (interface == m_interface)
        return true;
    call.replyError(invalidArgs, QStringLiteral("No such interface '%1'").arg(interface));
    return false;
}

void PropertyObject::get(const SimCall &call)
{
    if (!checkInterface(call))
        return;
    const QString name = call.argument(1).toString();
    const QVariantMap now = properties();
    if (!now.contains(name)) {
        call.replyError(invalidArgs, QStringLiteral("No such property '%1'").arg(name));
        return;
    }
    call.reply({ QVariant::fromValue(QDBusVariant(now.value(name))) });
}

void PropertyObject::getAll(const SimCall &call)
{
    if (checkInterface(call))
        call.reply({ properties() });
}

void PropertyObject::set(const SimCall &call)
{
    if (!checkInterface(call))
        return;
    const QString name = call.argument(1).toString();
    const QVariant value = call.argument(2).value<QDBusVariant>().variant();
    const auto writable = m_writable.constFind(name);
    if (writable == m_writable.constEnd()) {
        if (properties().contains(name))
            call.replyError(QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                            QStringLiteral("Property '%1' is not writable").arg(name));
        else
            call.replyError(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                            QStringLiteral("No such property '%1'").arg(name));
        return;
    }
    if (value.metaType().id() != writable->metaType) {
        call.replyError(QStringLiteral("org.freedesktop.DBus.Error.InvalidSignature"),
                        QStringLiteral("Invalid signature for '%1'").arg(name));
        return;
    }
    writable->setter(call, value);
}
