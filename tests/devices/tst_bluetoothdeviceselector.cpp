// Choosing a device as an application does: a request to the selector, the
// sheet answered by taps, a real pairing with the simulated BlueZ when the
// request demands one, and the questions about offline mode and blocking.

#include "bluetoothconfirmationsheet.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothdeviceselector.h"
#include "devicesworld.h"
#include "notificationserver.h"
#include "offlinemode.h"
#include "orvelbutton.h"
#include "orvelgconfitem.h"
#include "orvelmessagebox.h"
#include "switchbluetoothonconfirmation.h"
#include "testdialogserver.h"

#include <QPointer>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;

namespace {
const QString pairedPhone = QStringLiteral("F4:0E:22:13:33:10"); // pairs without questions
const QString nearbyPhone = QStringLiteral("AA:00:00:00:00:01"); // confirms 004821
const QString oldPhone = QStringLiteral("AA:00:00:00:00:02");
const QString laptop = QStringLiteral("AA:00:00:00:00:03"); // pairs without questions
const QString printer = QStringLiteral("AA:00:00:00:00:04");
const QString a2dpSink = QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb");

using DialogServer = TestDialogServer;

// A selector with spies on its outcomes.
struct Flow
{
    explicit Flow(DialogServer *server)
        : selector(server)
    {
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
    std::unique_ptr<DialogServer> m_server;
    SimulatorClient *sim() { return w.sim(); }

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

    bool simFlag(const QString &address, const char *flag)
    {
        return w.simDevice(address, flag).toBool();
    }

    void setOffline(bool offline)
    {
        OrvelGConfItem key(OfflineMode::Key);
        QVERIFY(key.set(offline));
        QTRY_COMPARE(OfflineMode().currentStatus(),
                     int(offline ? OfflineMode::Offline : OfflineMode::Online));
    }

    // The user taps the paired phone, which is blocked from elsewhere before
    // the choice is accepted; the question about the block comes up.
    void chooseWhatIsBlockedMeanwhile()
    {
        waitForSheetAndFind({});
        QTRY_VERIFY(cell(QStringLiteral("Paired phone")));
        BluetoothDeviceSelectionSheet *shown = sheet();
        tap(cell(QStringLiteral("Paired phone")));
        QVERIFY(sim()->changeDevice(pairedPhone, { { "blocked", true } }));
        QTRY_VERIFY(!cell(QStringLiteral("Paired phone")));
        tap(shown->acceptButton());
        QTRY_VERIFY(m_server->last<OrvelMessageBox>()
                    && m_server->last<OrvelMessageBox>()->objectName()
                        == QLatin1String("BluetoothRemoveBlockQuestion"));
    }

    void ignoreRequestLog()
    {
        QTest::ignoreMessage(
            QtDebugMsg,
            QRegularExpression(QStringLiteral(
                "^bool Ovrin::BluetoothDeviceSelector::startSelection\\(QVariantList&\\) \\(")));
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
        m_server = std::make_unique<DialogServer>(&w.window);
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
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("warning");
        const QStringList none;
        QTest::newRow("any device")
            << QVariantList { "", "", none, "" }
            << QStringList { "Broken speaker", "Headset", "Laptop", "Nearby phone",
                             "Paired phone",   "Printer", "Speaker" }
            << QString();
        QTest::newRow("short request")
            << QVariantList { "phone" } << QStringList { "Nearby phone", "Paired phone" }
            << QString();
        QTest::newRow("major class") << QVariantList { "phone", "", none, "" }
                                     << QStringList { "Nearby phone", "Paired phone" } << QString();
        QTest::newRow("major and minor class") << QVariantList { "computer", "laptop", none, "" }
                                               << QStringList { "Laptop" } << QString();
        QTest::newRow("unknown minor class")
            << QVariantList { "phone", "toaster", none, "" }
            << QStringList { "Broken speaker", "Headset", "Laptop", "Nearby phone",
                             "Paired phone",   "Printer", "Speaker" }
            << QStringLiteral("***CoD not found!");
        QTest::newRow("service class name")
            << QVariantList { "", "", QStringList { "object transfer" }, "" }
            << QStringList { "Nearby phone", "Paired phone", "Printer" } << QString();
        QTest::newRow("service uuid")
            << QVariantList { "", "", QStringList { a2dpSink }, "" }
            << QStringList { "Broken speaker", "Headset", "Speaker" } << QString();
        QTest::newRow("invalid service word")
            << QVariantList { "", "", QStringList { "teleportation" }, "" }
            << QStringList { "Broken speaker", "Headset", "Nearby phone",
                             "Paired phone",   "Printer", "Speaker" }
            << QStringLiteral("Invalid service class: \"teleportation\"");
    }

    void filtersFromRequests()
    {
        QFETCH(QVariantList, request);
        QFETCH(QStringList, names);
        QFETCH(QString, warning);
        Flow flow(m_server.get());
        ignoreRequestLog();
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        QVERIFY(flow.selector.startSelection(request));
        waitForSheetAndFind({ nearbyPhone, laptop, printer });
        QTRY_COMPARE(shownNames().join(QLatin1String(", ")), names.join(QLatin1String(", ")));
        flow.selector.cancelSelectionSheet();
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
        QVERIFY(m_server->hidden.contains(QPointer<OrvelSceneWindow>(sheet())));
    }

    void noBondingReportsTheChoice()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        waitForSheetAndFind({ nearbyPhone });
        choose(QStringLiteral("Nearby phone"));
        QCOMPARE(flow.selected.size(), 1);
        QCOMPARE(flow.selectedAddress(), nearbyPhone);
        QCOMPARE(flow.canceled.size(), 0);
        QCOMPARE(sim()->countCalls(QStringLiteral("CreatePairedDevice")), 0);
        QTRY_VERIFY(!sheet());
    }

