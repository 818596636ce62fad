// The Bluetooth settings page against the simulated BlueZ: the power switch
// with its spinner and offline question, the handset's visibility, the way
// to the device list and the status-menu choice, all through taps.

#include "bluetoothsettingsview.h"
#include "devicesworld.h"
#include "drilldownitem.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvelprogressindicator.h"
#include "simplecheckboxlabel.h"
#include "switchbluetoothonconfirmation.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;

namespace {
const QString stranger = QStringLiteral("00:1E:45:88:09:08");
} // namespace

class TestBluetoothSettingsView : public QObject
{
    Q_OBJECT

    DevicesWorld w { "settings/scenarios/settings.json", true };
    BluetoothSettingsView *m_view = nullptr;

    // A fresh page on the window.
    void showPage(BluetoothAdapter *adapter)
    {
        m_view = new BluetoothSettingsView(adapter);
        w.window.setCentralWidget(m_view);
        m_view->enterDisplay();
        settle();
    }
    void showPage() { showPage(w.adapter.get()); }

    OrvelButton *onOffSwitch() { return w.item<OrvelButton>("BluetoothOnOffSwitch"); }
    // Null until the page first put it in place of the switch.
    OrvelProgressIndicator *spinner() { return findItem<OrvelProgressIndicator>(m_view); }
    bool spinnerShown() { return spinner() && spinner()->isVisible(); }
    OrvelButton *discoverableSwitch()
    {
        auto row = w.item<SimpleCheckBoxLabel>("BluetoothDiscoverableSwitch");
        return row ? row->button() : nullptr;
    }
    OrvelButton *statusMenuSwitch() { return w.item<OrvelButton>("BluetoothStatusMenuSwitch"); }
    DrillDownItem *devicesItem() { return w.item<DrillDownItem>("BluetoothDevicesItem"); }
    DrillDownItem *nameItem() { return w.item<DrillDownItem>("BluetoothDeviceNameItem"); }
    OrvelLabel *blockedNotice() { return w.item<OrvelLabel>("BluetoothRadioBlockedLabel"); }
    bool blockedNoticeShown()
    {
        settle();
        return blockedNotice() && blockedNotice()->isVisible();
    }

    int setPropertyCalls() { return w.adapterWrites(); }

    // The adapter's known device at address (BlueZ 5 knows a stranger only
    // while it is paired, trusted or blocked); invalid when it has none.
    BluetoothDevice known(const QString &address)
    {
        for (const BluetoothDevice &device : w.adapter->listDevices()) {
            if (device.address() == address)
                return device;
        }
        return BluetoothDevice();
    }

    // The page goes off screen and comes back.
    void redisplay()
    {
        m_view->exitDisplay();
        m_view->enterDisplay();
    }

    // Taps the on/off switch, settling first so the tap lands on it.
    void tapOnOff()
    {
        settle();
        QVERIFY(onOffSwitch()->isVisible());
        tap(onOffSwitch());
    }

private Q_SLOTS:
    void initTestCase() { w.showWindow(); }
    void init() { w.init(); }
    void cleanup()
    {
        m_view = nullptr;
        w.cleanup();
    }

    void switchShowsTheAdapterAndFollowsItWithoutCalls()
    {
        showPage();
        QVERIFY(onOffSwitch()->isChecked());
        QCOMPARE(nameItem()->subtitle(), QStringLiteral("Ovrin handset"));
        QVERIFY(!discoverableSwitch()->isChecked());
        // Switched off and on by someone else: the switch follows, and a
        // switch set to the state the adapter has asks nothing of BlueZ.
        QVERIFY(sim()->changeAdapter({ { "powered", false } }));
        QTRY_VERIFY(!onOffSwitch()->isChecked());
        QVERIFY(sim()->changeAdapter({ { "powered", true } }));
        QTRY_VERIFY(onOffSwitch()->isChecked());
        QVERIFY(!spinner());
        QCOMPARE(setPropertyCalls(), 0);
        // The name and visibility shown are the adapter's, as they change.
        QVERIFY(sim()->changeAdapter({ { "name", "Lab handset" } }));
        QTRY_COMPARE(nameItem()->subtitle(), QStringLiteral("Lab handset"));
        QVERIFY(sim()->changeAdapter({ { "discoverable", true } }));
        QTRY_VERIFY(discoverableSwitch()->isChecked());
        QCOMPARE(setPropertyCalls(), 0);
    }

