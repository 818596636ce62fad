// Discovery on the simulated adapter runs in cycles and announces devices as
// bluetoothd 4.101 does.

#include "simtest.h"

using namespace OvrinTest;

namespace {

const QString invalidSession = u"Invalid discovery session"_s;
const QString headphones = u"00:1B:66:00:00:01"_s;
const QString printer = u"00:80:92:00:00:03"_s;
const QString nameless = u"00:25:DB:00:00:04"_s;
const QString farAway = u"5C:51:88:00:00:06"_s;

struct Found
{
    int index; // in the recorder's timeline
    QString address;
    QVariantMap values;
};

QList<Found> devicesFound(const SignalRecorder &recorder, const QString &address = {})
{
    QList<Found> found;
    for (int i = 0; i < recorder.entries().size(); ++i) {
        const SignalRecorder::Entry &e = recorder.entries().at(i);
        const QString from = e.arguments.value(0).toString();
        if (e.member == "DeviceFound"_L1 && (address.isEmpty() || from == address))
            found.append({ i, from, qdbus_cast<QVariantMap>(e.arguments.value(1)) });
    }
    return found;
}

// One announcement as "Key:signature=value" in key order.
QStringList described(const QVariantMap &values)
{
    QStringList keys;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QString signature = signatureOf(it.value());
        const QString value = signature == "as"_L1
            ? it.value().toStringList().join(QLatin1Char(','))
            : it.value().toString();
        keys << it.key() + QLatin1Char(':') + signature + QLatin1Char('=') + value;
    }
    return keys;
}

QList<bool> discoveringValues(const SignalRecorder &recorder)
{
    QList<bool> values;
    for (const SignalRecorder::Entry &e : recorder.entries()) {
        if (e.label == "PropertyChanged:Discovering"_L1)
            values.append(valueOf(e).toBool());
    }
    return values;
}

QStringList disappeared(const SignalRecorder &recorder)
{
    QStringList list;
    for (const SignalRecorder::Entry &e : recorder.entries()) {
        if (e.member == "DeviceDisappeared"_L1)
            list.append(e.arguments.value(0).toString());
    }
    return list;
}

} // namespace

class TestSimDiscovery : public SimTest
{
    Q_OBJECT

    bool discoveringProperty() { return adapterProperties().value(u"Discovering"_s).toBool(); }
    bool start(const QDBusConnection &bus = QDBusConnection::systemBus())
    {
        return ok(bus.call(adapterMessage(u"StartDiscovery"_s)));
    }
    QDBusMessage stop(const QDBusConnection &bus = QDBusConnection::systemBus())
    {
        return bus.call(adapterMessage(u"StopDiscovery"_s));
    }
    // The DeviceDisappeared comes right after the end of a cycle.
    static void checkDisappearedAtCycleEnd(const SignalRecorder &recorder)
    {
        const int gone = recorder.indexOf(u"DeviceDisappeared"_s);
        QCOMPARE(recorder.entries().at(gone - 1).label, u"PropertyChanged:Discovering"_s);
        QCOMPARE(valueOf(recorder.entries().at(gone - 1)), QVariant(false));
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(load(u"mixed-neighbours.json"_s));
        QTest::failOnWarning(QRegularExpression(u"."_s));
    }

