#ifndef SIMTEST5_H
#define SIMTEST5_H

// What the self-tests of the simulated bluetoothd 5 share, beside simtest.h:
// its signals on a SignalRecorder's timeline, a scripted Agent1 and short
// calls to the object manager, Properties and the agent manager.

#include "simtest.h"

#include <QDBusMetaType>

namespace OvrinTest {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

const QString hci0 = u"/org/bluez/hci0"_s;
const QString adapter1 = u"org.bluez.Adapter1"_s;
const QString device1 = u"org.bluez.Device1"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;

// The last element of an object path: "hci0", "dev_00_11_22_AA_BB_CC".
inline QString leaf(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

// Puts bluetoothd 5's signals on a SignalRecorder's timeline:
// "<object>:<property,...>" for PropertiesChanged, "InterfacesAdded:<object>"
// and "InterfacesRemoved:<object>".
class Bluez5Signals : public QObject
{
    Q_OBJECT
public:
    // obexd 5 announces its objects the same way, on the session bus.
    explicit Bluez5Signals(SignalRecorder *recorder,
                           QDBusConnection bus = QDBusConnection::systemBus(),
                           const QString &service = u"org.bluez"_s)
        : m_recorder(recorder)
    {
        for (const char *member : { "PropertiesChanged", "InterfacesAdded", "InterfacesRemoved" })
            bus.connect(service, {}, {}, QLatin1String(member), this, SLOT(onSignal(QDBusMessage)));
    }

public Q_SLOTS:
    void onSignal(const QDBusMessage &message)
    {
        const QVariantList args = message.arguments();
        if (message.member() != QLatin1String("PropertiesChanged")) {
            const QString object = leaf(args.value(0).value<QDBusObjectPath>().path());
            m_recorder->note(message.member() + u':' + object, args);
            return;
        }
        QStringList names = qdbus_cast<QVariantMap>(args.value(1)).keys();
        names += args.value(2).toStringList();
        m_recorder->note(leaf(message.path()) + u':' + names.join(u','), args);
    }

private:
    SignalRecorder *m_recorder;
};

// org.bluez.Agent1, scripted.
class Agent1 : public ScriptedAgent
{
public:
    explicit Agent1(SignalRecorder *recorder = nullptr,
                    const QDBusConnection &bus = QDBusConnection::systemBus())
        : ScriptedAgent(bus, u"/test/agent1"_s, recorder)
    {
    }
};

// Base of the BlueZ 5 test classes.
class SimTest5 : public SimTest
{
public:
    static void registerTypes()
    {
        qDBusRegisterMetaType<InterfaceMap>();
        qDBusRegisterMetaType<ManagedObjects>();
    }
    static QString agentManagerError(const char *member, const QDBusConnection &bus,
                                     const QString &path = u"/test/agent1"_s)
    {
        QVariantList args { objectPath(path) };
        if (QLatin1String(member) == QLatin1String("RegisterAgent"))
            args.append(u"DisplayYesNo"_s);
        return errorOf(bluezMessage(u"/org/bluez"_s, u"org.bluez.AgentManager1"_s,
                                    QLatin1String(member), args),
                       bus);
    }
    static QDBusMessage setMessage(const QString &path, const QString &interface,
                                   const QString &name, const QVariant &value)
    {
        return bluezMessage(path, propertiesInterface, u"Set"_s,
                            { interface, name, variant(value) });
    }
    static QVariant get(const QString &path, const QString &interface, const QString &name)
    {
        return bluezCall(path, propertiesInterface, u"Get"_s, { interface, name })
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }
    static ManagedObjects managedObjects()
    {
        return qdbus_cast<ManagedObjects>(
            bluezCall(u"/"_s, u"org.freedesktop.DBus.ObjectManager"_s, u"GetManagedObjects"_s)
                .arguments()
                .value(0));
    }
    static QString dev(const QString &address) { return devicePath(hci0, address); }
    static QDBusMessage deviceMessage(const QString &address, const QString &member)
    {
        return bluezMessage(dev(address), device1, member);
    }
    // Starts discovery and waits until address has appeared as an object.
    static bool discover(SignalRecorder &recorder, const QString &address)
    {
        return ok(bluezCall(hci0, adapter1, u"StartDiscovery"_s))
            && recorder.waitFor(u"InterfacesAdded:"_s + leaf(dev(address)));
    }
};

} // namespace OvrinTest

#endif // SIMTEST5_H
