#ifndef CONTEXTPROVIDER_SERVICE_H
#define CONTEXTPROVIDER_SERVICE_H

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace ContextProvider {

class ServicePrivate;

// Provides context properties under one well-known name on a bus. The name is
// owned for the life of the object; properties made on the service are
// exported on its connection.
class Q_DECL_EXPORT Service : public QObject
{
    Q_OBJECT
public:
    Service(QDBusConnection::BusType busType, const QString &busName, QObject *parent = nullptr);
    ~Service() override;

    QString busName() const;
    QDBusConnection connection() const;
    // True while the name is ours.
    bool isRegistered() const;

private:
    std::unique_ptr<ServicePrivate> d;
};

} // namespace ContextProvider

#endif // CONTEXTPROVIDER_SERVICE_H
