// Device objects of the simulated daemon: creation, removal, properties,
// disconnection and the generic audio interface, in bluetoothd 4.101's order.

#include "bluezcall.h"
#include "signalrecorder.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QRegularExpression>

using namespace OvrinTest;

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString deviceInterface = QStringLiteral("org.bluez.Device");
const QString audioInterface = QStringLiteral("org.bluez.Audio");

const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString oldHeadset = QStringLiteral("00:1B:66:0A:11:02");
const QString keyboard = QStringLiteral("00:12:A1:0B:22:03");
const QString phone = QStringLiteral("F4:0E:22:13:33:04");
const QString farAway = QStringLiteral("5C:51:88:0F:77:05");
const QString tag = QStringLiteral("C0:FF:EE:00:00:06");
const QString nameless = QStringLiteral("00:25:DB:A7:01:07");

const QStringList headsetUuids { "00001108-0000-1000-8000-00805f9b34fb", "0000110b-0000-1000-8000-00805f9b34fb",
                                 "0000111e-0000-1000-8000-00805f9b34fb" };

// The D-Bus signature of one value of an a{sv}.
QString signatureOf(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return value.value<QDBusArgument>().currentSignature();
    return QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType()));
}

QMap<QString, QString> signatures(const QVariantMap &map)
{
    QMap<QString, QString> types;
    for (auto it = map.begin(); it != map.end(); ++it)
        types.insert(it.key(), signatureOf(it.value()));
    return types;
}

QVariant valueOf(const SignalRecorder::Entry &entry)
{
    return entry.arguments.value(1).value<QDBusVariant>().variant();
}

QList<QDBusObjectPath> objectPaths(const QVariant &value)
{
    return qdbus_cast<QList<QDBusObjectPath>>(value);
}

} // namespace

