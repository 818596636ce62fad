// The device list on screen over the simulated BlueZ: what its rows show, what
// a long tap offers for each kind of device and what the actions do, by taps.

#include "bluetoothdeviceinfoutils.h"
#include "devicesworld.h"
#include "orvelbutton.h"
#include "orvelobjectmenu.h"

#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace OvrinTest::Selection;
using namespace ToolkitTesting;

namespace {
// The menu texts of "connect block": qtn_conn_bt_connect, qtn_conn_bt_block.
QStringList texts(const char *ids)
{
    QStringList result;
    for (const QString &id : QString::fromLatin1(ids).split(' ', Qt::SkipEmptyParts))
        result.append(qtTrId(qPrintable("qtn_conn_bt_" + id)));
    return result;
}
} // namespace

class TestBluetoothDeviceList : public QObject
{
    Q_OBJECT

    DevicesWorld w { "devices/scenarios/selection.json" };
    std::unique_ptr<BluetoothDeviceModel> m_model;
    BluetoothDeviceList *m_list = nullptr;

    // The list on the window over a fresh model; pairing marks a device as
    // being paired before any cell exists.
    void showList(bool immediateSelection = true, const QString &pairing = {})
    {
        m_model = std::make_unique<BluetoothDeviceModel>(w.adapter.get());
        if (!pairing.isEmpty()) {
            const BluetoothDevice device(QVariantMap { { QStringLiteral("Address"), pairing } });
            m_model->setPairingDevice(&device);
        }
        m_list = new BluetoothDeviceList();
        m_list->setImmediateSelectionEnabled(immediateSelection);
        m_list->setBluetoothDeviceModel(m_model.get());
        w.window.setCentralWidget(m_list);
        settle();
    }

    void showListWithNearbyPhone()
    {
        showList();
        w.adapter->startDiscovery();
        QVERIFY(w.found(nearbyPhone));
        QTRY_VERIFY(cell("Nearby phone"));
    }

    BluetoothDeviceContentItem *cell(const QString &label) { return deviceCell(m_list, label); }

    QString kindOf(const QString &label)
    {
        BluetoothDeviceContentItem *item = cell(label);
        return item ? item->kind() : QStringLiteral("no row ") + label;
    }

    OrvelObjectMenu *menuOnScreen() { return w.shown<OrvelObjectMenu>(); }

    // Holds the finger on the row labelled name until the list takes it as a long tap.
    bool longTap(const QString &name)
    {
        BluetoothDeviceContentItem *item = cell(name);
        QSignalSpy longTapped(m_list, &OrvelList::itemLongTapped);
        if (!item)
            return false;
        press(w.window.scene(), centreOf(item));
        const bool taken = QTest::qWaitFor([&longTapped] { return longTapped.size() == 1; });
        release(w.window.scene(), centreOf(item));
        return taken;
    }

    // The menu a long tap on the row labelled name brings, closed again.
    QStringList menuFor(const QString &name)
    {
        if (!longTap(name))
            return { QStringLiteral("no long tap on ") + name };
        QStringList texts;
        if (OrvelObjectMenu *menu = menuOnScreen()) {
            for (QAction *action : menu->menuActions())
                texts << action->text();
            menu->disappear();
            if (!QTest::qWaitFor([this] { return !menuOnScreen(); }))
                texts << QStringLiteral("menu stays");
        }
        return texts;
    }

    void chooseFromMenu(const QString &name, const char *textId)
    {
        QTRY_VERIFY2(cell(name), qPrintable(name));
        QVERIFY(longTap(name));
        OrvelObjectMenu *menu = menuOnScreen();
        QVERIFY(menu);
        const auto actions = menu->menuActions();
        const auto chosen = std::find_if(actions.begin(), actions.end(), [textId](QAction *action) {
            return action->text() == qtTrId(textId);
        });
        QVERIFY2(chosen != actions.end(), textId);
        tap(menu->buttonForAction(*chosen));
        QTRY_VERIFY(!menuOnScreen());
    }

private Q_SLOTS:
    void initTestCase() { w.showWindow(); }
    void init() { w.init(); }
    void cleanup()
    {
        if (OrvelObjectMenu *menu = menuOnScreen())
            menu->disappear();
        w.window.setCentralWidget(nullptr);
        m_list = nullptr;
        m_model.reset();
        if (w.adapter && w.adapter->isDiscovering())
            w.adapter->stopDiscovery();
        w.cleanup();
    }

