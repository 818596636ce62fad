#ifndef OVRIN_BLUEZ4DIALECT_H
#define OVRIN_BLUEZ4DIALECT_H

#include "bluezdialect.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace Ovrin {

// bluetoothd 4: the manager's default adapter, "GetProperties" and
// "PropertyChanged", "DeviceFound" during an inquiry, and device creation
// on the adapter.
class Bluez4Dialect : public BluezDialect
{
    Q_OBJECT
public:
    Bluez4Dialect(const QDBusConnection &bus, QObject *parent);
    ~Bluez4Dialect() override;

    QString name() const override { return QStringLiteral("BlueZ 4"); }

    QString findAdapter() override;
    QString adapterPath() const override;
    bool adapterProperties(QVariantMap *properties, QDBusError *error) override;
    bool setAdapterProperty(const QString &name, const QVariant &value) override;
    bool listDevices(QList<QDBusObjectPath> *devices) override;
    QDBusObjectPath findDevice(const QString &address, QDBusError *error) override;
    bool startDiscovery() override;
    bool stopDiscovery() override;
    void requestSession(QObject *context, const CallDone &done) override;
    bool releaseSession() override;
    bool registerAgent(const QString &agentPath) override;
    bool unregisterAgent(const QString &agentPath) override;

    void createDevice(const QString &address, QObject *context, const CreationDone &done) override;
    void createPairedDevice(const QString &address, const QString &agentPath, QObject *context,
                            const CreationDone &done) override;
    void cancelDeviceCreation(const QString &address) override;
    bool removeDevice(const QString &devicePath) override;
    bool deviceProperties(const QString &devicePath, QVariantMap *properties,
                          QDBusError *error) override;
    QList<QVariantMap> devicePropertiesOf(const QStringList &devicePaths) override;
    void fetchDeviceProperties(const QString &devicePath, QObject *context,
                               const PropertiesDone &done) override;
    bool setDeviceProperty(const QString &devicePath, const QString &name,
                           const QVariant &value) override;
    QDBusPendingCall disconnectDevice(const QString &devicePath) override;
    bool isAudioConnected(const QString &devicePath, QDBusError *error) override;
    QDBusPendingCall connectAudio(const QString &devicePath) override;

private Q_SLOTS:
    void onAdapterPropertyChanged(const QString &name, const QDBusVariant &value);
    void onDevicePropertyChanged(const QString &name, const QDBusVariant &value,
                                 const QDBusMessage &message);
    void onDeviceRemoved(const QDBusObjectPath &path, const QDBusMessage &message);
    void onDeviceFound(const QString &address, const QVariantMap &properties);

private:
    QDBusMessage adapterCall(const QString &method, const QVariantList &args = {}) const;
    QDBusMessage deviceCall(const QString &devicePath, const QString &method,
                            const QVariantList &args = {}) const;
    bool blockingAdapterCall(const char *method, const QVariantList &args = {});
    QDBusPendingCall slowAdapterCall(const QString &method, const QVariantList &args);
    void whenCreated(const QDBusPendingCall &call, QObject *context, const CreationDone &done);
    void followDeviceFound(bool follow);

    QDBusConnection m_bus;
    QString m_adapterPath;
    bool m_followingDeviceFound = false;
};

} // namespace Ovrin

#endif // OVRIN_BLUEZ4DIALECT_H
