#include "realdaemons.h"

#include "bluezhygiene.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <linux/rfkill.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace RealDaemons {

namespace {

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

const QString bluez = QStringLiteral("org.bluez");
const QString obexd = QStringLiteral("org.bluez.obex");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage callOn(const QDBusConnection &bus, const QString &service, const QString &path,
                    const QString &interface, const QString &member,
                    const QVariantList &arguments = {}, int timeout = 25000)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, member);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, timeout);
}

// The same, with this process's event loop running meanwhile: the call may
// need one of its agents to answer first.
QDBusMessage callServing(const QDBusConnection &bus, const QString &service, const QString &path,
                         const QString &interface, const QString &member,
                         const QVariantList &arguments, int timeout)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, member);
    message.setArguments(arguments);
    QDBusPendingCall call = bus.asyncCall(message, timeout);
    (void)QTest::qWaitFor([&call] { return call.isFinished(); }, timeout + 1000);
    return call.reply();
}

QDBusMessage bluezCall(const QString &path, const QString &interface, const QString &member,
                       const QVariantList &arguments = {})
{
    return callOn(QDBusConnection::systemBus(), bluez, path, interface, member, arguments);
}

ManagedObjects managedObjectsOf(const QDBusConnection &bus, const QString &service)
{
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<ManagedObjects>();
    const QDBusMessage reply
        = callOn(bus, service, QStringLiteral("/"),
                 QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                 QStringLiteral("GetManagedObjects"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qdbus_cast<ManagedObjects>(reply.arguments().constFirst());
}

ManagedObjects managedObjects()
{
    return managedObjectsOf(QDBusConnection::systemBus(), bluez);
}

// The pid of the genuine daemon program, 0 when none runs.
pid_t pidOf(const QString &program)
{
    QProcess pidof;
    pidof.start(QStringLiteral("pidof"), { program });
    pidof.waitForFinished(5000);
    return pid_t(pidof.readAllStandardOutput().trimmed().split(' ').value(0).toInt());
}

void killGenuine(const QString &program)
{
    if (const pid_t pid = pidOf(program))
        ::kill(pid, SIGKILL);
    (void)QTest::qWaitFor([&] { return pidOf(program) == 0; }, 5000);
}

// Started as the guest started it, its output added to the guest's log.
void startGenuine(const QString &program, const QStringList &arguments, const char *logVariable)
{
    QStringList quoted;
    for (const QString &argument : arguments)
        quoted << u'\'' + argument + u'\'';
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            { QStringLiteral("-c"),
                              QStringLiteral("exec /usr/libexec/bluetooth/%1 %2 >>'%3' 2>&1")
                                  .arg(program, quoted.join(u' '),
                                       qEnvironmentVariable(logVariable, QStringLiteral("/dev/null"))) });
}

bool nameOwned(const QDBusConnection &bus, const QString &name)
{
    return bus.interface()->isServiceRegistered(name).value();
}

// Says yes to whatever bluetoothd asks the other phone's user, or No to
// pairings while told to.
class RemoteUser : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent1")

public:
    static bool refusesPairing;
    static int refusals;

public Q_SLOTS:
    Q_SCRIPTABLE void RequestConfirmation(const QDBusObjectPath &, uint)
    {
        if (!refusesPairing)
            return;
        ++refusals;
        sendErrorReply(QStringLiteral("org.bluez.Error.Rejected"), QStringLiteral("No"));
    }
    Q_SCRIPTABLE void RequestAuthorization(const QDBusObjectPath &) { }
    Q_SCRIPTABLE void AuthorizeService(const QDBusObjectPath &, const QString &) { }
    Q_SCRIPTABLE QString RequestPinCode(const QDBusObjectPath &) { return QStringLiteral("0000"); }
    Q_SCRIPTABLE uint RequestPasskey(const QDBusObjectPath &) { return 0; }
    Q_SCRIPTABLE void DisplayPasskey(const QDBusObjectPath &, uint, ushort) { }
    Q_SCRIPTABLE void DisplayPinCode(const QDBusObjectPath &, const QString &) { }
    Q_SCRIPTABLE void Release() { }
    Q_SCRIPTABLE void Cancel() { }
};

bool RemoteUser::refusesPairing = false;
int RemoteUser::refusals = 0;

SimulatorClient *simulator()
{
    return OvrinTest::TestEnvironment::instance()->simulator();
}

} // namespace

bool genuine()
{
    return qEnvironmentVariable("OVRIN_REAL_DAEMONS") == QLatin1String("1");
}

QStringList adapterPaths()
{
    QStringList paths;
    const ManagedObjects objects = managedObjects();
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        if (it->contains(adapterInterface))
            paths << it.key().path();
    }
    paths.sort();
    return paths;
}

QVariant adapterProperty(const QString &adapter, const QString &name)
{
    const QDBusMessage reply = bluezCall(adapter, propertiesInterface, QStringLiteral("Get"),
                                         { adapterInterface, name });
    return reply.type() == QDBusMessage::ReplyMessage
        ? qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant()
        : QVariant();
}

