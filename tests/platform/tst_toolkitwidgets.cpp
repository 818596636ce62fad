#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellocale.h"
#include "orvelmessagebox.h"
#include "orvelscenemanager.h"
#include "orvelsheet.h"
#include "orveltextedit.h"
#include "simpleinformationbanner.h"
#include "testenvironment.h"
#include "toolkitscreen.h"

#include <QPointer>
#include <QSignalSpy>

using namespace ToolkitTesting;

// What the toolkit does that the library's own screens never lean on: the
// sheets, switches, entries and lists those screens use are checked with them.
class TestToolkitWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void externalTextIsShownLiterally()
    {
        ToolkitScreen screen;
        const QString name = QStringLiteral("<b>x</b>&amp;");
        auto label = screen.add(new OrvelLabel(name));
        QCOMPARE(label->displayedText(), name);
        // Drawn as plain text, the markup takes the room of its characters.
        QVERIFY(label->effectiveSizeHint(Qt::PreferredSize).width()
                >= QFontMetricsF(label->font()).horizontalAdvance(name));
        label->setTextElide(true);
        label->resize(120, label->size().height());
        QVERIFY(label->displayedText().startsWith(QStringLiteral("<b>")));
        QVERIFY(label->displayedText().endsWith(QChar(0x2026)));
    }

    void switchTogglesOnlyOnATap()
    {
        ToolkitScreen screen;
        auto button = screen.add(new OrvelButton);
        button->setViewType(OrvelButton::switchType);
        button->setCheckable(true);
        QSignalSpy toggled(button, &OrvelButton::toggled);
        tap(button);
        QCOMPARE(toggled.count(), 1);
        // A press that slides off the switch before release is no tap.
        press(button->scene(), centreOf(button));
        release(button->scene(), centreOf(button) + QPointF(0, 300));
        button->setEnabled(false);
        tap(button);
        QCOMPARE(toggled.count(), 1);
        QVERIFY(button->isChecked());
    }

    void numberEntryTakesDigitsOnly()
    {
        ToolkitScreen screen;
        auto number = screen.add(new OrvelTextEdit(OrvelTextEdit::NumberContentType));
        QVERIFY(number->inputMethodHints() & Qt::ImhDigitsOnly);
        QVERIFY(activate(&screen.window));
        tap(number);
        type(&screen.window, QStringLiteral("4x2"));
        QCOMPARE(number->text(), QStringLiteral("42"));
    }

    void modalShadeTakesTapsMeantForWhatLiesBelow()
    {
        ToolkitScreen screen;
        auto button = screen.add(new OrvelButton(QStringLiteral("Below")));
        QSignalSpy clicked(button, &OrvelButton::clicked);
        auto box = new OrvelMessageBox(QStringLiteral("Note"), QMessageBox::Ok);
        QSignalSpy finished(box, &OrvelDialog::finished);
        box->appear(&screen.window, OrvelSceneWindow::DestroyWhenDone);
        QVERIFY(!box->geometry().contains(centreOf(button)));

        // Neither the button below nor the box hears of it.
        tap(button);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(finished.count(), 0);
        QPointer<OrvelMessageBox> watch(box);
        tap(box->button(QMessageBox::Ok));
        QCOMPARE(finished.at(0).at(0).toInt(), int(QMessageBox::Ok));
        QTRY_VERIFY(!watch);
        tap(button);
        QCOMPARE(clicked.count(), 1);
    }

    void sceneWindowDisplayEvents()
    {
        OrvelApplicationWindow window;
        OrvelSheet sheet;
        auto child = new OrvelWidget(&sheet);
        QSignalSpy entered(child, &OrvelWidget::displayEntered);
        QSignalSpy exited(child, &OrvelWidget::displayExited);
        QVERIFY(!sheet.isVisible());
        sheet.appear(&window);
        QCOMPARE(entered.count(), 1);
        QVERIFY(child->isOnDisplay() && sheet.isVisible());
        QCOMPARE(sheet.geometry(), QRectF(QPointF(0, 0), OrvelApplicationWindow::ScreenSize));
        sheet.disappear();
        QCOMPARE(exited.count(), 1);
        QVERIFY(!child->isOnDisplay() && !sheet.isVisible());
        QVERIFY(window.sceneManager()->sceneWindows().isEmpty());
    }

    void bannerGoesAwayByItself()
    {
        OrvelApplicationWindow window;
        QPointer<Ovrin::SimpleInformationBanner> lasting = Ovrin::SimpleInformationBanner::show(
            QStringLiteral("Connection failed"), QStringLiteral("icon-m-bluetooth"));
        QVERIFY(lasting && lasting->isVisible());
        QVERIFY(lasting->geometry().top() < 100);
        Ovrin::SimpleInformationBanner::show(QStringLiteral("Type at least one character"), 50);
        QCOMPARE(window.sceneManager()->sceneWindows().size(), 2);
        QTRY_COMPARE(window.sceneManager()->sceneWindows(),
                     QList<OrvelSceneWindow *> { lasting.data() });
    }

    void localeNumbers()
    {
        OrvelLocale arabic(QLocale(QStringLiteral("ar")));
        const QString local = arabic.toLocalizedNumbers(QStringLiteral("0427"));
        QCOMPARE(local.size(), 4);
        QVERIFY(local.at(0).unicode() > 255);
        QCOMPARE(arabic.toLatinNumbers(local), QStringLiteral("0427"));
        OrvelLocale english(QLocale(QLocale::English));
        QCOMPARE(english.formatShortNumber(999), QStringLiteral("999"));
        QCOMPARE(english.formatShortNumber(1250), QStringLiteral("1.3k"));
        QCOMPARE(english.formatShortNumber(34000000), QStringLiteral("34M"));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestToolkitWidgets)
#include "tst_toolkitwidgets.moc"
