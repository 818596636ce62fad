// The page of one paired device against the simulated BlueZ: name and trust
// saved, the connect button that comes and goes with audio profiles,
// connecting (also with the radio off) and disconnecting, and removing the
// pairing, all through taps and typing.

#include "devicesworld.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "paireddevicesettingsview.h"
#include "switchbluetoothonconfirmation.h"

#include <QJsonArray>
#include <QPointer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include <functional>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;

namespace {

const QString headset = QStringLiteral("00:1B:66:0A:11:01");
const QString phone = QStringLiteral("F4:0E:22:13:33:03");
const QString brokenSpeaker = QStringLiteral("00:0D:3C:B7:44:04");
const QString nameless = QStringLiteral("00:22:58:6C:55:06");
const QString handsFree = QStringLiteral("0000111e-0000-1000-8000-00805f9b34fb");
const QString objectPush = QStringLiteral("00001105-0000-1000-8000-00805f9b34fb");

} // namespace

class TestPairedDeviceSettingsView : public QObject
{
    Q_OBJECT

    DevicesWorld w { "settings/scenarios/settings.json", true };
    PairedDeviceSettingsView *m_view = nullptr;

    void showPage(const QString &address, bool withAdapter = true)
    {
        const BluetoothDevice device = w.adapter->deviceForAddress(address);
        QVERIFY(device.isValid());
        m_view = new PairedDeviceSettingsView(device, withAdapter ? w.adapter.get() : nullptr);
        w.window.setCentralWidget(m_view);
        settle();
    }

    OrvelTextEdit *nameEdit() { return w.item<OrvelTextEdit>("NameEdit"); }
    OrvelButton *connectButton() { return w.item<OrvelButton>("ConnectButton"); }
    OrvelButton *removeButton() { return w.item<OrvelButton>("RemovePairingButton"); }
    OrvelButton *trustSwitch() { return w.item<OrvelButton>("BluetoothTrustedButton"); }
    QString profiles() { return w.item<OrvelLabel>("ProfilesLabel")->text(); }
    int audioConnects()
    {
        return w.calls("Connect", dialect("org.bluez.Audio", "org.bluez.Device1"));
    }
    int deviceWrites() { return w.deviceWrites(); }
    int adapterWrites() { return w.adapterWrites(); }

    // Taps the connect button once the page has settled; its work is queued.
    void tapConnect()
    {
        settle();
        QVERIFY(connectButton() && connectButton()->isVisible());
        tap(connectButton());
    }

    static QString text(const char *id) { return qtTrId(id); }

    // The question runs an event loop of its own until it is answered, so it
    // is answered (after what the user does first) from a timer that runs
    // inside that loop.
    void answerWhenAsked(QMessageBox::StandardButton button,
                         const std::function<void()> &first = {})
    {
        auto poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll, button, first] {
            SwitchBluetoothOnConfirmation *question = w.shown<SwitchBluetoothOnConfirmation>();
            if (!question)
                return;
            poll->deleteLater();
            ++m_questions;
            if (first)
                first();
            settle();
            tap(question->button(button));
        });
        poll->start(10);
    }

    int m_questions = 0;