    void requiredBondingPairsAnUnpairedDevice()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(
            flow.selector.startSelection({ "", "", QStringList { "object transfer" }, "require" }));
        waitForSheetAndFind({ nearbyPhone });
        choose(QStringLiteral("Nearby phone"));
        // Pairing asks the user to compare the numbers; nothing reported yet.
        QTRY_VERIFY(m_server->last<BluetoothConfirmationSheet>());
        auto *confirmation = m_server->last<BluetoothConfirmationSheet>();
        QTRY_COMPARE(confirmation->sceneWindowState(), OrvelSceneWindow::Appeared);
        QCOMPARE(flow.selected.size(), 0);
        tap(confirmation->acceptButton());
        QTRY_COMPARE(flow.selected.size(), 1);
        QCOMPARE(flow.canceled.size(), 0);
        QVERIFY(simFlag(nearbyPhone, "paired"));
        const BluetoothDevice paired = flow.selected.at(0).at(0).value<BluetoothDevice>();
        QCOMPARE(paired.address(), nearbyPhone);
        // The application gets the device as BlueZ now knows it.
        QVERIFY(!paired.path().isEmpty());
        QVERIFY(paired.isPaired());
    }

    void requiredBondingTakesAPairedDeviceAsItIs()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "require" }));
        waitForSheetAndFind({});
        choose(QStringLiteral("Paired phone"));
        QCOMPARE(flow.selectedAddress(), pairedPhone);
        QCOMPARE(sim()->countCalls(QStringLiteral("CreatePairedDevice")), 0);
    }

    void failedPairingCancels()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "require" }));
        waitForSheetAndFind({ nearbyPhone });
        choose(QStringLiteral("Nearby phone"));
        QTRY_VERIFY(m_server->last<BluetoothConfirmationSheet>());
        QTest::ignoreMessage(QtWarningMsg,
                             "BluetoothDeviceSelector: pairing failed: org.bluez.Canceled");
        tap(m_server->last<BluetoothConfirmationSheet>()->rejectButton());
        QTRY_COMPARE(flow.canceled.size(), 1);
        // BlueZ's own word on the cancelled creation comes later; still one outcome.
        QTRY_COMPARE(sim()->countCalls(QStringLiteral("CancelDeviceCreation")), 1);
        QTest::qWait(200);
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
        QVERIFY(!simFlag(nearbyPhone, "paired"));
    }

    void forcedBondingPairsAgain()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "force" }));
        waitForSheetAndFind({});
        choose(QStringLiteral("Paired phone"));
        QTRY_COMPARE(flow.selected.size(), 1);
        QCOMPARE(flow.selectedAddress(), pairedPhone);
        QCOMPARE(sim()->countCalls(QStringLiteral("RemoveDevice")), 1);
        QCOMPARE(sim()->countCalls(QStringLiteral("CreatePairedDevice")), 1);
        QVERIFY(simFlag(pairedPhone, "paired"));
    }

    void bondingWithAGivenAddress()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(
            flow.selector.startSelection({ "", "", QStringList(), "require=" + laptop.toLower() }));
        QTRY_COMPARE(flow.selected.size(), 1);
        QCOMPARE(flow.selectedAddress(), laptop);
        QVERIFY(simFlag(laptop, "paired"));
        // No sheet for it.
        QVERIFY(!sheet());
    }

    void bondingWithABadAddress_data()
    {
        QTest::addColumn<QString>("option");
        QTest::newRow("none") << "require=";
        QTest::newRow("not an address") << "require=AA:00:00:00:00";
        QTest::newRow("path like") << "require=../../org/bluez";
    }

    void bondingWithABadAddress()
    {
        QFETCH(QString, option);
        Flow flow(m_server.get());
        ignoreRequestLog();
        QTest::ignoreMessage(QtWarningMsg, "Special bonding requested without Bluetooth address");
        QVERIFY(flow.selector.startSelection({ "", "", QStringList(), option }));
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
        QVERIFY(m_server->shown.isEmpty());
        QCOMPARE(sim()->countCalls(QStringLiteral("CreatePairedDevice")), 0);
    }

    void offlineModeAsksFirst()
    {
        QVERIFY(w.powerOff());
        setOffline(true);
        Flow flow(m_server.get());

        // No: nothing is switched on.
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        auto *question = m_server->last<SwitchBluetoothOnConfirmation>();
        QVERIFY(question);
        QTRY_COMPARE(question->sceneWindowState(), OrvelSceneWindow::Appeared);
        tap(question->button(QMessageBox::No));
        QCOMPARE(flow.canceled.size(), 1);
        QVERIFY(!sheet());
        QVERIFY(!w.simAdapter("powered").toBool());

        // Yes: on, and the sheet searches.
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        question = m_server->last<SwitchBluetoothOnConfirmation>();
        QTRY_COMPARE(question->sceneWindowState(), OrvelSceneWindow::Appeared);
        tap(question->button(QMessageBox::Yes));
        QTRY_VERIFY(w.adapter->isPowered());
        waitForSheetAndFind({ nearbyPhone });
        choose(QStringLiteral("Nearby phone"));
        QCOMPARE(flow.selectedAddress(), nearbyPhone);
        QCOMPARE(flow.canceled.size(), 1);
    }

    void bluetoothOffButOnlineSwitchesOn()
    {
        QVERIFY(w.powerOff());
        Flow flow(m_server.get());
        ignoreRequestLog();
        QTest::ignoreMessage(QtWarningMsg, "Just set power on bt adapter!");
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        QVERIFY(!m_server->last<SwitchBluetoothOnConfirmation>());
        QTRY_VERIFY(w.adapter->isPowered());
        waitForSheetAndFind({ nearbyPhone });
        QTRY_VERIFY(cell(QStringLiteral("Nearby phone")));
        flow.selector.cancelSelectionSheet();
        QCOMPARE(flow.canceled.size(), 1);
    }

    void blockedChoiceAsksToUnblock()
    {
        Flow flow(m_server.get());
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        chooseWhatIsBlockedMeanwhile();
        auto *question = m_server->last<OrvelMessageBox>();
        QCOMPARE(question->text(), qtTrId("qtn_conn_bt_remove_block_i").arg("Paired phone"));
        QCOMPARE(flow.selected.size(), 0);
        tap(question->button(QMessageBox::Yes));
        QTRY_VERIFY(!simFlag(pairedPhone, "blocked"));
        // The flow ends: the caller is not left waiting.
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
    }

    // However a flow ends, its windows are off the dialog server before the
    // final signal, on which the application may delete the selector; a
    // server that deletes what it hides is as safe as one that does not.
    void flowsEndCleanly_data()
    {
        QTest::addColumn<bool>("owningServer");
        QTest::addColumn<QString>("ending");
        const char *endings[] = { "choose",        "pair",
                                  "pairing fails", "cancel",
                                  "offline no",    "offline yes, no address",
                                  "unblock",       "selector deleted" };
        for (const bool owning : { false, true }) {
            for (const char *ending : endings)
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
        bool showingAtTheEnd = false;
        auto end = [&](const char *outcome) {
            outcomes << QLatin1String(outcome);
            showingAtTheEnd = m_server->isShowingDialog();
            delete selector;
        };
        connect(selector, &BluetoothDeviceSelector::deviceSelected, this,
                [&end] { end("selected"); });
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
        ignoreRequestLog();
        QVERIFY(selector->startSelection(request));

        QString expected = QStringLiteral("canceled");
        if (offline) {
            auto *question = m_server->last<SwitchBluetoothOnConfirmation>();
            QVERIFY(question);
            QTRY_COMPARE(question->sceneWindowState(), OrvelSceneWindow::Appeared);
            const bool yes = ending.endsWith(QLatin1String("address"));
            if (yes)
                QTest::ignoreMessage(QtWarningMsg,
                                     "Special bonding requested without Bluetooth address");
            tap(question->button(yes ? QMessageBox::Yes : QMessageBox::No));
        } else if (ending == QLatin1String("choose")) {
            waitForSheetAndFind({ nearbyPhone });
            choose(QStringLiteral("Nearby phone"));
            expected = QStringLiteral("selected");
        } else if (ending.startsWith(QLatin1String("pair"))) {
            waitForSheetAndFind({ laptop });
            if (ending == QLatin1String("pairing fails")) {
                QVERIFY(sim()->failNext(QStringLiteral("CreatePairedDevice"),
                                        QStringLiteral("org.bluez.Error.AuthenticationFailed")));
                QTest::ignoreMessage(
                    QtWarningMsg, QRegularExpression(QStringLiteral("^Device creation failed: ")));
                QTest::ignoreMessage(QtWarningMsg,
                                     QRegularExpression(QStringLiteral("[Pp]airing failed")));
                QTest::ignoreMessage(QtWarningMsg,
                                     QRegularExpression(QStringLiteral("[Pp]airing failed")));
            } else {
                expected = QStringLiteral("selected");
            }
            choose(QStringLiteral("Laptop"));
        } else if (ending == QLatin1String("cancel")) {
            waitForSheetAndFind({});
            tap(sheet()->rejectButton());
        } else if (ending == QLatin1String("unblock")) {
            chooseWhatIsBlockedMeanwhile();
            tap(m_server->last<OrvelMessageBox>()->button(QMessageBox::Yes));
        } else if (ending == QLatin1String("selector deleted")) {
            waitForSheetAndFind({});
            delete selector;
            expected.clear();
        }

        if (!expected.isEmpty())
            QTRY_COMPARE(outcomes, QStringList { expected });
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
        ignoreRequestLog();
        QTest::ignoreMessage(QtWarningMsg, "BluetoothDeviceSelector: Bluetooth is not available");
        QVERIFY(!flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        QVERIFY(m_server->shown.isEmpty());
        QCOMPARE(flow.canceled.size() + flow.selected.size(), 0);
    }

    void pendingAndCancelling()
    {
        Flow flow(m_server.get());
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to change the state!");
        flow.selector.setPending(true);
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to cancel the sheet!");
        flow.selector.cancelSelectionSheet();
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set! Unable to get the state!");
        QVERIFY(!flow.selector.isPending());
        QTest::ignoreMessage(QtWarningMsg, "Sheet not set!");
        QVERIFY(!flow.selector.isSelectionSheetInSwitcher());
        QCOMPARE(flow.canceled.size(), 0);

        // The stored state reaches the new sheet: no search while busy.
        ignoreRequestLog();
        QVERIFY(flow.selector.startSelection({ "phone", "", QStringList(), "" }));
        QTRY_COMPARE(sheet()->sceneWindowState(), OrvelSceneWindow::Appeared);
        QVERIFY(flow.selector.isPending());
        QCoreApplication::processEvents();
        QCOMPARE(sim()->countCalls(QStringLiteral("StartDiscovery")), 0);
        flow.selector.setPending(false);
        QTRY_VERIFY(w.adapter->isDiscovering());
        w.window.setInSwitcher(true);
        QVERIFY(flow.selector.isSelectionSheetInSwitcher());
        w.window.setInSwitcher(false);

        tap(sheet()->rejectButton());
        QCOMPARE(flow.canceled.size(), 1);
        QCOMPARE(flow.selected.size(), 0);
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceSelector)
#include "tst_bluetoothdeviceselector.moc"
