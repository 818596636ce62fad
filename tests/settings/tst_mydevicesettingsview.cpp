// Renaming the handset's own Bluetooth device on its page, typed as a user
// would, against the simulated BlueZ.

#include "bluetoothadapter.h"
#include "bluezhygiene.h"
#include "mydevicesettingsview.h"
#include "orvellabel.h"
#include "orvelsnapshot.h"
#include "ovrintranslations.h"
#include "settingstesting.h"
#include "simpleframe.h"
#include "testenvironment.h"

#include <QSignalSpy>

#include <memory>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;
using namespace SheetTesting;
using namespace SettingsTesting;

class TestMyDeviceSettingsView : public QObject
{
    Q_OBJECT

    OrvelApplicationWindow m_window;
    std::unique_ptr<BluetoothAdapter> m_adapter;
    MyDeviceSettingsView *m_view = nullptr;

    SimulatorClient *sim() { return TestEnvironment::instance()->simulator(); }

    QString simName() { return simulatedAdapter(sim()).value(QLatin1String("name")).toString(); }

    OrvelTextEdit *nameEdit()
    {
        return findItem<OrvelTextEdit>(m_view, QStringLiteral("MyDeviceNameEdit"));
    }

    int nameWrites()
    {
        return sim()->countCalls(QStringLiteral("SetProperty"),
                                 QStringLiteral("org.bluez.Adapter"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English)));
        QVERIFY(activate(&m_window));
    }

    void init()
    {
        QVERIFY2(sim()->loadScenarioFile(
                     TestEnvironment::testData(QStringLiteral("settings/scenarios/settings.json"))),
                 qPrintable(sim()->lastError()));
        QVERIFY(sim()->clearCallLog());
        SimpleInformationBanner::clearHistory();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        m_adapter.reset(BluetoothAdapter::defaultAdapter());
        QTRY_VERIFY(m_adapter->isValid());
        m_view = new MyDeviceSettingsView(*m_adapter);
        m_window.setCentralWidget(m_view);
        settle();
    }

    void cleanup()
    {
        m_window.setCentralWidget(nullptr);
        m_view = nullptr;
        m_adapter.reset();
        verifyBluezHygiene(sim());
    }

    void showsTheNameToEditAndTheAddress()
    {
        QCOMPARE(nameEdit()->text(), QStringLiteral("Ovrin handset"));
        QVERIFY(!nameEdit()->inputMethodCorrectionEnabled());
        auto frame = findItem<SimpleFrame>(m_view);
        QCOMPARE(frame->title(), qtTrId("qtn_conn_bt_device_name"));
        QCOMPARE(findItem<OrvelLabel>(m_view, QStringLiteral("MyDeviceAddressLabel"))->text(),
                 QStringLiteral("00:1A:7D:DA:71:13"));
        QVERIFY(
            OrvelSnapshot::save(&m_window, galleryPath(QStringLiteral("settings-my-device.png"))));
    }

    void mandatoryValuesFollowTheTyping()
    {
        QSignalSpy provided(m_view, &MyDeviceSettingsView::mandatoryValuesProvided);
        tap(nameEdit());
        QTest::keyClick(&m_window, Qt::Key_End);
        const int length = int(nameEdit()->text().size());
        for (int i = 0; i < length; ++i)
            QTest::keyClick(&m_window, Qt::Key_Backspace);
        QCOMPARE(nameEdit()->text(), QString());
        QCOMPARE(provided.size(), length);
        QCOMPARE(provided.last().at(0).toBool(), false);
        QCOMPARE(provided.at(length - 2).at(0).toBool(), true);
        QTest::keyClick(&m_window, 'x');
        QCOMPARE(provided.size(), length + 1);
        QCOMPARE(provided.last().at(0).toBool(), true);
    }

    void nameIsSavedAsTyped()
    {
        QVERIFY(retype(&m_window, nameEdit(), QStringLiteral("  Lab phone ")));
        QVERIFY(m_view->save());
        QTRY_COMPARE(simName(), QStringLiteral("  Lab phone "));
        QTRY_COMPARE(m_adapter->name(), QStringLiteral("  Lab phone "));
        QVERIFY(banners().isEmpty());
    }

    void blankNameIsRefusedWithABanner_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << QStringLiteral("   ");
    }

    void blankNameIsRefusedWithABanner()
    {
        QFETCH(QString, name);
        QVERIFY(retype(&m_window, nameEdit(), name));
        QVERIFY(!m_view->save());
        QCOMPARE(banners().size(), 1);
        QCOMPARE(banners().first().text, qtTrId("qtn_conn_bt_empty_device_name"));
        QCOMPARE(banners().first().timeout, 3000);
        QCOMPARE(nameWrites(), 0);
        QCOMPARE(simName(), QStringLiteral("Ovrin handset"));
    }

    // A name goes over the air in at most 248 bytes of UTF-8.
    void entryTakesNoMoreThanANameCanHold()
    {
        const QString twoByteLetters(123, QChar(0xE4));
        QVERIFY(nameEdit()->setText(twoByteLetters));
        tap(nameEdit());
        QTest::keyClick(&m_window, Qt::Key_End);
        typeText(&m_window, QString(QChar(0xF6)) + QStringLiteral("xy"));
        const QString full = twoByteLetters + QChar(0xF6);
        QCOMPARE(nameEdit()->text(), full);
        QVERIFY(!nameEdit()->setText(full + QLatin1Char('z')));
        QVERIFY(m_view->save());
        QTRY_COMPARE(simName(), full);
    }

    void nameNotTakenKeepsThePage()
    {
        QVERIFY(retype(&m_window, nameEdit(), QStringLiteral("Lab phone")));
        QVERIFY(refuseNext(sim(), QStringLiteral("org.bluez.Adapter.SetProperty"),
                           QStringLiteral("Name refused")));
        QVERIFY(!m_view->save());
        QCOMPARE(banners().size(), 1);
        QCOMPARE(banners().first().text, qtTrId("qtn_conn_bt_not_saved"));
        QCOMPARE(nameEdit()->text(), QStringLiteral("Lab phone"));
        QCOMPARE(simName(), QStringLiteral("Ovrin handset"));

        // With BlueZ gone, nothing can be written.
        QVERIFY(dropBluez(sim()));
        QVERIFY(!m_view->save());
        QCOMPARE(banners().size(), 2);
        QCOMPARE(banners().last().text, qtTrId("qtn_conn_bt_not_saved"));
        QVERIFY(restoreBluez(sim()));
        QTRY_VERIFY(m_adapter->isValid());
        QVERIFY(m_view->save());
        QTRY_COMPARE(simName(), QStringLiteral("Lab phone"));
    }
};

OVRIN_TEST_MAIN(TestMyDeviceSettingsView)
#include "tst_mydevicesettingsview.moc"
