// Device objects of the simulated daemon: creation, removal, properties,
// disconnection and the generic audio interface, in bluetoothd 4.101's order.

#include "simtest.h"

using namespace OvrinTest;

namespace {
const QString audioInterface = u"org.bluez.Audio"_s;
const QString headset = u"00:1B:66:0A:11:01"_s;
const QString oldHeadset = u"00:1B:66:0A:11:02"_s;
const QString keyboard = u"00:12:A1:0B:22:03"_s;
const QString phone = u"F4:0E:22:13:33:04"_s;
const QString farAway = u"5C:51:88:0F:77:05"_s;
const QString tag = u"C0:FF:EE:00:00:06"_s;
const QString nameless = u"00:25:DB:A7:01:07"_s;
} // namespace

class TestSimDevices : public SimTest
{
    Q_OBJECT

    QList<QDBusObjectPath> adapterDevices()
    {
        return objectPaths(adapterProperties().value(u"Devices"_s));
    }
    bool connectLink(const QString &address)
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        return sim()->changeDevice(address, { { "connected", true } })
            && recorder.waitFor(u"PropertyChanged:Connected"_s);
    }
    QString audioError(const QString &address, const QString &member)
    {
        return bluezCall(path(address), audioInterface, member).errorName();
    }
    // Labels of the recorder, the Connected changes of the link left out.
    static QStringList withoutLink(const SignalRecorder &recorder)
    {
        QStringList labels = recorder.labels();
        labels.removeAll(u"PropertyChanged:Connected"_s);
        return labels;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(load(u"paired-headsets-and-strangers.json"_s));
        QTest::failOnWarning(QRegularExpression(u"."_s));
    }

    void createDeviceConnectsResolvesServicesAndStays()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"CreateDevice"_s, { phone.toLower() }));
        QVERIFY(recorder.waitFor(u"reply:CreateDevice"_s));
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
        const QDBusMessage reply = recorder.replyOf(u"CreateDevice"_s);
        QCOMPARE(reply.signature(), u"o"_s);
        QCOMPARE(reply.arguments().value(0).value<QDBusObjectPath>().path(), path(phone));

        // The idle link drops later; the object stays.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s, 3000, 2));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        QTest::qWait(100);
        QCOMPARE(recorder.count(u"DeviceRemoved"_s), 0);
        QVERIFY(hasDevice(phone));
        QCOMPARE(adapterCall(u"CreateDevice"_s, { phone }).errorName(),
                 bluezError("AlreadyExists"));
    }

    void createDeviceRefusesOrFails()
    {
        QCOMPARE(adapterCall(u"CreateDevice"_s, { u"00:11:22"_s }).errorName(),
                 bluezError("InvalidArguments"));
        QCOMPARE(adapterCall(u"CreateDevice"_s, { headset }).errorName(),
                 bluezError("AlreadyExists"));

        // Nobody answers the page: the error, then the object goes.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"CreateDevice"_s, { farAway }));
        QCOMPARE(labelsOnce(recorder, u"DeviceRemoved"_s),
                 QStringList({ "DeviceCreated", "PropertyChanged:Devices",
                               "error:CreateDevice:org.bluez.Error.Failed",
                               "PropertyChanged:Devices", "DeviceRemoved" }));
        QCOMPARE(recorder.replyOf(u"CreateDevice"_s).errorMessage(), u"Host is down"_s);
        QCOMPARE(recorder.entries().last().arguments.value(0).value<QDBusObjectPath>().path(),
                 path(farAway));
        QVERIFY(!adapterDevices().contains(QDBusObjectPath(path(farAway))));
        QCOMPARE(adapterCall(u"FindDevice"_s, { farAway }).errorName(), bluezError("DoesNotExist"));
    }

    void removeDeviceWaitsForTheLinkToDrop()
    {
        // Not connected: gone at once, then the reply.
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"RemoveDevice"_s, { objectPath(path(keyboard)) }));
        QCOMPARE(labelsOnce(recorder, u"reply:RemoveDevice"_s),
                 QStringList({ "PropertyChanged:Devices", "DeviceRemoved", "reply:RemoveDevice" }));
        QVERIFY(!objectPaths(valueOf(recorder.entries().first()))
                     .contains(QDBusObjectPath(path(keyboard))));
        QCOMPARE(adapterCall(u"RemoveDevice"_s, { objectPath(path(keyboard)) }).errorName(),
                 bluezError("DoesNotExist"));
        // The stored pairing went with the object.
        QCOMPARE(sim()->device(keyboard).value("paired"_L1), QJsonValue(false));

        // Connected: asked to disconnect, answered, and removed once the link is down.
        QVERIFY(connectLink(headset));
        recorder.clear();
        recorder.callAsync(adapterMessage(u"RemoveDevice"_s, { objectPath(path(headset)) }));
        QVERIFY(recorder.waitFor(u"DisconnectRequested"_s));
        // Meanwhile the device is busy.
        const QDBusMessage again = adapterCall(u"RemoveDevice"_s, { objectPath(path(headset)) });
        QCOMPARE(again.errorName(), bluezError("DoesNotExist"));
        QCOMPARE(again.errorMessage(), u"Device creation in progress"_s);
        QVERIFY(recorder.waitFor(u"DeviceRemoved"_s));
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
        QCOMPARE(props.value(u"Icon"_s).toString(), u"audio-card"_s);
        QCOMPARE(props.value(u"Class"_s).toUInt(), 0x240404u);
        QCOMPARE(props.value(u"UUIDs"_s).toStringList().size(), 3);
        QCOMPARE(props.value(u"Adapter"_s).value<QDBusObjectPath>().path(), m_adapter);
        QCOMPARE(deviceProperties(keyboard).value(u"Icon"_s).toString(), u"input-keyboard"_s);

        // Low energy, class unknown: Broadcaster, and neither Class nor Icon.
        const QVariantMap le = deviceProperties(tag);
        QCOMPARE(signatureOf(le.value(u"Broadcaster"_s)), u"b"_s);
        QVERIFY(!le.contains(u"Class"_s) && !le.contains(u"Icon"_s));

        // No name: Name is "" and Alias the address; a class without an icon.
        const QVariantMap unnamed = deviceProperties(nameless);
        QCOMPARE(unnamed.value(u"Name"_s), QVariant(QString()));
        QCOMPARE(unnamed.value(u"Alias"_s).toString(), u"00-25-DB-A7-01-07"_s);
        QVERIFY(!unnamed.contains(u"Icon"_s) && !unnamed.contains(u"Broadcaster"_s));
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
        QTest::newRow("alias") << "Alias" << QVariant(u"Work"_s) << alias << "Work";
        // A cleared alias is announced as "", though the name stands in for it.
        QTest::newRow("cleared alias") << "Alias" << QVariant(QString()) << alias << "Headset";
    }

    void setPropertySignalsBeforeItReplies()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QStringList, labels);
        QFETCH(QString, alias);
        QVERIFY(ok(
            QDBusConnection::systemBus().call(setDeviceMessage(headset, u"Alias"_s, u"Before"_s))));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QCOMPARE(labelsOnce(recorder, u"reply:SetProperty"_s), labels);
        QCOMPARE(recorder.lastValue(name), value);
        if (name == "Alias"_L1)
            QCOMPARE(deviceProperties(headset).value(u"Alias"_s).toString(), alias);

        // The same value again says nothing.
        recorder.clear();
        recorder.callAsync(setDeviceMessage(headset, name, value));
        QCOMPARE(labelsOnce(recorder, u"reply:SetProperty"_s),
                 QStringList({ "reply:SetProperty" }));
    }

    void setPropertyRefusesWrongTypesAndReadOnlyNames()
    {
        const QList<QPair<QString, QVariant>> refused {
            { u"Trusted"_s, u"yes"_s },
            { u"Blocked"_s, 1u },
            { u"Alias"_s, false },
            { u"Name"_s, u"X"_s },
        };
        for (const auto &[name, value] : refused)
            QCOMPARE(errorOf(setDeviceMessage(headset, name, value)),
                     bluezError("InvalidArguments"));
        QCOMPARE(deviceProperties(headset).value(u"Name"_s), QVariant(u"Headset"_s));
    }

    void disconnectAsksFirstAndAnswersBeforeTheLinkDrops()
    {
        QCOMPARE(bluezCall(path(keyboard), deviceInterface, u"Disconnect"_s).errorName(),
                 bluezError("NotConnected"));
        QVERIFY(connectLink(keyboard));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(keyboard), deviceInterface, u"Disconnect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:Connected"_s),
                 QStringList(
                     { "DisconnectRequested", "reply:Disconnect", "PropertyChanged:Connected" }));
        QCOMPARE(recorder.entries().first().path, path(keyboard));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
        // A paired device stays.
        QVERIFY(adapterDevices().contains(QDBusObjectPath(path(keyboard))));
    }

    void audioInterfaceComesWithAudioProfiles()
    {
        QCOMPARE(properties(path(headset), audioInterface),
                 QVariantMap({ { "State", u"disconnected"_s } }));
        QCOMPARE(audioError(keyboard, u"Connect"_s), unknownMethod);
        QCOMPARE(audioError(keyboard, u"GetProperties"_s), unknownMethod);
    }

    void audioConnectAnswersJustBeforeConnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Connect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s));
        // A second attempt while the first runs.
        QCOMPARE(audioError(headset, u"Connect"_s), bluezError("InProgress"));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s, 3000, 2),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "reply:Connect", "PropertyChanged:State" }));
        const QList<SignalRecorder::Entry> &entries = recorder.entries();
        QCOMPARE(entries.at(0).interface, audioInterface);
        QCOMPARE(valueOf(entries.at(0)), QVariant(u"connecting"_s));
        QCOMPARE(entries.at(1).interface, deviceInterface);
        QCOMPARE(valueOf(entries.at(1)), QVariant(true));
        QCOMPARE(valueOf(entries.at(3)), QVariant(u"connected"_s));
        QCOMPARE(properties(path(headset), audioInterface).value(u"State"_s),
                 QVariant(u"connected"_s));
        QCOMPARE(audioError(headset, u"Connect"_s), bluezError("AlreadyConnected"));

        recorder.clear();
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Disconnect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s),
                 QStringList({ "reply:Disconnect", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(u"State"_s), QVariant(u"disconnected"_s));
        QCOMPARE(audioError(headset, u"Disconnect"_s), bluezError("NotConnected"));
        // With audio gone the idle link drops too.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Connected"_s));
        QCOMPARE(recorder.lastValue(u"Connected"_s), QVariant(false));
    }

    void audioConnectFailsBeforeDisconnected()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(bluezMessage(path(oldHeadset), audioInterface, u"Connect"_s));
        QCOMPARE(labelsOnce(recorder, u"PropertyChanged:State"_s, 3000, 2),
                 QStringList({ "PropertyChanged:State", "PropertyChanged:Connected",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.lastValue(u"State"_s), QVariant(u"disconnected"_s));

        // Disconnect while connecting: its reply, the failed Connect, then the state.
        recorder.clear();
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 300 } }));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Connect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s));
        recorder.callAsync(bluezMessage(path(headset), audioInterface, u"Disconnect"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:State"_s, 3000, 2));
        recorder.waitFor(u"error:Connect:org.bluez.Error.Failed"_s, 500);
        QCOMPARE(withoutLink(recorder),
                 QStringList({ "PropertyChanged:State", "reply:Disconnect",
                               "error:Connect:org.bluez.Error.Failed", "PropertyChanged:State" }));
        QCOMPARE(recorder.replyOf(u"Connect"_s).errorMessage(), u"Connect Failed"_s);
    }
};

OVRIN_TEST_MAIN(TestSimDevices)
#include "tst_simdevices.moc"