private Q_SLOTS:
    void initTestCase() { w.showWindow(); }
    void init() { w.init(); }
    void cleanup() { w.cleanup(); }

    void connectedHeadsetShowsItsDetailsAndDisconnect()
    {
        // Connected at the link and audio level, as after an earlier connect.
        QVERIFY(
            sim()->changeDevice(headset, { { "connected", true }, { "audioState", "connected" } }));
        QTRY_VERIFY(w.adapter->deviceForAddress(headset).isConnected());
        showPage(headset);
        QCOMPARE(nameEdit()->text(), QStringLiteral("Brivo Headset"));
        QVERIFY(trustSwitch()->isChecked());
        QCOMPARE(profiles(),
                 text("qtn_conn_bt_hsp") + QStringLiteral(", ") + text("qtn_conn_bt_a2dp"));
        QCOMPARE(w.item<OrvelLabel>("AddressLabel")->text(), headset);
        QCOMPARE(connectButton()->text(), text("qtn_conn_bt_disconnect"));
        tapConnect();
        QTRY_VERIFY(!simFlag(headset, "connected"));
        QTRY_COMPARE(connectButton()->text(), text("qtn_conn_bt_connect"));
        // Still an audio device: the button stays, now to connect.
        tapConnect();
        QTRY_COMPARE(connectButton()->text(), text("qtn_conn_bt_disconnect"));
        QCOMPARE(audioConnects(), 1);
        QVERIFY(simFlag(headset, "connected"));
    }

    void connectButtonAppearsWithAnAudioProfile()
    {
        showPage(phone);
        QVERIFY(!connectButton());
        QCOMPARE(removeButton()->styleName(), QStringLiteral("CommonSingleButton"));
        QVERIFY(sim()->changeDevice(phone, { { "uuids", QJsonArray { objectPush, handsFree } } }));
        QTRY_VERIFY(connectButton());
        QCOMPARE(connectButton()->text(), text("qtn_conn_bt_connect"));
        QCOMPARE(removeButton()->styleName(), QStringLiteral("CommonSingleButtonInverted"));
        settle();
        QVERIFY(connectButton()->isVisible());
        QVERIFY(centreOf(connectButton()).y() < centreOf(removeButton()).y());
        QVERIFY(!connectButton()->geometry().intersects(removeButton()->geometry()));
        // And goes with the last audio profile.
        QVERIFY(sim()->changeDevice(phone, { { "uuids", QJsonArray { objectPush } } }));
        QTRY_VERIFY(!connectButton());
    }

    void connectWithTheRadioOffPowersOnThenConnectsOnce()
    {
        QVERIFY(w.powerOff());
        showPage(headset);
        QVERIFY(sim()->setTiming({ { "powerMs", 300 } }));
        tapConnect();
        QTRY_VERIFY(w.adapter->isPowered());
        QTRY_COMPARE(connectButton()->text(), text("qtn_conn_bt_disconnect"));
        QCOMPARE(audioConnects(), 1);
        QVERIFY(!w.shown<SwitchBluetoothOnConfirmation>());
        // (The link is up before the audio: a tap before then cancels the connection.)
        QTRY_COMPARE(simValue(headset, "audioState").toString(), QStringLiteral("connected"));
        // The page stopped waiting for power: a later power-on connects nothing.
        tapConnect();
        QTRY_VERIFY(!simFlag(headset, "connected"));
        QVERIFY(w.powerOff());
        QVERIFY(sim()->changeAdapter({ { "powered", true } }));
        QTRY_VERIFY(w.adapter->isPowered());
        w.adapter->listDevices(); // a round trip behind anything sent before
        QCOMPARE(audioConnects(), 1);
    }

    // A power-on that never comes ends the wait: a much later power-on
    // connects nothing, and the user is told the connection did not happen.
    // A radio that BlueZ 5 says rfkill blocks is told at once, and not
    // switched.
    void connectGivesUpWhenPowerOnFails()
    {
        QVERIFY(w.powerOff());
        showPage(headset);
        if (onBluez5()) {
            QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", true } }));
            QTRY_VERIFY(w.adapter->isRadioBlocked());
        } else {
            QVERIFY(w.refuseNext(adapterWrite(), "Radio blocked", true));
        }
        tapConnect();
        QTRY_COMPARE_WITH_TIMEOUT(banners().size(), 1, 6000);
        QCOMPARE(banners().first().text,
                 onBluez5()
                     ? text("qtn_conn_bt_radio_blocked")
                     : text("qtn_conn_bt_connection_failed").arg(QStringLiteral("Brivo Headset")));
        if (onBluez5())
            QCOMPARE(adapterWrites(), 0);
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", false }, { "powered", true } }));
        QTRY_VERIFY(w.adapter->isPowered());
        w.adapter->listDevices(); // a round trip behind anything sent before
        QCOMPARE(audioConnects(), 0);
    }

    void offlineConnectAsksFirst()
    {
        w.goOffline();
        showPage(headset);
        answerWhenAsked(QMessageBox::No);
        tapConnect();
        QTRY_COMPARE(m_questions, 1);
        QTRY_VERIFY(!w.shown<SwitchBluetoothOnConfirmation>());
        QCOMPARE(adapterWrites(), 0);
        QCOMPARE(audioConnects(), 0);
        // The application closes the page while the user is being asked: a yes does nothing.
        QPointer<PairedDeviceSettingsView> page(m_view);
        answerWhenAsked(QMessageBox::Yes, [this] {
            w.window.setCentralWidget(nullptr);
            m_view = nullptr;
        });
        tapConnect();
        QTRY_COMPARE(m_questions, 2);
        QVERIFY(!page);
        QTRY_VERIFY(!w.shown<SwitchBluetoothOnConfirmation>());
        QCOMPARE(adapterWrites(), 0);
        QCOMPARE(audioConnects(), 0);
        showPage(headset);
        answerWhenAsked(QMessageBox::Yes);
        tapConnect();
        QTRY_COMPARE(m_questions, 3);
        QTRY_VERIFY(w.adapter->isPowered());
        QTRY_VERIFY(simFlag(headset, "connected"));
        QCOMPARE(audioConnects(), 1);
    }

    void nameAndTrustAreSavedAsChosen()
    {
        showPage(phone);
        QSignalSpy provided(m_view, &PairedDeviceSettingsView::mandatoryValuesProvided);
        QVERIFY(w.retype(nameEdit(), QStringLiteral(" Anna ")));
        // Emptied on the way, then given again.
        QCOMPARE(provided.at(provided.size() - 7).at(0).toBool(), false);
        QCOMPARE(provided.last().at(0).toBool(), true);
        tap(trustSwitch());
        QVERIFY(trustSwitch()->isChecked());
        QCOMPARE(deviceWrites(), 0); // nothing before save()
        QVERIFY(m_view->save());
        QTRY_COMPARE(simValue(phone, "alias").toString(), QStringLiteral(" Anna "));
        QTRY_VERIFY(simFlag(phone, "trusted"));
        // BlueZ's word on trust is shown as it comes.
        QVERIFY(sim()->changeDevice(phone, { { "trusted", false } }));
        QTRY_VERIFY(!trustSwitch()->isChecked());
    }

    void refusedNameKeepsThePageAndWritesNoTrust()
    {
        showPage(phone);
        QVERIFY(w.retype(nameEdit(), QStringLiteral("Anna")));
        tap(trustSwitch());
        QVERIFY(w.refuseNext(deviceWrite(), "Alias refused"));
        QVERIFY(!m_view->save());
        QCOMPARE(banners().size(), 1);
        QCOMPARE(banners().first().text, text("qtn_conn_bt_not_saved"));
        QCOMPARE(deviceWrites(), 1);
        QVERIFY(!simFlag(phone, "trusted"));
        QCOMPARE(nameEdit()->text(), QStringLiteral("Anna"));
    }

    void namelessDeviceStartsWithAnEmptyName()
    {
        showPage(nameless);
        QCOMPARE(w.adapter->deviceForAddress(nameless).name(), text("qtn_conn_bt_unnamed_device"));
        QCOMPARE(nameEdit()->text(), QString());
        // Without a name nothing is saved, nor connected.
        QVERIFY(!m_view->save());
        tapConnect();
        QTRY_COMPARE(banners().size(), 2);
        for (const auto &banner : banners())
            QCOMPARE(banner.text, text("qtn_conn_bt_empty_device_name"));
        QCOMPARE(deviceWrites(), 0);
        QCOMPARE(audioConnects(), 0);
        QVERIFY(w.retype(nameEdit(), QStringLiteral("Kitchen speaker")));
        QVERIFY(m_view->save());
        QTRY_COMPARE(simValue(nameless, "alias").toString(), QStringLiteral("Kitchen speaker"));
    }

    void failedConnectionIsToldWithTheDeviceName()
    {
        showPage(brokenSpeaker);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral(
                                 "^connectAudioCallback failed: org\\.bluez\\.Error\\.Failed, ")));
        tapConnect();
        QTRY_COMPARE(banners().size(), 1);
        QCOMPARE(banners().first().text,
                 text("qtn_conn_bt_connection_failed").arg(QStringLiteral("Broken speaker")));
    }

    void pairingRemovedOnlyWhenBlueZRemovedIt()
    {
        // Without an adapter, then refused by BlueZ: the pairing stays, and the user is told.
        showPage(phone, false);
        QSignalSpy notRemoved(m_view, &PairedDeviceSettingsView::pairingRemoved);
        tap(removeButton());
        showPage(phone);
        QSignalSpy removed(m_view, &PairedDeviceSettingsView::pairingRemoved);
        QVERIFY(w.refuseNext(
            dialect("org.bluez.Adapter.RemoveDevice", "org.bluez.Adapter1.RemoveDevice"), "Busy"));
        tap(removeButton());
        QTRY_COMPARE(banners().size(), 2);
        QCOMPARE(notRemoved.size() + removed.size(), 0);
        for (const auto &banner : banners())
            QCOMPARE(banner.text,
                     text("qtn_conn_bt_remove_pairing_failed").arg(QStringLiteral("Anna's phone")));
        QVERIFY(w.adapter->deviceForAddress(phone).isPaired());
        QVERIFY(removeButton()->isEnabled());
        tap(removeButton());
        QTRY_COMPARE(removed.size(), 1);
        QCOMPARE(banners().size(), 2);
        QCOMPARE(sim()->countCalls(QStringLiteral("RemoveDevice")), 2);
        const auto known = [this] {
            QStringList addresses;
            for (const BluetoothDevice &device : w.adapter->listDevices())
                addresses << device.address();
            return addresses;
        };
        QTRY_VERIFY(!known().contains(phone));
    }

    // BlueZ 5 answers the removal of a connected device once its link is
    // down, seconds later: the screen goes on meanwhile, and the page says
    // removed when BlueZ did.
    void removingAConnectedDeviceHoldsNothingUp()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 removes at once");
        showPage(phone);
        QVERIFY(sim()->changeDevice(phone, { { "connected", true } }));
        QVERIFY(sim()->setTiming({ { "disconnectMs", 2500 } }));
        // The page shows the link (a disconnect button above): taps land where it lays them out.
        QTRY_VERIFY(connectButton() && connectButton()->text() == qtTrId("qtn_conn_bt_disconnect"));
        settle();
        QSignalSpy removed(m_view, &PairedDeviceSettingsView::pairingRemoved);
        QElapsedTimer tapped;
        tapped.start();
        tap(removeButton());
        QVERIFY(tapped.elapsed() < 1000);
        QCOMPARE(banners().size(), 0);
        QVERIFY(!removeButton()->isEnabled());
        QCOMPARE(removed.size(), 0);
        tap(removeButton());
        QTRY_COMPARE_WITH_TIMEOUT(removed.size(), 1, 6000);
        QVERIFY(tapped.elapsed() >= 2000); // btsim's timers are coarse
        QCOMPARE(sim()->countCalls(QStringLiteral("RemoveDevice")), 1);
        QVERIFY(banners().isEmpty());
    }
};

OVRIN_TEST_MAIN(TestPairedDeviceSettingsView)
#include "tst_paireddevicesettingsview.moc"
