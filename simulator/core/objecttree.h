#ifndef OBJECTTREE_H
#define OBJECTTREE_H

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>

class CallLog;
class FaultPlan;
class SimObject;

// Receives every call addressed to one simulated daemon on its connection:
// logs it, applies planned faults, answers Introspect from the interface XML
// and hands the rest to the object at the call's path.
class ObjectTree : public QDBusVirtualObject
{
    Q_OBJECT
public:
    ObjectTree(const QString &busLabel, const QString &serviceName, CallLog *log,
               FaultPlan *faults, QObject *parent = nullptr);
    ~ObjectTree() override;

    bool attachTo(const QDBusConnection &connection);
    void detach();
    bool isAttached() const { return m_attached; }
    QDBusConnection connection() const { return m_connection; }

    void add(SimObject *object);
    void remove(SimObject *object);
    SimObject *object(const QString &path) const { return m_objects.value(path); }

    void emitSignal(const QString &path, const QString &interface, const QString &name,
                    const QVariantList &args);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

    // The <interface> element of a known interface, from the XML in dbus/
    // (file is the XML file's base name, by default the interface name).
    static QString interfaceXml(const QString &file);
    // For daemons whose interface shares its name with another daemon's
    // (obexd and obex-client both have "org.openobex.Transfer").
    void setInterfaceFile(const QString &interface, const QString &file)
    {
        m_interfaceFiles.insert(interface, file);
    }

private:
    QString introspectionOf(const QString &path) const;

    QString m_busLabel;
    QString m_serviceName;
    CallLog *m_log;
    FaultPlan *m_faults;
    QDBusConnection m_connection { QString() };
    bool m_attached = false;
    QHash<QString, SimObject *> m_objects;
    QHash<QString, QString> m_interfaceFiles;
};

#endif // OBJECTTREE_H