    void rowsShowLockSpinnerAndGroups()
    {
        showList(true, nearbyPhone);
        w.adapter->startDiscovery();
        QVERIFY(w.found(nearbyPhone) && w.found(laptop));
        QTRY_VERIFY(cell("Laptop") && cell("Nearby phone"));
        QStringList kinds;
        for (const char *name : { "Headset", "Speaker", "Laptop", "Nearby phone", "Blocked one" })
            kinds << kindOf(name);
        QCOMPARE(kinds,
                 QString("TrustedCell NormalCell NormalCell ProgressCell NormalCell").split(' '));
        QCOMPARE(cell("Headset")->classIconId(), BluetoothDeviceInfoUtils::codIconId(2360324));
        QCOMPARE(cell("Laptop")->classIconId(), BluetoothDeviceInfoUtils::codIconId(268));
        // With immediate selection the connected headset stands out, nothing else.
        QTRY_VERIFY(cell("Headset")->isSelected());
        QVERIFY(!cell("Speaker")->isSelected());
        // Rows sit in their group: first, middle, last.
        QCOMPARE(cell("Broken speaker")->layoutPosition(), OrvelContentItem::VerticalTopPosition);
        QCOMPARE(cell("Paired phone")->layoutPosition(), OrvelContentItem::VerticalCenterPosition);
        // A connected device that drops its link loses its mark.
        QVERIFY(sim()->changeDevice(headset,
                                    { { "connected", false }, { "audioState", "disconnected" } }));
        QTRY_VERIFY(!cell("Headset")->isSelected());
    }

