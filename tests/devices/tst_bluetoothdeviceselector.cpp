// Choosing a device as an application does: a request, the sheet answered by
// taps, a real pairing when asked for, the questions on offline mode and blocks.

#include "bluetoothconfirmationsheet.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothdeviceselector.h"
#include "devicesworld.h"
#include "notificationserver.h"
#include "orvelbutton.h"
#include "orvelmessagebox.h"
#include "switchbluetoothonconfirmation.h"
#include "testdialogserver.h"

#include <QPointer>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace OvrinTest::Selection;
using namespace ToolkitTesting;

namespace {
const QString a2dpSink = QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb");

// The daemon's calls that pair a device and cancel that.
QString pairCall()
{
    return dialect("CreatePairedDevice", "Pair");
}
QString cancelPairingCall()
{
    return dialect("CancelDeviceCreation", "CancelPairing");
}

// Every request is logged with the caller's words.
void expectRequestLog()
{
    QTest::ignoreMessage(
        QtDebugMsg,
        QRegularExpression(QStringLiteral(
            "^bool Ovrin::BluetoothDeviceSelector::startSelection\\(QVariantList&\\) \\(")));
}

// A selector with spies on its outcomes.
struct Flow
{
    explicit Flow(TestDialogServer *server)
        : selector(server)
    {
    }
    bool start(QVariantList request)
    {
        expectRequestLog();
        return selector.startSelection(request);
    }
    BluetoothDeviceSelector selector;
    QSignalSpy selected { &selector, &BluetoothDeviceSelector::deviceSelected };
    QSignalSpy canceled { &selector, &BluetoothDeviceSelector::dialogCanceled };
    QString selectedAddress() const
    {
        return selected.isEmpty() ? QString()
                                  : selected.last().at(0).value<BluetoothDevice>().address();
    }
};
} // namespace

class TestBluetoothDeviceSelector : public QObject
{
    Q_OBJECT

    DevicesWorld w { "devices/scenarios/selection.json" };
    NotificationServer m_notifications;
    std::unique_ptr<TestDialogServer> m_server;

    BluetoothDeviceSelectionSheet *sheet()
    {
        return m_server->last<BluetoothDeviceSelectionSheet>();
    }

    BluetoothDeviceContentItem *cell(const QString &label)
    {
        return deviceCell(sheet() ? sheet()->deviceList() : nullptr, label);
    }

    QStringList shownNames()
    {
        QStringList names;
        BluetoothDeviceModel *model = sheet()->deviceList()->bluetoothDeviceModel();
        for (int row = 0; row < model->rowCount(); ++row) {
            // The sheet keeps blocked devices out of sight.
            if (!model->index(row, BluetoothDeviceModel::BlockedColumn).data().toBool())
                names.append(model->index(row, BluetoothDeviceModel::NameColumn).data().toString());
        }
        names.sort();
        return names;
    }

    // Once the sheet searches, the found devices answer.
    void waitForSheetAndFind(const QStringList &addresses)
    {
        QTRY_VERIFY(sheet() && sheet()->sceneWindowState() == OrvelSceneWindow::Appeared);
        QTRY_VERIFY(w.adapter->isDiscovering());
        for (const QString &address : addresses)
            QVERIFY(sim()->reportDeviceFound(address));
    }

    void choose(const QString &name)
    {
        QTRY_VERIFY2(cell(name), qPrintable(name));
        BluetoothDeviceSelectionSheet *shown = sheet();
        tap(cell(name));
        QVERIFY(shown->isAcceptEnabled());
        tap(shown->acceptButton());
    }

    void setOffline(bool offline)
    {
        OrvelGConfItem key(OfflineMode::Key);
        QVERIFY(key.set(offline));
        QTRY_COMPARE(OfflineMode().currentStatus(),
                     int(offline ? OfflineMode::Offline : OfflineMode::Online));
    }

private Q_SLOTS:
    void initTestCase()
    {
        w.showWindow();
        QVERIFY(m_notifications.start());
    }

    void init()
    {
        w.init();
        m_server = std::make_unique<TestDialogServer>(&w.window);
        setOffline(false);
    }

