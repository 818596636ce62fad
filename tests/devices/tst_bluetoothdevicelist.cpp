// The device list on screen over the simulated BlueZ: what its rows show,
// what a long tap offers for each kind of device and what the offered
// actions do, all by taps.

#include "bluetoothdeviceinfoutils.h"
#include "bluetoothdevicemodel.h"
#include "devicesworld.h"
#include "orvelbutton.h"
#include "orvelobjectmenu.h"
#include "orvelscenemanager.h"

#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;

namespace {
const QString headset = QStringLiteral("00:1B:66:0A:11:01"); // paired, trusted, connected audio
const QString brokenSpeaker = QStringLiteral("00:0D:3C:B7:44:04"); // audio connect fails
const QString speaker = QStringLiteral("00:0D:3C:B7:44:05");
const QString pairedPhone = QStringLiteral("F4:0E:22:13:33:10"); // no audio
const QString blockedOne = QStringLiteral("00:11:22:33:44:03");
const QString nearbyPhone = QStringLiteral("AA:00:00:00:00:01"); // found only
const QString laptop = QStringLiteral("AA:00:00:00:00:03"); // found only

QStringList texts(const QList<const char *> &ids)
{
    QStringList result;
    for (const char *id : ids)
        result.append(qtTrId(id));
    return result;
}
} // namespace

class TestBluetoothDeviceList : public QObject
{
    Q_OBJECT

    DevicesWorld w { "devices/scenarios/selection.json" };
    std::unique_ptr<BluetoothDeviceModel> m_model;
    BluetoothDeviceList *m_list = nullptr;
    SimulatorClient *sim() { return w.sim(); }

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

    // The list with the found nearby phone among its rows.
    void showListWithNearbyPhone()
    {
        showList();
        w.adapter->startDiscovery();
        QVERIFY(w.found(nearbyPhone));
        QTRY_VERIFY(cell(QStringLiteral("Nearby phone")));
    }

    BluetoothDeviceContentItem *cell(const QString &label) { return deviceCell(m_list, label); }

    QString kindOf(const QString &label)
    {
        BluetoothDeviceContentItem *item = cell(label);
        return item ? item->kind() : QStringLiteral("no row ") + label;
    }

    OrvelObjectMenu *menuOnScreen()
    {
        const auto windows = w.window.sceneManager()->sceneWindows();
        for (OrvelSceneWindow *window : windows) {
            if (auto *menu = qobject_cast<OrvelObjectMenu *>(window))
                return menu;
        }
        return nullptr;
    }

    static QStringList menuTexts(OrvelObjectMenu *menu)
    {
        QStringList result;
        const auto actions = menu->menuActions();
        for (QAction *action : actions)
            result.append(action->text());
        return result;
    }

    // Holds the finger on the item until the list takes it as a long tap.
    void longTap(const QGraphicsItem *item)
    {
        QSignalSpy longTapped(m_list, &OrvelList::itemLongTapped);
        const QPointF where = centreOf(item);
        press(w.window.scene(), where);
        QTRY_COMPARE(longTapped.size(), 1);
        release(w.window.scene(), where);
    }

    // The menu a long tap on the row labelled name brings, closed again.
    QStringList menuFor(const QString &name)
    {
        BluetoothDeviceContentItem *item = cell(name);
        if (!item)
            return { QStringLiteral("no row %1").arg(name) };
        longTap(item);
        OrvelObjectMenu *menu = menuOnScreen();
        if (!menu)
            return {};
        const QStringList result = menuTexts(menu);
        menu->disappear();
        if (!QTest::qWaitFor([this] { return !menuOnScreen(); }))
            return { QStringLiteral("menu stays") };
        return result;
    }

