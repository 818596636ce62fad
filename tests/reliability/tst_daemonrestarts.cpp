// The daemons leave and come back, again and again, in the middle of what
// the library is doing: every handle follows, nothing hangs, nothing stays
// behind on disk. The counts come from the environment so that CTest runs a
// few rounds and scripts/reliability.sh the full ones.

#include "bluetoothadapter.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothconnectionmanager.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothfilesendprocess.h"
#include "bluetoothobexagent.h"
#include "bluetoothpairingprocess.h"
#include "bluetoothtransfertracker.h"
#include "obexworld.h"
#include "ovrintranslations.h"
#include "pairingworld.h"
#include "scriptedagent.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Ovrin;
using namespace OvrinTest;

namespace {

const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString phone = anna; // confirms a passkey when paired
const QString laptop = QStringLiteral("00:1E:45:88:09:08"); // pairs without asking

int rounds(const char *variable)
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue(variable, &ok);
    return ok && count > 0 ? count : 5;
}
const int bluezRounds = rounds("OVRIN_BLUEZ_RESTARTS");
const int obexdRounds = rounds("OVRIN_OBEXD_RESTARTS");

void report(const char *what, int count, const QElapsedTimer &timer)
{
    qInfo("%s: %d restarts in %.1f s", what, count, double(timer.elapsed()) / 1000.0);
}

} // namespace

