// Pairing from start to end against the simulated BlueZ, with the sheets
// answered by taps and typing as a user would.

#include "agentcallwatch.h"
#include "bluetoothadapter.h"
#include "bluetoothcodepanel.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothconnectionmanager.h"
#include "bluetoothpairingprocess.h"
#include "bluetoothpasskeydisplaysheet.h"
#include "bluetoothpincodesheet.h"
#include "notificationserver.h"
#include "orvellabel.h"
#include "ovrintranslations.h"
#include "pairingworld.h"
#include "testdialogserver.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>

#include <memory>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;

namespace {

const QString brivoHeadset = QStringLiteral("00:1B:66:B0:00:01"); // legacy, PIN 7351
const QString brivoMini = QStringLiteral("00:1B:66:B0:00:02"); // legacy, PIN 2580
const QString oldPhone = QStringLiteral("00:16:20:C0:00:03"); // legacy, PIN 1234
const QString printer = QStringLiteral("00:80:92:A1:66:06"); // legacy, PIN 5678
const QString phone = QStringLiteral("F4:0E:22:13:33:03"); // confirms 004821
const QString keyboard = QStringLiteral("00:12:A1:B0:02:05"); // passkey 135790
const QString typingKeyboard = QStringLiteral("00:12:A1:B0:02:06"); // shows 020468, typed on it
const QString justWorksHeadset = QStringLiteral("00:1B:66:0A:11:02"); // asks nothing
const QString laptop = QStringLiteral("00:1E:45:88:09:08"); // asks nothing
const QString slowLaptop = QStringLiteral("00:1E:45:88:09:09"); // asks nothing, slowly

const QString canceled = QStringLiteral("org.bluez.Canceled");

// A process with spies on both of its signals.
struct Attempt
{
    BluetoothPairingProcess process;
    QSignalSpy started { &process, &BluetoothPairingProcess::started };
    QSignalSpy finished { &process, &BluetoothPairingProcess::finished };
};

int calls(const QString &member)
{
    return sim()->countCalls(member);
}
// What pairs a device, and what cancels that.
const QString pairCall = dialect("CreatePairedDevice", "Pair");
const QString cancelCall = dialect("CancelDeviceCreation", "CancelPairing");
int audioConnects()
{
    return sim()->countCalls("Connect", dialect("org.bluez.Audio", "org.bluez.Device1"));
}

// The first value the only answer to member carried.
QJsonValue answered(const char *member)
{
    const auto answers = answersTo(QLatin1String(member));
    return answers.size() == 1 ? answers[0][QLatin1String("values")].toArray().first()
                               : QJsonValue(QStringLiteral("<%1 answers>").arg(answers.size()));
}

// The path of the one pairing agent this process exports.
QString liveAgentPath()
{
    for (int n = 0; n < 1000; ++n) {
        const QString path = QStringLiteral("/com/brivo/btAgent/%1").arg(n);
        if (QDBusConnection::systemBus().objectRegisteredAt(path))
            return path;
    }
    return QString();
}

} // namespace

class TestBluetoothPairingProcess : public QObject
{
    Q_OBJECT

    OrvelApplicationWindow m_window;
    NotificationServer m_notifications;

    template<typename Sheet> Sheet *onScreen() { return sheetOnScreen<Sheet>(m_window); }

    // The sheet of type Sheet once it is up.
    template<typename Sheet> Sheet *waitForSheet()
    {
        const bool shown = QTest::qWaitFor([this] { return onScreen<Sheet>() != nullptr; });
        return shown ? onScreen<Sheet>() : nullptr;
    }

    // Without its "LegacyPairing" property a device is taken for a legacy one:
    // the user accepts a PIN, and then BlueZ asks something else.
    void acceptProposedPin(Attempt &attempt)
    {
        QVERIFY(waitForSheet<BluetoothPinCodeSheet>());
        tap(onScreen<BluetoothPinCodeSheet>()->acceptButton());
        QCOMPARE(attempt.started.size(), 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(activate(&m_window));
        QVERIFY(m_notifications.start());
    }

    void init()
    {
        OVRIN_FRESH_WORLD("pairing/scenarios/pairing.json");
        SimpleInformationBanner::clearHistory();
        m_notifications.received.clear();
    }

    void cleanup()
    {
        if (!QDBusConnection::systemBus().interface()->isServiceRegistered(
                QStringLiteral("org.bluez")))
            QVERIFY(restoreBluez(sim()));
        QTRY_VERIFY(!onScreen<SimpleSheet>());
        verifyBluezHygiene(sim());
    }

    void pairsWithoutAskingTheUser_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<bool>("autoConnected");
        QTest::newRow("fixed PIN of the maker's audio devices") << brivoHeadset << "7351" << true;
        QTest::newRow("PIN given by the caller") << printer << "5678" << true;
        QTest::newRow("no questions, audio connected") << justWorksHeadset << QString() << true;
        QTest::newRow("no questions, audio left alone") << justWorksHeadset << QString() << false;
    }

