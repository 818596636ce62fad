#include "bluezpropertytypes.h"

#include "bluezlogging.h"

#include <QDBusArgument>
#include <QDBusObjectPath>

#include <iterator>

namespace Ovrin {

namespace {

QString signatureOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
        return QStringLiteral("b");
    case QMetaType::UInt:
        return QStringLiteral("u");
    case QMetaType::Short:
        return QStringLiteral("n");
    case QMetaType::QString:
        return QStringLiteral("s");
    case QMetaType::QStringList:
        return QStringLiteral("as");
    default:
        break;
    }
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return QStringLiteral("o");
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(value.typeName());
}

} // namespace

BluezPropertyTypes::BluezPropertyTypes(const char *kind, QHash<QString, QString> signatures)
    : m_kind(kind), m_signatures(std::move(signatures))
{
}

const BluezPropertyTypes &BluezPropertyTypes::adapter()
{
    static const BluezPropertyTypes types("adapter",
                                          { { "Address", "s" },
                                            { "Name", "s" },
                                            { "Class", "u" },
                                            { "Powered", "b" },
                                            { "Discoverable", "b" },
                                            { "Pairable", "b" },
                                            { "Discovering", "b" },
                                            { "DiscoverableTimeout", "u" },
                                            { "PairableTimeout", "u" },
                                            { "Devices", "ao" },
                                            { "UUIDs", "as" } });
    return types;
}

const BluezPropertyTypes &BluezPropertyTypes::device()
{
    static const BluezPropertyTypes types("device",
                                          { { "Address", "s" },
                                            { "Name", "s" },
                                            { "Alias", "s" },
                                            { "Class", "u" },
                                            { "Icon", "s" },
                                            { "Paired", "b" },
                                            { "Trusted", "b" },
                                            { "Blocked", "b" },
                                            { "Connected", "b" },
                                            { "LegacyPairing", "b" },
                                            { "Broadcaster", "b" },
                                            { "UUIDs", "as" },
                                            { "RSSI", "n" },
                                            { "Adapter", "o" } });
    return types;
}

bool BluezPropertyTypes::accepts(const QString &name, const QVariant &value) const
{
    const auto expected = m_signatures.constFind(name);
    if (expected == m_signatures.constEnd())
        return true;
    const QString actual = signatureOf(value);
    if (actual == *expected)
        return true;
    static QSet<QString> reported;
    const QString key = QLatin1String(m_kind) + QLatin1Char('/') + name;
    if (!reported.contains(key)) {
        reported.insert(key);
        qCWarning(lcBluez, "Ignoring %s property %s of type '%s' (expected '%s')", m_kind,
                  qPrintable(name), qPrintable(actual), qPrintable(*expected));
    }
    return false;
}

QVariantMap BluezPropertyTypes::filtered(const QVariantMap &properties) const
{
    // Usually every entry is right: then the map is shared, not copied.
    auto wrong = properties.constBegin();
    while (wrong != properties.constEnd() && accepts(wrong.key(), wrong.value()))
        ++wrong;
    if (wrong == properties.constEnd())
        return properties;
    QVariantMap result;
    for (auto it = properties.constBegin(); it != wrong; ++it)
        result.insert(it.key(), it.value());
    for (auto it = std::next(wrong); it != properties.constEnd(); ++it) {
        if (accepts(it.key(), it.value()))
            result.insert(it.key(), it.value());
    }
    return result;
}

bool BluezPropertyTypes::fetch(QDBusPendingReply<QVariantMap> reply, QVariantMap *cache) const
{
    reply.waitForFinished();
    if (reply.isError()) {
        warnCallFailed("GetProperties", reply.error());
        return false;
    }
    *cache = filtered(reply.value());
    return true;
}

} // namespace Ovrin
