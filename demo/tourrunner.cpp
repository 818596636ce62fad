#include "tourrunner.h"

#include "bluetoothdevicecontentitem.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothfilereceivedialog.h"
#include "bluetoothtransfertracker.h"
#include "client.h"
#include "demopage.h"
#include "drilldownitem.h"
#include "filereceiver.h"
#include "orvelbutton.h"
#include "orvelprogressindicator.h"
#include "orvelsnapshot.h"
#include "orveltextedit.h"
#include "registry.h"
#include "sharingapp.h"
#include "simplecheckboxlabel.h"
#include "toolkittesting.h"
#include "transferrow.h"
#include "transfersview.h"

#include <QDir>

#include <cstdio>

using namespace Ovrin;
using namespace ToolkitTesting;

namespace {

// The row's bar shows the share the library reported done.
bool barShows(const TransferRow *row, const TransferUI::TransferInfo &info)
{
    return row && row->isVisible() && row->progressBar()->value() == qRound(info.progress * 100);
}

} // namespace

TourRunner::TourRunner(DemoShell *shell, const QString &folder, const QString &title)
    : m_shell(shell)
    , m_folder(folder)
    , m_title(title)
{
}

TourRunner::~TourRunner() = default;

int TourRunner::run()
{
    QDir().mkpath(m_folder);
    m_transcriptFile.setFileName(QDir(m_folder).filePath(QStringLiteral("transcript.txt")));
    if (!m_transcriptFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "%s: cannot write %s\n", qPrintable(m_title),
                     qPrintable(m_transcriptFile.fileName()));
        return 1;
    }
    m_transcript.setDevice(&m_transcriptFile);
    say(QStringLiteral("%1; pictures and this transcript in %2")
            .arg(m_title, QDir(m_folder).absolutePath()));

    runSteps();
    checkAfterSteps();
    say(QString());
    say(m_failedSteps.isEmpty()
            ? QStringLiteral("TOUR PASSED: %1 steps, %2 pictures").arg(m_steps).arg(m_pictures)
            : QStringLiteral("TOUR FAILED: %1").arg(m_failedSteps.join(QStringLiteral("; "))));
    return m_failedSteps.isEmpty() ? 0 : 1;
}

void TourRunner::runStep(const QString &title, const Step &step)
{
    ++m_steps;
    say(QString());
    say(QStringLiteral("== %1. %2").arg(m_steps).arg(title));
    m_stepFailed = false;
    const bool done = step();
    backToHome();
    if (!done || m_stepFailed)
        m_failedSteps.append(title);
}

void TourRunner::failTour(const QString &reason)
{
    m_failedSteps.append(reason);
}

void TourRunner::say(const QString &line)
{
    m_transcript << line << '\n';
    m_transcript.flush();
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

bool TourRunner::expect(bool ok, const QString &what)
{
    say(QStringLiteral("   %1 %2").arg(ok ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), what));
    if (!ok)
        m_stepFailed = true;
    return ok;
}

bool TourRunner::waitFor(const std::function<bool()> &condition, const QString &what, int timeoutMs)
{
    return expect(QTest::qWaitFor(condition, timeoutMs), what);
}

void TourRunner::picture(const QString &name)
{
    settle();
    const QString file
        = QStringLiteral("%1-%2.png").arg(++m_pictures, 2, 10, QLatin1Char('0')).arg(name);
    const bool saved = OrvelSnapshot::save(m_shell->window(), QDir(m_folder).filePath(file));
    expect(saved, QStringLiteral("picture %1").arg(file));
}

void TourRunner::tap(const QGraphicsItem *item, const QString &what)
{
    settle();
    say(QStringLiteral("   tap %1").arg(what));
    if (expect(item && item->isVisible(), QStringLiteral("%1 is on screen").arg(what)))
        ToolkitTesting::tap(item);
}

void TourRunner::longTap(const QGraphicsItem *item, const QString &what)
{
    settle();
    say(QStringLiteral("   long tap %1").arg(what));
    if (!expect(item && item->isVisible(), QStringLiteral("%1 is on screen").arg(what)))
        return;
    const QPointF where = centreOf(item);
    if (qEnvironmentVariableIsSet("TOUR_DEBUG")) {
        QGraphicsItem *top = item->scene()->itemAt(where, QTransform());
        qWarning() << "long tap at" << where << "top item"
                   << (top && top->toGraphicsObject()
                           ? top->toGraphicsObject()->metaObject()->className()
                           : "?");
    }
    press(item->scene(), where);
    QTest::qWait(OrvelList::LongTapTimeout + 200);
    release(item->scene(), where);
}

