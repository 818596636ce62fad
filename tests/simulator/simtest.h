#ifndef SIMTEST_H
#define SIMTEST_H

// What the simulator's self-tests share: short calls to the simulated daemons
// and readers of what they answer and announce.

#include "bluezcall.h"
#include "scriptedagent.h"
#include "signalrecorder.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace OvrinTest {

const QString adapterInterface = u"org.bluez.Adapter"_s;
const QString deviceInterface = u"org.bluez.Device"_s;
const QString unknownMethod = u"org.freedesktop.DBus.Error.UnknownMethod"_s;

// Base of the test classes: the simulator, its adapter and calls to them.
class SimTest : public QObject
{
public:
    QString m_adapter;

    static SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    static QString bluezError(const char *name)
    {
        return u"org.bluez.Error."_s + QLatin1String(name);
    }
    static bool ok(const QDBusMessage &reply) { return reply.type() == QDBusMessage::ReplyMessage; }
    // The error name a blocking call ends with, "" for a reply.
    static QString errorOf(const QDBusMessage &call,
                           const QDBusConnection &bus = QDBusConnection::systemBus())
    {
        return bus.call(call).errorName();
    }
    // The timeline once label has come (occurrences times), or a note that it did not.
    static QStringList labelsOnce(SignalRecorder &recorder, const QString &label,
                                  int timeoutMs = 5000, int occurrences = 1)
    {
        return recorder.waitFor(label, timeoutMs, occurrences)
            ? recorder.labels()
            : QStringList({ "(no " + label + ")" });
    }
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
    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {}) const
    {
        return bluezCall(m_adapter, adapterInterface, member, args);
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
    QVariant deviceProperty(const QString &address, const QString &name) const
    {
        return properties(path(address), deviceInterface).value(name);
    }
    bool hasDevice(const QString &address) const
    {
        return ok(adapterCall(u"FindDevice"_s, { address }));
    }
    // The OBEX world, with folders made afresh: obexd's root, one outside
    // it, and one with the files to send.
    QString m_inbox;
    QString m_outside;
    QString m_outbox;
    bool loadObexWorld()
    {
        if (!load(u"obex.json"_s))
            return false;
        const QString root = TestEnvironment::instance()->directory();
        m_inbox = root + u"/inbox"_s;
        m_outside = root + u"/outside"_s;
        m_outbox = root + u"/outbox"_s;
        for (const QString &dir : { m_inbox, m_outside, m_outbox }) {
            if (!QDir(dir).removeRecursively() || !QDir().mkpath(dir))
                return false;
        }
        return sim()->setObexOptions({ { "rootFolder", m_inbox } });
    }
    // The error name a request of the remote side ended with, "" for success.
    static QString outcome(uint ticket)
    {
        const std::optional<QString> result = sim()->waitForRequest(ticket, 10000);
        return result ? *result : u"(unfinished)"_s;
    }
};

} // namespace OvrinTest

#endif // SIMTEST_H
