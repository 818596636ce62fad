// Connecting the audio profiles of paired devices: one audio device at a time,
// the outcome reported by signals.

#include "bluetoothadapter.h"
#include "bluetoothconnectionmanager.h"
#include "bluezworld.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>

#include <memory>

using namespace Ovrin;
using namespace OvrinTest;

namespace {
const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString carKit = QStringLiteral("00:1E:AE:4C:22:02");
const QString phone = QStringLiteral("F4:0E:22:13:33:03");
const QString brokenSpeaker = QStringLiteral("00:0D:3C:B7:44:04");

// BlueZ 4 connects audio on the device's Audio interface; BlueZ 5's Device1
// connects the device, audio among its profiles, and its link is its audio.
QString audioInterface()
{
    return dialect("org.bluez.Audio", "org.bluez.Device1");
}
QString deviceInterface()
{
    return dialect("org.bluez.Device", "org.bluez.Device1");
}
// A harmless call to a device, which marks a moment in the simulator's log.
QDBusMessage readDevice(const QString &path)
{
    if (onBluez5())
        return bluezMessage(path, "org.freedesktop.DBus.Properties", "GetAll",
                            { deviceInterface() });
    return bluezMessage(path, audioInterface(), "GetProperties");
}

// A manager with spies on what it tells.
struct Manager : BluetoothConnectionManager
{
    using BluetoothConnectionManager::BluetoothConnectionManager;
    QSignalSpy connects { this, &BluetoothConnectionManager::connected };
    QSignalSpy fails { this, &BluetoothConnectionManager::connectionFailed };
    QSignalSpy disconnects { this, &BluetoothConnectionManager::disconnected };
    QSignalSpy disconnectFails { this, &BluetoothConnectionManager::disconnectionFailed };
};
} // namespace

class TestBluetoothConnectionManager : public QObject
{
    Q_OBJECT

    static QString audioState(const QString &address)
    {
        return simValue(address, "audioState").toString();
    }
    static bool linkUp(const QString &address) { return simFlag(address, "connected"); }
    static int audioConnects() { return sim()->countCalls("Connect", audioInterface()); }
    static int linkDisconnects() { return sim()->countCalls("Disconnect", deviceInterface()); }

    // Simulator time of the last call of interface.member on the object at path.
    qint64 callTime(const QString &path, const QString &interface, const QString &member)
    {
        qint64 at = -1;
        const QList<SimulatorClient::Call> calls = sim()->callLog();
        for (const SimulatorClient::Call &call : calls) {
            if (call.path == path && call.interface == interface && call.member == member)
                at = call.msecs;
        }
        return at;
    }

    // Brings address to the audio state "connected" through a manager of its
    // own, and forgets the calls that took.
    bool connectAudio(const QString &address)
    {
        Manager manager(knownDevice(address));
        manager.connect();
        return manager.connects.wait(3000)
            && QTest::qWaitFor([&manager]() { return manager.device().isConnected(); })
            && sim()->clearCallLog();
    }

private Q_SLOTS:
    void init() { OVRIN_FRESH_WORLD("audio/scenarios/twoheadsets.json"); }

    void cleanup() { verifyBluezHygiene(sim()); }

    void audioDevicesAreThoseWithAnAudioProfile()
    {
        QVERIFY(BluetoothConnectionManager::isConnectable(knownDevice(headset)));
        Manager carKitManager(knownDevice(carKit));
        QVERIFY(carKitManager.isConnectable());
        QVERIFY(carKitManager.shouldAutoConnect());

        // Object push only: not an audio device, and connect() does nothing.
        Manager phoneManager(knownDevice(phone));
        QVERIFY(!phoneManager.isConnectable());
        QVERIFY(!phoneManager.shouldAutoConnect());
        phoneManager.connect();
        QTest::qWait(200);
        QCOMPARE(phoneManager.connects.size() + phoneManager.fails.size(), 0);
        QCOMPARE(audioConnects(), 0);
    }

    void isAudioConnectedOnlyInTheConnectedState()
    {
        Manager manager(knownDevice(headset));
        QVERIFY(!manager.isAudioConnected());
        QVERIFY(sim()->changeDevice(headset,
                                    { { "connected", true }, { "audioState", "connecting" } }));
        if (onBluez5()) {
            // BlueZ 5 tells no audio state apart from the link: it is the audio.
            QTRY_VERIFY(manager.isAudioConnected());
            return;
        }
        QVERIFY(!manager.isAudioConnected());
        QVERIFY(sim()->changeDevice(headset, { { "audioState", "connected" } }));
        QVERIFY(manager.isAudioConnected());

        QVERIFY(sim()->failNext("org.bluez.Audio.GetProperties", "org.bluez.Error.Failed"));
        QTest::ignoreMessage(QtWarningMsg, "Unable to get properties from org.bluez.Audio");
        QVERIFY(!manager.isAudioConnected());
    }