bool TourRunner::retype(QGraphicsItem *item, const QString &text)
{
    auto *edit = qobject_cast<OrvelTextEdit *>(item ? item->toGraphicsObject() : nullptr);
    if (!edit)
        return false;
    ToolkitTesting::tap(edit);
    QWidget *window = m_shell->window();
    QTest::keyClick(window, Qt::Key_End);
    for (int i = int(edit->text().size()); i > 0; --i)
        QTest::keyClick(window, Qt::Key_Backspace);
    typeText(window, text);
    say(QStringLiteral("   type \"%1\"").arg(text));
    return edit->text() == text;
}

bool TourRunner::openFromHome(const QString &app)
{
    tap(m_shell->launcher(app), QStringLiteral("%1 on the home screen").arg(app));
    const QString title = app == QLatin1String("Settings") ? QStringLiteral("Bluetooth") : app;
    return waitFor([&] { return pageTitled(title); },
                   QStringLiteral("the %1 page opens").arg(title));
}

bool TourRunner::openSettingsPage(const QString &itemName, const QString &title)
{
    tap(findItem<DrillDownItem>(pageTitled(QStringLiteral("Bluetooth")), itemName),
        QStringLiteral("the way to %1").arg(title));
    return waitFor([&] { return pageTitled(title); },
                   QStringLiteral("the %1 page opens").arg(title));
}

bool TourRunner::openDeviceListShowing(const QString &label, const QString &what)
{
    return openFromHome(QStringLiteral("Settings"))
        && openSettingsPage(QStringLiteral("BluetoothDevicesItem"), QStringLiteral("Devices"))
        && waitFor([&] { return deviceRow(label); }, what, 15000);
}

void TourRunner::backToHome()
{
    OrvelSceneManager *manager = m_shell->window()->sceneManager();
    const bool home = QTest::qWaitFor(
        [manager] {
            const auto windows = manager->sceneWindows();
            for (auto it = windows.crbegin(); it != windows.crend(); ++it)
                (*it)->disappear();
            return manager->sceneWindows().isEmpty();
        },
        5000);
    if (!home)
        expect(false, QStringLiteral("every window closes on the way back home"));
}

bool TourRunner::switchOnInSettings(const std::function<bool()> &poweredInBluez)
{
    if (!openFromHome(QStringLiteral("Settings")))
        return false;
    OrvelSceneWindow *page = pageTitled(QStringLiteral("Bluetooth"));
    auto *power = findItem<OrvelButton>(page, QStringLiteral("BluetoothOnOffSwitch"));
    if (!expect(power && !power->isChecked(), QStringLiteral("the power switch is off")))
        return false;
    picture(QStringLiteral("settings-off"));
    tap(power, QStringLiteral("the power switch"));
    auto *spinner = findItem<OrvelProgressIndicator>(page, QStringLiteral("BluetoothPowerSpinner"));
    expect(spinner && spinner->isVisible() && !power->isVisible(),
           QStringLiteral("a spinner stands in for the switch while the radio comes on"));
    picture(QStringLiteral("settings-powering"));
    if (!waitFor([&] { return poweredInBluez() && power->isVisible(); },
                 QStringLiteral("BlueZ reports the radio on and the switch is back")))
        return false;
    expect(power->isChecked() && !spinner->isVisible(), QStringLiteral("the switch shows on"));
    picture(QStringLiteral("settings-on"));
    return true;
}

bool TourRunner::makeVisibleInSettings(const std::function<bool()> &visibleInBluez)
{
    if (!openFromHome(QStringLiteral("Settings")))
        return false;
    auto *row = findItem<SimpleCheckBoxLabel>(pageTitled(QStringLiteral("Bluetooth")),
                                              QStringLiteral("BluetoothDiscoverableSwitch"));
    if (!expect(row && row->button() && !row->button()->isChecked(),
                QStringLiteral("the handset is hidden")))
        return false;
    tap(row->button(), QStringLiteral("the visibility switch"));
    if (!waitFor(visibleInBluez, QStringLiteral("BlueZ makes the adapter discoverable")))
        return false;
    expect(row->button()->isChecked(), QStringLiteral("the switch shows visible"));
    picture(QStringLiteral("settings-visible"));
    return true;
}

