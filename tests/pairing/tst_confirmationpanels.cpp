#include "bluetoothauthorizationdialog.h"
#include "bluetoothcodepanel.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothtrustpanel.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvelscenewindow.h"
#include "orvelsnapshot.h"
#include "orvelwidgetregistry.h"
#include "ovrintranslations.h"
#include "sheettesting.h"
#include "simpleinformationbanner.h"
#include "testenvironment.h"
#include "toolkittesting.h"

#include <QSignalSpy>

using namespace ToolkitTesting;
using namespace SheetTesting;
using Ovrin::BluetoothCodePanel;
using Ovrin::BluetoothConfirmationSheet;
using Ovrin::BluetoothTrustPanel;
using Ovrin::SimpleInformationBanner;

namespace {

const QChar ltrEmbedding(0x202A);
const QChar popDirection(0x202C);

QString shownCode(const QGraphicsItem *root)
{
    auto label = findItem<OrvelLabel>(root, QStringLiteral("BluetoothCodeLabel"));
    return label ? label->text() : QString();
}

} // namespace

class TestConfirmationPanels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English))); }

    void init() { SimpleInformationBanner::clearHistory(); }

    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void codePanelShowsTwoGroupsOfThree_data()
    {
        QTest::addColumn<uint>("passkey");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zero") << 0u << "en"
                              << "000 000";
        QTest::newRow("largest") << 999999u << "en"
                                 << "999 999";
        QTest::newRow("four digits") << 1234u << "en"
                                     << "001 234";
        QTest::newRow("six digits") << 123456u << "en"
                                    << "123 456";
        QTest::newRow("arabic-indic")
            << 123456u << "ar" << QStringLiteral("\u0661\u0662\u0663\u200e \u0664\u0665\u0666");
        QTest::newRow("arabic-indic zeros")
            << 7u << "ar" << QStringLiteral("\u0660\u0660\u0660\u200e \u0660\u0660\u0667");
    }
    void codePanelShowsTwoGroupsOfThree()
    {
        QFETCH(uint, passkey);
        QFETCH(QString, locale);
        QFETCH(QString, shown);
        QLocale::setDefault(QLocale(locale));
        BluetoothCodePanel panel(passkey);
        const QString text = shownCode(&panel);
        QCOMPARE(text, ltrEmbedding + shown + popDirection);
        // Read back by the locale, the groups give the passkey again.
        QString digits = text.mid(1, text.size() - 2);
        digits.remove(QChar(0x200E));
        const QStringList groups = digits.split(QLatin1Char(' '));
        QCOMPARE(groups.size(), 2);
        bool ok1 = false, ok2 = false;
        const uint value
            = QLocale().toUInt(groups.at(0), &ok1) * 1000 + QLocale().toUInt(groups.at(1), &ok2);
        QVERIFY(ok1 && ok2);
        QCOMPARE(value, passkey);
        auto info = findItem<OrvelLabel>(&panel);
        QVERIFY(info);
        QCOMPARE(info->text(), qtTrId("qtn_conn_bt_passcode_info"));
        QVERIFY(info->wordWrap());
    }

    void codePanelIsKnownToTheTheme()
    {
        QVERIFY(OrvelWidgetRegistry::isRegistered(QStringLiteral("BluetoothCodePanel")));
        QCOMPARE(OrvelWidgetRegistry::themeName(QStringLiteral("BluetoothCodePanel")),
                 QStringLiteral("ovrin-bluetooth"));
        // Styled only: there is nothing to create it from a name with.
        QVERIFY(!OrvelWidgetRegistry::create(QStringLiteral("BluetoothCodePanel")));
    }

    void confirmationSheetWithAndWithoutCode()
    {
        OrvelApplicationWindow window;
        BluetoothConfirmationSheet withCode(QStringLiteral("Car kit"), 42, true);
        withCode.appear(&window);
        settle();
        QCOMPARE(withCode.title(), qtTrId("qtn_conn_bt_pair_with").arg(QStringLiteral("Car kit")));
        QCOMPARE(withCode.acceptButton()->text(), qtTrId("qtn_conn_bt_confirm"));
        QCOMPARE(withCode.rejectButton()->text(), qtTrId("qtn_comm_cancel"));
        QCOMPARE(withCode.styleName(), QStringLiteral("Inverted"));
        auto code = findItem<BluetoothCodePanel>(&withCode);
        QVERIFY(code);
        QVERIFY(code->isVisible());
        QCOMPARE(shownCode(&withCode), ltrEmbedding + QStringLiteral("000 042") + popDirection);
        auto trust = findItem<BluetoothTrustPanel>(&withCode);
        QVERIFY(trust);
        // The code comes first, the switch below it.
        QVERIFY(code->mapToScene(code->boundingRect()).boundingRect().bottom()
                <= trust->mapToScene(trust->boundingRect()).boundingRect().top() + 0.5);
        withCode.disappear();

        BluetoothConfirmationSheet withoutCode(QString(), 42, false);
        withoutCode.appear(&window);
        settle();
        QCOMPARE(withoutCode.title(), qtTrId("qtn_conn_bt_pair_with").arg(QString()));
        QVERIFY(!findItem<BluetoothCodePanel>(&withoutCode));
        QVERIFY(shownCode(&withoutCode).isEmpty());
        QVERIFY(findItem<BluetoothTrustPanel>(&withoutCode));
    }

    void confirmationSheetAnswersAndTrust()
    {
        OrvelApplicationWindow window;
        BluetoothConfirmationSheet sheet(QStringLiteral("Headset"), 123456, true);
        QSignalSpy accepted(&sheet, &BluetoothConfirmationSheet::accepted);
        QSignalSpy rejected(&sheet, &BluetoothConfirmationSheet::rejected);
        sheet.appear(&window);
        QVERIFY(activate(&window));
        QVERIFY(sheet.isTrusted());
        auto trustSwitch = findItem<OrvelButton>(&sheet, QStringLiteral("BluetoothTrustedButton"));
        QVERIFY(trustSwitch);
        tap(trustSwitch);
        QVERIFY(!sheet.isTrusted());

        tap(sheet.acceptButton());
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(rejected.count(), 0);
        QCOMPARE(sheet.sceneWindowState(), OrvelSceneWindow::Disappeared);
        QVERIFY(!sheet.isTrusted());

        sheet.appear(&window);
        settle();
        tap(sheet.rejectButton());
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(sheet.sceneWindowState(), OrvelSceneWindow::Disappeared);
    }

    void trustPanelSwitch()
    {
        OrvelApplicationWindow window;
        OrvelSceneWindow page;
        auto off = new BluetoothTrustPanel(&page);
        auto on = new BluetoothTrustPanel(true, &page);
        off->setGeometry(0, 0, 480, 90);
        on->setGeometry(0, 100, 480, 90);
        page.appear(&window);
        settle();
        QVERIFY(!off->isTrusted());
        QVERIFY(on->isTrusted());
        QCOMPARE(on->styleName(), QStringLiteral("CommonPanel"));
        auto label = findItem<OrvelLabel>(on);
        QVERIFY(label);
        QCOMPARE(label->text(), qtTrId("qtn_conn_bt_authorization"));

        auto button = findItem<OrvelButton>(on, QStringLiteral("BluetoothTrustedButton"));
        QVERIFY(button);
        QVERIFY(button->isSwitch());
        QCOMPARE(button->styleName(), QStringLiteral("CommonRightSwitch"));

        QSignalSpy changed(on, &BluetoothTrustPanel::valueChanged);
        tap(button);
        QVERIFY(!on->isTrusted());
        QVERIFY(!on->property("trusted").toBool());
        QCOMPARE(changed.count(), 1);
        on->setTrusted(true);
        QVERIFY(button->isChecked());
        QCOMPARE(changed.count(), 2);
        on->setProperty("trusted", false);
        QVERIFY(!on->isTrusted());
        QCOMPARE(changed.count(), 3);
    }

    void disabledTrustPanelSwallowsTaps()
    {
        OrvelApplicationWindow window;
        OrvelSceneWindow page;
        auto panel = new BluetoothTrustPanel(true, &page);
        panel->setGeometry(0, 0, 480, 90);
        page.appear(&window);
        settle();
        auto button = findItem<OrvelButton>(panel, QStringLiteral("BluetoothTrustedButton"));
        QVERIFY(button);
        QSignalSpy changed(panel, &BluetoothTrustPanel::valueChanged);

        panel->setEnabled(false);
        QVERIFY(button->isEnabled());
        tap(button);
        QVERIFY(panel->isTrusted());
        QCOMPARE(changed.count(), 0);
        QVERIFY(!button->isDown());
        tap(button);
        QCOMPARE(changed.count(), 0);
        const auto history = SimpleInformationBanner::history();
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0).text, qtTrId("qtn_conn_bt_pairing_ongoing"));
        QCOMPARE(history.at(0).iconId, QStringLiteral("icon-m-bluetooth"));

        // Disabling twice and enabling once leaves it working.
        panel->setEnabled(false);
        panel->setEnabled(true);
        tap(button);
        QVERIFY(!panel->isTrusted());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(SimpleInformationBanner::history().size(), 2);
    }

    void authorizationDialogAsks()
    {
        BluetoothAuthorizationDialog dialog(QStringLiteral("Car kit"));
        QCOMPARE(dialog.title(), qtTrId("qtn_conn_bt_connection_request"));
        QCOMPARE(dialog.text(),
                 qtTrId("qtn_conn_bt_connection_request_i").arg(QStringLiteral("Car kit")));
        QCOMPARE(dialog.standardButtons(), QMessageBox::Yes | QMessageBox::No);
    }

    void gallery_data()
    {
        QTest::addColumn<bool>("showPasskey");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("file");
        QTest::newRow("with code") << true << "en"
                                   << "pairing-confirmation-sheet.png";
        QTest::newRow("without code") << false << "en"
                                      << "pairing-confirmation-sheet-nocode.png";
        QTest::newRow("with code arabic") << true << "ar"
                                          << "pairing-confirmation-sheet-arabic.png";
    }
    void gallery()
    {
        QFETCH(bool, showPasskey);
        QFETCH(QString, locale);
        QFETCH(QString, file);
        QLocale::setDefault(QLocale(locale));
        OrvelApplicationWindow window;
        BluetoothConfirmationSheet sheet(QStringLiteral("BRIVO Aura"), 12345, showPasskey);
        sheet.appear(&window);
        QVERIFY(activate(&window));
        QVERIFY(OrvelSnapshot::save(&window, galleryPath(file)));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestConfirmationPanels)
#include "tst_confirmationpanels.moc"
