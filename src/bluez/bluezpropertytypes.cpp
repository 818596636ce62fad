#include "bluezpropertytypes.h"

#include "bluezlogging.h"
#include "firstreport.h"

#include <QDBusArgument>
#include <QDBusObjectPath>

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
    : m_kind(kind)
    , m_signatures(std::move(signatures))
{
}

const BluezPropertyTypes &BluezPropertyTypes::adapter()
{
    static const BluezPropertyTypes types("adapter",
                                          { { "Address", "s" },
                                            { "Name", "s" },
                                            { "Alias", "s" },
                                            { "Class", "u" },
                                            { "Powered", "b" },
                                            { "Discoverable", "b" },
                                            { "Pairable", "b" },
                                            { "Discovering", "b" },
                                            { "DiscoverableTimeout", "u" },
                                            { "PairableTimeout", "u" },
                                            { "Devices", "ao" },
                                            { "UUIDs", "as" },
                                            { "PowerState", "s" },
                                            { "RadioBlocked", "b" } });
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

bool BluezPropertyTypes::isAddress(QStringView text)
{
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 17; ++i) {
        const QChar c = text.at(i);
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
        const bool ok = i % 3 == 2 ? c == QLatin1Char(':') : hex;
        if (!ok)
            return false;
    }
    return true;
}

bool BluezPropertyTypes::hasRightType(const QString &name, const QVariant &value) const
{
    const auto expected = m_signatures.constFind(name);
    if (expected == m_signatures.constEnd())
        return true;
    const QString actual = signatureOf(value);
    if (actual == *expected)
        return true;
    if (isFirstReport(QLatin1String(m_kind) + QLatin1Char('/') + name))
        qCWarning(lcBluez, "Ignoring %s property %s of type '%s' (expected '%s')", m_kind,
                  qPrintable(name), qPrintable(actual), qPrintable(*expected));
    return false;
}

bool BluezPropertyTypes::isLengthChecked(const QString &name) const
{
    return name == QLatin1String("Name") || name == QLatin1String("Alias");
}

bool BluezPropertyTypes::check(const QString &name, QVariant *value) const
{
    if (!hasRightType(name, *value))
        return false;
    if (name == QLatin1String("Address") && !isAddress(value->toString())) {
        if (isFirstReport(QLatin1String(m_kind) + QLatin1String("/Address/value")))
            qCWarning(lcBluez, "Ignoring %s property Address '%s': not a Bluetooth address", m_kind,
                      qPrintable(loggable(value->toString())));
        return false;
    }
    if (!isLengthChecked(name))
        return true;
    QString text = value->toString();
    if (text.size() <= maxNameLength)
        return true;
    if (isFirstReport(QLatin1String(m_kind) + QLatin1Char('/') + name + QLatin1String("/length")))
        qCWarning(lcBluez, "Cutting %s property %s of %lld characters to %d", m_kind,
                  qPrintable(name), qlonglong(text.size()), maxNameLength);
    // Not between the two halves of a character.
    int length = maxNameLength;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    text.truncate(length);
    *value = text;
    return true;
}

bool BluezPropertyTypes::needsChange(const QString &name, const QVariant &value) const
{
    const auto expected = m_signatures.constFind(name);
    if (expected == m_signatures.constEnd())
        return false;
    if (signatureOf(value) != *expected)
        return true;
    if (name == QLatin1String("Address"))
        return !isAddress(value.toString());
    return isLengthChecked(name) && value.toString().size() > maxNameLength;
}

QVariantMap BluezPropertyTypes::filtered(const QVariantMap &properties) const
{
    // Usually every entry is right: then the map is shared, not copied.
    auto wrong = properties.constBegin();
    while (wrong != properties.constEnd() && !needsChange(wrong.key(), wrong.value()))
        ++wrong;
    if (wrong == properties.constEnd())
        return properties;
    QVariantMap result;
    for (auto it = properties.constBegin(); it != wrong; ++it)
        result.insert(it.key(), it.value());
    for (auto it = wrong; it != properties.constEnd(); ++it) {
        QVariant value = it.value();
        if (check(it.key(), &value))
            result.insert(it.key(), value);
    }
    return result;
}

} // namespace Ovrin
