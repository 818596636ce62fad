// Discovery on the simulated adapter runs in cycles and announces devices as
// bluetoothd 4.101 does.

#include "bluezcall.h"
#include "signalrecorder.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QRegularExpression>

using namespace OvrinTest;

namespace {

const QString adapterInterface = QStringLiteral("org.bluez.Adapter");
const QString invalidSession = QStringLiteral("Invalid discovery session");

const QString headphones = QStringLiteral("00:1B:66:00:00:01");
const QString phone = QStringLiteral("F4:0E:22:00:00:02");
const QString printer = QStringLiteral("00:80:92:00:00:03");
const QString nameless = QStringLiteral("00:25:DB:00:00:04");
const QString tag = QStringLiteral("C0:FF:EE:00:00:05");
const QString farAway = QStringLiteral("5C:51:88:00:00:06");

struct Found
{
    int index;  // in the recorder's timeline
    QString address;
    QVariantMap values;
};

QList<Found> devicesFound(const SignalRecorder &recorder, const QString &address = {})
{
    QList<Found> found;
    const QList<SignalRecorder::Entry> &entries = recorder.entries();
    for (int i = 0; i < entries.size(); ++i) {
        const SignalRecorder::Entry &e = entries.at(i);
        if (e.member != QLatin1String("DeviceFound"))
            continue;
        const QString from = e.arguments.value(0).toString();
        if (address.isEmpty() || from == address)
            found.append({ i, from, qdbus_cast<QVariantMap>(e.arguments.value(1)) });
    }
    return found;
}

QList<bool> discoveringValues(const SignalRecorder &recorder)
{
    QList<bool> values;
    for (const SignalRecorder::Entry &e : recorder.entries()) {
        if (e.label == QLatin1String("PropertyChanged:Discovering"))
            values.append(e.arguments.value(1).value<QDBusVariant>().variant().toBool());
    }
    return values;
}

QStringList disappeared(const SignalRecorder &recorder)
{
    QStringList list;
    for (const SignalRecorder::Entry &e : recorder.entries()) {
        if (e.member == QLatin1String("DeviceDisappeared"))
            list.append(e.arguments.value(0).toString());
    }
    return list;
}

// The D-Bus signature of each value of an a{sv}.
QMap<QString, QString> signatures(const QVariantMap &map)
{
    QMap<QString, QString> types;
    for (auto it = map.begin(); it != map.end(); ++it) {
        const QVariant &value = it.value();
        types.insert(it.key(), value.userType() == qMetaTypeId<QDBusArgument>()
                                       ? value.value<QDBusArgument>().currentSignature()
                                       : QString::fromLatin1(QDBusMetaType::typeToSignature(value.metaType())));
    }
    return types;
}

} // namespace