bool TourRunner::renameInSettings(const QString &name, const std::function<QString()> &nameInBluez)
{
    if (!openFromHome(QStringLiteral("Settings"))
        || !openSettingsPage(QStringLiteral("BluetoothDeviceNameItem"),
                             QStringLiteral("My device")))
        return false;
    auto *page = qobject_cast<DemoPage *>(pageTitled(QStringLiteral("My device")));
    if (!expect(retype(findItem<OrvelTextEdit>(page, QStringLiteral("MyDeviceNameEdit")), name),
                QStringLiteral("typed the name \"%1\"").arg(name)))
        return false;
    picture(QStringLiteral("my-device"));
    tap(page->acceptButton(), QStringLiteral("Save"));
    if (!waitFor([&] { return nameInBluez() == name; }, QStringLiteral("BlueZ has the new name")))
        return false;
    waitFor(
        [&] {
            auto *row = findItem<DrillDownItem>(pageTitled(QStringLiteral("Bluetooth")),
                                                QStringLiteral("BluetoothDeviceNameItem"));
            return row && row->subtitle() == name && !pageTitled(QStringLiteral("My device"));
        },
        QStringLiteral("the page closed and the settings page shows the new name"));
    picture(QStringLiteral("settings-renamed"));
    return true;
}

bool TourRunner::shareWith(const QString &name, const QString &pictureName)
{
    tap(findItem<OrvelButton>(pageTitled(QStringLiteral("Gallery")), QStringLiteral("ShareButton")),
        QStringLiteral("Share via Bluetooth"));
    if (!waitFor([this] { return topWindow<BluetoothDeviceSelectionSheet>(); },
                 QStringLiteral("the device selection sheet opens"))
        || !waitFor([&] { return deviceRow(name); }, QStringLiteral("it finds %1").arg(name),
                    15000))
        return false;
    tap(deviceRow(name), name);
    if (!pictureName.isEmpty())
        picture(pictureName);
    tap(topWindow<BluetoothDeviceSelectionSheet>()->acceptButton(), QStringLiteral("Continue"));
    return true;
}

QString TourRunner::runningSend(const QString &before)
{
    return waitForSend(before, true, QStringLiteral("the photo is on its way"));
}

QString TourRunner::unfinishedSend(const QString &before)
{
    return waitForSend(before, false, QStringLiteral("the transfer UI has the photo's send"));
}

QString TourRunner::waitForSend(const QString &before, bool moving, const QString &what)
{
    QString id;
    waitFor(
        [&] {
            // A file received meanwhile has an entry of its own.
            const auto transfers = TransferUI::Registry::instance()->transfers();
            for (auto it = transfers.crbegin(); it != transfers.crend(); ++it) {
                if (it->type == TransferUI::Client::TransferTypeUpload && it->id != before
                    && !it->isFinished() && (!moving || it->progress > 0)) {
                    id = it->id;
                    return true;
                }
            }
            return false;
        },
        what, 15000);
    return id;
}

TransferRow *TourRunner::transferRow(const QString &id) const
{
    OrvelSceneWindow *page = pageTitled(QStringLiteral("Transfers"));
    auto *view = page ? findItem<TransfersView>(page) : nullptr;
    return view ? view->row(id) : nullptr;
}

bool TourRunner::showsProgress(const QString &id)
{
    m_shell->openTransfers();
    TransferRow *row = nullptr;
    TransferUI::TransferInfo info;
    if (!waitFor(
            [&] {
                row = transferRow(id);
                info = TransferUI::Registry::instance()->transfer(id);
                return barShows(row, info) && row->texts().last().contains(QLatin1String("/s"));
            },
            QStringLiteral("the transfer list shows a bar at the share done and the speed")))
        return false;
    say(QStringLiteral("   row: %1").arg(row->texts().join(QStringLiteral(" | "))));
    return expect(
        row->progressBar()->value() > 0 && row->progressBar()->value() < 100
            && row->texts().last().contains(QStringLiteral("%1 s left").arg(info.secondsLeft))
            && row->cancelButton()->isVisible(),
        QStringLiteral("half way: the time left the library estimates, and Cancel"));
}

bool TourRunner::followsProgress(const QString &id)
{
    const int first = transferRow(id)->progressBar()->value();
    return waitFor(
        [&] {
            const TransferUI::TransferInfo info = TransferUI::Registry::instance()->transfer(id);
            const TransferRow *row = transferRow(id);
            return info.progress * 100 > first + 1 && barShows(row, info);
        },
        QStringLiteral("the bar moves on with the transfer from %1 %").arg(first));
}

bool TourRunner::showsSendUnderway(const QString &id, const QString &name)
{
    m_shell->openTransfers();
    TransferRow *row = nullptr;
    if (!waitFor(
            [&] {
                row = transferRow(id);
                return barShows(row, TransferUI::Registry::instance()->transfer(id))
                    && row->isRunning() && row->cancelButton()->isVisible()
                    && row->texts().value(1) == QStringLiteral("To %1").arg(name);
            },
            QStringLiteral("the transfer list shows the send to %1 under way: a bar at the share "
                           "done, and Cancel")
                .arg(name)))
        return false;
    say(QStringLiteral("   row: %1").arg(row->texts().join(QStringLiteral(" | "))));
    return true;
}