    // No sheet: the device ends trusted, and its audio comes up unless the
    // caller said no. Without any agent call, from then on every device this
    // process pairs is trusted.
    void pairsWithoutAskingTheUser()
    {
        QFETCH(QString, address);
        QFETCH(QString, pin);
        QFETCH(bool, autoConnected);
        TestDialogServer server(&m_window);
        Attempt attempt;
        attempt.process.setDialogServer(&server);
        attempt.process.setAutoConnected(autoConnected);
        if (address == printer)
            attempt.process.setPinCode(pin);
        attempt.process.start(foundDevice(address));
        QCOMPARE(attempt.started.size(), 1);
        QVERIFY(attempt.finished.wait());
        QCOMPARE(attempt.process.error(), QString());
        QVERIFY(attempt.process.isFinished());
        QVERIFY(server.shown.isEmpty());
        if (!pin.isEmpty())
            QCOMPARE(answered("RequestPinCode").toString(), pin);
        QVERIFY(simFlag(address, "paired"));
        QTRY_VERIFY(simFlag(address, "trusted"));
        if (address != printer && autoConnected) {
            QTRY_COMPARE(simValue(address, "audioState").toString(), QStringLiteral("connected"));
            QCOMPARE(audioConnects(), 1);
            // The link pairing left up is no audio to drop first; once
            // connected, it is.
            QCOMPARE(sim()->countCalls("Disconnect"), 0);
            // Once this process has the answer to its Connect, that is.
            QTRY_VERIFY(BluetoothConnectionManager(knownDevice(address)).isAudioConnected());
        } else if (!autoConnected) {
            QTest::qWait(200);
            QCOMPARE(audioConnects(), 0);
        }
        if (!pin.isEmpty())
            return;
        // A later confirmation with the switch off still ends trusted.
        QVERIFY(attempt.process.isAutoTrusted());
        attempt.process.start(foundDevice(phone));
        auto *sheet = qobject_cast<BluetoothConfirmationSheet *>(
            QTest::qWaitFor([&server] { return !server.shown.isEmpty(); }) ? server.shown[0].data()
                                                                           : nullptr);
        QVERIFY(sheet);
        tap(trustSwitch(sheet));
        tap(sheet->acceptButton());
        QTRY_COMPARE(attempt.finished.size(), 2);
        QTRY_VERIFY(simFlag(phone, "trusted"));
    }