class TestSimDevices : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_adapter;

    QString path(const QString &address) const
    {
        return OvrinTest::devicePath(m_adapter, address);
    }
    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {})
    {
        return bluezCall(m_adapter, adapterInterface, member, args);
    }
    QDBusMessage adapterMessage(const QString &member, const QVariantList &args = {})
    {
        return bluezMessage(m_adapter, adapterInterface, member, args);
    }
    QVariantMap properties(const QString &address, const QString &interface = deviceInterface)
    {
        return qdbus_cast<QVariantMap>(bluezCall(path(address), interface, QStringLiteral("GetProperties")).arguments().value(0));
    }
    QList<QDBusObjectPath> adapterDevices()
    {
        const QVariantMap props = qdbus_cast<QVariantMap>(adapterCall(QStringLiteral("GetProperties")).arguments().value(0));
        return objectPaths(props.value(QStringLiteral("Devices")));
    }
    QDBusMessage setDeviceProperty(const QString &address, const QString &name, const QVariant &value)
    {
        return bluezMessage(path(address), deviceInterface, QStringLiteral("SetProperty"), { name, variant(value) });
    }
    bool connectLink(const QString &address)
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        return sim()->changeDevice(address, { { "connected", true } })
                && recorder.waitFor(QStringLiteral("PropertyChanged:Connected"));
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/paired-headsets-and-strangers.json"))),
                 qPrintable(sim()->lastError()));
        m_adapter = defaultAdapterPath();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void createDeviceConnectsResolvesServicesAndStays()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("CreateDevice"), { phone.toLower() }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreateDevice")));
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices", "PropertyChanged:Connected",
                                                  "PropertyChanged:UUIDs", "reply:CreateDevice" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).path, m_adapter);
        QCOMPARE(entries.at(0).arguments.value(0).value<QDBusObjectPath>().path(), path(phone));
        QVERIFY(objectPaths(valueOf(entries.at(1))).contains(QDBusObjectPath(path(phone))));
        QCOMPARE(entries.at(2).path, path(phone));
        QCOMPARE(valueOf(entries.at(2)), QVariant(true));
        // What service discovery found replaces what inquiry announced.
        QCOMPARE(valueOf(entries.at(3)).toStringList(),
                 QStringList({ "00001105-0000-1000-8000-00805f9b34fb", "0000111f-0000-1000-8000-00805f9b34fb" }));
        const QDBusMessage reply = recorder.replyOf(QStringLiteral("CreateDevice"));
        QCOMPARE(reply.signature(), QStringLiteral("o"));
        QCOMPARE(reply.arguments().value(0).value<QDBusObjectPath>().path(), path(phone));

        // The idle link drops later; the object stays.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected"), 3000, 2));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        QTest::qWait(100);
        QCOMPARE(recorder.count(QStringLiteral("DeviceRemoved")), 0);
        QCOMPARE(adapterCall(QStringLiteral("FindDevice"), { phone }).arguments().value(0).value<QDBusObjectPath>().path(), path(phone));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { phone }).errorName(), QStringLiteral("org.bluez.Error.AlreadyExists"));
    }

    void createDeviceRefusesOrFails()
    {
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { QStringLiteral("00:11:22") }).errorName(),
                 QStringLiteral("org.bluez.Error.InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { headset }).errorName(), QStringLiteral("org.bluez.Error.AlreadyExists"));

        // Nobody answers the page: the error, then the object goes.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("CreateDevice"), { farAway }));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(), QStringList({ "DeviceCreated", "PropertyChanged:Devices", "error:CreateDevice:org.bluez.Error.Failed",
                                                  "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.replyOf(QStringLiteral("CreateDevice")).errorMessage(), QStringLiteral("Host is down"));
        QCOMPARE(recorder.entries().last().arguments.value(0).value<QDBusObjectPath>().path(), path(farAway));
        QVERIFY(!adapterDevices().contains(QDBusObjectPath(path(farAway))));
        QCOMPARE(adapterCall(QStringLiteral("FindDevice"), { farAway }).errorName(), QStringLiteral("org.bluez.Error.DoesNotExist"));

        // Off: the address is checked first, then the radio.
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { QStringLiteral("nonsense") }).errorName(),
                 QStringLiteral("org.bluez.Error.InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { phone }).errorName(), QStringLiteral("org.bluez.Error.NotReady"));
    }

    void removeDeviceWaitsForTheLinkToDrop()
    {
        // Not connected: gone at once, then the reply.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("RemoveDevice"), { objectPath(path(keyboard)) }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:RemoveDevice")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Devices", "DeviceRemoved", "reply:RemoveDevice" }));
        QVERIFY(!objectPaths(valueOf(recorder.entries().first())).contains(QDBusObjectPath(path(keyboard))));
        QCOMPARE(adapterCall(QStringLiteral("RemoveDevice"), { objectPath(path(keyboard)) }).errorName(),
                 QStringLiteral("org.bluez.Error.DoesNotExist"));
        QCOMPARE(adapterCall(QStringLiteral("RemoveDevice"), { objectPath(m_adapter + QStringLiteral("/dev_00_00_00_00_00_00")) }).errorName(),
                 QStringLiteral("org.bluez.Error.DoesNotExist"));
        // The stored pairing went with the object.
        QCOMPARE(sim()->device(keyboard).value(QLatin1String("paired")), QJsonValue(false));

        // Connected: asked to disconnect, answered, and removed once the link is down.
        QVERIFY(connectLink(headset));
        recorder.clear();
        recorder.callAsync(adapterMessage(QStringLiteral("RemoveDevice"), { objectPath(path(headset)) }));
        QVERIFY(recorder.waitFor(QStringLiteral("DisconnectRequested")));
        // Meanwhile the device is busy.
        const QDBusMessage again = adapterCall(QStringLiteral("RemoveDevice"), { objectPath(path(headset)) });
        QCOMPARE(again.errorName(), QStringLiteral("org.bluez.Error.DoesNotExist"));
        QCOMPARE(again.errorMessage(), QStringLiteral("Device creation in progress"));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(), QStringList({ "DisconnectRequested", "reply:RemoveDevice", "PropertyChanged:Connected",
                                                  "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.entries().first().path, path(headset));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
    }

    void getPropertiesHasTheDaemonsKeysAndTypes()
    {
        const QDBusMessage reply = bluezCall(path(headset), deviceInterface, QStringLiteral("GetProperties"));
        QCOMPARE(reply.signature(), QStringLiteral("a{sv}"));
        const QVariantMap props = properties(headset);
        const QMap<QString, QString> expected { { "Address", "s" },       { "Name", "s" },      { "Alias", "s" },
                                                { "Class", "u" },         { "Icon", "s" },      { "Paired", "b" },
                                                { "Trusted", "b" },       { "Blocked", "b" },   { "Connected", "b" },
                                                { "UUIDs", "as" },        { "Services", "ao" }, { "Adapter", "o" },
                                                { "LegacyPairing", "b" } };
        QCOMPARE(signatures(props), expected);
        QCOMPARE(props.value(QStringLiteral("Address")).toString(), headset);
        QCOMPARE(props.value(QStringLiteral("Icon")).toString(), QStringLiteral("audio-card"));
        QCOMPARE(props.value(QStringLiteral("Class")).toUInt(), 0x240404u);
        QCOMPARE(props.value(QStringLiteral("UUIDs")).toStringList(), headsetUuids);
        QCOMPARE(props.value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path(), m_adapter);
        QCOMPARE(props.value(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(properties(keyboard).value(QStringLiteral("Icon")).toString(), QStringLiteral("input-keyboard"));

        // Low energy, class unknown: Broadcaster, and neither Class nor Icon.
        const QVariantMap le = properties(tag);
        QCOMPARE(signatureOf(le.value(QStringLiteral("Broadcaster"))), QStringLiteral("b"));
        QVERIFY(!le.contains(QStringLiteral("Class")));
        QVERIFY(!le.contains(QStringLiteral("Icon")));

        // No name: Name is "" and Alias the address; a class without an icon.
        const QVariantMap unnamed = properties(nameless);
        QCOMPARE(signatureOf(unnamed.value(QStringLiteral("Name"))), QStringLiteral("s"));
        QCOMPARE(unnamed.value(QStringLiteral("Name")).toString(), QString());
        QCOMPARE(unnamed.value(QStringLiteral("Alias")).toString(), QStringLiteral("00-25-DB-A7-01-07"));
        QCOMPARE(unnamed.value(QStringLiteral("Class")).toUInt(), 0x1f00u);
        QVERIFY(!unnamed.contains(QStringLiteral("Icon")));
        QVERIFY(!unnamed.contains(QStringLiteral("Broadcaster")));
    }

    void setPropertySignalsBeforeItReplies()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceProperty(headset, QStringLiteral("Trusted"), true));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Trusted", "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Trusted")), QVariant(true));

        recorder.clear();
        recorder.callAsync(setDeviceProperty(headset, QStringLiteral("Alias"), QStringLiteral("Work headset")));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Alias", "reply:SetProperty" }));
        QCOMPARE(properties(headset).value(QStringLiteral("Alias")).toString(), QStringLiteral("Work headset"));

        // A cleared alias is announced as "", though the name stands in for it.
        recorder.clear();
        recorder.callAsync(setDeviceProperty(headset, QStringLiteral("Alias"), QString()));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:Alias", "reply:SetProperty" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("Alias")), QVariant(QString()));
        QCOMPARE(properties(headset).value(QStringLiteral("Alias")).toString(), QStringLiteral("Headset"));

        // The same value again says nothing.
        recorder.clear();
        recorder.callAsync(setDeviceProperty(headset, QStringLiteral("Trusted"), true));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "reply:SetProperty" }));

        const QString invalid = QStringLiteral("org.bluez.Error.InvalidArguments");
        QCOMPARE(QDBusConnection::systemBus().call(setDeviceProperty(headset, QStringLiteral("Trusted"), QStringLiteral("yes"))).errorName(), invalid);
        QCOMPARE(QDBusConnection::systemBus().call(setDeviceProperty(headset, QStringLiteral("Blocked"), 1u)).errorName(), invalid);
        QCOMPARE(QDBusConnection::systemBus().call(setDeviceProperty(headset, QStringLiteral("Alias"), false)).errorName(), invalid);
        QCOMPARE(QDBusConnection::systemBus().call(setDeviceProperty(headset, QStringLiteral("Name"), QStringLiteral("X"))).errorName(), invalid);
        QCOMPARE(properties(headset).value(QStringLiteral("Name")).toString(), QStringLiteral("Headset"));
    }

    void blockingDropsTheLinkAndTheProfiles()
    {
        QVERIFY(connectLink(headset));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceProperty(headset, QStringLiteral("Blocked"), true));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        QCOMPARE(recorder.indexOf(QStringLiteral("PropertyChanged:Blocked")) + 1, recorder.indexOf(QStringLiteral("reply:SetProperty")));
        const QVariantMap props = properties(headset);
        QCOMPARE(props.value(QStringLiteral("Blocked")), QVariant(true));
        QCOMPARE(props.value(QStringLiteral("Connected")), QVariant(false));
        // Its drivers are unloaded while it is blocked, and come back after.
        QCOMPARE(bluezCall(path(headset), audioInterface, QStringLiteral("GetProperties")).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
        QVERIFY(QDBusConnection::systemBus().call(setDeviceProperty(headset, QStringLiteral("Blocked"), false)).type() == QDBusMessage::ReplyMessage);
        QCOMPARE(properties(headset, audioInterface).value(QStringLiteral("State")).toString(), QStringLiteral("disconnected"));
    }

    void disconnectAsksFirstAndAnswersBeforeTheLinkDrops()
    {
        QCOMPARE(bluezCall(path(keyboard), deviceInterface, QStringLiteral("Disconnect")).errorName(),
                 QStringLiteral("org.bluez.Error.NotConnected"));
        QVERIFY(connectLink(keyboard));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(keyboard), deviceInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(recorder.labels(), QStringList({ "DisconnectRequested", "reply:Disconnect", "PropertyChanged:Connected" }));
        QCOMPARE(recorder.entries().first().path, path(keyboard));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        // A paired device stays.
        QVERIFY(adapterDevices().contains(QDBusObjectPath(path(keyboard))));
    }

    void audioInterfaceComesWithAudioProfiles()
    {
        QCOMPARE(properties(headset, audioInterface), QVariantMap({ { "State", QStringLiteral("disconnected") } }));
        const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
        QCOMPARE(bluezCall(path(keyboard), audioInterface, QStringLiteral("Connect")).errorName(), unknownMethod);
        QCOMPARE(bluezCall(path(keyboard), audioInterface, QStringLiteral("GetProperties")).errorName(), unknownMethod);
        const QString xml = bluezCall(path(headset), QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))
                                    .arguments().value(0).toString();
        QVERIFY(xml.contains(QLatin1String("<interface name=\"org.bluez.Audio\">")));
        QVERIFY(!bluezCall(path(keyboard), QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))
                         .arguments().value(0).toString().contains(QLatin1String("org.bluez.Audio")));
    }

    void audioConnectAnswersJustBeforeConnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Connect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State")));
        // A second attempt while the first runs.
        QCOMPARE(bluezCall(path(headset), audioInterface, QStringLiteral("Connect")).errorName(), QStringLiteral("org.bluez.Error.InProgress"));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:State", "PropertyChanged:Connected", "reply:Connect", "PropertyChanged:State" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).interface, audioInterface);
        QCOMPARE(valueOf(entries.at(0)), QVariant(QStringLiteral("connecting")));
        QCOMPARE(entries.at(1).interface, deviceInterface);
        QCOMPARE(valueOf(entries.at(1)), QVariant(true));
        QCOMPARE(valueOf(entries.at(3)), QVariant(QStringLiteral("connected")));
        QCOMPARE(properties(headset, audioInterface).value(QStringLiteral("State")).toString(), QStringLiteral("connected"));
        QCOMPARE(bluezCall(path(headset), audioInterface, QStringLiteral("Connect")).errorName(),
                 QStringLiteral("org.bluez.Error.AlreadyConnected"));

        recorder.clear();
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State")));
        QCOMPARE(recorder.labels(), QStringList({ "reply:Disconnect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("State")), QVariant(QStringLiteral("disconnected")));
        QCOMPARE(bluezCall(path(headset), audioInterface, QStringLiteral("Disconnect")).errorName(),
                 QStringLiteral("org.bluez.Error.NotConnected"));
        // With audio gone the idle link drops too.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
    }

    void audioConnectFailsBeforeDisconnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(oldHeadset), audioInterface, QStringLiteral("Connect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        QCOMPARE(recorder.labels(), QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                                                  "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("State")), QVariant(QStringLiteral("disconnected")));

        // Disconnect while connecting: its reply, the failed Connect, then the state.
        recorder.clear();
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 300 } }));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Connect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State")));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        recorder.waitFor(QStringLiteral("error:Connect:org.bluez.Error.Failed"), 500);
        QStringList labels = recorder.labels();
        labels.removeAll(QStringLiteral("PropertyChanged:Connected"));
        QCOMPARE(labels, QStringList({ "PropertyChanged:State", "reply:Disconnect", "error:Connect:org.bluez.Error.Failed",
                                       "PropertyChanged:State" }));
        QCOMPARE(recorder.replyOf(QStringLiteral("Connect")).errorMessage(), QStringLiteral("Connect Failed"));

        // The abandoned attempt's time runs out during the next one, which must not end early.
        recorder.clear();
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 1000 } }));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Connect")));
        QTest::qWait(500);
        QCOMPARE(recorder.count(QStringLiteral("reply:Connect")), 0);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        labels = recorder.labels();
        labels.removeAll(QStringLiteral("PropertyChanged:Connected"));
        QCOMPARE(labels, QStringList({ "PropertyChanged:State", "reply:Connect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("State")), QVariant(QStringLiteral("connected")));
    }
};

OVRIN_TEST_MAIN(TestSimDevices)
#include "tst_simdevices.moc"