    void connectWithNoOtherAudioDeviceConnectsAtOnce()
    {
        Manager manager(knownDevice(headset));
        manager.connect();
        // A second request while "Connect" is outstanding is ignored.
        manager.connect();
        QVERIFY(manager.connects.wait());
        QCOMPARE(audioState(headset), QStringLiteral("connected"));
        QTest::qWait(200);
        QCOMPARE(manager.connects.size(), 1);
        QCOMPARE(manager.fails.size(), 0);
        QCOMPARE(audioConnects(), 1);
        QCOMPARE(sim()->countCalls(QStringLiteral("Disconnect")), 0);
    }

    void connectDisconnectsTheOtherAudioDeviceFirst_data()
    {
        QTest::addColumn<bool>("servicesKnown");
        QTest::newRow("services known") << true;
        // Neither tells its services yet; the phone has no audio to ask about.
        QTest::newRow("services not known yet") << false;
    }

    void connectDisconnectsTheOtherAudioDeviceFirst()
    {
        QFETCH(bool, servicesKnown);
        QVERIFY(connectAudio(headset));
        if (!servicesKnown)
            QVERIFY(sim()->setRawProperty(headset, "UUIDs", QStringList())
                    && sim()->setRawProperty(phone, "UUIDs", QStringList()));

        BluetoothDevice previous = knownDevice(headset);
        const QString previousPath = previous.path();
        // Marks in the simulator's clock the moment this process sees the
        // headset go; the manager sees it in the same dispatch.
        connect(&previous, &BluetoothDevice::propertyChanged, this, [&](const QString &property) {
            if (property == QLatin1String("connected") && !previous.isConnected())
                QDBusConnection::systemBus().call(readDevice(previousPath));
        });

        Manager manager(knownDevice(carKit));
        manager.connect();
        QTRY_VERIFY(!linkUp(headset));
        QCOMPARE(audioConnects(), 0);
        // Asked again while waiting for the headset: still one attempt.
        manager.connect();
        QTRY_COMPARE_WITH_TIMEOUT(manager.connects.size(), 1, 3000);
        QCOMPARE(audioState(carKit), QStringLiteral("connected"));
        QCOMPARE(audioState(headset), QStringLiteral("disconnected"));

        const QDBusMessage mark = readDevice(previousPath);
        const qint64 gone = callTime(previousPath, mark.interface(), mark.member());
        const qint64 sent = callTime(manager.device().path(), audioInterface(), "Connect");
        QVERIFY(gone >= 0 && sent - gone >= 990 && sent - gone < 1500);
        QTest::qWait(200);
        QCOMPARE(manager.connects.size(), 1);
        QCOMPARE(manager.fails.size(), 0);
        QCOMPARE(audioConnects(), 1);
        QCOMPARE(linkDisconnects(), 1);
    }

    void connectOfTheConnectedDeviceReconnectsIt()
    {
        QVERIFY(connectAudio(headset));
        Manager manager(knownDevice(headset));
        manager.connect();
        QTRY_COMPARE(manager.disconnects.size(), 1);
        QCOMPARE(manager.connects.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(manager.connects.size(), 1, 3000);
        QCOMPARE(audioState(headset), QStringLiteral("connected"));
        QCOMPARE(linkDisconnects(), 1);
        QCOMPARE(audioConnects(), 1);
    }

    void connectFailures()
    {
        // The remote refuses: the D-Bus error name is the reason.
        Manager speaker(knownDevice(brokenSpeaker));
        const QString refused = "connectAudioCallback failed: org.bluez.Error.Failed, "
            + dialect("Connect Failed", "br-connection-refused");
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refused));
        speaker.connect();
        QVERIFY(speaker.fails.wait());
        QCOMPARE(speaker.fails.first().first().toString(),
                 QStringLiteral("org.bluez.Error.Failed"));
        QCOMPARE(speaker.connects.size(), 0);

