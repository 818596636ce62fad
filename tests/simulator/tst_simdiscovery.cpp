// Discovery on the simulated adapter runs in cycles while a session is open and
// announces devices as bluetoothd 4.101 does.

#include "simtest.h"

using namespace OvrinTest;

namespace {
const QString headphones = u"00:1B:66:00:00:01"_s;
const QString printer = u"00:80:92:00:00:03"_s;
const QString nameless = u"00:25:DB:00:00:04"_s;

QList<QVariantMap> devicesFound(const SignalRecorder &recorder, const QString &address = {})
{
    QList<QVariantMap> found;
    for (const SignalRecorder::Entry &e : recorder.entries()) {
        if (e.member == "DeviceFound"_L1
            && (address.isEmpty() || e.arguments.value(0).toString() == address))
            found.append(qdbus_cast<QVariantMap>(e.arguments.value(1)));
    }
    return found;
}

QList<bool> discoveringValues(const SignalRecorder &recorder)
{
    QList<bool> values;
    for (const SignalRecorder::Entry &e : recorder.entries()) {
        if (e.label == "PropertyChanged:Discovering"_L1)
            values.append(SignalRecorder::valueOf(e).toBool());
    }
    return values;
}
} // namespace

class TestSimDiscovery : public SimTest
{
    Q_OBJECT

    bool start(const QDBusConnection &bus = QDBusConnection::systemBus())
    {
        return ok(bus.call(adapterMessage(u"StartDiscovery"_s)));
    }
    QString stop(const QDBusConnection &bus = QDBusConnection::systemBus())
    {
        return bus.call(adapterMessage(u"StopDiscovery"_s)).errorName();
    }

private Q_SLOTS:
    void init() { QVERIFY(load(u"mixed-neighbours.json"_s)); }

    void startRepliesBeforeDiscoveringAndStopNeedsASession()
    {
        QCOMPARE(stop(), bluezError("Failed"));
        SignalRecorder recorder(QDBusConnection::systemBus());
        recorder.callAsync(adapterMessage(u"StartDiscovery"_s));
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s));
        QCOMPARE(recorder.labels().mid(0, 2),
                 QStringList({ "reply:StartDiscovery", "PropertyChanged:Discovering" }));
        {
            // Another client's session is not ours to stop; a second stop finds ours gone.
            OtherClient other(QDBusConnection::SystemBus);
            QVERIFY(start(other.bus));
            QCOMPARE(stop(), QString());
            QCOMPARE(stop(), bluezError("Failed"));
            QCOMPARE(stop(other.bus), QString());
        }
        QVERIFY(setAdapter(u"Powered"_s, false));
        QCOMPARE(adapterCall(u"StartDiscovery"_s).errorName(), bluezError("NotReady"));
    }

    void cyclesRepeatAndAnnounceOnlyChanges()
    {
        SignalRecorder recorder(QDBusConnection::systemBus());
        QVERIFY(start());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 2));
        // Five devices; the printer's name comes from name resolution after inquiry, so it
        // is announced twice, named the second time.
        QCOMPARE(devicesFound(recorder).size(), 6);
        const QList<QVariantMap> printerFound = devicesFound(recorder, printer);
        QCOMPARE(printerFound.size(), 2);
        QVERIFY(!printerFound.first().contains(u"Name"_s));
        QCOMPARE(printerFound.last().value(u"Name"_s), QVariant(u"Printer"_s));

        // One device moves closer, another leaves.
        QVERIFY(sim()->changeDevice(headphones, { { "rssi", -45 } }));
        QVERIFY(sim()->changeDevice(nameless, { { "inRange", false } }));
        QTRY_COMPARE_WITH_TIMEOUT(devicesFound(recorder, headphones).size(), 2, 5000);
        QVERIFY(recorder.waitFor(u"DeviceDisappeared"_s, 5000));
        // And one more whole cycle, to see that nothing else is repeated.
        const int seen = recorder.count(u"PropertyChanged:Discovering"_s);
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, seen + 2));
        QCOMPARE(devicesFound(recorder).size(), 7);
        QCOMPARE(devicesFound(recorder, headphones).last().value(u"RSSI"_s).toInt(), -45);
        QCOMPARE(recorder.count(u"DeviceDisappeared"_s), 1);
        // Gone only once a cycle without it has ended, between two cycles.
        const int gone = recorder.indexOf(u"DeviceDisappeared"_s);
        QCOMPARE(recorder.entries().at(gone).arguments.value(0).toString(), nameless);
        QCOMPARE(recorder.entries().at(gone - 1).label, u"PropertyChanged:Discovering"_s);
        QCOMPARE(SignalRecorder::valueOf(recorder.entries().at(gone - 1)), QVariant(false));
        QCOMPARE(recorder.entries().at(gone + 1).label, u"PropertyChanged:Discovering"_s);
        const QList<bool> discovering = discoveringValues(recorder);
        for (int i = 0; i < discovering.size(); ++i)
            QCOMPARE(discovering.at(i), i % 2 == 0);
        QCOMPARE(stop(), QString());
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
        QCOMPARE(stop(), QString());
        QCOMPARE(stop(other.bus), QString());
        // Sessions remain: the next cycle starts.
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 3));
        QCOMPARE(discoveringValues(recorder), QList<bool>({ true, false, true }));

        // The last stop is answered before the controller has stopped, and
        // until then the adapter still says it is discovering.
        QVERIFY(sim()->setTiming({ { "stopDiscoveryMs", 400 } }));
        otherRecorder.clear();
        otherRecorder.callAsync(adapterMessage(u"StopDiscovery"_s));
        QVERIFY(otherRecorder.waitFor(u"reply:StopDiscovery"_s));
        QCOMPARE(adapterProperties().value(u"Discovering"_s), QVariant(true));
        QTRY_COMPARE(otherRecorder.labels().mid(otherRecorder.indexOf(u"reply:StopDiscovery"_s)),
                     QStringList({ "reply:StopDiscovery", "PropertyChanged:Discovering" }));
        QCOMPARE(otherRecorder.lastValue(u"Discovering"_s), QVariant(false));
        QTest::qWait(300);
        QCOMPARE(otherRecorder.labels().last(), u"PropertyChanged:Discovering"_s);

        // The found list went with the last session: a new one announces everyone again.
        recorder.clear();
        QVERIFY(start());
        QVERIFY(recorder.waitFor(u"PropertyChanged:Discovering"_s, 5000, 2));
        QCOMPARE(devicesFound(recorder).size(), 6);
        QCOMPARE(stop(), QString());
    }
};

OVRIN_TEST_MAIN(TestSimDiscovery)
#include "tst_simdiscovery.moc"
