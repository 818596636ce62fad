#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellocale.h"
#include "orvelmessagebox.h"
#include "orvelscenemanager.h"
#include "orvelsheet.h"
#include "orvelsnapshot.h"
#include "orveltextedit.h"
#include "orvelwidgetregistry.h"
#include "testenvironment.h"
#include "toolkitscreen.h"

#include <QPointer>
#include <QRegularExpressionValidator>
#include <QSignalSpy>
#include <QTimer>

using namespace ToolkitTesting;

// The toolkit's widgets driven by taps and typing through the scene.
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
        const qreal plainWidth = QFontMetricsF(label->font()).horizontalAdvance(name);
        QVERIFY(label->effectiveSizeHint(Qt::PreferredSize).width() >= plainWidth);

        // Eliding shortens but never interprets.
        label->setTextElide(true);
        label->resize(120, label->size().height());
        QVERIFY(label->displayedText().startsWith(QStringLiteral("<b>")));
        QVERIFY(label->displayedText().endsWith(QChar(0x2026)));
    }

    void switchTogglesOnTap()
    {
        ToolkitScreen screen;
        auto button = screen.add(new OrvelButton);
        button->setViewType(OrvelButton::switchType);
        button->setCheckable(true);
        QSignalSpy toggled(button, &OrvelButton::toggled);
        QSignalSpy clicked(button, &OrvelButton::clicked);

        tap(button);
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.at(0).at(0).toBool(), true);
        QCOMPARE(clicked.count(), 1);
        tap(button);
        QCOMPARE(toggled.at(1).at(0).toBool(), false);

        // A press that slides off the switch before release is no tap.
        press(button->scene(), centreOf(button));
        release(button->scene(), centreOf(button) + QPointF(0, 300));
        QCOMPARE(toggled.count(), 2);

        // What a panel does while its switch must not change: an event filter
        // swallows the switch's presses and releases.
        struct Holder : QObject
        {
            int releases = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                releases += event->type() == QEvent::GraphicsSceneMouseRelease;
                return event->type() == QEvent::GraphicsSceneMousePress
                    || event->type() == QEvent::GraphicsSceneMouseRelease;
            }
        } holder;
        button->installEventFilter(&holder);
        tap(button);
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(holder.releases, 1);
        button->removeEventFilter(&holder);

        button->setEnabled(false);
        tap(button);
        QCOMPARE(toggled.count(), 2);
    }

    // Typing reaches the focused entry only as its validator, read-only state
    // and content type allow.
    void entriesFilterWhatIsTyped()
    {
        ToolkitScreen screen;
        auto digits = screen.add(new OrvelTextEdit);
        QRegularExpressionValidator validator(QRegularExpression(QStringLiteral("[0-9]{0,4}")));
        digits->setValidator(&validator);
        auto fixed = screen.add(
            new OrvelTextEdit(OrvelTextEdit::FreeTextContentType, QStringLiteral("fixed")));
        fixed->setReadOnly(true);
        auto number = screen.add(new OrvelTextEdit(OrvelTextEdit::NumberContentType));
        number->setInputMethodCorrectionEnabled(false);
        number->setInputMethodAutoCapitalizationEnabled(false);
        QVERIFY(activate(&screen.window));

        QSignalSpy changed(digits, &OrvelTextEdit::textChanged);
        tap(digits);
        QVERIFY(digits->hasFocus());
        type(&screen.window, QStringLiteral("12a3-45"));
        QCOMPARE(digits->text(), QStringLiteral("1234"));
        QCOMPARE(changed.count(), 4);
        QTest::keyClick(&screen.window, Qt::Key_Backspace);
        QCOMPARE(digits->text(), QStringLiteral("123"));
        QVERIFY(!digits->setText(QStringLiteral("12345")));
        QCOMPARE(digits->text(), QStringLiteral("123"));

        tap(fixed);
        QSignalSpy fixedChanged(fixed, &OrvelTextEdit::textChanged);
        type(&screen.window, QStringLiteral("abc"));
        QTest::keyClick(&screen.window, Qt::Key_Backspace);
        QCOMPARE(fixed->text(), QStringLiteral("fixed"));
        QCOMPARE(fixedChanged.count(), 0);
        fixed->setReadOnly(false);
        type(&screen.window, QStringLiteral("!"));
        QCOMPARE(fixed->text(), QStringLiteral("fixed!"));

        QVERIFY(number->inputMethodHints() & Qt::ImhDigitsOnly);
        QVERIFY(number->inputMethodHints() & Qt::ImhNoPredictiveText);
        QVERIFY(number->inputMethodHints() & Qt::ImhNoAutoUppercase);
        tap(number);
        type(&screen.window, QStringLiteral("4x2"));
        QCOMPARE(number->text(), QStringLiteral("42"));
    }

    void messageBoxExecReturnsThePressedButton()
    {
        OrvelApplicationWindow window;
        OrvelMessageBox box(QStringLiteral("Receive file?"), QStringLiteral("From Phone"),
                            QMessageBox::Yes | QMessageBox::No);
        QSignalSpy accepted(&box, &OrvelDialog::accepted);
        QSignalSpy rejected(&box, &OrvelDialog::rejected);
        QSignalSpy finished(&box, &OrvelDialog::finished);
        QTimer::singleShot(0, &box, [&box] { tap(box.button(QMessageBox::Yes)); });
        QCOMPARE(box.exec(&window), int(QMessageBox::Yes));
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(rejected.count(), 0);
        QCOMPARE(finished.at(0).at(0).toInt(), int(QMessageBox::Yes));
        QCOMPARE(box.sceneWindowState(), OrvelSceneWindow::Disappeared);

        // The shade beside the box does not answer it; the No button does.
        QTimer::singleShot(0, &box, [&box, &window] {
            tapAt(window.scene(), QPointF(5, 5));
            tap(box.button(QMessageBox::No));
        });
        QCOMPARE(box.exec(&window), int(QMessageBox::No));
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(finished.count(), 2);
    }

    void modalShadeTakesTapsMeantForWhatLiesBelow()
    {
        ToolkitScreen screen;
        auto button = screen.add(new OrvelButton(QStringLiteral("Below")));
        QSignalSpy clicked(button, &OrvelButton::clicked);
        auto box = new OrvelMessageBox(QStringLiteral("Note"), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->setText(QStringLiteral("Delete"));
        QSignalSpy finished(box, &OrvelDialog::finished);
        box->appear(&screen.window, OrvelSceneWindow::DestroyWhenDone);
        QVERIFY(!box->geometry().contains(centreOf(button)));

        tap(button);
        QCOMPARE(clicked.count(), 0);
        QPointer<OrvelMessageBox> watch(box);
        tap(box->button(QMessageBox::Ok));
        QCOMPARE(finished.at(0).at(0).toInt(), int(QMessageBox::Ok));
        // Done and gone: the box was to be destroyed when done.
        QTRY_VERIFY(!watch);
        tap(button);
        QCOMPARE(clicked.count(), 1);
    }

    void sceneWindowDisplayEvents()
    {
        OrvelApplicationWindow window;
        OrvelSheet sheet;
        auto child = new OrvelWidget(&sheet);
        QSignalSpy appeared(&sheet, &OrvelSceneWindow::appeared);
        QSignalSpy disappeared(&sheet, &OrvelSceneWindow::disappeared);
        QSignalSpy entered(child, &OrvelWidget::displayEntered);
        QSignalSpy exited(child, &OrvelWidget::displayExited);
        QVERIFY(!sheet.isVisible());

        sheet.appear(&window);
        QCOMPARE(appeared.count(), 1);
        QCOMPARE(entered.count(), 1);
        QVERIFY(child->isOnDisplay());
        QVERIFY(sheet.isVisible());
        QCOMPARE(sheet.geometry(), QRectF(QPointF(0, 0), OrvelApplicationWindow::ScreenSize));
        QCOMPARE(window.sceneManager()->sceneWindows(), QList<OrvelSceneWindow *> { &sheet });

        sheet.disappear();
        QCOMPARE(disappeared.count(), 1);
        QCOMPARE(exited.count(), 1);
        QVERIFY(!child->isOnDisplay());
        QVERIFY(!sheet.isVisible());
        QVERIFY(window.sceneManager()->sceneWindows().isEmpty());
    }

    void switcherState()
    {
        OrvelApplicationWindow window;
        QSignalSpy entered(&window, &OrvelApplicationWindow::switcherEntered);
        QSignalSpy exited(&window, &OrvelApplicationWindow::switcherExited);
        window.setInSwitcher(true);
        window.setInSwitcher(true);
        QVERIFY(window.isInSwitcher());
        window.setInSwitcher(false);
        QCOMPARE(entered.count(), 1);
        QCOMPARE(exited.count(), 1);
        QCOMPARE(OrvelApplicationWindow::activeWindow(), &window);
    }

    void localeAndRegistry()
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

        OrvelWidgetRegistry::registerWidget(QStringLiteral("TestPanel"),
                                            QStringLiteral("testtheme"));
        QVERIFY(OrvelWidgetRegistry::isRegistered(QStringLiteral("TestPanel")));
        QCOMPARE(OrvelWidgetRegistry::themeName(QStringLiteral("TestPanel")),
                 QStringLiteral("testtheme"));
        QVERIFY(!OrvelWidgetRegistry::create(QStringLiteral("TestPanel")));
    }

    void snapshotShowsTheScreen()
    {
        OrvelApplicationWindow window;
        OrvelSheet sheet;
        sheet.setStyleName(QStringLiteral("Inverted"));
        sheet.appear(&window);
        const QImage image = OrvelSnapshot::render(&window);
        QCOMPARE(image.size(), OrvelApplicationWindow::ScreenSize);
        // The inverted sheet covers the light window background.
        QCOMPARE(QColor(image.pixel(240, 400)), OrvelTheme::palette(true).background);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestToolkitWidgets)
#include "tst_toolkitwidgets.moc"
