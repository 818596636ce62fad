#include "bluetoothcodepanel.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothtrustpanel.h"
#include "orvellabel.h"
#include "orvelscenewindow.h"
#include "ovrintranslations.h"
#include "pairingworld.h"

#include <QSignalSpy>

using namespace ToolkitTesting;
using namespace OvrinTest;
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
        QTest::newRow("zero") << 0u << "en" << QStringLiteral("000 000");
        QTest::newRow("four digits") << 1234u << "en" << QStringLiteral("001 234");
        QTest::newRow("six digits") << 123456u << "en" << QStringLiteral("123 456");
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
        QCOMPARE(shownCode(&panel), ltrEmbedding + shown + popDirection);
    }

    void confirmationSheetWithAndWithoutCode()
    {
        OrvelApplicationWindow window;
        BluetoothConfirmationSheet withCode(QStringLiteral("Car kit"), 42, true);
        withCode.appear(&window);
        settle();
        auto code = findItem<BluetoothCodePanel>(&withCode);
        QVERIFY(code && code->isVisible());
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
        QVERIFY(!findItem<BluetoothCodePanel>(&withoutCode));
        QVERIFY(findItem<BluetoothTrustPanel>(&withoutCode));
    }

    void trustPanelSwitchAndItsDisabledState()
    {
        OrvelApplicationWindow window;
        OrvelSceneWindow page;
        QVERIFY(!BluetoothTrustPanel().isTrusted());
        auto on = new BluetoothTrustPanel(true, &page);
        on->setGeometry(0, 0, 480, 90);
        page.appear(&window);
        settle();
        QVERIFY(on->isTrusted());
        auto button = trustSwitch(on);
        QVERIFY(button);

        QSignalSpy changed(on, &BluetoothTrustPanel::valueChanged);
        tap(button);
        QVERIFY(!on->isTrusted());
        QCOMPARE(changed.count(), 1);
        on->setTrusted(true);
        QVERIFY(button->isChecked());
        QCOMPARE(changed.count(), 2);

        // Disabled while pairing runs: taps are swallowed, and say why.
        on->setTrusted(true);
        changed.clear();
        on->setEnabled(false);
        QVERIFY(button->isEnabled());
        tap(button);
        QVERIFY(on->isTrusted());
        QCOMPARE(changed.count(), 0);
        QVERIFY(!button->isDown());
        tap(button);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(bannerTexts(), QStringList(2, qtTrId("qtn_conn_bt_pairing_ongoing")));

        // Disabling twice and enabling once leaves it working.
        on->setEnabled(false);
        on->setEnabled(true);
        tap(button);
        QVERIFY(!on->isTrusted());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(bannerTexts().size(), 2);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestConfirmationPanels)
#include "tst_confirmationpanels.moc"
