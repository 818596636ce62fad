#include "dialoghelperwidget.h"
#include "drilldownitem.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvelscenemanager.h"
#include "simplecheckboxlabel.h"
#include "simpleframe.h"
#include "simpleinformationbanner.h"
#include "simplesheet.h"
#include "testenvironment.h"
#include "toolkittesting.h"

#include <QSignalSpy>

using namespace ToolkitTesting;

namespace {

// A sheet that stays open on accept until it is allowed to close, as sheets
// that check their input do.
class CheckingSheet : public Ovrin::SimpleSheet
{
public:
    bool allowAccept = false;
    QStringList calls;
    CheckingSheet()
    {
        setTitle(QStringLiteral("Pair with Headset"));
        setAcceptLabel(QStringLiteral("Pair"));
        setRejectLabel(QStringLiteral("Cancel"));
        createContent();
    }
    void accept() override
    {
        calls << QStringLiteral("accept");
        SimpleSheet::accept();
    }
    void done(bool accepted) override
    {
        calls << QStringLiteral("done");
        if (accepted && !allowAccept)
            return;
        SimpleSheet::done(accepted);
    }

protected:
    void createContent() override
    {
        auto label = new OrvelLabel(QStringLiteral("Type the code"));
        setContent(new Ovrin::DialogHelperWidget(label));
    }
};

} // namespace

// The companion library's pieces, tapped through the scene.
class TestCompanionWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sheetAcceptAndRejectFromTheTitleBar()
    {
        OrvelApplicationWindow window;
        CheckingSheet sheet;
        QSignalSpy accepted(&sheet, &Ovrin::SimpleSheet::accepted);
        QSignalSpy rejected(&sheet, &Ovrin::SimpleSheet::rejected);
        sheet.appear(&window);
        settle();
        QCOMPARE(sheet.acceptButton()->text(), QStringLiteral("Pair"));
        QCOMPARE(sheet.rejectButton()->text(), QStringLiteral("Cancel"));
        QVERIFY(sheet.content()->geometry().top() >= sheet.headerWidget()->geometry().bottom());
        QVERIFY(!sheet.isProgressIndicatorVisible());
        sheet.setProgressIndicatorVisible(true);
        QVERIFY(sheet.isProgressIndicatorVisible());

        // A disabled accept button does nothing.
        sheet.setAcceptEnabled(false);
        tap(sheet.acceptButton());
        QVERIFY(sheet.calls.isEmpty());

        // The subclass refuses to close: the sheet stays, nothing is emitted.
        sheet.setAcceptEnabled(true);
        tap(sheet.acceptButton());
        QCOMPARE(sheet.calls, (QStringList { QStringLiteral("accept"), QStringLiteral("done") }));
        QCOMPARE(sheet.sceneWindowState(), OrvelSceneWindow::Appeared);
        QCOMPARE(accepted.count(), 0);

        sheet.allowAccept = true;
        tap(sheet.acceptButton());
        QCOMPARE(accepted.count(), 1);
        QVERIFY(sheet.isAccepted());
        QCOMPARE(sheet.sceneWindowState(), OrvelSceneWindow::Disappeared);

        sheet.appear(&window);
        tap(sheet.rejectButton());
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!sheet.isAccepted());
        QCOMPARE(sheet.sceneWindowState(), OrvelSceneWindow::Disappeared);
    }

    void bannerIsShownAndRemembered()
    {
        OrvelApplicationWindow window;
        Ovrin::SimpleInformationBanner::clearHistory();
        QPointer<Ovrin::SimpleInformationBanner> banner = Ovrin::SimpleInformationBanner::show(
            QStringLiteral("Connection failed"), QStringLiteral("icon-m-bluetooth"));
        QVERIFY(banner);
        QVERIFY(window.sceneManager()->sceneWindows().contains(banner.data()));
        QVERIFY(banner->isVisible());
        QCOMPARE(banner->geometry().top() < 100, true);

        Ovrin::SimpleInformationBanner::show(QStringLiteral("Type at least one character"), 50);
        const auto history = Ovrin::SimpleInformationBanner::history();
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0).text, QStringLiteral("Connection failed"));
        QCOMPARE(history.at(0).iconId, QStringLiteral("icon-m-bluetooth"));
        QCOMPARE(history.at(0).timeout, int(Ovrin::SimpleInformationBanner::DefaultTimeout));
        QCOMPARE(history.at(1).timeout, 50);
        QVERIFY(history.at(1).iconId.isEmpty());
        // The short one goes by itself; the other is still up.
        QTRY_COMPARE(window.sceneManager()->sceneWindows().size(), 1);
        QVERIFY(banner);
    }

    void rowsReactToTaps()
    {
        OrvelApplicationWindow window;
        OrvelSceneWindow page;
        auto frame = new Ovrin::SimpleFrame(QStringLiteral("My device"), &page);
        auto column = new OrvelWidget;
        frame->setContent(column);
        auto drill = new Ovrin::DrillDownItem(column);
        drill->setTitle(QStringLiteral("Name"));
        drill->setSubtitle(QStringLiteral("<i>Phone</i>"));
        auto button = new OrvelButton;
        auto row = new Ovrin::SimpleCheckBoxLabel(button, QStringLiteral("Visible"),
                                                  OrvelButton::switchType, column);
        drill->setGeometry(0, 0, 480, 100);
        row->setGeometry(0, 100, 480, 90);
        frame->setGeometry(0, 0, 480, 400);
        page.appear(&window);
        settle();
        QCOMPARE(frame->title(), QStringLiteral("My device"));
        QVERIFY(button->isSwitch());
        QVERIFY(button->isCheckable());

        QSignalSpy clicked(drill, &Ovrin::DrillDownItem::clicked);
        tap(drill);
        QCOMPARE(clicked.count(), 1);

        QSignalSpy toggled(button, &OrvelButton::toggled);
        tap(button);
        // The row's text is a tap target too.
        tap(row->label());
        QCOMPARE(toggled.count(), 2);
        QVERIFY(!button->isChecked());
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestCompanionWidgets)
#include "tst_companionwidgets.moc"