class TestDaemonRestarts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;
    OrvelApplicationWindow m_window;

    void loadScenario(const QString &file) { QVERIFY(loadWorld(file)); }

    static QStringList addressesIn(const BluetoothDeviceModel &model)
    {
        QStringList addresses;
        for (int row = 0; row < model.rowCount(); ++row)
            addresses << model.deviceFromList(row)->address();
        return addresses;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_base.isValid());
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(ToolkitTesting::activate(&m_window));
        BluetoothTransferTracker::setBasePath(m_base.path());
    }

    void init() { QVERIFY(sim()->clearFaults()); }

    void bluezRestartsDuringDiscovery()
    {
        loadScenario(QStringLiteral("bluez/scenarios/handset.json"));
        std::vector<std::unique_ptr<BluetoothAdapter>> handles;
        for (int i = 0; i < 3; ++i)
            handles.emplace_back(BluetoothAdapter::defaultAdapter());
        BluetoothDeviceModel model(handles.front().get());
        QTRY_VERIFY(handles.front()->isValid());
        const QString address = handles.front()->address();
        QTRY_VERIFY(model.rowCount() > 0);
        const QStringList known = addressesIn(model);

        const int count = bluezRounds;
        QElapsedTimer timer;
        timer.start();
        QSignalSpy discovered(handles.back().get(), &BluetoothAdapter::deviceDiscovered);
        for (int round = 0; round < count; ++round) {
            // Discovery on the daemon of this round finds the neighbours.
            discovered.clear();
            handles.front()->startDiscovery();
            QTRY_VERIFY(handles.front()->isDiscovering());
            QTRY_VERIFY(!discovered.isEmpty());
            QVERIFY(dropBluez(sim()));
            for (const auto &handle : handles)
                QTRY_VERIFY(!handle->isValid());
            QVERIFY(restoreBluez(sim()));
            for (const auto &handle : handles) {
                QTRY_VERIFY(handle->isValid());
                QCOMPARE(handle->address(), address);
            }
            for (const QString &device : known)
                QTRY_VERIFY(addressesIn(model).contains(device));
        }
        report("org.bluez during discovery", count, timer);
        handles.front()->stopDiscovery();
        verifyBluezHygiene(sim());
    }

    // The attempt waits on its confirmation sheet when BlueZ goes: the
    // attempt ends, the sheet closes, BlueZ waits for no answer, and the
    // next attempt on the returned daemon pairs.
    void bluezRestartsDuringPairing()
    {
        loadScenario(QStringLiteral("pairing/scenarios/pairing.json"));
        const int count = bluezRounds;
        QElapsedTimer timer;
        timer.start();
        for (int round = 0; round < count; ++round) {
            BluetoothPairingProcess attempt;
            QSignalSpy finished(&attempt, &BluetoothPairingProcess::finished);
            attempt.start(foundDevice(phone));
            QTRY_VERIFY(sheetOnScreen<BluetoothConfirmationSheet>(m_window));
            QCOMPARE(sim()->pendingAgentCalls().size(), 1);
            QVERIFY(dropBluez(sim()));
            QTRY_COMPARE(finished.size(), 1);
            QVERIFY(!attempt.error().isEmpty());
            QTRY_VERIFY(!sheetOnScreen<SimpleSheet>(m_window));
            QCOMPARE(sim()->pendingAgentCalls().size(), 0);
            QVERIFY(restoreBluez(sim()));
        }
        report("org.bluez during a pairing with its sheet open", count, timer);
        BluetoothPairingProcess next;
        QSignalSpy finished(&next, &BluetoothPairingProcess::finished);
        next.start(foundDevice(laptop));
        QVERIFY(finished.wait());
        QCOMPARE(next.error(), QString());
    }

    void bluezRestartsDuringAudioConnect()
    {
        loadScenario(QStringLiteral("bluez/scenarios/handset.json"));
        QVERIFY(sim()->setTiming({ { "audioConnectMs", 200 } }));
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        QTRY_VERIFY(adapter->isValid());
        const int count = bluezRounds;
        QElapsedTimer timer;
        timer.start();
        for (int round = 0; round < count; ++round) {
            BluetoothConnectionManager manager(adapter->deviceForAddress(headset));
            QSignalSpy connected(&manager, &BluetoothConnectionManager::connected);
            QSignalSpy failed(&manager, &BluetoothConnectionManager::connectionFailed);
            manager.connect();
            QVERIFY(dropBluez(sim()));
            // The connect ends one way or the other; it never hangs.
            QTRY_VERIFY_WITH_TIMEOUT(connected.size() + failed.size() == 1, 10000);
            QVERIFY(restoreBluez(sim()));
            QTRY_VERIFY(adapter->isValid());
        }
        report("org.bluez during an audio connect", count, timer);
    }

    void obexdRestartsDuringPush()
    {
        loadScenario(obexScenario);
        QDir(m_base.path()).mkpath(QStringLiteral("Pictures"));
        QVERIFY(sim()->setObexOptions({ { "rootFolder", m_base.path() }, { "speed", 0 } }));
        PushReceiver receiver(PushReceiver::Plain);
        QTRY_COMPARE(receiver.registered.size(), 1);
        const int count = obexdRounds;
        QElapsedTimer timer;
        timer.start();
        for (int round = 0; round < count; ++round) {
            receiver.progressed.clear();
            QVERIFY(pushFromAnna("slow.jpg", "image/jpeg", QByteArray(100000, 's'), 20000));
            QVERIFY(receiver.progressed.wait());
            QVERIFY(sim()->dropService(obexd));
            QTRY_COMPARE(receiver.failed.size(), round + 1);
            // The agent asks the bus for obexd, and registers with it again.
            QTRY_COMPARE(receiver.registered.size(), round + 2);
            QTRY_COMPARE(
                sim()->obexServerState()[QLatin1String("agent")][QLatin1String("path")].toString(),
                receiver.agent.path());
            QCOMPARE(filesUnder(m_base.path()), QStringList());
        }
        report(qPrintable(obexd + " during a push"), count, timer);
    }

    // obex-client leaves at each moment of a send in turn: in the middle of
    // a file, between two files, and after SendFiles before the first file.
    void obexClientRestartsDuringSend()
    {
        loadScenario(obexScenario);
        ScriptedAgent bluezAgent(QDBusConnection::systemBus(),
                                 QStringLiteral("/test/reliability_agent"));
        QVERIFY(registerAgent(bluezAgent.path()));
        QVERIFY(sim()->setObexSpeed(5000));
        const QString file = m_base.filePath(QStringLiteral("big.bin"));
        QVERIFY(writeFile(file, QByteArray(50000, 'b')));
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        const int count = obexdRounds;
        QElapsedTimer timer;
        timer.start();
        for (int round = 0; round < count; ++round) {
            enum Moment { DuringFile, BetweenFiles, BeforeFirstFile };
            const Moment moment = Moment(round % 3);
            // obex-client pauses before asking about a file: the window to leave in.
            QVERIFY(
                sim()->setObexOptions({ { "requestDelayMs", moment == BeforeFirstFile ? 10000 : 0 },
                                        { "speed", moment == DuringFile ? 5000 : 100000 } }));
            BluetoothFileSendProcess send;
            QSignalSpy progressed(&send, &BluetoothFileSendProcess::progress);
            QSignalSpy failed(&send, &BluetoothFileSendProcess::error);
            QSignalSpy finished(&send, &BluetoothFileSendProcess::finished);
            send.addFiles({ file, QStringLiteral("contact:1") });
            send.setDestination(adapter->deviceForAddress(anna));
            const QString card = send.fileNames().value(1);
            QVERIFY(QFile::exists(card));
            QVERIFY(send.start());
            if (moment == BeforeFirstFile)
                QTRY_COMPARE(
                    sim()
                        ->obexClientState()[QLatin1String("sessions")][0][QLatin1String("state")]
                        .toString(),
                    QStringLiteral("connected"));
            else
                QVERIFY(progressed.wait());
            if (moment == BetweenFiles) {
                // The next file waits: obex-client's Request, or obexd 5's SendFile.
                QVERIFY(onObexd5() ? sim()->delayNext(QStringLiteral("SendFile"), 10000)
                                   : sim()->setObexOptions({ { "requestDelayMs", 10000 } }));
                QTRY_COMPARE(send.transferedFiles(), 1);
            }
            QVERIFY(sim()->dropService(obexClient));
            QVERIFY(failed.wait());
            // The contact card made for the send is gone with it.
            QVERIFY(!QFile::exists(card));
            QVERIFY(sim()->restoreService(obexClient));
            // Failed once, and nothing else.
            QTest::qWait(50);
            QCOMPARE(failed.size(), 1);
            QVERIFY(finished.isEmpty());
        }
        QVERIFY(sim()->setObexOptions({ { "requestDelayMs", 0 } }));
        report(qPrintable(obexClient + QStringLiteral(" during a send")), count, timer);
    }
};

OVRIN_TEST_MAIN(TestDaemonRestarts)
#include "tst_daemonrestarts.moc"