    void startRepliesBeforeDiscoveringAndStopNeedsASession()
    {
        QDBusMessage refused = stop();
        QCOMPARE(refused.errorName(), bluezError("Failed"));
        QCOMPARE(refused.errorMessage(), invalidSession);

        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"StartDiscovery"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s));
        QCOMPARE(recorder.labels().mid(0, 2),
                 QStringList({ "reply:StartDiscovery", "PropertyChanged:Discovering" }));
        QCOMPARE(discoveringValues(recorder), QList<bool>({ true }));
        QVERIFY(discoveringProperty());
        {
            // Another client's session is not ours to stop; a second stop finds it gone.
            OtherClient other(QDBusConnection::SystemBus);
            QVERIFY(start(other.bus));
            QVERIFY(ok(stop()));
            QCOMPARE(stop().errorMessage(), invalidSession);
            QVERIFY(ok(stop(other.bus)));
        }

        // Off, there is nothing to discover with, nor to stop.
        QVERIFY(setAdapter(u"Powered"_s, false));
        QCOMPARE(adapterCall(u"StartDiscovery"_s).errorName(), bluezError("NotReady"));
        QCOMPARE(stop().errorName(), bluezError("NotReady"));
    }

    void deviceFoundHasTheDaemonsKeysAndTypes()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(start());
        // One whole cycle: inquiry, name resolution, Discovering back to false.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 2));
        const int cycleEnd = recorder.indexOf(u"PropertyChanged:Discovering"_s, 1);
        QMap<QString, QStringList> announced;
        for (const Found &found : devicesFound(recorder)) {
            QVERIFY2(found.index < cycleEnd, qPrintable(found.address));
            announced[found.address].append(described(found.values).join(QLatin1Char(' ')));
        }
        const QMap<QString, QString> expected {
            // Audio class maps to an icon; inquiry (EIR) carried the name and a service.
            { headphones,
              "Address:s=00:1B:66:00:00:01 Alias:s=Headphones Class:u=2360324 Icon:s=audio-card "
              "LegacyPairing:b=false Name:s=Headphones Paired:b=false RSSI:n=-40 Trusted:b=false "
              "UUIDs:as=0000110b-0000-1000-8000-00805f9b34fb" },
            // A paired device with its stored alias and trust, and its stored
            // name although inquiry did not carry it.
            { "F4:0E:22:00:00:02",
              "Address:s=F4:0E:22:00:00:02 Alias:s=My phone Class:u=5898764 Icon:s=phone "
              "LegacyPairing:b=false Name:s=Phone Paired:b=true RSSI:n=-50 Trusted:b=true" },
            // No name and a class without an icon: neither key.
            { nameless,
              "Address:s=00:25:DB:00:00:04 Alias:s=00-25-DB-00-00-04 Class:u=7936 "
              "LegacyPairing:b=false Paired:b=false RSSI:n=-70 Trusted:b=false" },
            // Low energy: Broadcaster instead of Trusted, Class 0 when unknown.
            { "C0:FF:EE:00:00:05",
              "Address:s=C0:FF:EE:00:00:05 Alias:s=Tag Broadcaster:b=false Class:u=0 "
              "LegacyPairing:b=false Name:s=Tag Paired:b=false RSSI:n=-75" },
        };
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(announced.value(it.key()), QStringList({ it.value() }));
        // The printer's name comes from name resolution, after inquiry: announced twice, last.
        const QString printerFound
            = QStringLiteral("Address:s=00:80:92:00:00:03 Alias:s=%1 Class:u=263808 Icon:s=printer "
                             "LegacyPairing:b=true %2Paired:b=false RSSI:n=-60 Trusted:b=false");
        QCOMPARE(announced.value(printer),
                 QStringList({ printerFound.arg("00-80-92-00-00-03", QString()),
                               printerFound.arg("Printer", "Name:s=Printer ") }));
        QCOMPARE(announced.size(), 5);
        QCOMPARE(devicesFound(recorder).last().address, printer);
        QVERIFY(ok(stop()));
    }

    void cyclesRepeatWhileASessionIsOpenAndAnnounceOnlyChanges()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(start());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 2));
        const int firstCycle = devicesFound(recorder).size();
        QCOMPARE(firstCycle, 6); // five devices, the printer twice

        // One device moves closer, another leaves.
        QVERIFY(sim()->changeDevice(headphones, { { "rssi", -45 } }));
        QVERIFY(sim()->changeDevice(nameless, { { "inRange", false } }));
        QTRY_VERIFY_WITH_TIMEOUT(devicesFound(recorder, headphones).size() == 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(disappeared(recorder), QStringList({ nameless }), 5000);
        // And one more whole cycle, to see that nothing else is repeated.
        const int seen = recorder.count(u"PropertyChanged:Discovering"_s);
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, seen + 2));

        const QList<bool> discovering = discoveringValues(recorder);
        for (int i = 0; i < discovering.size(); ++i)
            QCOMPARE(discovering.at(i), i % 2 == 0);
        QVERIFY(discovering.size() >= 6);
        const QVariantMap moved = devicesFound(recorder, headphones).last().values;
        QCOMPARE(signatureOf(moved.value(u"RSSI"_s)), u"n"_s);
        QCOMPARE(moved.value(u"RSSI"_s).toInt(), -45);
        QCOMPARE(moved.value(u"Name"_s).toString(), u"Headphones"_s);
        QCOMPARE(devicesFound(recorder).size(), firstCycle + 1);
        // Gone only once a cycle without it has ended.
        checkDisappearedAtCycleEnd(recorder);
        QCOMPARE(recorder.entries().at(recorder.indexOf(u"DeviceDisappeared"_s) + 1).label,
                 u"PropertyChanged:Discovering"_s);
        QVERIFY(ok(stop()));
    }

    void discoveryLastsUntilEverySessionStops()
    {
        OtherClient other(QDBusConnection::SystemBus);
        SignalRecorder recorder(QDBusConnection::systemBus());
        SignalRecorder otherRecorder(other.bus);
        QVERIFY(start());
        // Twice from one client is one session counted twice.
        QVERIFY(start(other.bus));
        QVERIFY(start(other.bus));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s));
        QVERIFY(ok(stop()));
        QVERIFY(ok(stop(other.bus)));
        // Sessions remain: the next cycle starts.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 3));
        QCOMPARE(discoveringValues(recorder), QList<bool>({ true, false, true }));

        // The last stop is answered before the controller has stopped, and
        // until then the adapter still says it is discovering.
        QVERIFY(sim()->setTiming({ { "stopDiscoveryMs", 400 } }));
        otherRecorder.clear();
        otherRecorder.callAsync(adapterMessage(u"StopDiscovery"_s));
        QVERIFY(otherRecorder.waitFor(u"reply:StopDiscovery"_s));
        const int replied = otherRecorder.indexOf(u"reply:StopDiscovery"_s);
        QVERIFY(discoveringProperty());
        QTRY_VERIFY(otherRecorder.indexOf(u"PropertyChanged:Discovering"_s, replied) > replied);
        QCOMPARE(otherRecorder.labels().mid(replied),
                 QStringList({ "reply:StopDiscovery", "PropertyChanged:Discovering" }));
        QCOMPARE(otherRecorder.lastValue(u"Discovering"_s), QVariant(false));
        QVERIFY(!discoveringProperty());
        QTest::qWait(300);
        QCOMPARE(otherRecorder.labels().last(), u"PropertyChanged:Discovering"_s);

        // The found list went with the last session: a new one announces everyone again.
        recorder.clear();
        QVERIFY(start());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 2));
        QCOMPARE(devicesFound(recorder).size(), 6);
        QVERIFY(ok(stop()));
    }

    void reportedDevicesCountAsInquiryResults()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        // Without discovery the result is announced as it comes.
        QVERIFY2(sim()->reportDeviceFound(printer), qPrintable(sim()->lastError()));
        QVERIFY(recorder.waitFor(u"DeviceFound"_s));
        const QVariantMap values = devicesFound(recorder).first().values;
        QCOMPARE(values.value(u"Name"_s).toString(), u"Printer"_s);
        QCOMPARE(signatureOf(values.value(u"RSSI"_s)), u"n"_s);
        QVERIFY(!sim()->reportDeviceFound(u"00:00:00:00:00:99"_s));
        QVERIFY(!sim()->reportDeviceFound(u"not an address"_s));

        // During discovery it counts as seen in the running cycle, and is missed after the next.
        recorder.clear();
        QVERIFY(start());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s));
        QVERIFY(sim()->reportDeviceFound(farAway));
        QTRY_COMPARE_WITH_TIMEOUT(devicesFound(recorder, farAway).size(), 1, 2000);
        QCOMPARE(devicesFound(recorder, farAway).first().values.value(u"Name"_s),
                 QVariant(u"Far away"_s));
        QTRY_COMPARE_WITH_TIMEOUT(disappeared(recorder), QStringList({ farAway }), 5000);
        checkDisappearedAtCycleEnd(recorder);
        const int gone = recorder.indexOf(u"DeviceDisappeared"_s);
        QCOMPARE(discoveringValues(recorder).mid(0, 4), QList<bool>({ true, false, true, false }));
        QCOMPARE(recorder.labels().mid(0, gone).count(u"PropertyChanged:Discovering"_s), 4);
        QCOMPARE(devicesFound(recorder, farAway).size(), 1);
        QVERIFY(ok(stop()));
    }
};

OVRIN_TEST_MAIN(TestSimDiscovery)
#include "tst_simdiscovery.moc"