    void chooseFromMenu(const QString &name, const char *textId)
    {
        QTRY_VERIFY2(cell(name), qPrintable(name));
        BluetoothDeviceContentItem *item = cell(name);
        QVERIFY2(item, qPrintable(name));
        longTap(item);
        OrvelObjectMenu *menu = menuOnScreen();
        QVERIFY(menu);
        QAction *chosen = nullptr;
        const auto actions = menu->menuActions();
        for (QAction *action : actions) {
            if (action->text() == qtTrId(textId))
                chosen = action;
        }
        QVERIFY2(chosen, textId);
        tap(menu->buttonForAction(chosen));
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
        QTRY_VERIFY(cell(QStringLiteral("Laptop")));
        QTRY_VERIFY(cell(QStringLiteral("Nearby phone")));
        QVERIFY(cell(QStringLiteral("Headset")) && cell(QStringLiteral("Speaker"))
                && cell(QStringLiteral("Broken speaker")) && cell(QStringLiteral("Paired phone")));

        QCOMPARE(kindOf(QStringLiteral("Headset")), QStringLiteral("TrustedCell"));
        QCOMPARE(kindOf(QStringLiteral("Speaker")), QStringLiteral("NormalCell"));
        QCOMPARE(kindOf(QStringLiteral("Laptop")), QStringLiteral("NormalCell"));
        QCOMPARE(kindOf(QStringLiteral("Nearby phone")), QStringLiteral("ProgressCell"));
        QCOMPARE(kindOf(QStringLiteral("Blocked one")), QStringLiteral("NormalCell"));
        QCOMPARE(cell(QStringLiteral("Headset"))->classIconId(),
                 BluetoothDeviceInfoUtils::codIconId(2360324));
        QCOMPARE(cell(QStringLiteral("Laptop"))->classIconId(),
                 BluetoothDeviceInfoUtils::codIconId(268));
        QVERIFY(
            findItemByStyle(cell(QStringLiteral("Headset")), QStringLiteral("CommonRightIcon")));
        QVERIFY(findItemByStyle(cell(QStringLiteral("Nearby phone")),
                                QStringLiteral("CommonListItemSpinnerInverted")));
        // With immediate selection the connected headset stands out, nothing else.
        QTRY_VERIFY(cell(QStringLiteral("Headset"))->isSelected());
        QVERIFY(!cell(QStringLiteral("Speaker"))->isSelected());
        // Rows sit in their group: first, middle, last.
        QCOMPARE(cell(QStringLiteral("Broken speaker"))->layoutPosition(),
                 OrvelContentItem::VerticalTopPosition);
        QCOMPARE(cell(QStringLiteral("Paired phone"))->layoutPosition(),
                 OrvelContentItem::VerticalCenterPosition);

        // A connected device that drops its link loses its mark.
        QVERIFY(sim()->changeDevice(headset,
                                    { { "connected", false }, { "audioState", "disconnected" } }));
        QTRY_VERIFY(!cell(QStringLiteral("Headset"))->isSelected());
    }

    void placeholderRowIsText()
    {
        for (const QString &address : { headset, brokenSpeaker, speaker, pairedPhone, blockedOne })
            QVERIFY(sim()->removeDevice(address));
        showList();
        QSignalSpy selected(m_list, &BluetoothDeviceList::bluetoothdeviceSelected);
        m_list->setScanFinished(true);
        QTRY_VERIFY(cell(qtTrId("qtn_conn_no_devices_found")));
        BluetoothDeviceContentItem *text = cell(qtTrId("qtn_conn_no_devices_found"));
        QCOMPARE(text->kind(), QStringLiteral("TextCell"));
        QCOMPARE(text->classIconId(), QString());
        // Tapping the text chooses nothing.
        tap(text);
        QCOMPARE(selected.size(), 0);
    }