bool setAdapterProperty(const QString &adapter, const QString &name, const QVariant &value)
{
    return bluezCall(adapter, propertiesInterface, QStringLiteral("Set"),
                     { adapterInterface, name, QVariant::fromValue(QDBusVariant(value)) })
               .type()
        == QDBusMessage::ReplyMessage;
}

QString deviceObject(const QString &adapter, const QString &address)
{
    const ManagedObjects objects = managedObjects();
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        const QVariantMap device = it->value(deviceInterface);
        if (it.key().path().startsWith(adapter + u'/')
            && device.value(QStringLiteral("Address")).toString() == address)
            return it.key().path();
    }
    return QString();
}

QVariant deviceProperty(const QString &device, const QString &name)
{
    // A device BlueZ does not describe (yet) has no properties.
    if (device.isEmpty())
        return QVariant();
    const QDBusMessage reply = bluezCall(device, propertiesInterface, QStringLiteral("Get"),
                                         { deviceInterface, name });
    return reply.type() == QDBusMessage::ReplyMessage
        ? qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant()
        : QVariant();
}

void forgetDevice(const QString &adapter, const QString &address)
{
    const QString device = deviceObject(adapter, address);
    if (device.isEmpty())
        return;
    bluezCall(adapter, adapterInterface, QStringLiteral("RemoveDevice"),
              { QVariant::fromValue(QDBusObjectPath(device)) });
    // The library hears of it before the test goes on: BlueZ answers the
    // ping after the signals it sent before.
    bluezCall(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
              QStringLiteral("Ping"));
    QCoreApplication::processEvents();
}

bool startRemoteUser()
{
    static RemoteUser user;
    const QString agentPath = QStringLiteral("/org/ovrin/remoteuser");
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus,
                                                        QStringLiteral("remote-user"));
    bus.registerObject(agentPath, &user, QDBusConnection::ExportScriptableSlots);
    const QVariant path = QVariant::fromValue(QDBusObjectPath(agentPath));
    const QString manager = QStringLiteral("org.bluez.AgentManager1");
    callOn(bus, bluez, QStringLiteral("/org/bluez"), manager, QStringLiteral("RegisterAgent"),
           { path, QStringLiteral("KeyboardDisplay") });
    return callOn(bus, bluez, QStringLiteral("/org/bluez"), manager,
                  QStringLiteral("RequestDefaultAgent"), { path })
               .type()
        == QDBusMessage::ReplyMessage;
}

void setRemoteUserRefusesPairing(bool refuses)
{
    RemoteUser::refusesPairing = refuses;
}

int pairingsRefusedByRemoteUser()
{
    return RemoteUser::refusals;
}

QStringList controllerSettings(int index)
{
    QProcess btmgmt;
    btmgmt.start(QStringLiteral("btmgmt"), { QStringLiteral("--index"), QString::number(index),
                                            QStringLiteral("info") });
    btmgmt.waitForFinished(10000);
    const QString prefix = QStringLiteral("current settings:");
    const QStringList lines = QString::fromLocal8Bit(btmgmt.readAllStandardOutput()).split(u'\n');
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size()).split(u' ', Qt::SkipEmptyParts);
    }
    return {};
}

bool showRemotePhone(const QString &name)
{
    return setAdapterProperty(remoteAdapter, QStringLiteral("Powered"), true)
        && setAdapterProperty(remoteAdapter, QStringLiteral("Alias"), name)
        && setAdapterProperty(remoteAdapter, QStringLiteral("DiscoverableTimeout"), 0u)
        && setAdapterProperty(remoteAdapter, QStringLiteral("Discoverable"), true);
}

bool daemonsRunning()
{
    return nameOwned(QDBusConnection::systemBus(), bluez)
        && nameOwned(QDBusConnection::sessionBus(), obexd);
}

// The kernel's rfkill switch of a controller, written as rfkill(8) does.
bool writeRfkill(const QString &controller, bool blocked)
{
    const QDir switches(QStringLiteral("/sys/class/rfkill"));
    for (const QString &entry : switches.entryList({ QStringLiteral("rfkill*") }, QDir::Dirs)) {
        QFile name(switches.filePath(entry + QStringLiteral("/name")));
        if (!name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != controller.toLatin1())
            continue;
        rfkill_event event {};
        event.idx = entry.mid(6).toUInt();
        event.type = RFKILL_TYPE_BLUETOOTH;
        event.op = RFKILL_OP_CHANGE;
        event.soft = blocked ? 1 : 0;
        const int fd = ::open("/dev/rfkill", O_WRONLY | O_CLOEXEC);
        const bool written = fd >= 0 && ::write(fd, &event, RFKILL_EVENT_SIZE_V1) == RFKILL_EVENT_SIZE_V1;
        if (fd >= 0)
            ::close(fd);
        return written;
    }
    return false;
}

