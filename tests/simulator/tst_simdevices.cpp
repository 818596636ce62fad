// Device objects of the simulated daemon: creation, removal, properties,
// disconnection and the generic audio interface, in bluetoothd 4.101's order.

#include "simtest.h"

using namespace OvrinTest;

namespace {
const QString audioInterface = QStringLiteral("org.bluez.Audio");
const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString oldHeadset = QStringLiteral("00:1B:66:0A:11:02");
const QString keyboard = QStringLiteral("00:12:A1:0B:22:03");
const QString phone = QStringLiteral("F4:0E:22:13:33:04");
const QString farAway = QStringLiteral("5C:51:88:0F:77:05");
const QString tag = QStringLiteral("C0:FF:EE:00:00:06");
const QString nameless = QStringLiteral("00:25:DB:A7:01:07");
} // namespace

class TestSimDevices : public SimTest
{
    Q_OBJECT

    QList<QDBusObjectPath> adapterDevices()
    {
        return objectPaths(adapterProperties().value(QStringLiteral("Devices")));
    }
    bool connectLink(const QString &address)
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        return sim()->changeDevice(address, { { "connected", true } })
            && recorder.waitFor(QStringLiteral("PropertyChanged:Connected"));
    }
    QString audioError(const QString &address, const QString &member)
    {
        return bluezCall(path(address), audioInterface, member).errorName();
    }
    // Labels of the recorder, the Connected changes of the link left out.
    static QStringList withoutLink(const SignalRecorder &recorder)
    {
        QStringList labels = recorder.labels();
        labels.removeAll(QStringLiteral("PropertyChanged:Connected"));
        return labels;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(load(QStringLiteral("paired-headsets-and-strangers.json")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void createDeviceConnectsResolvesServicesAndStays()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("CreateDevice"), { phone.toLower() }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:CreateDevice")));
        QCOMPARE(
            recorder.labels(),
            QStringList({ "DeviceCreated", "PropertyChanged:Devices", "PropertyChanged:Connected",
                          "PropertyChanged:UUIDs", "reply:CreateDevice" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).path, m_adapter);
        QCOMPARE(entries.at(0).arguments.value(0).value<QDBusObjectPath>().path(), path(phone));
        QVERIFY(objectPaths(valueOf(entries.at(1))).contains(QDBusObjectPath(path(phone))));
        QCOMPARE(entries.at(2).path, path(phone));
        QCOMPARE(valueOf(entries.at(2)), QVariant(true));
        // What service discovery found replaces what inquiry announced.
        QCOMPARE(valueOf(entries.at(3)).toStringList(),
                 QStringList({ "00001105-0000-1000-8000-00805f9b34fb",
                               "0000111f-0000-1000-8000-00805f9b34fb" }));
        const QDBusMessage reply = recorder.replyOf(QStringLiteral("CreateDevice"));
        QCOMPARE(reply.signature(), QStringLiteral("o"));
        QCOMPARE(reply.arguments().value(0).value<QDBusObjectPath>().path(), path(phone));

        // The idle link drops later; the object stays.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected"), 3000, 2));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        QTest::qWait(100);
        QCOMPARE(recorder.count(QStringLiteral("DeviceRemoved")), 0);
        QVERIFY(hasDevice(phone));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { phone }).errorName(),
                 bluezError("AlreadyExists"));
    }

    void createDeviceRefusesOrFails()
    {
        QCOMPARE(
            adapterCall(QStringLiteral("CreateDevice"), { QStringLiteral("00:11:22") }).errorName(),
            bluezError("InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { headset }).errorName(),
                 bluezError("AlreadyExists"));

        // Nobody answers the page: the error, then the object goes.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("CreateDevice"), { farAway }));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(recorder.labels(),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices",
                               "error:CreateDevice:org.bluez.Error.Failed",
                               "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.replyOf(QStringLiteral("CreateDevice")).errorMessage(),
                 QStringLiteral("Host is down"));
        QCOMPARE(recorder.entries().last().arguments.value(0).value<QDBusObjectPath>().path(),
                 path(farAway));
        QVERIFY(!adapterDevices().contains(QDBusObjectPath(path(farAway))));
        QCOMPARE(adapterCall(QStringLiteral("FindDevice"), { farAway }).errorName(),
                 bluezError("DoesNotExist"));

        // Off: the address is checked first, then the radio.
        QVERIFY(setAdapter(QStringLiteral("Powered"), false));
        QCOMPARE(
            adapterCall(QStringLiteral("CreateDevice"), { QStringLiteral("nonsense") }).errorName(),
            bluezError("InvalidArguments"));
        QCOMPARE(adapterCall(QStringLiteral("CreateDevice"), { phone }).errorName(),
                 bluezError("NotReady"));
    }

    void removeDeviceWaitsForTheLinkToDrop()
    {
        // Not connected: gone at once, then the reply.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(
            adapterMessage(QStringLiteral("RemoveDevice"), { objectPath(path(keyboard)) }));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:RemoveDevice")));
        QCOMPARE(recorder.labels(),
                 QStringList({ "PropertyChanged:Devices", "DeviceRemoved", "reply:RemoveDevice" }));
        QVERIFY(!objectPaths(valueOf(recorder.entries().first()))
                     .contains(QDBusObjectPath(path(keyboard))));
        QCOMPARE(
            adapterCall(QStringLiteral("RemoveDevice"), { objectPath(path(keyboard)) }).errorName(),
            bluezError("DoesNotExist"));
        // The stored pairing went with the object.
        QCOMPARE(sim()->device(keyboard).value(QLatin1String("paired")), QJsonValue(false));

        // Connected: asked to disconnect, answered, and removed once the link is down.
        QVERIFY(connectLink(headset));
        recorder.clear();
        recorder.callAsync(
            adapterMessage(QStringLiteral("RemoveDevice"), { objectPath(path(headset)) }));
        QVERIFY(recorder.waitFor(QStringLiteral("DisconnectRequested")));
        // Meanwhile the device is busy.
        const QDBusMessage again
            = adapterCall(QStringLiteral("RemoveDevice"), { objectPath(path(headset)) });
        QCOMPARE(again.errorName(), bluezError("DoesNotExist"));
        QCOMPARE(again.errorMessage(), QStringLiteral("Device creation in progress"));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceRemoved")));
        QCOMPARE(
            recorder.labels(),
            QStringList({ "DisconnectRequested", "reply:RemoveDevice", "PropertyChanged:Connected",
                          "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.entries().first().path, path(headset));
    }

    void getPropertiesHasTheDaemonsKeysAndTypes()
    {
        const QVariantMap props = deviceProperties(headset);
        const QMap<QString, QString> expected {
            { "Address", "s" },      { "Name", "s" },   { "Alias", "s" },     { "Class", "u" },
            { "Icon", "s" },         { "Paired", "b" }, { "Trusted", "b" },   { "Blocked", "b" },
            { "Connected", "b" },    { "UUIDs", "as" }, { "Services", "ao" }, { "Adapter", "o" },
            { "LegacyPairing", "b" }
        };
        QCOMPARE(signatures(props), expected);
        QCOMPARE(props.value(QStringLiteral("Icon")).toString(), QStringLiteral("audio-card"));
        QCOMPARE(props.value(QStringLiteral("Class")).toUInt(), 0x240404u);
        QCOMPARE(props.value(QStringLiteral("UUIDs")).toStringList().size(), 3);
        QCOMPARE(props.value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path(), m_adapter);
        QCOMPARE(deviceProperties(keyboard).value(QStringLiteral("Icon")).toString(),
                 QStringLiteral("input-keyboard"));

        // Low energy, class unknown: Broadcaster, and neither Class nor Icon.
        const QVariantMap le = deviceProperties(tag);
        QCOMPARE(signatureOf(le.value(QStringLiteral("Broadcaster"))), QStringLiteral("b"));
        QVERIFY(!le.contains(QStringLiteral("Class")) && !le.contains(QStringLiteral("Icon")));

        // No name: Name is "" and Alias the address; a class without an icon.
        const QVariantMap unnamed = deviceProperties(nameless);
        QCOMPARE(unnamed.value(QStringLiteral("Name")), QVariant(QString()));
        QCOMPARE(unnamed.value(QStringLiteral("Alias")).toString(),
                 QStringLiteral("00-25-DB-A7-01-07"));
        QVERIFY(!unnamed.contains(QStringLiteral("Icon"))
                && !unnamed.contains(QStringLiteral("Broadcaster")));
    }

    void setPropertySignalsBeforeItReplies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("alias"); // as GetProperties tells it afterwards
        const QStringList trusted { "PropertyChanged:Trusted", "reply:SetProperty" };
        const QStringList alias { "PropertyChanged:Alias", "reply:SetProperty" };
        QTest::newRow("trusted") << "Trusted" << QVariant(true) << trusted << "Headset";
        QTest::newRow("alias") << "Alias" << QVariant(QStringLiteral("Work")) << alias << "Work";
        // A cleared alias is announced as "", though the name stands in for it.
        QTest::newRow("cleared alias") << "Alias" << QVariant(QString()) << alias << "Headset";
    }

    void setPropertySignalsBeforeItReplies()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QStringList, labels);
        QFETCH(QString, alias);
        QVERIFY(ok(QDBusConnection::systemBus().call(
            setDeviceMessage(headset, QStringLiteral("Alias"), QStringLiteral("Before")))));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), labels);
        QCOMPARE(recorder.lastValue(name), value);
        if (name == QLatin1String("Alias"))
            QCOMPARE(deviceProperties(headset).value(QStringLiteral("Alias")).toString(), alias);

        // The same value again says nothing.
        recorder.clear();
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QCOMPARE(recorder.labels(), QStringList({ "reply:SetProperty" }));
    }

    void setPropertyRefusesWrongTypesAndReadOnlyNames()
    {
        const QList<QPair<QString, QVariant>> refused {
            { QStringLiteral("Trusted"), QStringLiteral("yes") },
            { QStringLiteral("Blocked"), 1u },
            { QStringLiteral("Alias"), false },
            { QStringLiteral("Name"), QStringLiteral("X") },
        };
        for (const auto &[name, value] : refused)
            QCOMPARE(QDBusConnection::systemBus()
                         .call(setDeviceMessage(headset, name, value))
                         .errorName(),
                     bluezError("InvalidArguments"));
        QCOMPARE(deviceProperties(headset).value(QStringLiteral("Name")),
                 QVariant(QStringLiteral("Headset")));
    }

    void blockingDropsTheLinkAndTheProfiles()
    {
        QVERIFY(connectLink(headset));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceMessage(headset, QStringLiteral("Blocked"), true));
        QVERIFY(recorder.waitFor(QStringLiteral("reply:SetProperty")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        QCOMPARE(recorder.indexOf(QStringLiteral("PropertyChanged:Blocked")) + 1,
                 recorder.indexOf(QStringLiteral("reply:SetProperty")));
        QCOMPARE(deviceProperties(headset).value(QStringLiteral("Blocked")), QVariant(true));
        // Its drivers are unloaded while it is blocked, and come back after.
        QCOMPARE(audioError(headset, QStringLiteral("GetProperties")), unknownMethod);
        QVERIFY(ok(QDBusConnection::systemBus().call(
            setDeviceMessage(headset, QStringLiteral("Blocked"), false))));
        QCOMPARE(properties(path(headset), audioInterface).value(QStringLiteral("State")),
                 QVariant(QStringLiteral("disconnected")));
    }

    void disconnectAsksFirstAndAnswersBeforeTheLinkDrops()
    {
        QCOMPARE(
            bluezCall(path(keyboard), deviceInterface, QStringLiteral("Disconnect")).errorName(),
            bluezError("NotConnected"));
        QVERIFY(connectLink(keyboard));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(
            bluezMessage(path(keyboard), deviceInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(recorder.labels(),
                 QStringList(
                     { "DisconnectRequested", "reply:Disconnect", "PropertyChanged:Connected" }));
        QCOMPARE(recorder.entries().first().path, path(keyboard));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
        // A paired device stays.
        QVERIFY(adapterDevices().contains(QDBusObjectPath(path(keyboard))));
    }

    void audioInterfaceComesWithAudioProfiles()
    {
        QCOMPARE(properties(path(headset), audioInterface),
                 QVariantMap({ { "State", QStringLiteral("disconnected") } }));
        QCOMPARE(audioError(keyboard, QStringLiteral("Connect")), unknownMethod);
        QCOMPARE(audioError(keyboard, QStringLiteral("GetProperties")), unknownMethod);
    }

    void audioConnectAnswersJustBeforeConnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Connect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State")));
        // A second attempt while the first runs.
        QCOMPARE(audioError(headset, QStringLiteral("Connect")), bluezError("InProgress"));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        QCOMPARE(recorder.labels(),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "reply:Connect", "PropertyChanged:State" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).interface, audioInterface);
        QCOMPARE(valueOf(entries.at(0)), QVariant(QStringLiteral("connecting")));
        QCOMPARE(entries.at(1).interface, deviceInterface);
        QCOMPARE(valueOf(entries.at(1)), QVariant(true));
        QCOMPARE(valueOf(entries.at(3)), QVariant(QStringLiteral("connected")));
        QCOMPARE(properties(path(headset), audioInterface).value(QStringLiteral("State")),
                 QVariant(QStringLiteral("connected")));
        QCOMPARE(audioError(headset, QStringLiteral("Connect")), bluezError("AlreadyConnected"));

        recorder.clear();
        recorder.callAsync(
            bluezMessage(path(headset), audioInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State")));
        QCOMPARE(recorder.labels(), QStringList({ "reply:Disconnect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("State")),
                 QVariant(QStringLiteral("disconnected")));
        QCOMPARE(audioError(headset, QStringLiteral("Disconnect")), bluezError("NotConnected"));
        // With audio gone the idle link drops too.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Connected")));
        QCOMPARE(recorder.lastValue(QStringLiteral("Connected")), QVariant(false));
    }

    void audioConnectFailsBeforeDisconnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(
            bluezMessage(path(oldHeadset), audioInterface, QStringLiteral("Connect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        QCOMPARE(recorder.labels(),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("State")),
                 QVariant(QStringLiteral("disconnected")));

        // Disconnect while connecting: its reply, the failed Connect, then the state.
        recorder.clear();
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 300 } }));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Connect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State")));
        recorder.callAsync(
            bluezMessage(path(headset), audioInterface, QStringLiteral("Disconnect")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        recorder.waitFor(QStringLiteral("error:Connect:org.bluez.Error.Failed"), 500);
        QCOMPARE(withoutLink(recorder),
                 QStringList({ "PropertyChanged:State", "reply:Disconnect",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.replyOf(QStringLiteral("Connect")).errorMessage(),
                 QStringLiteral("Connect Failed"));

        // The abandoned attempt's time runs out during the next one, which must not end early.
        recorder.clear();
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 1000 } }));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, QStringLiteral("Connect")));
        QTest::qWait(500);
        QCOMPARE(recorder.count(QStringLiteral("reply:Connect")), 0);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:State"), 3000, 2));
        QCOMPARE(
            withoutLink(recorder),
            QStringList({ "PropertyChanged:State", "reply:Connect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(QStringLiteral("State")),
                 QVariant(QStringLiteral("connected")));
    }
};

OVRIN_TEST_MAIN(TestSimDevices)
#include "tst_simdevices.moc"
