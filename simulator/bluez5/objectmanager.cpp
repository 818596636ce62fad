#include "objectmanager.h"

#include "objecttree.h"
#include "propertiesbatcher.h"
#include "propertyobject.h"

#include <QDBusMetaType>

namespace {
const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
} // namespace

ObjectManager::ObjectManager(ObjectTree *tree, PropertiesBatcher *batcher)
    : SimObject(QStringLiteral("/"))
    , m_tree(tree)
    , m_batcher(batcher)
{
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ManagedObjects>();
    addMethod(objectManagerInterface, QStringLiteral("GetManagedObjects"), QString(),
              [this](const SimCall &call) {
                  ManagedObjects managed;
                  for (const SimObject *object : std::as_const(m_objects))
                      managed.insert(QDBusObjectPath(object->path()), describe(object));
                  call.reply({ QVariant::fromValue(managed) });
              });
}

QStringList ObjectManager::interfaces() const
{
    return { objectManagerInterface };
}

InterfaceMap ObjectManager::describe(const SimObject *object)
{
    InterfaceMap map { { QStringLiteral("org.freedesktop.DBus.Introspectable"), {} } };
    const auto *withProperties = dynamic_cast<const PropertyObject *>(object);
    for (const QString &interface : object->interfaces()) {
        const bool isMain = withProperties && interface == withProperties->mainInterface();
        map.insert(interface, isMain ? withProperties->properties() : QVariantMap());
    }
    return map;
}

void ObjectManager::add(SimObject *object)
{
    m_tree->add(object);
    m_objects.append(object);
    emitSignal(objectManagerInterface, QStringLiteral("InterfacesAdded"),
               { QVariant::fromValue(QDBusObjectPath(object->path())),
                 QVariant::fromValue(describe(object)) });
}

void ObjectManager::remove(SimObject *object)
{
    if (!m_objects.removeOne(object))
        return;
    // Per object: added, changed, removed.
    m_batcher->flush();
    const QStringList gone = describe(object).keys();
    emitSignal(objectManagerInterface, QStringLiteral("InterfacesRemoved"),
               { QVariant::fromValue(QDBusObjectPath(object->path())), gone });
    m_tree->remove(object);
}