bool setRadioBlocked(const QString &controller, bool blocked)
{
    if (genuine())
        return writeRfkill(controller, blocked);
    return simulator()->changeAdapter(
        { { "controller", controller }, { "rfkillBlocked", blocked } });
}

void killBluetoothd()
{
    if (genuine())
        killGenuine(QStringLiteral("bluetoothd"));
    else
        simulator()->dropService();
    (void)QTest::qWaitFor([] { return !nameOwned(QDBusConnection::systemBus(), bluez); }, 5000);
}

bool startBluetoothd()
{
    if (genuine())
        startGenuine(QStringLiteral("bluetoothd"), { QStringLiteral("-n") },
                     "OVRIN_REAL_BLUETOOTHD_LOG");
    else if (!simulator()->restoreService())
        return false;
    return QTest::qWaitFor(
        [] {
            return adapterPaths().size() == 2
                && adapterProperty(ourAdapter, QStringLiteral("Powered")).toBool()
                && adapterProperty(remoteAdapter, QStringLiteral("Powered")).toBool();
        },
        30000)
        && startRemoteUser();
}

void killObexd()
{
    if (genuine())
        killGenuine(QStringLiteral("obexd"));
    else
        simulator()->dropService(obexd);
    (void)QTest::qWaitFor([] { return !nameOwned(QDBusConnection::sessionBus(), obexd); }, 5000);
}

bool startObexd()
{
    if (genuine())
        startGenuine(QStringLiteral("obexd"),
                     { QStringLiteral("-n"), QStringLiteral("-r"),
                       qEnvironmentVariable("OVRIN_REAL_OBEXD_ROOT") },
                     "OVRIN_REAL_OBEXD_LOG");
    else if (!simulator()->restoreService(obexd))
        return false;
    return QTest::qWaitFor([] { return nameOwned(QDBusConnection::sessionBus(), obexd); }, 15000);
}

QDBusObjectPath pushFromRemote(const QString &file, QString *error)
{
    const QDBusConnection session = QDBusConnection::sessionBus();
    const QString ours = adapterProperty(ourAdapter, QStringLiteral("Address")).toString();
    const QString remote = adapterProperty(remoteAdapter, QStringLiteral("Address")).toString();
    // The handset's pairing agent may be asked for the link's bond meanwhile.
    const QDBusMessage created = callServing(
        session, obexd, QStringLiteral("/org/bluez/obex"), QStringLiteral("org.bluez.obex.Client1"),
        QStringLiteral("CreateSession"),
        { ours,
          QVariantMap { { QStringLiteral("Target"), QStringLiteral("opp") },
                        { QStringLiteral("Source"), remote } } },
        60000);
    if (created.type() != QDBusMessage::ReplyMessage) {
        *error = created.errorName() + u' ' + created.errorMessage();
        return {};
    }
    const auto sessionPath = qvariant_cast<QDBusObjectPath>(created.arguments().value(0));
    const QDBusMessage sent = callOn(session, obexd, sessionPath.path(),
                                     QStringLiteral("org.bluez.obex.ObjectPush1"),
                                     QStringLiteral("SendFile"), { file });
    if (sent.type() != QDBusMessage::ReplyMessage) {
        *error = sent.errorName() + u' ' + sent.errorMessage();
        endRemoteSession(sessionPath);
        return {};
    }
    return sessionPath;
}

void endRemoteSession(const QDBusObjectPath &session)
{
    if (session.path().isEmpty())
        return;
    callOn(QDBusConnection::sessionBus(), obexd, QStringLiteral("/org/bluez/obex"),
           QStringLiteral("org.bluez.obex.Client1"), QStringLiteral("RemoveSession"),
           { QVariant::fromValue(session) });
}

QStringList obexClientSessions()
{
    QStringList sessions;
    const ManagedObjects objects = managedObjectsOf(QDBusConnection::sessionBus(), obexd);
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        if (it->contains(QStringLiteral("org.bluez.obex.Session1"))
            && it.key().path().startsWith(QLatin1String("/org/bluez/obex/client/")))
            sessions << it.key().path();
    }
    return sessions;
}

void reportFigure(const QString &name, double milliseconds)
{
    const QString line = QStringLiteral("%1 on %2: %3 ms\n")
                             .arg(name, genuine() ? QStringLiteral("genuine daemons")
                                                  : QStringLiteral("btsim"))
                             .arg(milliseconds, 0, 'f', 0);
    fputs(qPrintable(QStringLiteral("FIGURE ") + line), stdout);
    const QString output = qEnvironmentVariable("OVRIN_REAL_OUTPUT");
    if (output.isEmpty())
        return;
    QFile figures(output + QStringLiteral("/figures.txt"));
    if (figures.open(QIODevice::Append))
        figures.write(line.toUtf8());
}

} // namespace RealDaemons

#include "realdaemons.moc"
