#ifndef SIMOBJECT_H
#define SIMOBJECT_H

#include "simcall.h"

#include <QHash>
#include <QStringList>

#include <functional>

class ObjectTree;

// An object the simulator exports. Subclasses register their methods with the
// exact D-Bus signature; a call with another signature is not matched, as in
// the daemons, and gets "UnknownMethod".
class SimObject
{
public:
    using Handler = std::function<void(const SimCall &)>;

    explicit SimObject(const QString &path);
    virtual ~SimObject();
    SimObject(const SimObject &) = delete;
    SimObject &operator=(const SimObject &) = delete;

    const QString &path() const { return m_path; }
    // Interfaces this object offers right now (some come and go).
    virtual QStringList interfaces() const = 0;
    bool dispatch(const SimCall &call);

    void attach(ObjectTree *tree) { m_tree = tree; }
    void emitSignal(const QString &interface, const QString &name, const QVariantList &args) const;
    void emitPropertyChanged(const QString &interface, const QString &name,
                             const QVariant &value) const;

protected:
    void addMethod(const QString &interface, const QString &member, const QString &signature,
                   Handler handler);

private:
    struct Method
    {
        QString interface;
        QString signature;
        Handler handler;
    };
    QString m_path;
    QMultiHash<QString, Method> m_methods;
    ObjectTree *m_tree = nullptr;
};

#endif // SIMOBJECT_H
