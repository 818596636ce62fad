#ifndef OBEX5SERVICE_H
#define OBEX5SERVICE_H

#include "obexserverservice.h"

#include <QHash>

#include <memory>

class BluetoothService;
class Obex5Client;
class Obex5Manager;
class Obex5Session;
class Obex5Transfer;
class ObjectManager;
class PropertiesBatcher;

// obexd of BlueZ 5: "org.bluez.obex" on the session bus, both halves of it
// (the sending half is its Obex5Client). Pushes run on the
// machinery of obexd 0.45; each connection shows as a Session1 and a
// Transfer1 object under "/org/bluez/obex/server", announced through the
// ObjectManager at "/", with property changes batched as gdbus does.
class Obex5Service : public ObexServerService
{
    Q_OBJECT
public:
    Obex5Service(const QString &busAddress, BluetoothService *bluez, CallLog *log,
                 FaultPlan *faults, QObject *parent = nullptr);
    ~Obex5Service() override;

    QJsonObject state() const override;
    // The sending half, on this daemon's connection.
    Obex5Client *client() const { return m_client; }

    QString rootFolder() const override;
    bool createsFileBeforeRootCheck() const override { return true; }
    bool keepsCutShortObjects() const override { return true; }
    QString rootAsCompared() const override;
    QString authorizeMethod() const override;
    QVariantList authorizeArguments(const ObexPush *push) const override;
    void objectHeaders(ObexPush *push) override;
    void objectStarted(ObexPush *push) override;
    void objectProgress(ObexPush *push, qint64 done) override;
    void objectEnded(ObexPush *push, bool success) override;
    bool mayCancel(const SimCall &call) const override;

protected:
    void started(const QDBusConnection &connection) override;
    void stopped() override;
    QString nextPushPath() override;
    void pushAdded(ObexPush *push) override;
    void pushRemoved(ObexPush *push) override;

private:
    struct Objects
    {
        std::unique_ptr<Obex5Session> session;
        std::unique_ptr<Obex5Transfer> transfer;
    };
    bool isSinglePacket(const ObexPush *push) const;

    BluetoothService *m_bluez;
    PropertiesBatcher *m_batcher;
    Obex5Client *m_client;
    std::unique_ptr<ObjectManager> m_objectManager;
    std::unique_ptr<Obex5Manager> m_manager;
    std::map<ObexPush *, Objects> m_objects;
    QString m_connectionName;
    int m_nextSession = 1; // server sessions count from 1
    int m_nextTransfer = 0;
};

#endif // OBEX5SERVICE_H
