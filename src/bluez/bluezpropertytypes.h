#ifndef BLUEZPROPERTYTYPES_H
#define BLUEZPROPERTYTYPES_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariantMap>

namespace Ovrin {

// The D-Bus type each BlueZ property must have. A value of another type
// (a "Class" sent as a string, say) is treated as absent, so nothing built on
// the cache ever misreads it; a name longer than the radio can carry is cut
// to that length. Each such property is logged once per process.
class BluezPropertyTypes
{
public:
    // A remote name is at most 248 bytes on the air; no more is kept.
    static constexpr int maxNameLength = 248;

    // "00:11:22:AA:BB:CC", upper or lower case: the only form of "Address".
    static bool isAddress(QStringView text);

    static const BluezPropertyTypes &adapter();
    static const BluezPropertyTypes &device();

    // Whether value may stand for the named property (unknown names pass);
    // cuts an overlong name in place.
    bool check(const QString &name, QVariant *value) const;
    // The map without the entries of the wrong type, names cut.
    QVariantMap filtered(const QVariantMap &properties) const;

private:
    BluezPropertyTypes(const char *kind, QHash<QString, QString> signatures);
    bool hasRightType(const QString &name, const QVariant &value) const;
    bool isLengthChecked(const QString &name) const;
    bool needsChange(const QString &name, const QVariant &value) const;

    const char *m_kind;
    QHash<QString, QString> m_signatures;
};

} // namespace Ovrin

#endif // BLUEZPROPERTYTYPES_H