    void cleanup()
    {
        for (const auto &window : std::as_const(m_server->shown)) {
            if (window)
                window->disappear();
        }
        w.adapter.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_server.reset();
        w.cleanup();
    }

    void filtersFromRequests_data()
    {
        QTest::addColumn<QVariantList>("request");
        QTest::addColumn<QString>("names"); // sorted, blocked ones left out
        QTest::addColumn<QString>("warning");
        const auto row = [](const char *tag, const QVariantList &request, const char *names,
                            const char *warning = "") {
            QTest::newRow(tag) << request << QString(names) << QString(warning);
        };
        const QString all = "Broken speaker, Headset, Laptop, Nearby phone, Paired phone, Printer, "
                            "Speaker";
        const QStringList none;
        row("any device", { "", "", none, "" }, qPrintable(all));
        row("short request", { "phone" }, "Nearby phone, Paired phone");
        row("major and minor class", { "computer", "laptop", none, "" }, "Laptop");
        row("unknown minor class", { "phone", "toaster", none, "" }, qPrintable(all),
            "***CoD not found!");
        row("service class name", { "", "", QStringList { "object transfer" }, "" },
            "Nearby phone, Paired phone, Printer");
        row("service uuid", { "", "", QStringList { a2dpSink }, "" },
            "Broken speaker, Headset, Speaker");
        row("invalid service word", { "", "", QStringList { "teleportation" }, "" },
            "Broken speaker, Headset, Nearby phone, Paired phone, Printer, Speaker",
            "Invalid service class: \"teleportation\"");
    }

    void filtersFromRequests()
    {
        QFETCH(QVariantList, request);
        QFETCH(QString, names);
        QFETCH(QString, warning);
        Flow flow(m_server.get());
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        QVERIFY(flow.start(request));
        waitForSheetAndFind({ nearbyPhone, laptop, printer });
        QTRY_COMPARE(shownNames().join(QLatin1String(", ")), names);
        flow.selector.cancelSelectionSheet();
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
        QVERIFY(m_server->hidden.contains(QPointer<OrvelSceneWindow>(sheet())));
    }

    // A paired device is taken as it is, unless the request forces a new pairing.
    void pairedDeviceWithBonding_data()
    {
        QTest::addColumn<QString>("bonding");
        QTest::addColumn<int>("pairings");
        QTest::newRow("require") << "require" << 0;
        QTest::newRow("force") << "force" << 1;
    }
    void pairedDeviceWithBonding()
    {
        QFETCH(QString, bonding);
        QFETCH(int, pairings);
        Flow flow(m_server.get());
        QVERIFY(flow.start({ "phone", "", QStringList(), bonding }));
        waitForSheetAndFind({});
        choose("Paired phone");
        // BlueZ 5 drops the object with the pairing: the device is looked for again.
        if (onBluez5() && pairings) {
            QTRY_COMPARE(sim()->countCalls(QStringLiteral("RemoveDevice")), 1);
            QVERIFY(sim()->reportDeviceFound(pairedPhone));
        }
        QTRY_COMPARE(flow.selected.size(), 1);
        QCOMPARE(flow.selectedAddress(), pairedPhone);
        QCOMPARE(sim()->countCalls(QStringLiteral("RemoveDevice")), pairings);
        QCOMPARE(sim()->countCalls(pairCall()), pairings);
        QVERIFY(simFlag(pairedPhone, "paired"));
    }

    void failedPairingCancels()
    {
        Flow flow(m_server.get());
        // BlueZ's answer to the cancelled pairing comes once the flow is over.
        QVERIFY(sim()->delayNext(pairCall(), 100));
        QVERIFY(flow.start({ "phone", "", QStringList(), "require" }));
        waitForSheetAndFind({ nearbyPhone });
        choose("Nearby phone");
        QTRY_VERIFY(m_server->last<BluetoothConfirmationSheet>());
        QTest::ignoreMessage(QtWarningMsg,
                             "BluetoothDeviceSelector: pairing failed: org.bluez.Canceled");
        tap(m_server->last<BluetoothConfirmationSheet>()->rejectButton());
        QTRY_COMPARE(flow.canceled.size(), 1);
        // BlueZ's own word on the cancelled creation comes later; still one outcome.
        QTRY_COMPARE(sim()->countCalls(cancelPairingCall()), 1);
        QTest::qWait(200);
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
        QVERIFY(!simFlag(nearbyPhone, "paired"));
    }