        // A new attempt after the failure is made.
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refused));
        speaker.connect();
        QTRY_COMPARE(speaker.fails.size(), 2);
        QCOMPARE(audioConnects(), 2);
    }

    void connectFailsWhenThePreviousDeviceCannotBeDisconnected_data()
    {
        QTest::addColumn<bool>("withLink");
        QTest::newRow("previous device refuses to go") << true;
        // BlueZ 4 reports audio up on a device whose link it reports down
        // (BlueZ 5's audio is its link).
        if (!onBluez5())
            QTest::newRow("previous device has audio but no link") << false;
    }

    void connectFailsWhenThePreviousDeviceCannotBeDisconnected()
    {
        QFETCH(bool, withLink);
        if (withLink) {
            QVERIFY(connectAudio(headset));
            QVERIFY(sim()->failNext(deviceInterface() + ".Disconnect", "org.bluez.Error.Failed",
                                    "busy"));
            QTest::ignoreMessage(QtWarningMsg, "Disconnect failed: org.bluez.Error.Failed, busy");
        } else {
            QVERIFY(sim()->changeDevice(headset, { { "audioState", "connected" } }));
            QVERIFY(!knownDevice(headset).isConnected());
        }
        Manager manager(knownDevice(carKit));
        manager.connect();
        QTRY_COMPARE(manager.fails.size(), 1);
        QCOMPARE(manager.fails.first().first().toString(),
                 QStringLiteral("Couldn't disconnect previous"));
        QTest::qWait(1300);
        QCOMPARE(manager.fails.size(), 1);
        QCOMPARE(manager.connects.size(), 0);
        QCOMPARE(audioConnects(), 0);
        QCOMPARE(audioState(headset), QStringLiteral("connected"));
        // The manager is free again: a second attempt asks BlueZ again.
        const int fails = int(manager.fails.size()), asked = linkDisconnects();
        manager.connect();
        QTRY_VERIFY(manager.fails.size() > fails || linkDisconnects() > asked);
    }

    void connectCanBeRetriedWhenThePreviousDeviceNeverGoes_data()
    {
        QTest::addColumn<bool>("bluezRestarts");
        QTest::addColumn<QString>("reason");
        QTest::newRow("BlueZ restarts") << true << QStringLiteral("Adapter gone");
        QTest::newRow("no report") << false << QStringLiteral("Couldn't disconnect previous");
    }

    void connectCanBeRetriedWhenThePreviousDeviceNeverGoes()
    {
        QFETCH(bool, bluezRestarts);
        QFETCH(QString, reason);
        QVERIFY(connectAudio(headset));
        // The headset's Disconnect succeeds, but its link never goes.
        QVERIFY(sim()->ignoreNext(deviceInterface() + ".Disconnect", true));

        BluetoothAdapter adapter;
        Manager manager(knownDevice(carKit));
        manager.connect();
        QTRY_COMPARE(linkDisconnects(), 1);
        QTest::qWait(500);
        QCOMPARE(manager.fails.size(), 0);
        if (bluezRestarts) {
            QVERIFY(dropBluez(sim()));
            QVERIFY(restoreBluez(sim()));
            QTRY_COMPARE(manager.fails.size(), 1);
            QTRY_VERIFY(adapter.isValid());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(manager.fails.size(), 1, 12000);
        }
        QCOMPARE(manager.fails.first().first().toString(), reason);
        QCOMPARE(manager.connects.size(), 0);

        // Not busy for good: a retry is made (after a restart, the reliability runs retry).
        if (bluezRestarts)
            return;
        manager.connect();
        QTRY_COMPARE_WITH_TIMEOUT(manager.connects.size(), 1, 3000);
        QCOMPARE(audioState(carKit), QStringLiteral("connected"));
        QCOMPARE(audioState(headset), QStringLiteral("disconnected"));
        QCOMPARE(manager.fails.size(), 1);
    }

    void disconnectDropsTheLinkOrReportsNotConnected()
    {
        QVERIFY(connectAudio(carKit));
        Manager manager(knownDevice(carKit));
        manager.disconnect();
        QVERIFY(manager.disconnects.wait());
        QVERIFY(!linkUp(carKit));
        QCOMPARE(manager.disconnectFails.size(), 0);

        // Not connected: reported, and BlueZ is asked all the same.
        manager.disconnect();
        QCOMPARE(manager.disconnectFails.size(), 1);
        QCOMPARE(manager.disconnectFails.first().first().toString(),
                 QStringLiteral("Not connected"));
        QTRY_COMPARE(linkDisconnects(), 2);
        QTest::qWait(100);
        QCOMPARE(manager.disconnects.size(), 1);
        QCOMPARE(manager.disconnectFails.size(), 1);
    }

    void disconnectedFollowsTheLinkWhoeverDropsIt()
    {
        QVERIFY(connectAudio(headset));
        Manager manager(knownDevice(headset));
        QVERIFY(sim()->changeDevice(headset,
                                    { { "connected", false }, { "audioState", "disconnected" } }));
        QVERIFY(manager.disconnects.wait());
        // Coming back is not a connect of ours.
        QVERIFY(sim()->changeDevice(headset, { { "connected", true } }));
        QTRY_VERIFY(manager.device().isConnected());
        QCOMPARE(manager.connects.size(), 0);
        QCOMPARE(manager.disconnects.size(), 1);
    }

    void deletingTheManagerWhileWaitingLeavesNothingBehind()
    {
        QVERIFY(connectAudio(headset));
        {
            Manager manager(knownDevice(carKit));
            manager.connect();
        }
        QTRY_VERIFY(!linkUp(headset));
        QTest::qWait(1300);
        QCOMPARE(audioConnects(), 0);
    }
};

OVRIN_TEST_MAIN(TestBluetoothConnectionManager)
#include "tst_bluetoothconnectionmanager.moc"
