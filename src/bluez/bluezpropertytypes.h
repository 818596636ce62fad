#ifndef BLUEZPROPERTYTYPES_H
#define BLUEZPROPERTYTYPES_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace Ovrin {

// The D-Bus type each BlueZ property must have. A value of another type
// (a "Class" sent as a string, say) is treated as absent, so nothing built on
// the cache ever misreads it; each such property is logged once per process.
class BluezPropertyTypes
{
public:
    static const BluezPropertyTypes &adapter();
    static const BluezPropertyTypes &device();

    // Whether value may stand for the named property (unknown names pass).
    bool accepts(const QString &name, const QVariant &value) const;
    // The map without the entries of the wrong type.
    QVariantMap filtered(const QVariantMap &properties) const;
    // Waits for a "GetProperties" reply and stores what it holds in cache;
    // on error logs the standard warning and leaves cache as it was.
    bool fetch(QDBusPendingReply<QVariantMap> reply, QVariantMap *cache) const;

private:
    BluezPropertyTypes(const char *kind, QHash<QString, QString> signatures);

    const char *m_kind;
    QHash<QString, QString> m_signatures;
};

} // namespace Ovrin

#endif // BLUEZPROPERTYTYPES_H
