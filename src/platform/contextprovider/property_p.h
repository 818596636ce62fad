#ifndef CONTEXTPROVIDER_PROPERTY_P_H
#define CONTEXTPROVIDER_PROPERTY_P_H

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QVariant>

namespace ContextProvider {

class PropertyPrivate;

// The exported side of one property.
class PropertyAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brivo.ContextProvider.Property")
public:
    explicit PropertyAdaptor(PropertyPrivate *parent);

public Q_SLOTS:
    QVariantList Get() const;

Q_SIGNALS:
    void ValueChanged(const QVariantList &values);

private:
    PropertyPrivate *d;
};

class PropertyPrivate : public QObject
{
    Q_OBJECT
public:
    PropertyPrivate(const QDBusConnection &connection, const QString &key);
    ~PropertyPrivate() override;

    QVariantList values() const;

    QDBusConnection connection;
    QString key;
    QString path;
    QVariant value;
    PropertyAdaptor *adaptor;
};

} // namespace ContextProvider

#endif // CONTEXTPROVIDER_PROPERTY_P_H