bool TourRunner::barFollowsToTheEnd(const QString &id)
{
    TransferUI::Registry *registry = TransferUI::Registry::instance();
    QList<int> shares;
    int behind = 0;
    // Connected after the transfer list: its row has changed already.
    const QMetaObject::Connection watch = QObject::connect(
        registry, &TransferUI::Registry::transferChanged, [&](const QString &changed) {
            if (changed != id)
                return;
            const TransferUI::TransferInfo info = registry->transfer(id);
            const int share = qRound(info.progress * 100);
            if (share > 0 && share < 100 && !shares.contains(share))
                shares.append(share);
            if (!barShows(transferRow(id), info))
                ++behind;
        });
    const bool ended = waitFor([&] { return registry->transfer(id).isFinished(); },
                               QStringLiteral("the send ends"), 60000);
    QObject::disconnect(watch);
    QStringList told;
    for (int share : std::as_const(shares))
        told.append(QStringLiteral("%1 %").arg(share));
    say(QStringLiteral("   shares told on the way: %1")
            .arg(told.isEmpty() ? QStringLiteral("none") : told.join(QStringLiteral(", "))));
    return ended
        && expect(behind == 0,
                  QStringLiteral("the bar showed the share done after every change it heard of"));
}

bool TourRunner::endsSent(const QString &id, const QString &name)
{
    const QString sent = QStringLiteral("Sent to %1").arg(name);
    if (!waitFor([&] { return m_shell->sharing()->status() == sent; },
                 QStringLiteral("the gallery says \"%1\"").arg(sent), 30000)) {
        say(QStringLiteral("   the gallery says \"%1\"").arg(m_shell->sharing()->status()));
        return false;
    }
    m_shell->openTransfers();
    waitFor(
        [&] {
            const TransferRow *row = transferRow(id);
            return row && row->progressBar()->value() == 100 && !row->cancelButton()->isVisible()
                && row->texts().last().startsWith(QStringLiteral("Sent"));
        },
        QStringLiteral("the transfer list shows it sent, with nothing left to cancel"));
    picture(QStringLiteral("sent"));
    return true;
}

bool TourRunner::waitForReceiveQuestion(int timeoutMs)
{
    return waitFor(
        [this] {
            const BluetoothFileReceiveDialog *question = m_shell->receiver()->question();
            return question && question->sceneWindowState() == OrvelSceneWindow::Appeared;
        },
        QStringLiteral("the handset asks whether to accept it"), timeoutMs);
}

bool TourRunner::listsReceived(const QString &relativePath)
{
    m_shell->openTransfers();
    return waitFor(
        [&] {
            auto *view = findItem<TransfersView>(pageTitled(QStringLiteral("Transfers")));
            return view && view->lines().join(u'\n').contains(relativePath);
        },
        QStringLiteral("the transfer UI lists %1").arg(relativePath));
}

OrvelSceneWindow *TourRunner::pageTitled(const QString &title) const
{
    const auto windows = m_shell->window()->sceneManager()->sceneWindows();
    for (OrvelSceneWindow *window : windows) {
        auto *page = qobject_cast<DemoPage *>(window);
        if (page && page->title() == title
            && page->sceneWindowState() == OrvelSceneWindow::Appeared)
            return page;
    }
    return nullptr;
}

// The row of the device labelled label in the list on top, scrolled into view.
QGraphicsItem *TourRunner::deviceRow(const QString &label) const
{
    const auto windows = m_shell->window()->sceneManager()->sceneWindows();
    BluetoothDeviceList *list
        = windows.isEmpty() ? nullptr : findItem<BluetoothDeviceList>(windows.last());
    if (!list)
        return nullptr;
    const auto find = [&]() -> QGraphicsItem * {
        settle();
        const QRectF view = list->mapRectToScene(list->rect());
        const auto cells = list->visibleCells();
        for (OrvelWidget *cell : cells) {
            auto *item = qobject_cast<BluetoothDeviceContentItem *>(cell);
            // Only a row wholly in view can take a tap on its middle.
            if (item && item->isVisible() && item->label() == label
                && view.contains(item->mapRectToScene(item->boundingRect())))
                return item;
        }
        return nullptr;
    };
    for (qreal position = 0; position <= list->contentHeight();
         position += list->size().height() / 2) {
        list->setScrollPosition(position);
        if (QGraphicsItem *row = find())
            return row;
    }
    return nullptr;
}
