#ifndef SIMULATORCLIENT_H
#define SIMULATORCLIENT_H

#include <QDBusConnection>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QVariant>

#include <optional>

// Drives the simulator (btsim) through its control interface on the session
// bus. Every call blocks briefly; the simulator answers at once.
class SimulatorClient : public QObject
{
    Q_OBJECT
public:
    struct Call
    {
        QString bus;
        QString sender;
        QString destination;
        QString path;
        QString interface;
        QString member;
        QString signature;
        qint64 msecs = 0;
    };

    explicit SimulatorClient(const QDBusConnection &session = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    bool isAvailable() const;
    bool waitForService(int timeoutMs = 10000) const;
    QString lastError() const { return m_lastError; }

    bool loadScenario(const QJsonObject &scenario);
    bool loadScenarioFile(const QString &fileName);
    QJsonObject state();
    QJsonObject device(const QString &address);

    bool addDevice(const QJsonObject &device);
    bool changeDevice(const QString &address, const QJsonObject &changes);
    bool removeDevice(const QString &address);
    bool changeAdapter(const QJsonObject &changes);
    bool setTiming(const QJsonObject &timing);
    bool setRawProperty(const QString &target, const QString &name, const QVariant &value);
    bool reportDeviceFound(const QString &address);

    bool failNext(const QString &method, const QString &errorName, const QString &errorText = {});
    bool neverAnswerNext(const QString &method);
    bool delayNext(const QString &method, int msecs);
    bool clearFaults();

    bool dropService(const QString &name = QStringLiteral("org.bluez"));
    bool restoreService(const QString &name = QStringLiteral("org.bluez"));

    QList<Call> callLog();
    bool clearCallLog();
    // Calls of member (and interface, when given) in the log.
    int countCalls(const QString &member, const QString &interface = {});
    QJsonArray pendingAgentCalls();
    // What agents answered to the daemon's requests, oldest first: objects with
    // "member", "error" ("" for a return), "values", "owner", "path".
    QJsonArray agentAnswers();

    // Start something the remote side does; the outcome arrives later. Returns
    // a ticket (0 when it could not start).
    uint requestAuthorization(const QString &address, const QString &uuid);
    uint incomingPairing(const QString &address);
    // The error name the request ended with ("" for success), or nothing on timeout.
    std::optional<QString> waitForRequest(uint ticket, int timeoutMs = 10000);

    bool quit();

Q_SIGNALS:
    void requestFinished(uint ticket, const QString &errorName);

private Q_SLOTS:
    void onRequestFinished(uint ticket, const QString &errorName);

private:
    QDBusMessage call(const QString &method, const QVariantList &args = {});
    bool callOk(const QString &method, const QVariantList &args = {});
    static QString json(const QJsonObject &object);

    QDBusConnection m_connection;
    QString m_lastError;
    QHash<uint, QString> m_finished;
};

#endif // SIMULATORCLIENT_H