    // An address in the request pairs that device without a sheet; a request
    // without a usable address ends at once.
    void bondingWithAGivenAddress_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("good");
        QTest::newRow("address") << "require=" + laptop.toLower() << true;
        QTest::newRow("none") << "require=" << false;
        QTest::newRow("not an address") << "require=AA:00:00:00:00" << false;
    }
    void bondingWithAGivenAddress()
    {
        QFETCH(QString, option);
        QFETCH(bool, good);
        Flow flow(m_server.get());
        if (!good)
            QTest::ignoreMessage(QtWarningMsg,
                                 "Special bonding requested without Bluetooth address");
        QVERIFY(flow.start({ "", "", QStringList(), option }));
        // On BlueZ 5 a device never found has no object: it is searched for.
        if (onBluez5() && good) {
            QTRY_VERIFY(w.adapter->isDiscovering());
            QVERIFY(sim()->reportDeviceFound(laptop));
        }
        QTRY_COMPARE(flow.selected.size() + flow.canceled.size(), 1);
        QCOMPARE(flow.selectedAddress(), good ? laptop : QString());
        QCOMPARE(simFlag(laptop, "paired"), good);
        QCOMPARE(sim()->countCalls(pairCall()), int(good));
        QVERIFY(m_server->shown.isEmpty());
    }

    // Off but online, Bluetooth is switched on unasked. Offline, the user is
    // asked; a selector told no serves the next request.
    void bluetoothOffIsSwitchedOnAskingOnlyOffline()
    {
        QVERIFY(w.powerOff());
        Flow flow(m_server.get());
        QTest::ignoreMessage(QtWarningMsg, "Just set power on bt adapter!");
        QVERIFY(flow.start({ "phone", "", QStringList(), "" }));
        QVERIFY(!m_server->last<SwitchBluetoothOnConfirmation>());
        QTRY_VERIFY(w.adapter->isPowered());
        waitForSheetAndFind({});
        flow.selector.cancelSelectionSheet();
        QVERIFY(w.powerOff());
        setOffline(true);
        for (const auto answer : { QMessageBox::No, QMessageBox::Yes }) {
            QVERIFY(flow.start({ "phone", "", QStringList(), "" }));
            auto *question = m_server->last<SwitchBluetoothOnConfirmation>();
            QVERIFY(question);
            QTRY_COMPARE(question->sceneWindowState(), OrvelSceneWindow::Appeared);
            tap(question->button(answer));
            QCOMPARE(flow.canceled.size(), 2);
        }
        QTRY_VERIFY(w.adapter->isPowered());
        waitForSheetAndFind({ nearbyPhone });
        choose("Nearby phone");
        QCOMPARE(flow.selectedAddress(), nearbyPhone);
    }

    void flowsEndCleanly_data()
    {
        QTest::addColumn<bool>("owningServer");
        QTest::addColumn<QString>("ending");
        for (const bool owning : { false, true }) {
            for (const char *ending :
                 { "choose", "pair", "pairing fails", "cancel", "offline no", "offline yes",
                   "offline yes, no address", "unblock", "selector deleted" })
                QTest::addRow("%s%s", ending, owning ? ", owning server" : "")
                    << owning << QString::fromLatin1(ending);
        }
    }

    void flowsEndCleanly()
    {
        QFETCH(bool, owningServer);
        QFETCH(QString, ending);
        if (owningServer)
            m_server = std::make_unique<OwningTestDialogServer>(&w.window);
        QPointer<BluetoothDeviceSelector> selector = new BluetoothDeviceSelector(m_server.get());
        QStringList outcomes;
        BluetoothDevice chosen;
        bool showingAtTheEnd = false;
        auto end = [&](const char *outcome) {
            outcomes << QLatin1String(outcome);
            showingAtTheEnd = m_server->isShowingDialog();
            delete selector;
        };
        connect(selector, &BluetoothDeviceSelector::deviceSelected, this,
                [&](const BluetoothDevice &device) {
                    chosen = device;
                    end("selected");
                });
        connect(selector, &BluetoothDeviceSelector::dialogCanceled, this,
                [&end] { end("canceled"); });
        const bool offline = ending.startsWith(QLatin1String("offline"));
        if (offline) {
            QVERIFY(w.powerOff());
            setOffline(true);
        }
        QVariantList request { "phone", "", QStringList(), "" };
        if (ending == QLatin1String("offline yes, no address"))
            request = { "", "", QStringList(), "require=" };
        else if (ending.startsWith(QLatin1String("pair")))
            request = { "computer", "", QStringList(), "require" };
        expectRequestLog();
        QVERIFY(selector->startSelection(request));
        QString expected = QStringLiteral("canceled");
        if (offline) {
            auto *question = m_server->last<SwitchBluetoothOnConfirmation>();
            QVERIFY(question);
            QTRY_COMPARE(question->sceneWindowState(), OrvelSceneWindow::Appeared);
            const bool yes = ending.startsWith(QLatin1String("offline yes"));
            if (ending.endsWith(QLatin1String("address")))
                QTest::ignoreMessage(QtWarningMsg,
                                     "Special bonding requested without Bluetooth address");
            tap(question->button(yes ? QMessageBox::Yes : QMessageBox::No));
            // No: nothing is switched on. Yes: on, and the sheet searches.
            if (ending == QLatin1String("offline no"))
                QVERIFY(!simAdapter("powered").toBool());
            // Switched on, even when the flow ends at once.
            if (yes)
                QTRY_VERIFY(w.adapter->isPowered());
            if (ending == QLatin1String("offline yes")) {
                waitForSheetAndFind({ nearbyPhone });
                choose("Nearby phone");
                expected = QStringLiteral("selected");
            }
        } else if (ending == QLatin1String("choose")) {
            waitForSheetAndFind({ nearbyPhone });
            choose("Nearby phone");
            expected = QStringLiteral("selected");
        } else if (ending.startsWith(QLatin1String("pair"))) {
            waitForSheetAndFind({ laptop });
            if (ending == QLatin1String("pairing fails")) {
                QVERIFY(sim()->failNext(pairCall(),
                                        QStringLiteral("org.bluez.Error.AuthenticationFailed")));
                for (const char *re :
                     { "^Device creation failed: ", "[Pp]airing failed", "[Pp]airing failed" })
                    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QLatin1String(re)));
            } else {
                expected = QStringLiteral("selected");
            }
            choose("Laptop");
        } else if (ending == QLatin1String("cancel")) {
            waitForSheetAndFind({});
            tap(sheet()->rejectButton());
        } else if (ending == QLatin1String("unblock")) {
            // The paired phone is blocked from elsewhere before the choice is accepted.
            waitForSheetAndFind({});
            QTRY_VERIFY(cell("Paired phone"));
            BluetoothDeviceSelectionSheet *shown = sheet();
            tap(cell("Paired phone"));
            QVERIFY(sim()->changeDevice(pairedPhone, { { "blocked", true } }));
            QTRY_VERIFY(!cell("Paired phone"));
            tap(shown->acceptButton());
            QTRY_VERIFY(m_server->last<OrvelMessageBox>());
            auto *question = m_server->last<OrvelMessageBox>();
            QCOMPARE(question->text(), qtTrId("qtn_conn_bt_remove_block_i").arg("Paired phone"));
            QVERIFY(outcomes.isEmpty());
            tap(question->button(QMessageBox::Yes));
            // Unblocked, and the flow ends: the caller is not left waiting.
            QTRY_VERIFY(!simFlag(pairedPhone, "blocked"));
        } else if (ending == QLatin1String("selector deleted")) {
            waitForSheetAndFind({});
            delete selector;
            expected.clear();
        }
        if (!expected.isEmpty())
            QTRY_COMPARE(outcomes, QStringList { expected });
        if (expected == QLatin1String("selected")) {
            // Laptop paired on the way; nobody else.
            const bool paired = ending == QLatin1String("pair");
            QCOMPARE(chosen.address(), paired ? laptop : nearbyPhone);
            QCOMPARE(sim()->countCalls(pairCall()), int(paired));
            QCOMPARE(simFlag(chosen.address(), "paired"), paired);
            // A paired device comes as BlueZ now knows it.
            QCOMPARE(chosen.isPaired() && !chosen.path().isEmpty(), paired);
        }
        QVERIFY(!selector);
        QVERIFY(!showingAtTheEnd);
        QVERIFY(!m_server->isShowingDialog());
        // A server that leaves them to us has them deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const auto &window : std::as_const(m_server->shown))
            QVERIFY(!window);
        QCOMPARE(outcomes.size(), expected.isEmpty() ? 0 : 1);
    }

    void withoutBluetoothNothingOpens()
    {
        QVERIFY(dropBluez(sim()));
        QTRY_VERIFY(!w.adapter->isValid());
        Flow flow(m_server.get());
        QTest::ignoreMessage(QtWarningMsg, "BluetoothDeviceSelector: Bluetooth is not available");
        QVERIFY(!flow.start({ "phone", "", QStringList(), "" }));
        QVERIFY(m_server->shown.isEmpty());
        // Without a sheet there is no state to set or read.
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to change the state!");
        flow.selector.setPending(true);
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to cancel the sheet!");
        flow.selector.cancelSelectionSheet();
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to get the state!");
        QVERIFY(!flow.selector.isPending());
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set!");
        QVERIFY(!flow.selector.isSelectionSheetInSwitcher());
        QCOMPARE(flow.canceled.size() + flow.selected.size(), 0);
    }

    // rfkill keeps the radio off (BlueZ 5 tells it): the user is told so
    // instead of being asked, nothing is switched on, and the flow ends;
    // unblocked, the next request goes on as usual.
    void blockedRadioIsToldInsteadOfSwitchingOn()
    {
        if (!onBluez5())
            QSKIP("BlueZ 4 does not tell that rfkill blocks the radio");
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", true } }));
        QTRY_VERIFY(w.adapter->isRadioBlocked());
        Flow flow(m_server.get());
        QVERIFY(flow.start({ "phone", "", QStringList(), "" }));
        auto *note = qobject_cast<OrvelMessageBox *>(m_server->shown.value(0).data());
        QVERIFY(note && m_server->shown.size() == 1);
        QCOMPARE(note->text(), qtTrId("qtn_conn_bt_radio_blocked"));
        QTRY_COMPARE(note->sceneWindowState(), OrvelSceneWindow::Appeared);
        tap(note->button(QMessageBox::Ok));
        QCOMPARE(flow.canceled.size(), 1);
        QVERIFY(m_server->hidden.contains(QPointer<OrvelSceneWindow>(note)));
        QCOMPARE(w.adapterWrites(), 0);
        QVERIFY(sim()->changeAdapter({ { "rfkillBlocked", false } }));
        QTRY_VERIFY(!w.adapter->isRadioBlocked());
        QTRY_VERIFY(w.adapter->isPowered());
        QVERIFY(flow.start({ "phone", "", QStringList(), "" }));
        waitForSheetAndFind({ nearbyPhone });
        choose("Nearby phone");
        QCOMPARE(flow.selectedAddress(), nearbyPhone);
    }

    // A state set before the sheet reaches it: no search while busy.
    void pendingBeforeTheSheet()
    {
        Flow flow(m_server.get());
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to change the state!");
        flow.selector.setPending(true);
        QVERIFY(flow.start({ "phone", "", QStringList(), "" }));
        QTRY_COMPARE(sheet()->sceneWindowState(), OrvelSceneWindow::Appeared);
        QVERIFY(flow.selector.isPending());
        QCoreApplication::processEvents();
        QCOMPARE(sim()->countCalls(QStringLiteral("StartDiscovery")), 0);
        flow.selector.setPending(false);
        QTRY_VERIFY(w.adapter->isDiscovering());
        w.window.setInSwitcher(true);
        QVERIFY(flow.selector.isSelectionSheetInSwitcher());
        w.window.setInSwitcher(false);
        flow.selector.cancelSelectionSheet();
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceSelector)
#include "tst_bluetoothdeviceselector.moc"
