#ifndef OVRIN_OBEXD5NAMES_H
#define OVRIN_OBEXD5NAMES_H

#include <QString>
#include <QVariantMap>

#include <optional>

// The names BlueZ 5's obexd answers to, and the one way its property values
// are read: only with the type obexd gives them, so that a lie of another
// type counts as absent.
namespace Ovrin::Obexd5 {

inline const QString service = QStringLiteral("org.bluez.obex");
inline const QString managerPath = QStringLiteral("/org/bluez/obex");
inline const QString agentManager = QStringLiteral("org.bluez.obex.AgentManager1");
inline const QString client = QStringLiteral("org.bluez.obex.Client1");
inline const QString objectPush = QStringLiteral("org.bluez.obex.ObjectPush1");
inline const QString session = QStringLiteral("org.bluez.obex.Session1");
inline const QString transfer = QStringLiteral("org.bluez.obex.Transfer1");

template<typename T> std::optional<T> value(const QVariantMap &properties, const QString &name)
{
    const QVariant v = properties.value(name);
    if (v.metaType() != QMetaType::fromType<T>())
        return std::nullopt;
    return v.value<T>();
}

} // namespace Ovrin::Obexd5

#endif // OVRIN_OBEXD5NAMES_H
