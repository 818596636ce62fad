// The simulator's control interface: planned faults, the call log, daemon
// restarts and changes to the world, as tests and the demo use them.

#include "bluezcall.h"
#include "signalrecorder.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace OvrinTest;

namespace {

const QString bluez = QStringLiteral("org.bluez");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString deviceInterface = QStringLiteral("org.bluez.Device");
const QString noReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");

const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString keyboard = QStringLiteral("00:12:A1:0B:22:03");
const QString phone = QStringLiteral("F4:0E:22:13:33:04");
const QString nameless = QStringLiteral("00:25:DB:A7:01:07");
const QString newcomer = QStringLiteral("00:11:22:33:44:55");

QVariant valueOf(const SignalRecorder::Entry &entry)
{
    return entry.arguments.value(1).value<QDBusVariant>().variant();
}

QString signatureOf(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

QString owner(const QString &name)
{
    return QDBusConnection::systemBus().interface()->serviceOwner(name).value();
}

} // namespace

class TestSimControl : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_adapter;

    QString path(const QString &address) const
    {
        return OvrinTest::devicePath(m_adapter, address);
    }
    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {}, int timeoutMs = 10000)
    {
        return bluezCall(m_adapter, adapterInterface, member, args, timeoutMs);
    }
    QDBusMessage adapterMessage(const QString &member, const QVariantList &args = {})
    {
        return bluezMessage(m_adapter, adapterInterface, member, args);
    }
    QVariantMap adapterProperties()
    {
        return qdbus_cast<QVariantMap>(adapterCall(QStringLiteral("GetProperties")).arguments().value(0));
    }
    QVariantMap deviceProperties(const QString &address)
    {
        return qdbus_cast<QVariantMap>(bluezCall(path(address), deviceInterface, QStringLiteral("GetProperties")).arguments().value(0));
    }
    QList<QDBusObjectPath> adapterDevices()
    {
        return qdbus_cast<QList<QDBusObjectPath>>(adapterProperties().value(QStringLiteral("Devices")));
    }
    bool hasDevice(const QString &address)
    {
        return adapterCall(QStringLiteral("FindDevice"), { address }).type() == QDBusMessage::ReplyMessage;
    }
    // LoadScenario with any text, not only well-formed JSON.
    QDBusMessage loadScenarioText(const QString &text)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("com.brivo.BtSim"), QStringLiteral("/com/brivo/BtSim"),
                                                              QStringLiteral("com.brivo.BtSim"), QStringLiteral("LoadScenario"));
        message.setArguments({ text });
        return QDBusConnection::sessionBus().call(message);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/paired-headsets-and-strangers.json"))),
                 qPrintable(sim()->lastError()));
        QVERIFY(sim()->clearFaults());
        m_adapter = defaultAdapterPath();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void cleanup()
    {
        // A failed restart test must not leave the others without a daemon.
        if (!QDBusConnection::systemBus().interface()->isServiceRegistered(bluez))
            sim()->restoreService();
    }

    void failNextFailsExactlyOneCallWithoutEffect()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->failNext(QStringLiteral("org.bluez.Adapter.SetProperty"), QStringLiteral("org.bluez.Error.Failed"),
                                QStringLiteral("Injected")));
        const QDBusMessage failed = adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Changed")) });
        QCOMPARE(failed.errorName(), QStringLiteral("org.bluez.Error.Failed"));
        QCOMPARE(failed.errorMessage(), QStringLiteral("Injected"));
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(), QStringLiteral("Test handset"));
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Changed")) }).type()
                == QDBusMessage::ReplyMessage);
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(), QStringLiteral("Changed"));
        // Only the call that went through was confirmed.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Name")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Name" }));

        // A failed CreateDevice creates nothing.
        recorder.clear();
        QVERIFY(sim()->failNext(QStringLiteral("CreateDevice"), QStringLiteral("org.bluez.Error.NotReady")));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { phone }).errorName(), QStringLiteral("org.bluez.Error.NotReady"));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        QVERIFY(!hasDevice(phone));

        // Planned faults queue up, one per call; the interface narrows them.
        QVERIFY(sim()->failNext(QStringLiteral("org.bluez.Device.GetProperties"), QStringLiteral("org.bluez.Error.DoesNotExist")));
        QVERIFY(sim()->failNext(QStringLiteral("org.bluez.Device.GetProperties"), QStringLiteral("org.bluez.Error.NotAuthorized")));
        QVERIFY(adapterCall(QStringLiteral("GetProperties")).type() == QDBusMessage::ReplyMessage);
        QCOMPARE(bluezCall(path(headset), deviceInterface, QStringLiteral("GetProperties")).errorName(), QStringLiteral("org.bluez.Error.DoesNotExist"));
        QCOMPARE(bluezCall(path(headset), deviceInterface, QStringLiteral("GetProperties")).errorName(), QStringLiteral("org.bluez.Error.NotAuthorized"));
        QVERIFY(bluezCall(path(headset), deviceInterface, QStringLiteral("GetProperties")).type() == QDBusMessage::ReplyMessage);

        // Cleared plans fail nothing.
        QVERIFY(sim()->failNext(QStringLiteral("FindDevice"), QStringLiteral("org.bluez.Error.Failed")));
        QVERIFY(sim()->clearFaults());
        QVERIFY(hasDevice(headset));
    }

    void neverAnswerNextLeavesTheCallerWaiting()
    {
        QVERIFY(sim()->neverAnswerNext(QStringLiteral("SetProperty")));
        QElapsedTimer clock;
        clock.start();
        const QDBusMessage unanswered = adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Silent")) }, 300);
        QCOMPARE(unanswered.errorName(), noReply);
        QVERIFY(clock.elapsed() >= 250);
        // The daemon did what it was asked; it only kept the answer.
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(), QStringLiteral("Silent"));
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Loud")) }, 300).type()
                == QDBusMessage::ReplyMessage);
    }

    void delayNextAnswersLate()
    {
        QVERIFY(sim()->delayNext(QStringLiteral("org.bluez.Adapter.GetProperties"), 500));
        QElapsedTimer clock;
        clock.start();
        // Too late for a short wait...
        QCOMPARE(adapterCall(QStringLiteral("GetProperties"), {}, 200).errorName(), noReply);
        QVERIFY(sim()->delayNext(QStringLiteral("org.bluez.Adapter.GetProperties"), 500));
        clock.restart();
        // ...but it does come.
        const QDBusMessage late = adapterCall(QStringLiteral("GetProperties"));
        QCOMPARE(late.type(), QDBusMessage::ReplyMessage);
        QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(qdbus_cast<QVariantMap>(late.arguments().value(0)).value(QStringLiteral("Address")).toString(),
                 QStringLiteral("00:1A:7D:DA:71:13"));
        clock.restart();
        QVERIFY(adapterCall(QStringLiteral("GetProperties")).type() == QDBusMessage::ReplyMessage);
        QVERIFY(clock.elapsed() < 400);
    }

    void callLogRecordsEveryCall()
    {
        QVERIFY(sim()->clearCallLog());
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("other"));
        bluezCall(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
        adapterCall(QStringLiteral("GetProperties"));
        bluezCall(path(headset), deviceInterface, QStringLiteral("SetProperty"), { QStringLiteral("Trusted"), variant(true) });
        other.call(adapterMessage(QStringLiteral("FindDevice"), { headset }));
        // Refused calls are received calls too.
        bluezCall(m_adapter + QStringLiteral("/nothing"), adapterInterface, QStringLiteral("GetProperties"));
        adapterCall(QStringLiteral("StartDiscovery"), { 1 });

        const QList<SimulatorClient::Call> log = sim()->callLog();
        QCOMPARE(log.size(), 6);
        const QString me = QDBusConnection::systemBus().baseService();
        struct Expected
        {
            QString sender, path, interface, member, signature;
        };
        const QList<Expected> expected {
            { me, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"), QString() },
            { me, m_adapter, adapterInterface, QStringLiteral("GetProperties"), QString() },
            { me, path(headset), deviceInterface, QStringLiteral("SetProperty"), QStringLiteral("sv") },
            { other.baseService(), m_adapter, adapterInterface, QStringLiteral("FindDevice"), QStringLiteral("s") },
            { me, m_adapter + QStringLiteral("/nothing"), adapterInterface, QStringLiteral("GetProperties"), QString() },
            { me, m_adapter, adapterInterface, QStringLiteral("StartDiscovery"), QStringLiteral("i") },
        };
        for (int i = 0; i < log.size(); ++i) {
            const SimulatorClient::Call &call = log.at(i);
            QCOMPARE(call.sender, expected.at(i).sender);
            QCOMPARE(call.path, expected.at(i).path);
            QCOMPARE(call.interface, expected.at(i).interface);
            QCOMPARE(call.member, expected.at(i).member);
            QCOMPARE(call.signature, expected.at(i).signature);
            QCOMPARE(call.bus, QStringLiteral("system"));
            QCOMPARE(call.destination, bluez);
            if (i > 0)
                QVERIFY(call.msecs >= log.at(i - 1).msecs);
        }
        QCOMPARE(sim()->countCalls(QStringLiteral("GetProperties"), adapterInterface), 2);

        QVERIFY(sim()->clearCallLog());
        QVERIFY(sim()->callLog().isEmpty());
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }

    void droppedDaemonComesBackAsANewProcess()
    {
        QDBusServiceWatcher watcher(bluez, QDBusConnection::systemBus(), QDBusServiceWatcher::WatchForOwnerChange);
        QSignalSpy ownerChanges(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
        const QString oldOwner = owner(bluez);
        QVERIFY(oldOwner.startsWith(QLatin1Char(':')));

        // Two calls left waiting: a creation in service discovery and a disconnection.
        QVERIFY(sim()->setTiming({ { "sdpMs", 10000 }, { "disconnectMs", 10000 } }));
        QVERIFY(sim()->changeDevice(keyboard, { { "connected", true } }));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("CreateDevice"), { phone }));
        recorder.callAsync(bluezMessage(path(keyboard), deviceInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceCreated")));
        QVERIFY(recorder.waitFor(QStringLiteral("DisconnectRequested")));

        QElapsedTimer clock;
        clock.start();
        QVERIFY(sim()->dropService(bluez));
        QTRY_COMPARE_WITH_TIMEOUT(ownerChanges.size(), 1, 2000);
        QCOMPARE(ownerChanges.first(), QVariantList({ bluez, oldOwner, QString() }));
        QVERIFY(recorder.waitFor(QStringLiteral("error:CreateDevice:") + noReply, 2000));
        QVERIFY(recorder.waitFor(QStringLiteral("error:Disconnect:") + noReply, 2000));
        QVERIFY2(clock.elapsed() < 3000, "pending calls waited for their own timers");
        QCOMPARE(defaultAdapterPath(), QString());

        QVERIFY(sim()->restoreService(bluez));
        QTRY_COMPARE_WITH_TIMEOUT(ownerChanges.size(), 2, 2000);
        const QString newOwner = ownerChanges.last().value(2).toString();
        QVERIFY(newOwner.startsWith(QLatin1Char(':')));
        QVERIFY(newOwner != oldOwner);
        QCOMPARE(owner(bluez), newOwner);

        // Another pid, another adapter path.
        const QString oldAdapter = m_adapter;
        m_adapter = defaultAdapterPath();
        const QRegularExpression adapterPath(QStringLiteral("^/org/bluez/(\\d+)/hci0$"));
        QVERIFY(adapterPath.match(m_adapter).hasMatch());
        QVERIFY(adapterPath.match(m_adapter).captured(1) != adapterPath.match(oldAdapter).captured(1));

        // Stored devices are back under the new path; the half-created one is not.
        QList<QDBusObjectPath> expected;
        for (const QString &address : { QStringLiteral("00:12:A1:0B:22:03"), QStringLiteral("00:1B:66:0A:11:01"),
                                        QStringLiteral("00:1B:66:0A:11:02"), QStringLiteral("00:25:DB:A7:01:07"),
                                        QStringLiteral("C0:FF:EE:00:00:06") })
            expected.append(QDBusObjectPath(path(address)));
        QList<QDBusObjectPath> devices = adapterDevices();
        std::sort(devices.begin(), devices.end(), [](const QDBusObjectPath &a, const QDBusObjectPath &b) { return a.path() < b.path(); });
        QCOMPARE(devices, expected);
        QVERIFY(!hasDevice(phone));
        const QVariantMap props = deviceProperties(keyboard);
        QCOMPARE(props.value(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(props.value(QStringLiteral("Connected")), QVariant(false));
        QCOMPARE(bluezCall(oldAdapter, adapterInterface, QStringLiteral("GetProperties")).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }

    void changedDevicesAnnounceWhatChanged()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->changeDevice(headset, { { "name", "Renamed" } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Alias")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Name", "PropertyChanged:Alias" }));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(valueOf(recorder.entries().at(0)), QVariant(QStringLiteral("Renamed")));
        QCOMPARE(valueOf(recorder.entries().at(1)), QVariant(QStringLiteral("Renamed")));

        // A stored alias hides a new name.
        QVERIFY(bluezCall(path(headset), deviceInterface, QStringLiteral("SetProperty"), { QStringLiteral("Alias"), variant(QStringLiteral("Mine")) })
                        .type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Alias"), 5000, 2));
        recorder.clear();
        QVERIFY(sim()->changeDevice(headset, { { "name", "Again" }, { "connected", true }, { "trusted", true }, { "class", 2098180 } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Trusted")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Name", "PropertyChanged:Class", "PropertyChanged:Connected",
                                                  "PropertyChanged:Trusted" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Class")), QVariant(2098180u));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(true));

        recorder.clear();
        QVERIFY(sim()->changeDevice(nameless, { { "paired", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Paired")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(recorder.entries().first().path, path(nameless));

        // Nothing new, nothing said; a device without an object says nothing either.
        recorder.clear();
        QVERIFY(sim()->changeDevice(headset, { { "name", "Again" }, { "trusted", true } }));
        QVERIFY(sim()->changeDevice(phone, { { "name", "Quiet phone" } }));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        // Once paired it gets one.
        QVERIFY(sim()->changeDevice(phone, { { "paired", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Devices")));
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices" }));
        QCOMPARE(deviceProperties(phone).value(QStringLiteral("Name")).toString(), QStringLiteral("Quiet phone"));

        QVERIFY(!sim()->changeDevice(QStringLiteral("00:00:00:00:00:42"), { { "name", "Nobody" } }));
        QVERIFY(!sim()->changeDevice(headset, { { "class", "audio" }, { "name", "Half" } }));
        QCOMPARE(deviceProperties(headset).value(QStringLiteral("Name")).toString(), QStringLiteral("Again"));
    }

    void addedAndRemovedDevicesComeAndGo()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY2(sim()->addDevice({ { "address", newcomer }, { "name", "Newcomer" }, { "known", true } }), qPrintable(sim()->lastError()));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Devices")));
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices" }));
        QCOMPARE(recorder.entries().first().arguments.value(0).value<QDBusObjectPath>().path(), path(newcomer));
        QCOMPARE(deviceProperties(newcomer).value(QStringLiteral("Name")).toString(), QStringLiteral("Newcomer"));
        QVERIFY(!sim()->addDevice({ { "address", newcomer } }));
        QVERIFY(!sim()->addDevice({ { "name", "No address" } }));

        recorder.clear();
        QVERIFY(sim()->removeDevice(newcomer));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(!hasDevice(newcomer));
        QVERIFY(!sim()->removeDevice(newcomer));

        // A connected device loses its link before it goes.
        QVERIFY(sim()->changeDevice(headset, { { "connected", true } }));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        recorder.clear();
        QVERIFY(sim()->removeDevice(headset));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Connected", "PropertyChanged:Devices", "DeviceRemoved" }));
        QVERIFY(sim()->device(headset).isEmpty());

        // A stranger has no object, only a place in the neighbourhood.
        recorder.clear();
        QVERIFY(sim()->addDevice({ { "address", newcomer }, { "name", "Stranger" } }));
        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        QVERIFY(!hasDevice(newcomer));
        QCOMPARE(sim()->device(newcomer).value(QLatin1String("name")).toString(), QStringLiteral("Stranger"));
    }

    void rawPropertiesKeepTheirWrongType()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(sim()->setRawProperty(headset, QStringLiteral("Class"), QStringLiteral("not a number")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Class")));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(signatureOf(recorder.lastValue(QStringLiteral("Class"))), QStringLiteral("s"));
        QCOMPARE(recorder.lastValue(QStringLiteral("Class")), QVariant(QStringLiteral("not a number")));
        QCOMPARE(signatureOf(deviceProperties(headset).value(QStringLiteral("Class"))), QStringLiteral("s"));

        QVERIFY(sim()->setRawProperty(QStringLiteral("adapter"), QStringLiteral("Powered"), 1));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Powered")));
        QCOMPARE(recorder.entries().last().path, m_adapter);
        QCOMPARE(signatureOf(recorder.lastValue(QStringLiteral("Powered"))), QStringLiteral("i"));
        QCOMPARE(signatureOf(adapterProperties().value(QStringLiteral("Powered"))), QStringLiteral("i"));

        QVERIFY(!sim()->setRawProperty(QStringLiteral("00:00:00:00:00:42"), QStringLiteral("Name"), 1));
    }

    void badScenariosAreRefusedAndChangeNothing()
    {
        QVERIFY(sim()->addDevice({ { "address", newcomer }, { "known", true } }));
        SignalRecorder renamed(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Name"), variant(QStringLiteral("Before")) }).type()
                == QDBusMessage::ReplyMessage);
        // The controller confirms the name a moment after the reply.
        QVERIFY(renamed.waitFor(QStringLiteral("PropertyChanged:Name")));
        SignalRecorder recorder(QDBusConnection::systemBus());

        const QDBusMessage broken = loadScenarioText(QStringLiteral("{ \"devices\": [ "));
        QCOMPARE(broken.type(), QDBusMessage::ErrorMessage);
        QVERIFY(!broken.errorMessage().isEmpty());
        QVERIFY(!sim()->loadScenario({ { "devices", QJsonArray({ QJsonObject({ { "name", "No address" } }) }) } }));
        QVERIFY2(sim()->lastError().contains(QLatin1String("address")), qPrintable(sim()->lastError()));
        QVERIFY(!sim()->loadScenario({ { "devices", QJsonArray({ QJsonObject({ { "address", headset } }),
                                                                QJsonObject({ { "address", headset } }) }) } }));
        QVERIFY(!sim()->loadScenario({ { "devices", QJsonArray({ QJsonObject({ { "address", headset }, { "audioState", "playing" } }) }) } }));
        QVERIFY(!sim()->loadScenarioFile(TestEnvironment::instance()->directory() + QStringLiteral("/missing.json")));

        QTest::qWait(100);
        QCOMPARE(recorder.labels(), QStringList());
        QCOMPARE(defaultAdapterPath(), m_adapter);
        QVERIFY(hasDevice(newcomer));
        QVERIFY(hasDevice(headset));
        QCOMPARE(adapterProperties().value(QStringLiteral("Name")).toString(), QStringLiteral("Before"));
    }

    void btsimRefusesABadScenarioFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QHash<QString, QByteArray> files { { QStringLiteral("broken.json"), "{ \"devices\": [" },
                                                 { QStringLiteral("anonymous.json"), "{ \"devices\": [ { \"name\": \"x\" } ] }" } };
        QStringList names;
        for (auto it = files.begin(); it != files.end(); ++it) {
            QFile file(dir.filePath(it.key()));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value());
            names.append(file.fileName());
        }
        names.append(dir.filePath(QStringLiteral("missing.json")));
        const QString daemon = owner(bluez);
        for (const QString &name : std::as_const(names)) {
            QProcess btsim;
            btsim.start(QStringLiteral(OVRIN_BTSIM_PATH), { QStringLiteral("--scenario"), name });
            QVERIFY(btsim.waitForFinished(10000));
            QCOMPARE(btsim.exitStatus(), QProcess::NormalExit);
            QVERIFY(btsim.exitCode() != 0);
            const QString message = QString::fromLocal8Bit(btsim.readAllStandardError());
            QVERIFY2(message.startsWith(QLatin1String("btsim: ")) && message.contains(name), qPrintable(message));
            QVERIFY(btsim.readAllStandardOutput().isEmpty());
        }
        // The running simulator was not disturbed.
        QCOMPARE(owner(bluez), daemon);
    }
};

OVRIN_TEST_MAIN(TestSimControl)
#include "tst_simcontrol.moc"
