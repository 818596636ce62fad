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
    // The next call of method has no effect: answered with an empty success
    // (answer) or never; for methods whose reply carries no values.
    bool ignoreNext(const QString &method, bool answer);
    bool delayNext(const QString &method, int msecs);
    bool clearFaults();

    // A daemon dies ("org.bluez", "org.openobex" or "org.openobex.client")
    // and comes back as a new process (new unique name, state of a fresh start).
    bool dropService(const QString &name = QStringLiteral("org.bluez"));
    bool restoreService(const QString &name = QStringLiteral("org.bluez"));

    QList<Call> callLog();
    bool clearCallLog();
    // Calls of member (and interface, when given) in the log.
    int countCalls(const QString &member, const QString &interface = {});
    // Calls of every daemon into agents that are still unanswered: objects with
    // "service" (the daemon's name), "owner", "path", "interface", "member",
    // "arguments" (object paths as strings).
    QJsonArray pendingAgentCalls();
    // What agents answered to the daemon's requests, oldest first: objects with
    // "member", "error" ("" for a return), "values", "owner", "path", "service".
    QJsonArray agentAnswers();

    // The daemons lie (see Liar in btsim): count signals picked from seed;
    // returns how many lies of each kind were sent.
    QJsonObject tellLies(int count, quint32 seed);
    // GetProperties replies lie from now on; false: the truth again, which
    // is signalled property by property too.
    bool lieInReplies(bool lying, quint32 seed = 1);

    // Start something the remote side does; the outcome arrives later. Returns
    // a ticket (0 when it could not start).
    uint requestAuthorization(const QString &address, const QString &uuid);
    uint incomingPairing(const QString &address);
    // The error name the request ended with ("" for success), or nothing on timeout.
    std::optional<QString> waitForRequest(uint ticket, int timeoutMs = 10000);

    // --- obexd and obex-client ("org.openobex", "org.openobex.client") -------
    //
    // Options of both daemons, the "obex" section of a scenario; only the keys
    // given change: rootFolder (obexd -r; default: btsim's home folder),
    // autoAccept (-a), symlinks (-l: agent paths outside the root allowed),
    // speed (bytes per second of every transfer; <= 0: no limit), packetSize,
    // connectMs, authorizeTimeoutMs (obexd's wait for Authorize, 60000),
    // requestTimeoutMs (obex-client's wait for Request, 25000), requestDelayMs
    // (obex-client's pause before each Request, 0: a gap between files),
    // firstResponseTimeoutMs / responseTimeoutMs (obex-client's wait for the
    // remote while a send is stalled: 60000 / 10000; 0: for ever), errorTexts
    // ("gobex": "Transfer failed (0x43)", as 0.43-0.45; "openobex": "Forbidden",
    // as 0.3x).
    bool setObexOptions(const QJsonObject &options);
    bool setObexSpeed(int bytesPerSecond)
    {
        return setObexOptions({ { "speed", bytesPerSecond } });
    }

    // Receiving: a remote device pushes a file to obexd. Returns a ticket (0
    // when it could not start) whose outcome arrives through requestFinished /
    // waitForRequest: "" when the file was stored, otherwise "Forbidden" (agent
    // refused or did not answer, no agent, path outside the root folder),
    // "BadRequest" (bad name, empty answer), "NotFound" (folder missing),
    // "Canceled" (Transfer.Cancel), "Aborted" / "Disconnected" (failTransfer),
    // "InternalServerError". transfer gets the "/transferN" path at once.
    // bytesPerSecond < 0: the daemons' speed.
    uint pushFile(const QString &address, const QString &name, const QString &mimeType,
                  const QByteArray &contents, int bytesPerSecond = -1, QString *transfer = nullptr);
    // The full form, JSON: "address", then either one object's keys or
    // "objects": [...] (several objects over one connection, one path), each
    // with "name", "type", and "contents" (text) or "contentsBase64" or "size"
    // (that many bytes "abc...zabc..."), optional "announcedSize" (-1:
    // unknown), "abortAfter" / "stallAfter" (bytes); and "speed".
    uint pushFiles(const QJsonObject &push, QString *transfer = nullptr);

    // A running transfer of either daemon, by path ("/transferN" or
    // "/org/openobex/transferN"); "next" means the next file obex-client sends.
    // Stalled transfers move no data until resumed (obex-client gives up after
    // its response timeout, as gobex does).
    bool stallTransfer(const QString &transfer);
    bool resumeTransfer(const QString &transfer);
    // obexd: error "abort" (default) or "disconnect"; the object ends
    // unsuccessfully and the partial file is deleted. obex-client: error is an
    // outcome as for setSendOutcome (default "forbidden").
    bool failTransfer(const QString &transfer, const QString &error = {});
    bool setTransferSpeed(const QString &transfer, int bytesPerSecond);
    // Sending: what the remote does with a file obex-client sends: file is its
    // local path, its bare name, or "" for the next one. outcome: "ok", "stall",
    // "timeout" (no answer: "Timed out waiting for response"), an OBEX response
    // name ("forbidden", "unauthorized", "notfound", "notacceptable",
    // "unsupportedmediatype", "entitytoolarge", "internalservererror",
    // "serviceunavailable", "databasefull", ...), a code ("0x43"), or
    // "message:<text>" for an Error text of your own. Plans queue up.
    bool setSendOutcome(const QString &file, const QString &outcome);

    // Whether a call to the dropped name makes the bus bring it back
    // (default: yes for both obexd names). Not activatable: the caller gets
    // "org.freedesktop.DBus.Error.Spawn.ChildExited".
    bool setActivatable(const QString &service, bool activatable);

    // state() parts: "org.openobex" (agent, transfers, received files, options,
    // activations) and "org.openobex.client" (sessions with their transfers,
    // sent files with the SHA-1 of the bytes the remote got, planned outcomes).
    // The receiving obexd of either dialect ("org.openobex" or "org.bluez.obex").
    QJsonObject obexServerState()
    {
        const QJsonObject all = state();
        const QLatin1String obexd5("org.bluez.obex");
        return all.value(all.contains(obexd5) ? obexd5 : QLatin1String("org.openobex")).toObject();
    }
    // The sending obexd of either dialect (obexd 5 keeps it under "client").
    QJsonObject obexClientState()
    {
        const QJsonObject all = state();
        const QLatin1String obexd5("org.bluez.obex");
        if (all.contains(obexd5))
            return all.value(obexd5).toObject().value(QLatin1String("client")).toObject();
        return all.value(QLatin1String("org.openobex.client")).toObject();
    }

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
