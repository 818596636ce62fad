#ifndef ORVELGCONFITEM_H
#define ORVELGCONFITEM_H

#include <QObject>
#include <QVariant>

struct OrvelGConfItemPrivate;

// One GConf key: read, write and watch it. An unset key reads as an invalid
// QVariant. Values are bool, int, double, QString or QStringList.
class Q_DECL_EXPORT OrvelGConfItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE set NOTIFY valueChanged)
public:
    explicit OrvelGConfItem(const QString &key, QObject *parent = nullptr);
    ~OrvelGConfItem() override;

    QString key() const;
    QVariant value() const;
    QVariant value(const QVariant &defaultValue) const;
    // Returns false (and logs) when GConf refuses the value or the type.
    bool set(const QVariant &value);
    void unset();

Q_SIGNALS:
    void valueChanged();

private:
    OrvelGConfItemPrivate *d;
};

#endif // ORVELGCONFITEM_H