    // The link a pairing brought up is no audio while it goes idle; one a
    // headset keeps up with its own audio afterwards is, as BlueZ says.
    void audioAHeadsetBringsUpItselfIsShown_data()
    {
        QTest::addColumn<bool>("connectsItself");
        QTest::newRow("headset connects itself") << true;
        QTest::newRow("idle link dropped") << false;
    }
    void audioAHeadsetBringsUpItselfIsShown()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 tells the audio state itself");
        QFETCH(bool, connectsItself);
        QVERIFY(sim()->changeDevice(justWorksHeadset,
                                    { { "audio", QJsonObject { { "connectsAfterPairing",
                                                                 connectsItself } } } }));
        Attempt attempt;
        attempt.process.setAutoConnected(false);
        attempt.process.start(foundDevice(justWorksHeadset));
        QVERIFY(attempt.finished.wait());
        QCOMPARE(attempt.process.error(), QString());
        const BluetoothConnectionManager headset(knownDevice(justWorksHeadset));
        QVERIFY(!headset.isAudioConnected());
        if (connectsItself) {
            QTRY_VERIFY_WITH_TIMEOUT(headset.isAudioConnected(), 15000);
            QVERIFY(simFlag(justWorksHeadset, "connected"));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!simFlag(justWorksHeadset, "connected"), 15000);
            QVERIFY(!headset.isAudioConnected());
        }
        QCOMPARE(audioConnects(), 0);
    }

    // Told by a notification instead of a banner, when the caller asks so.
    void failedAutomaticPairingFallsBackToTheSheet()
    {
        expectWarning("^Device creation failed: ");
        Attempt attempt;
        attempt.process.setErrorNotification(true);
        attempt.process.start(foundDevice(brivoMini));
        // The fixed PIN did not do: the user gets the sheet, with it proposed.
        BluetoothPinCodeSheet *sheet = waitForSheet<BluetoothPinCodeSheet>();
        QVERIFY(sheet);
        QCOMPARE(sheet->pinCode(), QStringLiteral("7351"));
        QCOMPARE(attempt.started.size(), 1);
        QCOMPARE(attempt.finished.size(), 0);
        QVERIFY(bannerTexts().isEmpty());
        // Accepting it again starts a second attempt, which fails the same way.
        expectPairingFailure("org.bluez.Error.AuthenticationFailed");
        tap(sheet->acceptButton());
        QCOMPARE(attempt.started.size(), 2);
        QVERIFY(attempt.finished.wait());
        QCOMPARE(attempt.process.error(), "org.bluez.Error.AuthenticationFailed");
        QCOMPARE(calls(pairCall), 2);
        QTRY_COMPARE(m_notifications.received.size(), 1);
        QCOMPARE(m_notifications.received[0].summary, qtTrId("qtn_conn_bt_pair_fail_auth_failed"));
        QVERIFY(bannerTexts().isEmpty());
        QVERIFY(!simFlag(brivoMini, "paired"));
    }

    // BlueZ 5 tries "0000", "1234" and "1111" on a legacy headset before it
    // asks: the user is asked only if none of them did, with the accessory
    // PIN proposed, and the attempt runs meanwhile.
    void legacyHeadsetAskedForAPinOnlyWhenBlueZsOwnFailed_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::newRow("third of BlueZ's PINs") << "1111";
        QTest::newRow("a PIN of its own") << "4862";
    }
    void legacyHeadsetAskedForAPinOnlyWhenBlueZsOwnFailed()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 asks the agent at once; the sheet comes first there");
        QFETCH(QString, pin);
        QVERIFY(sim()->changeDevice(justWorksHeadset,
                                    { { "legacyPairing", true },
                                      { "pairing", QJsonObject { { "method", "pin" },
                                                                 { "pin", pin } } } }));
        Attempt attempt;
        QElapsedTimer sinceStart;
        sinceStart.start();
        attempt.process.start(foundDevice(justWorksHeadset));
        QCOMPARE(attempt.started.size(), 1);
        QVERIFY(!onScreen<BluetoothPinCodeSheet>());
        if (pin == QLatin1String("1111")) {
            QVERIFY(attempt.finished.wait());
            QCOMPARE(attempt.process.error(), QString());
            QVERIFY(answersTo(QStringLiteral("RequestPinCode")).isEmpty());
            QVERIFY(!onScreen<BluetoothPinCodeSheet>());
        } else {
            BluetoothPinCodeSheet *sheet = waitForSheet<BluetoothPinCodeSheet>();
            QVERIFY(sheet);
            // Two of BlueZ's PINs failed, each followed by its pause, before it asked.
            QVERIFY(sinceStart.elapsed() >= 2 * 150);
            QCOMPARE(sheet->pinCode(), QStringLiteral("7351"));
            tap(pinEdit(sheet));
            for (int i = sheet->pinCode().size(); i > 0; --i)
                QTest::keyClick(&m_window, Qt::Key_Backspace);
            typeText(&m_window, pin);
            tap(sheet->acceptButton());
            QVERIFY(attempt.finished.wait());
            QCOMPARE(attempt.process.error(), QString());
            QCOMPARE(answered("RequestPinCode").toString(), pin);
        }
        QCOMPARE(attempt.started.size(), 1);
        QVERIFY(simFlag(justWorksHeadset, "paired"));
    }

    void codeTypedByTheUser_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("bareAddress");
        QTest::addColumn<QString>("code");
        QTest::newRow("PIN of a legacy phone") << oldPhone << false << "1234";
        QTest::newRow("passkey of a keyboard") << keyboard << false << "135790";
        QTest::newRow("passkey, address only, taken for legacy") << keyboard << true << "135790";
    }

    void codeTypedByTheUser()
    {
        QFETCH(QString, address);
        QFETCH(bool, bareAddress);
        QFETCH(QString, code);
        const bool pin = address == oldPhone;
        Attempt attempt;
        attempt.process.start(bareAddress ? addressOnly(address) : foundDevice(address));
        if (bareAddress) {
            acceptProposedPin(attempt);
            // The answered PIN sheet makes room for the passkey BlueZ asks for.
            QTRY_VERIFY(onScreen<BluetoothPinCodeSheet>()
                        && !onScreen<BluetoothPinCodeSheet>()->isReadOnly());
        }
        BluetoothPinCodeSheet *sheet = waitForSheet<BluetoothPinCodeSheet>();
        QVERIFY(sheet);
        QCOMPARE(pinEdit(sheet)->passkeyType(),
                 pin ? BluetoothPinCodeEdit::PinCodeType : BluetoothPinCodeEdit::PasskeyType);
        if (pin) {
            QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{4}$"))
                        .match(sheet->pinCode())
                        .hasMatch());
            // Nothing reaches BlueZ while the user thinks, and the failure of
            // someone else's device creation is none of this attempt's business.
            std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
            QSignalSpy creationFailures(adapter.get(), &BluetoothAdapter::deviceCreationFailed);
            // BlueZ 5's creation starts with looking for the device.
            const QString creation = dialect("CreateDevice", "StartDiscovery");
            QVERIFY(sim()->failNext(creation, QStringLiteral("org.bluez.Error.Failed")));
            if (onBluez5())
                expectWarning("^StartDiscovery returned error ");
            expectWarning("^Device creation failed: ");
            adapter->startCreatingDevice(foundDevice(laptop));
            QVERIFY(creationFailures.wait());
            QCOMPARE(calls(pairCall), 0);
            QCOMPARE(attempt.started.size() + attempt.finished.size(), 0);
            QCOMPARE(onScreen<BluetoothPinCodeSheet>(), sheet);
        } else if (!bareAddress) {
            QCOMPARE(sheet->pinCode(), QString());
        }
        // The proposal goes key by key, and the code comes the same way.
        tap(pinEdit(sheet));
        QVERIFY(pinEdit(sheet)->hasFocus());
        QTest::keyClick(&m_window, Qt::Key_End);
        for (int i = sheet->pinCode().size(); i > 0; --i)
            QTest::keyClick(&m_window, Qt::Key_Backspace);
        typeText(&m_window, code);
        tap(sheet->acceptButton());
        QCOMPARE(attempt.started.size(), 1);
        if (pin) {
            // The sheet shows the pairing run: still up, frozen, with its spinner.
            QCOMPARE(onScreen<BluetoothPinCodeSheet>(), sheet);
            QVERIFY(sheet->isReadOnly());
            QVERIFY(sheet->isProgressIndicatorVisible());
        }
        QVERIFY(attempt.finished.wait());
        QCOMPARE(attempt.process.error(), QString());
        QVERIFY(!onScreen<SimpleSheet>());
        QCOMPARE(answered(pin ? "RequestPinCode" : "RequestPasskey").toVariant().toString(), code);
        QVERIFY(simFlag(address, "paired"));
        QTRY_VERIFY(simFlag(address, "trusted"));
        // Not audio devices: nothing to connect.
        QCOMPARE(audioConnects(), 0);
    }

    void keyboardShowsThePasskeyTypedOnIt()
    {
        // Slow typing, so that each digit can be seen.
        QVERIFY(sim()->setTiming({ { "linkMs", 250 } }));
        Attempt attempt;
        attempt.process.start(foundDevice(typingKeyboard));
        QCOMPARE(attempt.started.size(), 1);
        auto *sheet = waitForSheet<BluetoothPasskeyDisplaySheet>();
        QVERIFY(sheet);
        QCOMPARE(findItem<OrvelLabel>(sheet, QStringLiteral("BluetoothCodeLabel"))->text(),
                 BluetoothCodePanel::formatPasskey(20468));
        QVERIFY(!sheet->acceptButton()->isVisible());
        QVERIFY(sheet->isProgressIndicatorVisible());
        auto *count = findItem<OrvelLabel>(sheet, QStringLiteral("BluetoothPasskeyEnteredLabel"));
        QTRY_COMPARE(count->text(), qtTrId("qtn_conn_bt_passkey_entered").arg(2));
        QTRY_COMPARE(count->text(), qtTrId("qtn_conn_bt_passkey_entered").arg(6));
        QVERIFY(attempt.finished.wait());
        QCOMPARE(attempt.process.error(), QString());
        QVERIFY(!onScreen<SimpleSheet>());
        QVERIFY(simFlag(typingKeyboard, "paired"));
        QTRY_VERIFY(simFlag(typingKeyboard, "trusted"));
    }

    void confirmationAcceptedWithTrustSwitchedOff_data()
    {
        QTest::addColumn<bool>("serverOwns");
        QTest::newRow("server keeps the windows") << false;
        QTest::newRow("server deletes what it hides") << true;
    }

    void confirmationAcceptedWithTrustSwitchedOff()
    {
        QFETCH(bool, serverOwns);
        std::unique_ptr<TestDialogServer> server(serverOwns ? new OwningTestDialogServer(&m_window)
                                                            : new TestDialogServer(&m_window));
        Attempt attempt;
        attempt.process.setDialogServer(server.get());
        attempt.process.start(foundDevice(phone));
        QCOMPARE(attempt.started.size(), 1);
        QTRY_COMPARE(server->shown.size(), 1);
        auto *sheet = qobject_cast<BluetoothConfirmationSheet *>(server->shown[0].data());
        QVERIFY(sheet);
        QCOMPARE(onScreen<BluetoothConfirmationSheet>(), sheet);
        // A start while it runs leaves the attempt alone.
        QVERIFY(attempt.process.isPairing());
        QTest::ignoreMessage(QtWarningMsg,
                             "Pairing process is already ongoing, unable to restart it!");
        attempt.process.start(foundDevice(laptop));
        QCOMPARE(attempt.started.size(), 1);
        tap(trustSwitch(sheet));
        QVERIFY(!sheet->isTrusted());
        tap(sheet->acceptButton());
        QCOMPARE(server->hidden.size(), 1);
        QCOMPARE(server->hidden[0].isNull(), serverOwns);
        QVERIFY(attempt.finished.wait());
        QCOMPARE(attempt.process.error(), QString());
        QCOMPARE(answersTo("RequestConfirmation").size(), 1);
        QCOMPARE(answerError("RequestConfirmation"), QString());
        QCOMPARE(calls(pairCall), 1);
        QVERIFY(simFlag(phone, "paired"));
        QVERIFY(!simFlag(laptop, "paired"));
        QTest::qWait(100);
        QVERIFY(!simFlag(phone, "trusted"));
        QVERIFY(!attempt.process.isAutoTrusted());
        // The hidden sheet is not kept.
        QTRY_VERIFY(server->shown[0].isNull());
    }

    void cancelFromTheSheetCancelsTheCreation_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("PIN sheet while pairing runs") << oldPhone;
        QTest::newRow("passkey shown") << typingKeyboard;
        QTest::newRow("confirmation") << phone;
    }

    // A cancel once the key is stored comes too late for bluetoothd: it has
    // the kernel forget the key yet lets Pair succeed. The device goes, so
    // that BlueZ, the kernel and the screen all say it is not paired.
    void cancelAfterTheKeyWasStoredLeavesTheDeviceUnpaired()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 cancels a creation until its end");
        QVERIFY(sim()->setTiming({ { "sdpMs", 1500 } }));
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        QSignalSpy removed(adapter.get(), &BluetoothAdapter::deviceRemoved);
        Attempt attempt;
        attempt.process.start(foundDevice(oldPhone));
        BluetoothPinCodeSheet *sheet = waitForSheet<BluetoothPinCodeSheet>();
        QVERIFY(sheet);
        tap(pinEdit(sheet));
        for (int i = sheet->pinCode().size(); i > 0; --i)
            QTest::keyClick(&m_window, Qt::Key_Backspace);
        typeText(&m_window, QStringLiteral("1234"));
        tap(sheet->acceptButton());
        const QString path = devicePath(defaultAdapterPath(), oldPhone);
        const auto bonded = [&path] {
            return bluezCall(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("Get"),
                             { QStringLiteral("org.bluez.Device1"), QStringLiteral("Bonded") })
                .arguments()
                .value(0)
                .value<QDBusVariant>()
                .variant()
                .toBool();
        };
        QTRY_VERIFY(bonded());
        QCOMPARE(onScreen<BluetoothPinCodeSheet>(), sheet);
        expectPairingFailure(QStringLiteral("org.bluez.Error.AuthenticationCanceled"));
        tap(sheet->rejectButton());
        QCOMPARE(attempt.process.error(), canceled);
        QTRY_COMPARE_WITH_TIMEOUT(attempt.finished.size(), 2, 10000);
        QCOMPARE(attempt.process.error(), canceled);
        QTRY_COMPARE(sim()->countCalls("RemoveDevice"), 1);
        QTRY_VERIFY(!simFlag(oldPhone, "paired"));
        QTRY_COMPARE(removed.size(), 1);
        QVERIFY(!adapter->deviceForAddress(oldPhone).isValid());
        QVERIFY(bannerTexts().isEmpty());
    }

    // The user cancels on the sheet: the attempt ends at once, BlueZ's
    // creation is cancelled, and BlueZ's own failure of it ends the attempt
    // a second time, quietly.
    void cancelFromTheSheetCancelsTheCreation()
    {
        QFETCH(QString, address);
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        QSignalSpy creationFailures(adapter.get(), &BluetoothAdapter::deviceCreationFailed);
        if (address == oldPhone)
            QVERIFY(sim()->changeDevice(address,
                                        { { "pairing", QJsonObject { { "delayMs", 5000 } } } }));
        if (address == typingKeyboard)
            QVERIFY(sim()->setTiming({ { "linkMs", 250 } }));
        Attempt attempt;
        attempt.process.start(foundDevice(address));
        SimpleSheet *sheet = nullptr;
        if (address == oldPhone) {
            acceptProposedPin(attempt);
            // The link is up; BlueZ waits before it asks for the PIN.
            QTRY_VERIFY(simFlag(address, "connected"));
            sheet = onScreen<BluetoothPinCodeSheet>();
        } else if (address == phone) {
            sheet = waitForSheet<BluetoothConfirmationSheet>();
        } else {
            sheet = waitForSheet<BluetoothPasskeyDisplaySheet>();
        }
        QVERIFY(sheet);
        expectPairingFailure();
        tap(sheet->rejectButton());
        QCOMPARE(attempt.finished.size(), 1);
        QCOMPARE(attempt.process.error(), canceled);
        QVERIFY(!onScreen<SimpleSheet>());
        QTRY_COMPARE(calls(cancelCall), 1);
        if (address == phone) {
            QTRY_COMPARE(answersTo("RequestConfirmation").size(), 1);
            QCOMPARE(answerError("RequestConfirmation"),
                     QStringLiteral("org.bluez.Error.Rejected"));
        } else if (address == oldPhone) {
            QVERIFY(answersTo("RequestPinCode").isEmpty());
        }
        QTRY_COMPARE(creationFailures.size(), 1);
        QTRY_COMPARE(attempt.finished.size(), 2);
        QCOMPARE(attempt.process.error(), canceled);
        QVERIFY(bannerTexts().isEmpty());
        QVERIFY(m_notifications.received.isEmpty());
        QVERIFY(!simFlag(address, "paired"));
    }

    void failuresAreToldByName_data()
    {
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<QString>("textId");
        const QString bluez = QStringLiteral("org.bluez.Error.");
        QTest::newRow("rejected") << bluez + "AuthenticationRejected"
                                  << "qtn_conn_bt_pair_fail_auth_rejected";
        QTest::newRow("failed") << bluez + "AuthenticationFailed"
                                << "qtn_conn_bt_pair_fail_auth_failed";
        // BlueZ gives up the question (no answer in time).
        QTest::newRow("timeout") << bluez + "AuthenticationTimeout"
                                 << "qtn_conn_bt_pair_fail_timeout";
        QTest::newRow("repeated") << bluez + "RepeatedAttempts"
                                  << "qtn_conn_bt_pair_fail_too_little_time";
        QTest::newRow("other") << bluez + "ConnectionAttemptFailed"
                               << "qtn_conn_bt_pairing_failed";
    }

    void failuresAreToldByName()
    {
        QFETCH(QString, errorName);
        QFETCH(QString, textId);
        const bool timeout = errorName.endsWith(QLatin1String("Timeout"));
        if (timeout) {
            QVERIFY(sim()->setTiming({ { "agentTimeoutMs", 300 } }));
            AgentCallWatch::expectUnanswered();
        } else {
            QVERIFY(sim()->failNext(pairCall, errorName));
        }
        Attempt attempt;
        attempt.process.start(foundDevice(timeout ? phone : laptop));
        if (timeout)
            QVERIFY(waitForSheet<BluetoothConfirmationSheet>());
        expectPairingFailure(errorName);
        QVERIFY(attempt.finished.wait());
        QVERIFY(!onScreen<SimpleSheet>());
        QCOMPARE(attempt.process.error(), errorName);
        QCOMPARE(bannerTexts(), QStringList { qtTrId(textId.toUtf8().constData()) });
        QVERIFY(!attempt.process.isPairing());
        QTest::qWait(100);
        QCOMPARE(attempt.finished.size(), 1);
    }

    // BlueZ announces the new device and answers the creation; when both are
    // handled only after the pairing is done, the device already reads as
    // paired on the announcement. The attempt still finishes once.
    void aLateAnnouncementDoesNotFinishTwice()
    {
        Attempt attempt;
        attempt.process.start(foundDevice(laptop));
        // BlueZ 5's device object is looked for first.
        QTRY_COMPARE(calls(pairCall), 1);
        // BlueZ pairs while this process handles nothing (the blocking calls
        // to btsim do not run the event loop).
        QDeadlineTimer deadline(5000);
        while (!simFlag(laptop, "paired") && !deadline.hasExpired())
            QThread::msleep(20);
        QVERIFY(simFlag(laptop, "paired"));
        QThread::msleep(100);
        QVERIFY(attempt.finished.wait());
        QTest::qWait(300);
        QCOMPARE(attempt.finished.size(), 1);
        QCOMPARE(attempt.process.error(), QString());
    }

    void withoutBluezTheAttemptFailsAtOnce()
    {
        QVERIFY(dropBluez(sim()));
        QTest::ignoreMessage(QtWarningMsg, "Bluez does not exist");
        Attempt attempt;
        QTest::ignoreMessage(QtWarningMsg, "Pairing failed, reason=org.bluez.Error.NotReady");
        attempt.process.start(foundDevice(laptop));
        QCOMPARE(attempt.started.size(), 1);
        QVERIFY(attempt.process.isPairing());
        QVERIFY(attempt.finished.wait());
        QVERIFY(!attempt.process.isPairing());
        QCOMPARE(attempt.process.error(), QStringLiteral("org.bluez.Error.NotReady"));
        QCOMPARE(bannerTexts(), QStringList { qtTrId("qtn_conn_bt_pairing_failed") });
        // With BlueZ back, a next attempt pairs: see the reliability runs.
    }

    // BlueZ 4 may hand the attempt's agent a request for some other device; it
    // is left open, and answered when the attempt's agent is released. BlueZ 5
    // hands it to the process's one agent, which refuses what no agent answers.
    void requestsForOtherDevicesAreAnsweredWhenTheAttemptGoes()
    {
        auto attempt = std::make_unique<Attempt>();
        attempt->process.start(foundDevice(slowLaptop));
        const QString agentPath = liveAgentPath();
        QVERIFY(!agentPath.isEmpty());
        if (onBluez5()) {
            // The process's one agent has the request, for no attempt of
            // its own and with no default agent: refused at once.
            QTRY_COMPARE(calls(pairCall), 1);
            expectWarning("^No agent answers for .*" + QString(keyboard).replace(':', '_'));
            QVERIFY(makeVisibleToStrangers());
            const uint ticket = sim()->incomingPairing(keyboard);
            QVERIFY(ticket);
            QVERIFY(attempt->finished.wait());
            QCOMPARE(attempt->process.error(), QString());
            QCOMPARE(answerError("RequestPasskey"), QStringLiteral("org.bluez.Error.Rejected"));
            QVERIFY(sim()->waitForRequest(ticket).has_value());
            QVERIFY(!simFlag(keyboard, "paired"));
            return;
        }
        QVERIFY(registerAgent(agentPath));
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("Pairing device %1, but requested passkey for %2")
                           .arg(slowLaptop, keyboard)));
        const uint ticket = sim()->incomingPairing(keyboard);
        QVERIFY(ticket);
        QTRY_COMPARE(sim()->pendingAgentCalls().size(), 1);
        QVERIFY(attempt->finished.wait());
        QCOMPARE(attempt->process.error(), QString());
        QVERIFY(!onScreen<SimpleSheet>());
        // BlueZ releases the attempt's agent, which answers what it still holds.
        QTRY_COMPARE(sim()->pendingAgentCalls().size(), 0);
        QCOMPARE(answersTo("RequestPasskey").size(), 1);
        QCOMPARE(answerError("RequestPasskey"), QStringLiteral("org.bluez.Error.Canceled"));
        QVERIFY(sim()->waitForRequest(ticket).has_value());
        QVERIFY(!simFlag(keyboard, "paired"));
        attempt.reset();
        bluezCall(defaultAdapterPath(), QStringLiteral("org.bluez.Adapter"),
                  QStringLiteral("UnregisterAgent"), { objectPath(agentPath) });
    }

    void aReceiverMayDeleteTheProcess_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("onStarted");
        // "accept" or "reject" on the first sheet, or "drop" the process then
        QTest::addColumn<QString>("userTaps");
        QTest::addColumn<QString>("failure"); // how BlueZ fails the creation
        QTest::newRow("started at once") << laptop << true << QString() << QString();
        QTest::newRow("started by the user's PIN") << oldPhone << true << "accept" << QString();
        QTest::newRow("paired") << laptop << false << QString() << QString();
        QTest::newRow("failed") << laptop << false << QString()
                                << "org.bluez.Error.AuthenticationFailed";
        QTest::newRow("cancelled by the user") << phone << false << "reject" << QString();
        QTest::newRow("dropped half way") << phone << false << "drop" << QString();
        QTest::newRow("BlueZ gave up")
            << phone << false << QString() << "org.bluez.Error.AuthenticationTimeout";
    }

    // The caller may delete the process from either of its signals; nothing
    // of it is touched afterwards, and BlueZ is left neither pairing nor waiting.
    void aReceiverMayDeleteTheProcess()
    {
        QFETCH(QString, address);
        QFETCH(bool, onStarted);
        QFETCH(QString, userTaps);
        QFETCH(QString, failure);
        // Keeps the adapter object, which tells the creation's end.
        std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
        QSignalSpy creationFailures(adapter.get(), &BluetoothAdapter::deviceCreationFailed);
        if (failure == QLatin1String("org.bluez.Error.AuthenticationTimeout"))
            QVERIFY(sim()->setTiming({ { "agentTimeoutMs", 300 } }));
        else if (!failure.isEmpty())
            QVERIFY(sim()->failNext(pairCall, failure));
        if (!failure.isEmpty())
            expectPairingFailure(failure);

        QPointer<BluetoothPairingProcess> process = new BluetoothPairingProcess;
        const auto signal
            = onStarted ? &BluetoothPairingProcess::started : &BluetoothPairingProcess::finished;
        connect(process.data(), signal, process.data(), [&process] { delete process.data(); });
        process->start(foundDevice(address));
        if (!userTaps.isEmpty()) {
            SimpleSheet *sheet = waitForSheet<SimpleSheet>();
            QVERIFY(sheet);
            if (userTaps == QLatin1String("drop"))
                delete process.data();
            else
                tap(userTaps == QLatin1String("accept") ? sheet->acceptButton()
                                                        : sheet->rejectButton());
        }
        // BlueZ 5 looks for a device it holds no object for first: a
        // discovery, slow on a loaded machine.
        QTRY_VERIFY_WITH_TIMEOUT(process.isNull(), 15000);
        QVERIFY(liveAgentPath().isEmpty());
        if (onStarted) {
            QCOMPARE(calls(pairCall), 0);
        } else if (!failure.isEmpty()) {
            if (creationFailures.isEmpty())
                QVERIFY(creationFailures.wait());
            QVERIFY(!simFlag(address, "paired"));
        } else if (!userTaps.isEmpty()) {
            // The creation's end goes to the deleted attempt's adapter handle.
            QTRY_COMPARE(calls(cancelCall), 1);
            QTRY_COMPARE(answersTo("RequestConfirmation").size(), 1);
            QCOMPARE(answerError("RequestConfirmation"),
                     userTaps == QLatin1String("drop") ? "org.bluez.Error.Canceled"
                                                       : "org.bluez.Error.Rejected");
            QTRY_VERIFY(!simFlag(address, "connected"));
            QVERIFY(!simFlag(address, "paired"));
        } else {
            QVERIFY(simFlag(address, "paired"));
        }
        QCOMPARE(bannerTexts().size(), failure.isEmpty() ? 0 : 1);
    }
};

OVRIN_TEST_MAIN(TestBluetoothPairingProcess)
#include "tst_bluetoothpairingprocess.moc"