    // The spinner stands in place of the switch until BlueZ reports; without
    // a report the switch comes back 3000 ms after the request, showing the
    // adapter's real state, so the user can try again.
    void powerSwitchShowsTheSpinnerUntilBlueZReports()
    {
        QVERIFY(w.powerOff());
        showPage();
        QVERIFY(!onOffSwitch()->isChecked());
        QVERIFY(w.refuseNext(adapterWrite(), "Radio blocked", true));
        QElapsedTimer clock;
        clock.start();
        tapOnOff();
        QVERIFY(spinnerShown() && spinner()->isAnimating());
        QVERIFY(!onOffSwitch()->isVisible());
        settle();
        QVERIFY(centreOf(spinner()).x() > m_view->geometry().center().x());
        QTRY_COMPARE(setPropertyCalls(), 1);
        QVERIFY(spinnerShown());
        QTRY_VERIFY_WITH_TIMEOUT(onOffSwitch()->isVisible(), 6000);
        // (Qt's coarse timers may fire up to 5 % early.)
        QVERIFY2(clock.elapsed() >= 2850, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!spinnerShown() && !onOffSwitch()->isChecked());
        // With BlueZ gone nothing can answer: the switch comes back off.
        QVERIFY(dropBluez(sim()));
        // (The radio switch asks the BlueZ that answered last.)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Switching Bluetooth failed \\("
                                                + dialect("DefaultAdapter", "GetManagedObjects")
                                                + "\\): "));
        tapOnOff();
        QVERIFY(spinnerShown());
        QTRY_VERIFY_WITH_TIMEOUT(onOffSwitch()->isVisible(), 6000);
        QVERIFY(!spinnerShown() && !onOffSwitch()->isChecked());
        QVERIFY(restoreBluez(sim()));
        QTRY_VERIFY(w.adapter->isValid());
        // Trying again works, BlueZ taking its time.
        QVERIFY(sim()->setTiming({ { "powerMs", 600 } }));
        tapOnOff();
        QTRY_COMPARE(setPropertyCalls(), 2);
        QVERIFY(spinnerShown());
        QTRY_VERIFY(w.adapter->isPowered());
        QVERIFY(!spinnerShown());
        QVERIFY(onOffSwitch()->isVisible() && onOffSwitch()->isChecked());
        // Off: the adapter reports at once, so the switch is back at once.
        tapOnOff();
        QVERIFY(spinnerShown());
        QTRY_VERIFY(!spinnerShown());
        QVERIFY(onOffSwitch()->isVisible() && !onOffSwitch()->isChecked());
        QTRY_VERIFY(!simAdapter("powered").toBool());
    }

    void offlineQuestionDecidesWhetherTheRadioComesOn()
    {
        w.goOffline();
        showPage();
        // No: the switch goes back off and nothing is asked of BlueZ.
        tapOnOff();
        QPointer<SwitchBluetoothOnConfirmation> question = w.shown<SwitchBluetoothOnConfirmation>();
        QVERIFY(question);
        QVERIFY(!spinner());
        tap(question->button(QMessageBox::No));
        QVERIFY(!onOffSwitch()->isChecked());
        QTRY_VERIFY(!question);
        QCOMPARE(setPropertyCalls(), 0);
        // Yes: the radio comes on, with no spinner on the way.
        tapOnOff();
        question = w.shown<SwitchBluetoothOnConfirmation>();
        QVERIFY(question);
        tap(question->button(QMessageBox::Yes));
        QTRY_VERIFY(!question);
        QTRY_VERIFY(w.adapter->isPowered());
        QVERIFY(onOffSwitch()->isChecked() && onOffSwitch()->isVisible() && !spinner());
        QCOMPARE(setPropertyCalls(), 1);
        // Switching off needs no question, offline or not.
        tapOnOff();
        QVERIFY(!w.shown<SwitchBluetoothOnConfirmation>());
        QTRY_VERIFY(!simAdapter("powered").toBool());
        QTRY_VERIFY(onOffSwitch()->isVisible());
        // A page closed while asking takes the question along.
        tapOnOff();
        question = w.shown<SwitchBluetoothOnConfirmation>();
        QVERIFY(question);
        w.window.setCentralWidget(nullptr);
        m_view = nullptr;
        QVERIFY(!question);
    }

    void discoverableSwitchSetsBlueZOrSavesTheChoiceWhileOff()
    {
        showPage();
        tap(discoverableSwitch());
        QTRY_VERIFY(simAdapter("discoverable").toBool());
        QCOMPARE(OrvelGConfItem(visibleKey).value(), QVariant(true));
        tap(discoverableSwitch());
        QTRY_VERIFY(!simAdapter("discoverable").toBool());
        QVERIFY(!discoverableSwitch()->isChecked());
        QCOMPARE(OrvelGConfItem(visibleKey).value(), QVariant(false));
        // Refused by BlueZ: the switch shows the visibility BlueZ kept.
        QVERIFY(w.refuseNext(adapterWrite(), "Not now"));
        tap(discoverableSwitch());
        QVERIFY(!discoverableSwitch()->isChecked());
        QVERIFY(!simAdapter("discoverable").toBool());
        // Off: the switch shows the choice (only saved, see tst_adapteroperations).
        tapOnOff();
        QTRY_VERIFY(!simAdapter("powered").toBool());
        tap(discoverableSwitch());
        QVERIFY(discoverableSwitch()->isChecked());
        QVERIFY(w.adapter->isDiscoverable());
        // A page built while off shows the saved choice too, over a fresh handle.
        w.adapter.reset(BluetoothAdapter::defaultAdapter());
        QTRY_VERIFY(w.adapter->isValid());
        showPage();
        QVERIFY(!onOffSwitch()->isChecked());
        QVERIFY(discoverableSwitch()->isChecked());
    }

    void statusMenuSwitchKeepsItsChoiceInGConf()
    {
        // No key yet: shown in the status menu.
        showPage();
        QVERIFY(statusMenuSwitch()->isChecked());
        // The row's text is a tap target too.
        tap(qobject_cast<SimpleCheckBoxLabel *>(statusMenuSwitch()->parentObject())->label());
        QVERIFY(!statusMenuSwitch()->isChecked());
        QCOMPARE(OrvelGConfItem(showAlwaysKey).value(), QVariant(false));
        // A new page reads the choice back.
        showPage();
        QVERIFY(!statusMenuSwitch()->isChecked());
        QCOMPARE(setPropertyCalls(), 0);
    }

    void devicesRowNeedsPowerOrAPairedOrBlockedDevice()
    {
        w.init("settings/scenarios/strangers.json");
        showPage();
        QSignalSpy listSelected(m_view, &BluetoothSettingsView::deviceListSelected);
        QSignalSpy myDeviceSelected(m_view, &BluetoothSettingsView::myDeviceSelected);
        // Off, and only devices that are neither paired nor blocked.
        QVERIFY(!devicesItem()->isEnabled());
        tap(devicesItem());
        QCOMPARE(listSelected.size(), 0);
        // One blocked device is enough, seen when the page comes on screen.
        QVERIFY(sim()->changeDevice(stranger, { { "blocked", true } }));
        QTRY_VERIFY(known(stranger).isBlocked());
        redisplay();
        QVERIFY(devicesItem()->isEnabled());
        tap(devicesItem());
        QCOMPARE(listSelected.size(), 1);
        QVERIFY(sim()->changeDevice(stranger, { { "blocked", false } }));
        QTRY_VERIFY(!known(stranger).isBlocked());
        // Power enables it as soon as the adapter reports it.
        tapOnOff();
        QTRY_VERIFY(w.adapter->isPowered());
        QVERIFY(devicesItem()->isEnabled());
        tap(devicesItem());
        QCOMPARE(listSelected.size(), 2);
        tap(nameItem());
        QCOMPARE(myDeviceSelected.size(), 1);
        // Off again, the list closes; a paired device opens it.
        QVERIFY(w.powerOff());
        QVERIFY(!devicesItem()->isEnabled());
        QVERIFY(sim()->changeDevice(stranger, { { "paired", true } }));
        QTRY_VERIFY(known(stranger).isPaired());
        redisplay();
        QVERIFY(devicesItem()->isEnabled());
    }

    // The kernel's rfkill switch keeps the radio off (BlueZ 5 tells it): the
    // page says so and has no switch to flip, until the radio is unblocked.
    void blockedRadioIsToldInsteadOfASwitch_data()
    {
        QTest::addColumn<bool>("blockedBeforeThePage");
        QTest::newRow("blocked while shown") << false;
        QTest::newRow("page built while blocked") << true;
    }
    void blockedRadioIsToldInsteadOfASwitch()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 does not tell that rfkill blocks the radio");
        QFETCH(bool, blockedBeforeThePage);
        QSignalSpy changed(w.adapter.get(), &BluetoothAdapter::radioBlockedChanged);
        if (!blockedBeforeThePage) {
            showPage();
            QVERIFY(onOffSwitch()->isEnabled());
            QVERIFY(!blockedNoticeShown());
        }
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", true } }));
        QTRY_VERIFY(w.adapter->isRadioBlocked());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().first().toBool(), true);
        if (blockedBeforeThePage)
            showPage();
        QTRY_VERIFY(!onOffSwitch()->isChecked());
        QVERIFY(blockedNoticeShown());
        QCOMPARE(blockedNotice()->text(), qtTrId("qtn_conn_bt_radio_blocked"));
        QVERIFY(blockedNotice()->geometry().top() >= onOffSwitch()->geometry().bottom());
        // A tap on the switch changes nothing and asks nothing of BlueZ.
        QVERIFY(!onOffSwitch()->isEnabled());
        tap(onOffSwitch());
        QVERIFY(!onOffSwitch()->isChecked() && !spinnerShown());
        QCOMPARE(setPropertyCalls(), 0);
        // Unblocked: the radio comes back on as it was, and the switch with it.
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", false } }));
        QTRY_VERIFY(!w.adapter->isRadioBlocked());
        QCOMPARE(changed.size(), 2);
        QVERIFY(!blockedNoticeShown());
        QTRY_VERIFY(onOffSwitch()->isChecked());
        QVERIFY(onOffSwitch()->isEnabled());
        tapOnOff();
        QTRY_VERIFY(!simAdapter("powered").toBool());
    }

    // A block that came or went while BlueZ was away is shown as BlueZ returns.
    void blockedRadioIsReadAgainWhenBluezReturns()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 does not tell that rfkill blocks the radio");
        showPage();
        for (const bool blocked : { true, false }) {
            QVERIFY(sim()->dropService(QStringLiteral("org.bluez")));
            QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", blocked } }));
            QVERIFY(sim()->restoreService(QStringLiteral("org.bluez")));
            QTRY_COMPARE(blockedNoticeShown(), blocked);
            QCOMPARE(onOffSwitch()->isEnabled(), !blocked);
        }
    }

    void pageWithoutAdapterShowsBluetoothOff()
    {
        showPage(nullptr);
        QVERIFY(!onOffSwitch()->isChecked());
        QVERIFY(!devicesItem()->isEnabled());
        QVERIFY(nameItem()->subtitle().isEmpty());
        // Nothing to switch on, nothing to wait for: the switches snap back.
        tap(onOffSwitch());
        QVERIFY(!spinner());
        QVERIFY(!onOffSwitch()->isChecked());
        tap(discoverableSwitch());
        QVERIFY(!discoverableSwitch()->isChecked());
        QVERIFY(!OrvelGConfItem(visibleKey).value().isValid());
    }
};

OVRIN_TEST_MAIN(TestBluetoothSettingsView)
#include "tst_bluetoothsettingsview.moc"
