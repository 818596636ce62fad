// The device selection sheet over the simulated BlueZ: it discovers only while
// in front of the user, its pending layout, placeholders and choosing by taps.

#include "bluetoothdeviceinfoutils.h"
#include "bluetoothdeviceselectionsheet.h"
#include "devicesworld.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvelobjectmenu.h"

#include <QPointer>
#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace OvrinTest::Selection;
using namespace ToolkitTesting;

class TestBluetoothDeviceSelectionSheet : public QObject
{
    Q_OBJECT

    DevicesWorld w { "devices/scenarios/selection.json" };
    QPointer<BluetoothDeviceSelectionSheet> m_sheet;

    int starts() { return sim()->countCalls(QStringLiteral("StartDiscovery")); }
    int stops() { return sim()->countCalls(QStringLiteral("StopDiscovery")); }

    BluetoothDeviceSelectionSheet *showSheet(const QMap<QString, QVariant> &filter = {})
    {
        m_sheet = new BluetoothDeviceSelectionSheet(w.adapter.get(), filter);
        m_sheet->appear(&w.window);
        settle();
        return m_sheet;
    }

    BluetoothDeviceContentItem *cell(const QString &label)
    {
        return deviceCell(m_sheet->deviceList(), label);
    }

    OrvelLabel *sendAnotherText()
    {
        return findItem<OrvelLabel>(m_sheet, QStringLiteral("BluetoothSendAnotherLabel"));
    }

private Q_SLOTS:
    void initTestCase() { w.showWindow(); }
    void init()
    {
        w.init();
        w.window.setInSwitcher(false);
    }
    void cleanup()
    {
        if (m_sheet) {
            m_sheet->disappear();
            delete m_sheet;
        }
        // Whatever happened, the sheet left no discovery running.
        QTRY_VERIFY(!w.adapter->isDiscovering());
        w.cleanup();
    }

    void discoveryRunsOnlyWhileTheSheetIsInFront()
    {
        BluetoothDeviceSelectionSheet *sheet = showSheet();
        QTRY_COMPARE(starts(), 1);
        QTRY_VERIFY(w.adapter->isDiscovering());
        // Another trigger does not stack a second discovery.
        Q_EMIT w.adapter->adapterValid();
        QCoreApplication::processEvents();
        QCOMPARE(starts(), 1);
        QVERIFY(sendAnotherText() && !sendAnotherText()->isVisible());
        QTRY_VERIFY(sheet->isProgressIndicatorVisible());
        // Busy: the note replaces the list and the search rests.
        sheet->setPending(true);
        QCOMPARE(stops(), 1);
        QTRY_VERIFY(sendAnotherText()->isVisible());
        QVERIFY(!sheet->deviceList()->isVisible());
        // The search is over, yet the sheet still waits; its note sits in
        // the middle of the room below the title.
        QTRY_VERIFY(!w.adapter->isDiscovering());
        QVERIFY(sheet->isProgressIndicatorVisible());
        settle();
        const QRectF room = sheet->content()->sceneBoundingRect();
        QVERIFY(room.height() > 400);
        QVERIFY(qAbs(sendAnotherText()->sceneBoundingRect().center().y() - room.center().y()) < 2);
        sheet->setPending(true);
        QCOMPARE(stops(), 1);
        sheet->setPending(false);
        QCOMPARE(starts(), 2);
        QTRY_VERIFY(sheet->deviceList()->isVisible());
        // In the task switcher the user cannot see it.
        w.window.setInSwitcher(true);
        QVERIFY(sheet->isInSwitcher());
        QCOMPARE(stops(), 2);
        w.window.setInSwitcher(false);
        QCOMPARE(starts(), 3);
        // Bluetooth off and on again while it is shown: searching again.
        QVERIFY(w.powerOff());
        QTRY_VERIFY(cell(qtTrId("qtn_conn_bt_is_off")));
        QVERIFY(sim()->changeAdapter({ { "powered", true } }));
        QTRY_COMPARE(starts(), 4);
        QTRY_VERIFY(w.adapter->isDiscovering());
        QCOMPARE(stops(), 2);
        // BlueZ leaving and coming back while it is shown: searching again,
        // once the controller's inquiry of the BlueZ that left has ended.
        QVERIFY(dropBluez(sim()));
        QVERIFY(restoreBluez(sim()));
        QTRY_VERIFY(starts() >= 5);
        QTRY_VERIFY_WITH_TIMEOUT(w.adapter->isDiscovering(), 15000);
        const int startsAsked = starts();
        // Off screen: stopped.
        sheet->disappear();
        QTRY_COMPARE(stops(), 3);
        QCOMPARE(starts(), startsAsked);
    }

    void placeholderFollowsDiscovering()
    {
        // No known device passes this filter, and none is in range.
        showSheet(
            { { QStringLiteral("majorClass"),
                int(BluetoothDeviceInfoUtils::stringToMajorClass(QStringLiteral("imaging"))) } });
        QTRY_VERIFY(w.adapter->isDiscovering());
        QTRY_VERIFY(cell(QString()));
        QTRY_VERIFY(m_sheet->isProgressIndicatorVisible());
        QVERIFY(
            sim()->setRawProperty(QStringLiteral("adapter"), QStringLiteral("Discovering"), false));
        QTRY_VERIFY(cell(qtTrId("qtn_conn_no_devices_found")));
        QTRY_VERIFY(!m_sheet->isProgressIndicatorVisible());
        // A text row, not a device: tapping it chooses nothing.
        BluetoothDeviceContentItem *text = cell(qtTrId("qtn_conn_no_devices_found"));
        QCOMPARE(text->kind(), QStringLiteral("TextCell"));
        tap(text);
        QVERIFY(!m_sheet->isAcceptEnabled());
    }

    void choosingADevice()
    {
        BluetoothDeviceSelectionSheet *sheet = showSheet();
        QSignalSpy chosen(sheet, &BluetoothDeviceSelectionSheet::deviceSelectionFinished);
        QList<QString> order;
        connect(sheet, &SimpleSheet::accepted, this, [&order] { order << "accepted"; });
        connect(sheet, &BluetoothDeviceSelectionSheet::deviceSelectionFinished, this,
                [&order] { order << "chosen"; });
        QTRY_VERIFY(w.adapter->isDiscovering());
        QVERIFY(sim()->reportDeviceFound(laptop));
        QTRY_VERIFY(cell("Laptop"));
        // Nothing chosen yet: continue does nothing.
        QVERIFY(!sheet->isAcceptEnabled());
        tap(sheet->acceptButton());
        QVERIFY(order.isEmpty());
        // A long tap offers no menu here.
        QSignalSpy longTapped(sheet->deviceList(), &OrvelList::itemLongTapped);
        press(w.window.scene(), centreOf(cell("Speaker")));
        QTRY_COMPARE(longTapped.size(), 1);
        release(w.window.scene(), centreOf(cell("Speaker")));
        QVERIFY(!w.shown<OrvelObjectMenu>());
        tap(cell("Laptop"));
        QVERIFY(sheet->isAcceptEnabled());
        tap(sheet->acceptButton());
        QCOMPARE(order, (QList<QString> { "accepted", "chosen" }));
        QCOMPARE(chosen.at(0).at(0).value<BluetoothDevice>().address(), laptop);
        // Leaving the screen ends the search.
        QTRY_COMPARE(stops(), 1);
    }
};

OVRIN_TEST_MAIN(TestBluetoothDeviceSelectionSheet)
#include "tst_bluetoothdeviceselectionsheet.moc"
