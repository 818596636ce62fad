#ifndef PROPERTYOBJECT_H
#define PROPERTYOBJECT_H

#include "simobject.h"

#include <QHash>
#include <QObject>
#include <QVariantMap>

#include <functional>

class PropertiesBatcher;

// An object of bluetoothd 5 with one interface of properties (Adapter1,
// Device1): org.freedesktop.DBus.Properties Get, GetAll and Set with the
// daemon's errors, and changes announced through the batcher.
class PropertyObject : public QObject, public SimObject
{
    Q_OBJECT
public:
    static const QString propertiesInterface;

    PropertyObject(const QString &path, const QString &interface, PropertiesBatcher *batcher,
                   QObject *parent = nullptr);
    ~PropertyObject() override;

    QStringList interfaces() const override { return { propertiesInterface, m_interface }; }
    const QString &mainInterface() const { return m_interface; }
    // The properties that exist now, with their current values.
    virtual QVariantMap properties() const = 0;
    // Called by the batcher: one PropertiesChanged with the values of now.
    void sendPropertiesChanged(const QStringList &names);

protected:
    using Setter = std::function<void(const SimCall &call, const QVariant &value)>;
    // A writable property of D-Bus type metaType; the setter answers the call.
    void addWritable(const QString &name, int metaType, Setter setter);
    // The property changed (or came or went): announced later, batched.
    void changed(const QString &name);
    void changed(const QStringList &names);
    // Queues every property whose value differs between the two maps.
    void changedBetween(const QVariantMap &before, const QVariantMap &after);

private:
    void get(const SimCall &call);
    void getAll(const SimCall &call);
    void set(const SimCall &call);
    bool checkInterface(const SimCall &call);

    struct Writable
    {
        int metaType;
        Setter setter;
    };
    QString m_interface;
    PropertiesBatcher *m_batcher;
    QHash<QString, Writable> m_writable;
};

#endif // PROPERTYOBJECT_H
