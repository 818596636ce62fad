#include "orvelgconfitem.h"

#include <QLoggingCategory>

// GLib's headers use names Qt defines as macros; the target builds without
// Qt's keywords, so the order of includes does not matter.
#include <gconf/gconf-client.h>

Q_LOGGING_CATEGORY(lcGConf, "orvel.gconf")

struct OrvelGConfItemPrivate
{
    QString key;
    QByteArray keyBytes;
    QByteArray dir;
    GConfClient *client = nullptr;
    guint notifyId = 0;
    QVariant cached;
};

namespace {

QVariant toVariant(const GConfValue *value)
{
    if (!value)
        return {};
    switch (value->type) {
    case GCONF_VALUE_BOOL:
        return bool(gconf_value_get_bool(value));
    case GCONF_VALUE_INT:
        return gconf_value_get_int(value);
    case GCONF_VALUE_FLOAT:
        return gconf_value_get_float(value);
    case GCONF_VALUE_STRING:
        return QString::fromUtf8(gconf_value_get_string(value));
    case GCONF_VALUE_LIST: {
        QStringList list;
        for (GSList *item = gconf_value_get_list(value); item; item = item->next) {
            auto *element = static_cast<GConfValue *>(item->data);
            if (element->type == GCONF_VALUE_STRING)
                list.append(QString::fromUtf8(gconf_value_get_string(element)));
        }
        return list;
    }
    default:
        return {};
    }
}

void logError(const char *what, const QString &key, GError *error)
{
    qCWarning(lcGConf, "GConf %s of %s failed: %s", what, qPrintable(key), error ? error->message : "unknown");
    if (error)
        g_error_free(error);
}

void keyChanged(GConfClient *, guint, GConfEntry *entry, gpointer data)
{
    auto *item = static_cast<OrvelGConfItem *>(data);
    Q_UNUSED(entry)
    Q_EMIT item->valueChanged();
}

} // namespace

OrvelGConfItem::OrvelGConfItem(const QString &key, QObject *parent)
    : QObject(parent), d(new OrvelGConfItemPrivate)
{
    d->key = key;
    d->keyBytes = key.toUtf8();
    d->dir = key.section(QLatin1Char('/'), 0, -2).toUtf8();
    d->client = gconf_client_get_default();
    GError *error = nullptr;
    // Notifications need the key's folder added first.
    gconf_client_add_dir(d->client, d->dir.constData(), GCONF_CLIENT_PRELOAD_NONE, &error);
    if (error)
        logError("watch", key, error);
    error = nullptr;
    d->notifyId = gconf_client_notify_add(d->client, d->keyBytes.constData(), keyChanged, this, nullptr, &error);
    if (error)
        logError("notification", key, error);
}

OrvelGConfItem::~OrvelGConfItem()
{
    if (d->notifyId)
        gconf_client_notify_remove(d->client, d->notifyId);
    gconf_client_remove_dir(d->client, d->dir.constData(), nullptr);
    g_object_unref(d->client);
    delete d;
}

QString OrvelGConfItem::key() const
{
    return d->key;
}

QVariant OrvelGConfItem::value() const
{
    GError *error = nullptr;
    GConfValue *value = gconf_client_get(d->client, d->keyBytes.constData(), &error);
    if (error) {
        logError("read", d->key, error);
        return {};
    }
    const QVariant result = toVariant(value);
    if (value)
        gconf_value_free(value);
    return result;
}

QVariant OrvelGConfItem::value(const QVariant &defaultValue) const
{
    const QVariant current = value();
    return current.isValid() ? current : defaultValue;
}

bool OrvelGConfItem::set(const QVariant &value)
{
    GError *error = nullptr;
    const char *key = d->keyBytes.constData();
    switch (value.userType()) {
    case QMetaType::Bool:
        gconf_client_set_bool(d->client, key, value.toBool(), &error);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        gconf_client_set_int(d->client, key, value.toInt(), &error);
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        gconf_client_set_float(d->client, key, value.toDouble(), &error);
        break;
    case QMetaType::QString:
        gconf_client_set_string(d->client, key, value.toString().toUtf8().constData(), &error);
        break;
    case QMetaType::QStringList: {
        QList<QByteArray> storage;
        GSList *list = nullptr;
        for (const QString &s : value.toStringList()) {
            storage.append(s.toUtf8());
            list = g_slist_append(list, storage.last().data());
        }
        gconf_client_set_list(d->client, key, GCONF_VALUE_STRING, list, &error);
        g_slist_free(list);
        break;
    }
    default:
        qCWarning(lcGConf, "GConf cannot store a %s in %s", value.typeName(), qPrintable(d->key));
        return false;
    }
    if (error) {
        logError("write", d->key, error);
        return false;
    }
    return true;
}

void OrvelGConfItem::unset()
{
    GError *error = nullptr;
    gconf_client_unset(d->client, d->keyBytes.constData(), &error);
    if (error)
        logError("unset", d->key, error);
}
