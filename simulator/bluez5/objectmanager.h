#ifndef OBJECTMANAGER_H
#define OBJECTMANAGER_H

#include "simobject.h"

#include <QDBusObjectPath>
#include <QMap>
#include <QVariantMap>

class ObjectTree;
class PropertiesBatcher;

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

// "/" of bluetoothd 5, its only org.freedesktop.DBus.ObjectManager: every
// other object goes on and off the bus through it, announced with
// InterfacesAdded and InterfacesRemoved. Each object lists Introspectable
// (and Properties, if it has properties) with an empty dict, as gdbus does.
class ObjectManager : public SimObject
{
public:
    ObjectManager(ObjectTree *tree, PropertiesBatcher *batcher);
    QStringList interfaces() const override;

    // Exports the object and announces it.
    void add(SimObject *object);
    // Announces its removal, after whatever changes it still had queued, and unexports it.
    void remove(SimObject *object);
    // The daemon stops: its objects go without a word.
    void forgetAll() { m_objects.clear(); }
    static InterfaceMap describe(const SimObject *object);

private:
    ObjectTree *m_tree;
    PropertiesBatcher *m_batcher;
    QList<SimObject *> m_objects; // in the order they came
};

#endif // OBJECTMANAGER_H
