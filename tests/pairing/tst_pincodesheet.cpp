#include "bluetoothpincodesheet.h"
#include "bluetoothpincodevalidator.h"
#include "ovrintranslations.h"
#include "pairingworld.h"

#include <QSignalSpy>

using namespace ToolkitTesting;
using namespace OvrinTest;
using Ovrin::BluetoothPinCodeEdit;
using Ovrin::BluetoothPinCodeSheet;
using Ovrin::SimpleInformationBanner;

namespace {

const QString arabicDigits = QStringLiteral("\u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668"
                                            "\u0669");

// A sheet on screen with the entry focused, ready for typing.
struct ShownSheet
{
    OrvelApplicationWindow window;
    BluetoothPinCodeSheet sheet;
    BluetoothPinCodeEdit *edit = nullptr;

    ShownSheet(const QString &name, BluetoothPinCodeEdit::BluetoothPasskeyType type)
        : sheet(name, type)
    {
        sheet.appear(&window);
        edit = pinEdit(&sheet);
    }
    bool activate()
    {
        if (!ToolkitTesting::activate(&window) || !edit)
            return false;
        tap(edit);
        return edit->hasFocus();
    }
    void type(const QString &text) { typeText(&window, text); }
};

} // namespace

class TestPinCodeSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(Ovrin::installTranslations(QLocale(QLocale::English))); }

    void init() { SimpleInformationBanner::clearHistory(); }

    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void typedTextIsLimitedByType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        const int pin = BluetoothPinCodeEdit::PinCodeType;
        const int passkey = BluetoothPinCodeEdit::PasskeyType;
        QTest::newRow("pin: 16 letters and digits, the 17th refused")
            << pin << QStringLiteral("abcdEFGH12345678x") << QStringLiteral("abcdEFGH12345678");
        QTest::newRow("pin: space and dash refused")
            << pin << QStringLiteral("12 34-ab") << QStringLiteral("1234ab");
        QTest::newRow("pin: locale digits and letters of other scripts")
            << pin << arabicDigits.left(3) + QStringLiteral("\u00e4")
            << arabicDigits.left(3) + QStringLiteral("\u00e4");
        // BlueZ takes 16 bytes of UTF-8: what would not fit is refused as typed.
        QTest::newRow("pin: 8 two-byte letters, a 9th or a digit more refused")
            << pin << QString(9, QChar(0x00e4)) + QStringLiteral("1") << QString(8, QChar(0x00e4));
        QTest::newRow("pin: three-byte letters count three")
            << pin << QStringLiteral("ab") + QString(5, QChar(0x4e2d)) + QStringLiteral("1")
            << QStringLiteral("ab") + QString(4, QChar(0x4e2d)) + QStringLiteral("1");
        QTest::newRow("pin: locale digits count as the ASCII sent")
            << pin << arabicDigits + arabicDigits.left(7) << arabicDigits + arabicDigits.left(6);
        QTest::newRow("passkey: six digits, the 7th refused")
            << passkey << QStringLiteral("1234567") << QStringLiteral("123456");
        QTest::newRow("passkey: letters refused") << passkey << QStringLiteral("1a2B3") << "123";
        QTest::newRow("passkey: locale digits")
            << passkey << arabicDigits.left(6) + arabicDigits.at(6) << arabicDigits.left(6);
    }
    void typedTextIsLimitedByType()
    {
        QFETCH(int, type);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        ShownSheet shownSheet(QStringLiteral("Headset"),
                              BluetoothPinCodeEdit::BluetoothPasskeyType(type));
        QVERIFY(shownSheet.activate());
        shownSheet.type(typed);
        QCOMPARE(shownSheet.edit->text(), shown);
    }

    // Typing shows what the validator refuses; an empty entry it takes.
    void validatorTakesTheEmptyEntry()
    {
        for (auto type : { BluetoothPinCodeEdit::PinCodeType, BluetoothPinCodeEdit::PasskeyType }) {
            int pos = 0;
            QString empty;
            QCOMPARE(Ovrin::BluetoothPinCodeValidator(type, nullptr).validate(empty, pos),
                     QValidator::Acceptable);
        }
    }

    void passkeyEntryAsksForNumbers()
    {
        BluetoothPinCodeEdit passkey(BluetoothPinCodeEdit::PasskeyType);
        QCOMPARE(passkey.contentType(), OrvelTextEdit::NumberContentType);
        BluetoothPinCodeEdit pin(BluetoothPinCodeEdit::PinCodeType);
        QCOMPARE(pin.contentType(), OrvelTextEdit::FreeTextContentType);
        for (const BluetoothPinCodeEdit *edit : { &passkey, &pin })
            QVERIFY(!edit->inputMethodCorrectionEnabled() && !edit->inputMethodPredictionEnabled()
                    && !edit->inputMethodAutoCapitalizationEnabled());
    }

    void acceptButtonFollowsText()
    {
        ShownSheet shown(QStringLiteral("Car kit"), BluetoothPinCodeEdit::PinCodeType);
        QSignalSpy accepted(&shown.sheet, &BluetoothPinCodeSheet::accepted);
        QVERIFY(shown.activate());
        QVERIFY(!shown.sheet.isAcceptEnabled());
        tap(shown.sheet.acceptButton());
        QCOMPARE(accepted.count(), 0);
        // Should the button ever be enabled over an empty entry, the sheet
        // still refuses it and says why.
        shown.sheet.setAcceptEnabled(true);
        tap(shown.sheet.acceptButton());
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(shown.sheet.sceneWindowState(), OrvelSceneWindow::Appeared);
        QCOMPARE(bannerTexts(), QStringList { qtTrId("qtn_conn_bt_at_least_one_char") });

        tap(shown.edit);
        shown.type(QStringLiteral("0"));
        QVERIFY(shown.sheet.isAcceptEnabled());
        QTest::keyClick(&shown.window, Qt::Key_Backspace);
        QVERIFY(shown.edit->text().isEmpty());
        QVERIFY(!shown.sheet.isAcceptEnabled());

        shown.type(QStringLiteral("0000"));
        QVERIFY(shown.sheet.isAcceptEnabled());
        tap(shown.sheet.acceptButton());
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(shown.sheet.sceneWindowState(), OrvelSceneWindow::Disappeared);
        QCOMPARE(shown.sheet.pinCode(), QStringLiteral("0000"));
    }

    // While pairing runs: typing and accepting are refused (with a banner
    // saying why), cancelling still works.
    void readOnlyFreezesInput()
    {
        ShownSheet shown(QStringLiteral("Headset"), BluetoothPinCodeEdit::PinCodeType);
        QSignalSpy accepted(&shown.sheet, &BluetoothPinCodeSheet::accepted);
        QSignalSpy rejected(&shown.sheet, &BluetoothPinCodeSheet::rejected);
        QVERIFY(shown.activate());
        shown.type(QStringLiteral("12"));
        shown.sheet.setReadOnly(true);
        shown.type(QStringLiteral("34"));
        QCOMPARE(shown.edit->text(), QStringLiteral("12"));
        tap(shown.sheet.acceptButton());
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(shown.sheet.sceneWindowState(), OrvelSceneWindow::Appeared);
        QCOMPARE(bannerTexts(), QStringList { qtTrId("qtn_conn_bt_pairing_ongoing") });

        shown.sheet.setReadOnly(false);
        tap(shown.edit);
        shown.type(QStringLiteral("3"));
        QCOMPARE(shown.edit->text(), QStringLiteral("123"));
        shown.sheet.setReadOnly(true);
        tap(shown.sheet.rejectButton());
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(shown.sheet.sceneWindowState(), OrvelSceneWindow::Disappeared);
    }

    void localeDigitsShownAndReadBack()
    {
        QLocale::setDefault(QLocale(QStringLiteral("ar")));
        ShownSheet shown(QStringLiteral("Headset"), BluetoothPinCodeEdit::PasskeyType);
        shown.sheet.setPinCode(QStringLiteral("1234"));
        QCOMPARE(shown.edit->text(), arabicDigits.mid(1, 4));

        // Digits typed in the locale's script come back as ASCII.
        QVERIFY(shown.activate());
        QTest::keyClick(&shown.window, Qt::Key_Backspace);
        QTest::keyClick(&shown.window, Qt::Key_Backspace);
        shown.type(arabicDigits.mid(7, 2));
        QCOMPARE(shown.sheet.pinCode(), QStringLiteral("1278"));
    }

    void pinCodeKeepsLettersAndAsciiDigits()
    {
        QLocale::setDefault(QLocale(QStringLiteral("ar")));
        BluetoothPinCodeSheet sheet(QStringLiteral("Keyboard"), BluetoothPinCodeEdit::PinCodeType);
        sheet.setPinCode(QStringLiteral("ab09"));
        QCOMPARE(sheet.pinCode(), QStringLiteral("ab09"));
        QLocale::setDefault(QLocale(QLocale::English));
        // Digits of another script than the locale's still keep their value.
        sheet.setPinCode(arabicDigits.left(4));
        QCOMPARE(sheet.pinCode(), QStringLiteral("0123"));
        QCOMPARE(pinEdit(&sheet)->text(), QStringLiteral("0123"));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestPinCodeSheet)
#include "tst_pincodesheet.moc"
