#ifndef CONTEXTPROVIDER_PROPERTY_H
#define CONTEXTPROVIDER_PROPERTY_H

#include <QObject>
#include <QVariant>

namespace ContextProvider {

class Service;
class PropertyPrivate;

// One context property, exported by its service at the object path given by
// its key, with the interface "com.brivo.ContextProvider.Property":
//   Get() -> av         the value, or an empty array while unset
//   signal ValueChanged(av)
class Q_DECL_EXPORT Property : public QObject
{
    Q_OBJECT
public:
    static const QString Interface;

    Property(Service &service, const QString &key, QObject *parent = nullptr);
    ~Property() override;

    QString key() const;
    // Where the property is exported; the key itself when it is a valid object path.
    QString objectPath() const;
    QVariant value() const;
    void setValue(const QVariant &value);
    void unsetValue();

Q_SIGNALS:
    void valueChanged();

private:
    PropertyPrivate *d;
};

} // namespace ContextProvider

#endif // CONTEXTPROVIDER_PROPERTY_H
