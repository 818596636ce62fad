#ifndef SIMTEST_H
#define SIMTEST_H

// What the simulator's self-tests share: short calls to the simulated daemons
// and readers of what they answer and announce.

#include "bluezcall.h"
#include "obexcall.h"
#include "obextestagent.h"
#include "signalrecorder.h"
#include "testagent.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace OvrinTest {

const QString adapterInterface = u"org.bluez.Adapter"_s;
const QString deviceInterface = u"org.bluez.Device"_s;
const QString unknownMethod = u"org.freedesktop.DBus.Error.UnknownMethod"_s;
const QString noReply = u"org.freedesktop.DBus.Error.NoReply"_s;

inline QString bluezError(const char *name)
{
    return u"org.bluez.Error."_s + QLatin1String(name);
}

// The error name a blocking call ends with, "" for a reply.
inline QString errorOf(const QDBusMessage &call,
                       const QDBusConnection &bus = QDBusConnection::systemBus())
{
    return bus.call(call).errorName();
}

inline bool ok(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

// The D-Bus signature of one value of an a{sv}.
inline QString signatureOf(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

inline QMap<QString, QString> signatures(const QVariantMap &map)
{
    QMap<QString, QString> types;
    for (auto it = map.begin(); it != map.end(); ++it)
        types.insert(it.key(), signatureOf(it.value()));
    return types;
}

// The new value of a recorded PropertyChanged.
inline QVariant valueOf(const SignalRecorder::Entry &entry)
{
    return entry.arguments.value(1).value<QDBusVariant>().variant();
}

inline QList<QDBusObjectPath> objectPaths(const QVariant &value)
{
    return qdbus_cast<QList<QDBusObjectPath>>(value);
}

inline QString owner(const QDBusConnection &bus, const QString &name)
{
    return bus.interface()->serviceOwner(name).value();
}

inline bool waitForName(const QDBusConnection &bus, const QString &name, bool present)
{
    QTRY_LOOP_IMPL(bus.interface()->isServiceRegistered(name).value() == present, 5000, 10);
    return bus.interface()->isServiceRegistered(name).value() == present;
}

inline QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The timeline once label has come (occurrences times), or a note that it did not.
inline QStringList labelsOnce(SignalRecorder &recorder, const QString &label, int timeoutMs = 5000,
                              int occurrences = 1)
{
    return recorder.waitFor(label, timeoutMs, occurrences) ? recorder.labels()
                                                           : QStringList({ "(no " + label + ")" });
}

// A second client on a bus, gone from it at the end of the scope.
struct OtherClient
{
    OtherClient(QDBusConnection::BusType type, const QString &name = u"other"_s)
        : name(name)
        , bus(QDBusConnection::connectToBus(type, name))
    {
    }
    ~OtherClient() { leave(); }
    void leave()
    {
        bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name);
    }
    QString name;
    QDBusConnection bus;
};

// Base of the test classes: the simulator, its adapter and calls to them.
class SimTest : public QObject
{
protected:
    QString m_adapter;

    static SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    bool load(const QString &scenario)
    {
        const bool loaded = sim()->loadScenarioFile(
            TestEnvironment::testData(u"simulator/scenarios/"_s + scenario));
        if (!loaded)
            qWarning("%s", qPrintable(sim()->lastError()));
        // Also a round trip on the system bus: no signal of an earlier test is still on its way.
        m_adapter = defaultAdapterPath();
        return loaded;
    }
    QString path(const QString &address) const { return devicePath(m_adapter, address); }
    QDBusMessage adapterMessage(const QString &member, const QVariantList &args = {}) const
    {
        return bluezMessage(m_adapter, adapterInterface, member, args);
    }
    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {},
                             int timeoutMs = 10000) const
    {
        return bluezCall(m_adapter, adapterInterface, member, args, timeoutMs);
    }
    QDBusMessage setAdapterMessage(const QString &name, const QVariant &value) const
    {
        return adapterMessage(u"SetProperty"_s, { name, variant(value) });
    }
    bool setAdapter(const QString &name, const QVariant &value) const
    {
        return ok(QDBusConnection::systemBus().call(setAdapterMessage(name, value)));
    }
    QDBusMessage setDeviceMessage(const QString &address, const QString &name,
                                  const QVariant &value) const
    {
        return bluezMessage(path(address), deviceInterface, u"SetProperty"_s,
                            { name, variant(value) });
    }
    QVariantMap properties(const QString &objectPath, const QString &interface) const
    {
        return qdbus_cast<QVariantMap>(
            bluezCall(objectPath, interface, u"GetProperties"_s).arguments().value(0));
    }
    QVariantMap adapterProperties() const { return properties(m_adapter, adapterInterface); }
    QVariantMap deviceProperties(const QString &address) const
    {
        return properties(path(address), deviceInterface);
    }
    bool hasDevice(const QString &address) const
    {
        return ok(adapterCall(u"FindDevice"_s, { address }));
    }
    bool registerAgent(const QString &agentPath, const QString &capability = {}) const
    {
        return ok(adapterCall(u"RegisterAgent"_s, { objectPath(agentPath), capability }));
    }
    // The error name a request of the remote side ended with, "" for success.
    static QString outcome(uint ticket, int timeoutMs = 10000)
    {
        const std::optional<QString> result = sim()->waitForRequest(ticket, timeoutMs);
        return result ? *result : u"(unfinished)"_s;
    }
};

} // namespace OvrinTest

#endif // SIMTEST_H
