#include "property.h"
#include "property_p.h"
#include "service.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <algorithm>

Q_LOGGING_CATEGORY(lcContextProperty, "ovrin.contextprovider")

namespace ContextProvider {

namespace {

bool isPathCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || c == u'_';
}

bool isValidObjectPath(const QString &path)
{
    if (!path.startsWith(u'/'))
        return false;
    if (path.size() == 1)
        return true;
    const QStringList elements = path.mid(1).split(u'/');
    for (const QString &element : elements) {
        if (element.isEmpty() || !std::all_of(element.begin(), element.end(), isPathCharacter))
            return false;
    }
    return true;
}

// Keys of the dotted kind ("Battery.Level") or with other characters still get
// a path of their own: dots become elements, anything else is hex-escaped.
QString objectPathForKey(const QString &key)
{
    if (isValidObjectPath(key))
        return key;
    QString path;
    for (const QString &element :
         key.split(QRegularExpression(QStringLiteral("[./]")), Qt::SkipEmptyParts)) {
        path += u'/';
        for (const QChar c : element)
            path += isPathCharacter(c) ? QString(c)
                                       : QStringLiteral("_%1").arg(c.unicode(), 4, 16, QChar(u'0'));
    }
    return path.isEmpty() ? QStringLiteral("/_") : path;
}

} // namespace

const QString Property::Interface = QStringLiteral("com.brivo.ContextProvider.Property");

PropertyAdaptor::PropertyAdaptor(PropertyPrivate *parent)
    : QDBusAbstractAdaptor(parent)
    , d(parent)
{
}

QVariantList PropertyAdaptor::Get() const
{
    return d->values();
}

PropertyPrivate::PropertyPrivate(const QDBusConnection &connection, const QString &key)
    : connection(connection)
    , key(key)
    , path(objectPathForKey(key))
    , adaptor(new PropertyAdaptor(this))
{
    if (!this->connection.registerObject(path, this, QDBusConnection::ExportAdaptors))
        qCWarning(lcContextProperty, "Context property %s cannot be exported at %s",
                  qPrintable(key), qPrintable(path));
}

PropertyPrivate::~PropertyPrivate()
{
    connection.unregisterObject(path);
}

QVariantList PropertyPrivate::values() const
{
    return value.isValid() ? QVariantList { value } : QVariantList();
}

Property::Property(Service &service, const QString &key, QObject *parent)
    : QObject(parent)
    , d(new PropertyPrivate(service.connection(), key))
{
    d->setParent(this);
}

Property::~Property() = default;

QString Property::key() const
{
    return d->key;
}

QString Property::objectPath() const
{
    return d->path;
}

QVariant Property::value() const
{
    return d->value;
}

void Property::setValue(const QVariant &value)
{
    // Subscribers hear of changes only.
    if (value.isValid() == d->value.isValid() && value == d->value)
        return;
    d->value = value;
    Q_EMIT d->adaptor->ValueChanged(d->values());
    Q_EMIT valueChanged();
}

void Property::unsetValue()
{
    setValue(QVariant());
}

} // namespace ContextProvider