    void longTapMenusFollowTheDeviceState()
    {
        showListWithNearbyPhone();
        QCOMPARE(menuFor("Headset"), texts("disconnect remove_pairing set_untrusted block"));
        QCOMPARE(menuFor("Speaker"), texts("connect remove_pairing set_trusted block"));
        QCOMPARE(menuFor("Paired phone"), texts("remove_pairing set_trusted block"));
        QCOMPARE(menuFor("Nearby phone"), texts("block"));
        QSignalSpy selected(m_list, &BluetoothDeviceList::bluetoothdeviceSelected);
        // A blocked device offers nothing: the long tap chooses it.
        QCOMPARE(menuFor("Blocked one"), QStringList());
        QTRY_COMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).at(0).value<BluetoothDevice>().address(), blockedOne);
        QCOMPARE(m_list->selectedBluetoothDevice().address(), QString());
        // Without power nothing can connect.
        QVERIFY(w.powerOff());
        QTRY_VERIFY(cell("Speaker"));
        QCOMPARE(menuFor("Speaker"), texts("remove_pairing set_trusted block"));
        // A header is no device: a warning, no menu, and the old actions are gone.
        QTest::ignoreMessage(QtWarningMsg,
                             "Selected proxy index did not map to BluetoothDeviceModel index");
        QSignalSpy longTapped(m_list, &OrvelList::itemLongTapped);
        Q_EMIT m_list->itemLongTapped(m_list->itemModel()->index(0, 0), QPointF(10, 10));
        QVERIFY(m_list->actions().isEmpty());
        QVERIFY(!menuOnScreen());
    }

    void menuActionsChangeTheDevice()
    {
        showList();
        chooseFromMenu("Speaker", "qtn_conn_bt_set_trusted");
        QTRY_VERIFY(simFlag(speaker, "trusted"));
        QTRY_COMPARE(kindOf("Speaker"), QStringLiteral("TrustedCell"));
        chooseFromMenu("Speaker", "qtn_conn_bt_set_untrusted");
        QTRY_VERIFY(!simFlag(speaker, "trusted"));
        chooseFromMenu("Paired phone", "qtn_conn_bt_remove_pairing");
        QTRY_VERIFY(!cell("Paired phone"));
        QVERIFY(!simFlag(pairedPhone, "paired"));
    }

    void menuActsOnItsDeviceWhenRowsMove()
    {
        showListWithNearbyPhone();
        QVERIFY(longTap("Nearby phone"));
        OrvelObjectMenu *menu = menuOnScreen();
        QVERIFY(menu);
        // A stronger device found meanwhile takes the phone's row.
        QVERIFY(sim()->changeDevice(laptop, { { "rssi", -10 } }));
        QVERIFY(w.found(laptop));
        QTRY_VERIFY(cell("Laptop"));
        tap(menu->buttonForAction(menu->menuActions().constFirst()));
        QTRY_VERIFY(simFlag(nearbyPhone, "blocked"));
        QVERIFY(!simFlag(laptop, "blocked"));
    }

    void connectAndDisconnectFromTheMenu()
    {
        showList();
        QSignalSpy started(m_list, &BluetoothDeviceList::connectingStarted);
        QSignalSpy stopped(m_list, &BluetoothDeviceList::connectingStopped);
        // Disconnecting starts no connection but ends as one does.
        chooseFromMenu("Headset", "qtn_conn_bt_disconnect");
        QTRY_COMPARE(stopped.size(), 1);
        QCOMPARE(started.size(), 0);
        QTRY_COMPARE(simValue(headset, "audioState").toString(), QStringLiteral("disconnected"));
        chooseFromMenu("Speaker", "qtn_conn_bt_connect");
        QCOMPARE(started.size(), 1);
        QTRY_COMPARE(stopped.size(), 2);
        QCOMPARE(simValue(speaker, "audioState").toString(), QStringLiteral("connected"));
        QVERIFY(SimpleInformationBanner::history().isEmpty());
        // A failed connection tells the user which device, not why.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^connectAudioCallback failed: ")));
        chooseFromMenu("Broken speaker", "qtn_conn_bt_connect");
        QCOMPARE(started.size(), 2);
        QTRY_COMPARE(stopped.size(), 3);
        const auto banners = SimpleInformationBanner::history();
        QCOMPARE(banners.size(), 1);
        QCOMPARE(banners[0].text, qtTrId("qtn_conn_bt_connection_failed").arg("Broken speaker"));
    }

    // A found device is made known to BlueZ first, then blocked; if BlueZ
    // refuses to make it, there is nothing to block and the block is forgotten.
    // BlueZ 5 makes nothing: it drops a found device's object soon after the
    // search, and the device is looked for again (a refused search fails it).
    void blockingAFoundDeviceCreatesItFirst()
    {
        QVERIFY(sim()->setTiming({ { "temporaryTimeoutMs", 100 } }));
        showListWithNearbyPhone();
        QVERIFY(w.found(laptop));
        QTRY_VERIFY(cell("Laptop"));
        w.adapter->stopDiscovery();
        const auto hasObject = [](const QString &address) {
            return bluezCall(devicePath(defaultAdapterPath(), address),
                             QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("GetAll"), { QStringLiteral("org.bluez.Device1") })
                       .type()
                == QDBusMessage::ReplyMessage;
        };
        if (onBluez5())
            QTRY_VERIFY(!hasObject(nearbyPhone) && !hasObject(laptop));
        const QString creation = dialect("CreateDevice", "StartDiscovery");
        QVERIFY(sim()->failNext(creation, QStringLiteral("org.bluez.Error.Failed")));
        QSignalSpy failed(w.adapter.get(), &BluetoothAdapter::deviceCreationFailed);
        if (onBluez5())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^StartDiscovery returned")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Device creation failed: ")));
        chooseFromMenu("Nearby phone", "qtn_conn_bt_block");
        QVERIFY(failed.wait());
        QVERIFY(cell("Nearby phone"));
        // Later BlueZ makes that device for another reason: it stays unblocked.
        QSignalSpy created(w.adapter.get(), &BluetoothAdapter::deviceCreated);
        w.adapter->startCreatingDevice(
            BluetoothDevice(QVariantMap { { QStringLiteral("Address"), nearbyPhone } }));
        if (onBluez5())
            QVERIFY(w.found(nearbyPhone));
        QTRY_VERIFY(!created.isEmpty());
        QVERIFY(!simFlag(nearbyPhone, "blocked"));
        QCOMPARE(sim()->countCalls(dialect("SetProperty", "Set")), 0);

        QVERIFY(sim()->clearCallLog());
        chooseFromMenu("Laptop", "qtn_conn_bt_block");
        if (onBluez5())
            QVERIFY(w.found(laptop));
        QTRY_VERIFY(simFlag(laptop, "blocked"));
        QCOMPARE(sim()->countCalls(creation), 1);
        // The row moves to the blocked group.
        QTRY_COMPARE(m_model->index(m_model->rowCount() - 1, BluetoothDeviceModel::AddressColumn)
                         .data()
                         .toString(),
                     laptop);
    }

    void blockingAConnectedDeviceDisconnectsItFirst()
    {
        showList();
        chooseFromMenu("Headset", "qtn_conn_bt_block");
        QTRY_VERIFY(simFlag(headset, "blocked"));
        QVERIFY(!simFlag(headset, "connected"));
        // Blocked only once the link was down.
        QStringList members;
        for (const auto &call : sim()->callLog())
            members << call.member;
        QVERIFY(members.indexOf("Disconnect") >= 0);
        QVERIFY(members.indexOf(dialect("SetProperty", "Set")) > members.indexOf("Disconnect"));
    }

    void tapChoosesAndMarksTheDevice()
    {
        showList(false);
        QSignalSpy selected(m_list, &BluetoothDeviceList::bluetoothdeviceSelected);
        tap(cell("Speaker"));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).at(0).value<BluetoothDevice>().address(), speaker);
        QCOMPARE(m_list->selectedBluetoothDevice().address(), speaker);
        QTRY_VERIFY(cell("Speaker")->isSelected());
        // Without immediate selection a connected device is not marked.
        QVERIFY(!cell("Headset")->isSelected());
        tap(cell("Paired phone"));
        QCOMPARE(selected.size(), 2);
        QCOMPARE(m_list->selectedBluetoothDevice().address(), pairedPhone);
        QTRY_VERIFY(!cell("Speaker")->isSelected());
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceList)
#include "tst_bluetoothdevicelist.moc"
