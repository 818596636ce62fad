// Renaming the handset's own Bluetooth device on its page, typed as a user
// would, against the simulated BlueZ.

#include "devicesworld.h"
#include "mydevicesettingsview.h"
#include "orvellabel.h"

#include <QSignalSpy>

using namespace Ovrin;
using namespace OvrinTest;
using namespace ToolkitTesting;

class TestMyDeviceSettingsView : public QObject
{
    Q_OBJECT

    DevicesWorld w { "settings/scenarios/settings.json", true };
    MyDeviceSettingsView *m_view = nullptr;

    QString simName() { return simAdapter("name").toString(); }
    OrvelTextEdit *nameEdit() { return w.item<OrvelTextEdit>("MyDeviceNameEdit"); }
    int nameWrites() { return w.adapterWrites(); }

private Q_SLOTS:
    void initTestCase() { w.showWindow(); }
    void init()
    {
        w.init();
        m_view = new MyDeviceSettingsView(*w.adapter);
        w.window.setCentralWidget(m_view);
        settle();
    }
    void cleanup() { w.cleanup(); }

    void showsTheAddressAndTheNameToEdit()
    {
        QCOMPARE(w.item<OrvelLabel>("MyDeviceAddressLabel")->text(),
                 QStringLiteral("00:1A:7D:DA:71:13"));
        QVERIFY(!nameEdit()->inputMethodCorrectionEnabled());
        QSignalSpy provided(m_view, &MyDeviceSettingsView::mandatoryValuesProvided);
        QVERIFY(w.retype(nameEdit(), QStringLiteral("x")));
        // One word per key: a name until the last letter of "Ovrin handset" goes.
        QCOMPARE(provided.size(), 14);
        QVERIFY(provided.at(11).at(0).toBool());
        QVERIFY(!provided.at(12).at(0).toBool());
        QVERIFY(provided.at(13).at(0).toBool());
    }

    // Saved as typed, blanks and all; a blank name is refused with a banner.
    void savingTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("saved");
        QTest::newRow("as typed") << QStringLiteral("  Lab phone ") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("blanks") << QStringLiteral("   ") << false;
    }
    void savingTheName()
    {
        QFETCH(QString, name);
        QFETCH(bool, saved);
        QVERIFY(w.retype(nameEdit(), name));
        QCOMPARE(m_view->save(), saved);
        const QString expected = saved ? name : QStringLiteral("Ovrin handset");
        QTRY_COMPARE(simName(), expected);
        QCOMPARE(nameWrites(), int(saved));
        QCOMPARE(banners().size(), int(!saved));
        if (!saved) {
            QCOMPARE(banners().first().text, qtTrId("qtn_conn_bt_empty_device_name"));
            QCOMPARE(banners().first().timeout, 3000);
        }
    }

    // A name goes over the air in at most 248 bytes of UTF-8.
    void entryTakesNoMoreThanANameCanHold()
    {
        const QString twoByteLetters(123, QChar(0xE4));
        QVERIFY(nameEdit()->setText(twoByteLetters));
        tap(nameEdit());
        QTest::keyClick(&w.window, Qt::Key_End);
        typeText(&w.window, QString(QChar(0xF6)) + QStringLiteral("xy"));
        const QString full = twoByteLetters + QChar(0xF6);
        QCOMPARE(nameEdit()->text(), full);
        QVERIFY(!nameEdit()->setText(full + QLatin1Char('z')));
        QVERIFY(m_view->save());
        QTRY_COMPARE(simName(), full);
    }

    void nameNotTakenKeepsThePage()
    {
        QVERIFY(w.retype(nameEdit(), QStringLiteral("Lab phone")));
        QVERIFY(w.refuseNext(adapterWrite(), "Name refused"));
        QVERIFY(!m_view->save());
        QCOMPARE(nameEdit()->text(), QStringLiteral("Lab phone"));
        QCOMPARE(simName(), QStringLiteral("Ovrin handset"));
        // With BlueZ gone, nothing can be written.
        QVERIFY(dropBluez(sim()));
        QVERIFY(!m_view->save());
        QCOMPARE(banners().size(), 2);
        for (const auto &banner : banners())
            QCOMPARE(banner.text, qtTrId("qtn_conn_bt_not_saved"));
        QVERIFY(restoreBluez(sim()));
        QTRY_VERIFY(w.adapter->isValid());
        QVERIFY(m_view->save());
        QTRY_COMPARE(simName(), QStringLiteral("Lab phone"));
    }
};

OVRIN_TEST_MAIN(TestMyDeviceSettingsView)
#include "tst_mydevicesettingsview.moc"