    void longTapMenusFollowTheDeviceState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("menu");
        QTest::newRow("paired trusted connected headset")
            << "Headset"
            << texts({ "qtn_conn_bt_disconnect", "qtn_conn_bt_remove_pairing",
                       "qtn_conn_bt_set_untrusted", "qtn_conn_bt_block" });
        QTest::newRow("paired untrusted disconnected speaker")
            << "Speaker"
            << texts({ "qtn_conn_bt_connect", "qtn_conn_bt_remove_pairing",
                       "qtn_conn_bt_set_trusted", "qtn_conn_bt_block" });
        QTest::newRow("paired phone without audio")
            << "Paired phone"
            << texts({ "qtn_conn_bt_remove_pairing", "qtn_conn_bt_set_trusted",
                       "qtn_conn_bt_block" });
        QTest::newRow("found phone") << "Nearby phone" << texts({ "qtn_conn_bt_block" });
    }

    void longTapMenusFollowTheDeviceState()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, menu);
        showListWithNearbyPhone();
        QCOMPARE(menuFor(name), menu);
    }

    void longTapSpecialRows()
    {
        showListWithNearbyPhone();
        QSignalSpy selected(m_list, &BluetoothDeviceList::bluetoothdeviceSelected);

        // A blocked device offers nothing: the long tap chooses it.
        QCOMPARE(menuFor(QStringLiteral("Blocked one")), QStringList());
        QTRY_COMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).at(0).value<BluetoothDevice>().address(), blockedOne);
        QCOMPARE(m_list->selectedBluetoothDevice().address(), QString());

        // Without power nothing can connect.
        QVERIFY(w.powerOff());
        QTRY_VERIFY(cell(QStringLiteral("Speaker")));
        QCOMPARE(menuFor(QStringLiteral("Speaker")),
                 texts({ "qtn_conn_bt_remove_pairing", "qtn_conn_bt_set_trusted",
                         "qtn_conn_bt_block" }));

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
        chooseFromMenu(QStringLiteral("Speaker"), "qtn_conn_bt_set_trusted");
        QTRY_VERIFY(w.simDevice(speaker, "trusted").toBool());
        QTRY_COMPARE(kindOf(QStringLiteral("Speaker")), QStringLiteral("TrustedCell"));

        chooseFromMenu(QStringLiteral("Speaker"), "qtn_conn_bt_set_untrusted");
        QTRY_VERIFY(!w.simDevice(speaker, "trusted").toBool());

        chooseFromMenu(QStringLiteral("Paired phone"), "qtn_conn_bt_remove_pairing");
        QTRY_VERIFY(!cell(QStringLiteral("Paired phone")));
        QVERIFY(!w.simDevice(pairedPhone, "paired").toBool());
    }

    void connectAndDisconnectFromTheMenu()
    {
        showList();
        QSignalSpy started(m_list, &BluetoothDeviceList::connectingStarted);
        QSignalSpy stopped(m_list, &BluetoothDeviceList::connectingStopped);

        // Disconnecting starts no connection but ends as one does.
        chooseFromMenu(QStringLiteral("Headset"), "qtn_conn_bt_disconnect");
        QTRY_COMPARE(stopped.size(), 1);
        QCOMPARE(started.size(), 0);
        QTRY_COMPARE(w.simDevice(headset, "audioState").toString(), QStringLiteral("disconnected"));

        chooseFromMenu(QStringLiteral("Speaker"), "qtn_conn_bt_connect");
        QCOMPARE(started.size(), 1);
        QTRY_COMPARE(stopped.size(), 2);
        QCOMPARE(w.simDevice(speaker, "audioState").toString(), QStringLiteral("connected"));
        QVERIFY(SimpleInformationBanner::history().isEmpty());

        // A failed connection tells the user which device, not why.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^connectAudioCallback failed: ")));
        chooseFromMenu(QStringLiteral("Broken speaker"), "qtn_conn_bt_connect");
        QCOMPARE(started.size(), 2);
        QTRY_COMPARE(stopped.size(), 3);
        const auto banners = SimpleInformationBanner::history();
        QCOMPARE(banners.size(), 1);
        QCOMPARE(banners[0].text, qtTrId("qtn_conn_bt_connection_failed").arg("Broken speaker"));
        QCOMPARE(banners[0].iconId, QStringLiteral("icon-m-bluetooth"));
    }

    void blockingAFoundDeviceCreatesItFirst()
    {
        showListWithNearbyPhone();
        QVERIFY(sim()->clearCallLog());
        chooseFromMenu(QStringLiteral("Nearby phone"), "qtn_conn_bt_block");
        QTRY_VERIFY(w.simDevice(nearbyPhone, "blocked").toBool());
        QCOMPARE(sim()->countCalls(QStringLiteral("CreateDevice")), 1);
        // The row moves to the blocked group.
        QTRY_COMPARE(m_model->index(m_model->rowCount() - 1, BluetoothDeviceModel::AddressColumn)
                         .data()
                         .toString(),
                     nearbyPhone);
    }

    void aBlockWhoseCreationFailedIsForgotten()
    {
        showListWithNearbyPhone();
        // BlueZ refuses to make the device: there is nothing to block.
        QVERIFY(sim()->failNext(QStringLiteral("CreateDevice"),
                                QStringLiteral("org.bluez.Error.Failed")));
        QSignalSpy failed(w.adapter.get(), &BluetoothAdapter::deviceCreationFailed);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Device creation failed: ")));
        chooseFromMenu(QStringLiteral("Nearby phone"), "qtn_conn_bt_block");
        QVERIFY(failed.wait());

        // Later BlueZ makes that device for another reason: it stays unblocked.
        QSignalSpy created(w.adapter.get(), &BluetoothAdapter::deviceCreated);
        w.adapter->startCreatingDevice(
            BluetoothDevice(QVariantMap { { QStringLiteral("Address"), nearbyPhone } }));
        QVERIFY(created.wait());
        QVERIFY(!w.simDevice(nearbyPhone, "blocked").toBool());
        QCOMPARE(sim()->countCalls(QStringLiteral("SetProperty")), 0);
    }

    void blockingAConnectedDeviceDisconnectsItFirst()
    {
        showList();
        chooseFromMenu(QStringLiteral("Headset"), "qtn_conn_bt_block");
        QTRY_VERIFY(w.simDevice(headset, "blocked").toBool());
        QVERIFY(!w.simDevice(headset, "connected").toBool());
        // Blocked only once the link was down.
        const auto calls = sim()->callLog();
        int disconnectAt = -1, blockAt = -1;
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].member == QLatin1String("Disconnect") && disconnectAt < 0)
                disconnectAt = i;
            if (calls[i].member == QLatin1String("SetProperty") && blockAt < 0)
                blockAt = i;
        }
        QVERIFY(disconnectAt >= 0);
        QVERIFY(blockAt > disconnectAt);
    }

    void tapChoosesAndMarksTheDevice()
    {
        showList(false);
        QSignalSpy selected(m_list, &BluetoothDeviceList::bluetoothdeviceSelected);
        QVERIFY(!m_list->selectedBluetoothDevice().isValid());
        tap(cell(QStringLiteral("Speaker")));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.at(0).at(0).value<BluetoothDevice>().address(), speaker);
        QCOMPARE(m_list->selectedBluetoothDevice().address(), speaker);
        QTRY_VERIFY(cell(QStringLiteral("Speaker"))->isSelected());
        // Without immediate selection a connected device is not marked.
        QVERIFY(!cell(QStringLiteral("Headset"))->isSelected());

        tap(cell(QStringLiteral("Paired phone")));
        QCOMPARE(selected.size(), 2);
        QCOMPARE(m_list->selectedBluetoothDevice().address(), pairedPhone);
        QTRY_VERIFY(!cell(QStringLiteral("Speaker"))->isSelected());
    }

private:
    static QGraphicsItem *findItemByStyle(QGraphicsItem *root, const QString &style)
    {
        const auto children = root->childItems();
        for (QGraphicsItem *child : children) {
            auto *widget = qobject_cast<OrvelStylableWidget *>(child->toGraphicsObject());
            if (widget && widget->styleName() == style && widget->isVisible())
                return child;
            if (QGraphicsItem *found = findItemByStyle(child, style))
                return found;
        }
        return nullptr;
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceList)
#include "tst_bluetoothdevicelist.moc"