class TestSimDiscovery : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }
    QString m_adapter;

    QDBusMessage adapterCall(const QString &member, const QVariantList &args = {})
    {
        return bluezCall(m_adapter, adapterInterface, member, args);
    }
    QDBusMessage adapterMessage(const QString &member, const QVariantList &args = {})
    {
        return bluezMessage(m_adapter, adapterInterface, member, args);
    }
    bool discoveringProperty()
    {
        const QVariantMap props = qdbus_cast<QVariantMap>(adapterCall(QStringLiteral("GetProperties")).arguments().value(0));
        return props.value(QStringLiteral("Discovering")).toBool();
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(TestEnvironment::testData(QStringLiteral("simulator/scenarios/mixed-neighbours.json"))),
                 qPrintable(sim()->lastError()));
        // A round trip on the system bus, so that no signal of an earlier test is still on its way.
        m_adapter = defaultAdapterPath();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void startRepliesBeforeDiscoveringAndNeedsPower()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(QStringLiteral("StartDiscovery")));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering")));
        QCOMPARE(recorder.labels().mid(0, 2), QStringList({ "reply:StartDiscovery", "PropertyChanged:Discovering" }));
        QCOMPARE(discoveringValues(recorder), QList<bool>({ true }));
        QVERIFY(discoveringProperty());

        // Off, there is nothing to discover with, nor to stop.
        QVERIFY(adapterCall(QStringLiteral("SetProperty"), { QStringLiteral("Powered"), variant(false) }).type() == QDBusMessage::ReplyMessage);
        QCOMPARE(adapterCall(QStringLiteral("StartDiscovery")).errorName(), QStringLiteral("org.bluez.Error.NotReady"));
        QCOMPARE(adapterCall(QStringLiteral("StopDiscovery")).errorName(), QStringLiteral("org.bluez.Error.NotReady"));
    }

    void stopWithoutASessionFails()
    {
        QDBusMessage stop = adapterCall(QStringLiteral("StopDiscovery"));
        QCOMPARE(stop.errorName(), QStringLiteral("org.bluez.Error.Failed"));
        QCOMPARE(stop.errorMessage(), invalidSession);

        // Another client's session is not ours to stop.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("other"));
        QVERIFY(other.call(adapterMessage(QStringLiteral("StartDiscovery"))).type() == QDBusMessage::ReplyMessage);
        stop = adapterCall(QStringLiteral("StopDiscovery"));
        QCOMPARE(stop.errorName(), QStringLiteral("org.bluez.Error.Failed"));
        QCOMPARE(stop.errorMessage(), invalidSession);
        QVERIFY(other.call(adapterMessage(QStringLiteral("StopDiscovery"))).type() == QDBusMessage::ReplyMessage);
        // A second stop finds the session gone.
        QCOMPARE(other.call(adapterMessage(QStringLiteral("StopDiscovery"))).errorMessage(), invalidSession);
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }

    void deviceFoundHasTheDaemonsKeysAndTypes()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("StartDiscovery")).type() == QDBusMessage::ReplyMessage);
        // One whole cycle: inquiry, name resolution, Discovering back to false.
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering"), 5000, 2));
        const int cycleEnd = recorder.indexOf(QStringLiteral("PropertyChanged:Discovering"), 1);

        QHash<QString, QList<Found>> byAddress;
        for (const Found &found : devicesFound(recorder)) {
            QVERIFY2(found.index < cycleEnd, qPrintable(found.address));
            QCOMPARE(found.values.value(QStringLiteral("Address")).toString(), found.address);
            byAddress[found.address].append(found);
        }
        QCOMPARE(byAddress.keys().size(), 5);
        QVERIFY(!byAddress.contains(farAway));

        // Keys and D-Bus types: these always, the others as each device has them.
        auto expected = [](const QStringList &optional) {
            static const QMap<QString, QString> types { { "Icon", "s" }, { "Name", "s" }, { "Trusted", "b" },
                                                        { "Broadcaster", "b" }, { "UUIDs", "as" } };
            QMap<QString, QString> keys { { "Address", "s" },       { "Alias", "s" },  { "Class", "u" },
                                          { "LegacyPairing", "b" }, { "Paired", "b" }, { "RSSI", "n" } };
            for (const QString &key : optional)
                keys.insert(key, types.value(key));
            return keys;
        };

        // Audio class maps to an icon; inquiry (EIR) carried the name and a service.
        QCOMPARE(byAddress.value(headphones).size(), 1);
        const QVariantMap headset = byAddress.value(headphones).value(0).values;
        QCOMPARE(signatures(headset), expected({ "Icon", "Name", "Trusted", "UUIDs" }));
        QCOMPARE(headset.value(QStringLiteral("Class")).toUInt(), 0x240404u);
        QCOMPARE(headset.value(QStringLiteral("Icon")).toString(), QStringLiteral("audio-card"));
        QCOMPARE(headset.value(QStringLiteral("RSSI")).toInt(), -40);
        QCOMPARE(headset.value(QStringLiteral("Name")).toString(), QStringLiteral("Headphones"));
        QCOMPARE(headset.value(QStringLiteral("Alias")).toString(), QStringLiteral("Headphones"));
        QCOMPARE(headset.value(QStringLiteral("LegacyPairing")), QVariant(false));
        QCOMPARE(headset.value(QStringLiteral("Paired")), QVariant(false));
        QCOMPARE(headset.value(QStringLiteral("Trusted")), QVariant(false));
        QCOMPARE(headset.value(QStringLiteral("UUIDs")), QVariant(QStringList({ "0000110b-0000-1000-8000-00805f9b34fb" })));

        // A paired device is announced too, with its stored alias and trust, and
        // its stored name although inquiry did not carry it.
        QCOMPARE(byAddress.value(phone).size(), 1);
        const QVariantMap paired = byAddress.value(phone).value(0).values;
        QCOMPARE(signatures(paired), expected({ "Icon", "Name", "Trusted" }));
        QCOMPARE(paired.value(QStringLiteral("Icon")).toString(), QStringLiteral("phone"));
        QCOMPARE(paired.value(QStringLiteral("Alias")).toString(), QStringLiteral("My phone"));
        QCOMPARE(paired.value(QStringLiteral("Name")).toString(), QStringLiteral("Phone"));
        QCOMPARE(paired.value(QStringLiteral("Paired")), QVariant(true));
        QCOMPARE(paired.value(QStringLiteral("Trusted")), QVariant(true));

        // Its name comes from name resolution, after inquiry: announced twice.
        const QList<Found> printerFound = byAddress.value(printer);
        QCOMPARE(printerFound.size(), 2);
        QCOMPARE(signatures(printerFound.at(0).values), expected({ "Icon", "Trusted" }));
        QCOMPARE(printerFound.at(0).values.value(QStringLiteral("Alias")).toString(), QStringLiteral("00-80-92-00-00-03"));
        QCOMPARE(printerFound.at(0).values.value(QStringLiteral("LegacyPairing")), QVariant(true));
        QCOMPARE(printerFound.at(0).values.value(QStringLiteral("Icon")).toString(), QStringLiteral("printer"));
        QCOMPARE(signatures(printerFound.at(1).values), expected({ "Icon", "Name", "Trusted" }));
        QCOMPARE(printerFound.at(1).values.value(QStringLiteral("Name")).toString(), QStringLiteral("Printer"));
        QCOMPARE(printerFound.at(1).values.value(QStringLiteral("Alias")).toString(), QStringLiteral("Printer"));
        for (const Found &other : devicesFound(recorder)) {
            if (other.address != printer)
                QVERIFY(other.index < printerFound.at(1).index);
        }

        // No name and a class without an icon: neither key.
        QCOMPARE(byAddress.value(nameless).size(), 1);
        const QVariantMap unnamed = byAddress.value(nameless).value(0).values;
        QCOMPARE(signatures(unnamed), expected({ "Trusted" }));
        QCOMPARE(unnamed.value(QStringLiteral("Alias")).toString(), QStringLiteral("00-25-DB-00-00-04"));
        QCOMPARE(unnamed.value(QStringLiteral("Class")).toUInt(), 0x1f00u);

        // Low energy: Broadcaster instead of Trusted, Class 0 when unknown.
        const QVariantMap le = byAddress.value(tag).value(0).values;
        QCOMPARE(signatures(le), expected({ "Broadcaster", "Name" }));
        QCOMPARE(le.value(QStringLiteral("Class")), QVariant(0u));
        QCOMPARE(le.value(QStringLiteral("Alias")).toString(), QStringLiteral("Tag"));
        QVERIFY(adapterCall(QStringLiteral("StopDiscovery")).type() == QDBusMessage::ReplyMessage);
    }

    void cyclesRepeatWhileASessionIsOpenAndAnnounceOnlyChanges()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(adapterCall(QStringLiteral("StartDiscovery")).type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering"), 5000, 2));
        const int firstCycle = devicesFound(recorder).size();
        QCOMPARE(firstCycle, 6);  // five devices, the printer twice

        // One device moves closer, another leaves.
        QVERIFY(sim()->changeDevice(headphones, { { "rssi", -45 } }));
        QVERIFY(sim()->changeDevice(nameless, { { "inRange", false } }));
        QTRY_VERIFY_WITH_TIMEOUT(devicesFound(recorder, headphones).size() == 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(disappeared(recorder), QStringList({ nameless }), 5000);
        // And one more whole cycle, to see that nothing else is repeated.
        const int seen = recorder.count(QStringLiteral("PropertyChanged:Discovering"));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering"), 5000, seen + 2));

        const QList<bool> discovering = discoveringValues(recorder);
        for (int i = 0; i < discovering.size(); ++i)
            QCOMPARE(discovering.at(i), i % 2 == 0);
        QVERIFY(discovering.size() >= 6);

        const Found moved = devicesFound(recorder, headphones).last();
        QCOMPARE(moved.values.value(QStringLiteral("RSSI")).userType(), int(QMetaType::Short));
        QCOMPARE(moved.values.value(QStringLiteral("RSSI")).toInt(), -45);
        QCOMPARE(moved.values.value(QStringLiteral("Name")).toString(), QStringLiteral("Headphones"));
        QCOMPARE(devicesFound(recorder).size(), firstCycle + 1);

        // Gone only once a cycle without it has ended.
        const int gone = recorder.indexOf(QStringLiteral("DeviceDisappeared"));
        QCOMPARE(recorder.entries().at(gone - 1).label, QStringLiteral("PropertyChanged:Discovering"));
        QCOMPARE(recorder.entries().at(gone - 1).arguments.value(1).value<QDBusVariant>().variant(), QVariant(false));
        QCOMPARE(recorder.entries().at(gone + 1).label, QStringLiteral("PropertyChanged:Discovering"));
        QVERIFY(adapterCall(QStringLiteral("StopDiscovery")).type() == QDBusMessage::ReplyMessage);
    }

    void discoveryLastsUntilEverySessionStops()
    {
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("other"));
        {
            SignalRecorder recorder(QDBusConnection::systemBus());
            SignalRecorder otherRecorder(other);
            QVERIFY(adapterCall(QStringLiteral("StartDiscovery")).type() == QDBusMessage::ReplyMessage);
            // Twice from one client is one session counted twice.
            QVERIFY(other.call(adapterMessage(QStringLiteral("StartDiscovery"))).type() == QDBusMessage::ReplyMessage);
            QVERIFY(other.call(adapterMessage(QStringLiteral("StartDiscovery"))).type() == QDBusMessage::ReplyMessage);
            QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering")));
            QVERIFY(adapterCall(QStringLiteral("StopDiscovery")).type() == QDBusMessage::ReplyMessage);
            QVERIFY(other.call(adapterMessage(QStringLiteral("StopDiscovery"))).type() == QDBusMessage::ReplyMessage);
            // Sessions remain: the next cycle starts.
            QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering"), 5000, 3));
            QCOMPARE(discoveringValues(recorder), QList<bool>({ true, false, true }));

            // The last stop is answered before the controller has stopped, and
            // until then the adapter still says it is discovering.
            QVERIFY(sim()->setTiming({ { "stopDiscoveryMs", 400 } }));
            otherRecorder.clear();
            otherRecorder.callAsync(adapterMessage(QStringLiteral("StopDiscovery")));
            QVERIFY(otherRecorder.waitFor(QStringLiteral("reply:StopDiscovery")));
            const int replied = otherRecorder.indexOf(QStringLiteral("reply:StopDiscovery"));
            QVERIFY(discoveringProperty());
            QTRY_VERIFY(otherRecorder.indexOf(QStringLiteral("PropertyChanged:Discovering"), replied) > replied);
            QCOMPARE(otherRecorder.labels().mid(replied),
                     QStringList({ "reply:StopDiscovery", "PropertyChanged:Discovering" }));
            QCOMPARE(otherRecorder.lastValue(QStringLiteral("Discovering")), QVariant(false));
            QVERIFY(!discoveringProperty());
            QTest::qWait(300);
            QCOMPARE(otherRecorder.labels().last(), QStringLiteral("PropertyChanged:Discovering"));

            // The found list went with the last session: a new one announces everyone again.
            recorder.clear();
            QVERIFY(adapterCall(QStringLiteral("StartDiscovery")).type() == QDBusMessage::ReplyMessage);
            QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering"), 5000, 2));
            QCOMPARE(devicesFound(recorder).size(), 6);
            QVERIFY(adapterCall(QStringLiteral("StopDiscovery")).type() == QDBusMessage::ReplyMessage);
        }
        other = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }

    void aClientLeavingTheBusReleasesItsSession()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        {
            QDBusConnection leaving = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("leaving"));
            QVERIFY(leaving.call(adapterMessage(QStringLiteral("StartDiscovery"))).type() == QDBusMessage::ReplyMessage);
            QVERIFY(leaving.call(adapterMessage(QStringLiteral("StartDiscovery"))).type() == QDBusMessage::ReplyMessage);
            QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering")));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering"), 5000, 2));
        QCOMPARE(recorder.lastValue(QStringLiteral("Discovering")), QVariant(false));
        QVERIFY(!discoveringProperty());
        QTest::qWait(300);
        QCOMPARE(discoveringValues(recorder), QList<bool>({ true, false }));
    }

    void reportedDevicesCountAsInquiryResults()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        // Without discovery the result is announced as it comes.
        QVERIFY2(sim()->reportDeviceFound(printer), qPrintable(sim()->lastError()));
        QVERIFY(recorder.waitFor(QStringLiteral("DeviceFound")));
        const QVariantMap values = devicesFound(recorder).first().values;
        QCOMPARE(values.value(QStringLiteral("Address")).toString(), printer);
        QCOMPARE(values.value(QStringLiteral("Name")).toString(), QStringLiteral("Printer"));
        QCOMPARE(values.value(QStringLiteral("RSSI")).userType(), int(QMetaType::Short));
        QVERIFY(!sim()->reportDeviceFound(QStringLiteral("00:00:00:00:00:99")));
        QVERIFY(!sim()->reportDeviceFound(QStringLiteral("not an address")));

        // During discovery it counts as seen in the running cycle, and is missed after the next.
        recorder.clear();
        QVERIFY(adapterCall(QStringLiteral("StartDiscovery")).type() == QDBusMessage::ReplyMessage);
        QVERIFY(recorder.waitFor(QStringLiteral("PropertyChanged:Discovering")));
        QVERIFY(sim()->reportDeviceFound(farAway));
        QTRY_COMPARE_WITH_TIMEOUT(devicesFound(recorder, farAway).size(), 1, 2000);
        QCOMPARE(devicesFound(recorder, farAway).first().values.value(QStringLiteral("Name")).toString(), QStringLiteral("Far away"));
        QTRY_COMPARE_WITH_TIMEOUT(disappeared(recorder), QStringList({ farAway }), 5000);
        const int gone = recorder.indexOf(QStringLiteral("DeviceDisappeared"));
        // Right after the end of the cycle that followed the report.
        QCOMPARE(recorder.entries().at(gone - 1).label, QStringLiteral("PropertyChanged:Discovering"));
        QCOMPARE(discoveringValues(recorder).mid(0, 4), QList<bool>({ true, false, true, false }));
        QCOMPARE(recorder.labels().mid(0, gone).count(QStringLiteral("PropertyChanged:Discovering")), 4);
        QCOMPARE(devicesFound(recorder, farAway).size(), 1);
        QVERIFY(adapterCall(QStringLiteral("StopDiscovery")).type() == QDBusMessage::ReplyMessage);
    }
};

OVRIN_TEST_MAIN(TestSimDiscovery)
#include "tst_simdiscovery.moc"
