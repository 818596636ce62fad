#include "demotour.h"

#include "bluetoothadapter.h"
#include "bluetoothdevicecontentitem.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothfilereceivedialog.h"
#include "bluetoothpincodesheet.h"
#include "bluetoothtransfertracker.h"
#include "demopage.h"
#include "demoshell.h"
#include "drilldownitem.h"
#include "filereceiver.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvelobjectmenu.h"
#include "orvelprogressindicator.h"
#include "orvelscenemanager.h"
#include "orvelsnapshot.h"
#include "orveltextedit.h"
#include "registry.h"
#include "samplephoto.h"
#include "sharingapp.h"
#include "simplecheckboxlabel.h"
#include "simpleinformationbanner.h"
#include "simulatorclient.h"
#include "toolkittesting.h"
#include "transferrow.h"
#include "transfersview.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>

#include <cstdio>

using namespace Ovrin;
using namespace ToolkitTesting;

namespace {

const QString headset = QStringLiteral("00:1B:66:0A:11:01"); // "Brivo Stride", paired
const QString pusher = QStringLiteral("F4:0E:22:13:33:03"); // "Anna's phone"
const QString spammer = QStringLiteral("64:A2:F9:31:AA:0A"); // "Marten phone"
const QString printer = QStringLiteral("00:80:92:A1:66:06"); // "Office printer", PIN 1234
// A phone of the older kind that pairs with a PIN typed on both sides; it
// comes into range for the tour.
const QString oldPhone = QStringLiteral("00:17:E5:6B:21:15");
const QString oldPhoneName = QStringLiteral("Tessa Classic");
const QString oldPhonePin = QStringLiteral("2468");

QByteArray sha1Of(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The row's bar shows the share the library reported done.
bool barShows(const TransferRow *row, const TransferUI::TransferInfo &info)
{
    return row && row->isVisible() && row->progressBar()->value() == qRound(info.progress * 100);
}

} // namespace

DemoTour::DemoTour(DemoShell *shell, SimulatorClient *simulator, const QString &folder)
    : m_shell(shell)
    , m_sim(simulator)
    , m_folder(folder)
{
}

DemoTour::~DemoTour() = default;

int DemoTour::run()
{
    QDir().mkpath(m_folder);
    m_transcriptFile.setFileName(QDir(m_folder).filePath(QStringLiteral("transcript.txt")));
    if (!m_transcriptFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "ovrin-bt-demo: cannot write %s\n",
                     qPrintable(m_transcriptFile.fileName()));
        return 1;
    }
    m_transcript.setDevice(&m_transcriptFile);
    say(QStringLiteral("Ovrin Bluetooth demo tour; pictures and this transcript in %1")
            .arg(QDir(m_folder).absolutePath()));

    runStep(QStringLiteral("Prepare the handset"), [this] { return prepare(); });
    runStep(QStringLiteral("Switch Bluetooth on"), [this] { return switchBluetoothOn(); });
    runStep(QStringLiteral("Make the handset visible"), [this] { return makeVisible(); });
    runStep(QStringLiteral("Rename the handset"), [this] { return rename(); });
    runStep(QStringLiteral("Open the device list"), [this] { return openDeviceList(); });
    runStep(QStringLiteral("Long-tap a device for its menu"), [this] { return showDeviceMenu(); });
    runStep(QStringLiteral("Open the paired headset and connect it"),
            [this] { return connectHeadset(); });
    runStep(QStringLiteral("Send a photo to a phone, pairing with a PIN"),
            [this] { return sendPhoto(); });
    runStep(QStringLiteral("Cancel a send from the transfer list"),
            [this] { return cancelSend(); });
    runStep(QStringLiteral("Accept a pushed file and find it in its folder"),
            [this] { return receiveFile(); });
    runStep(QStringLiteral("Reject three pushes; the fourth is refused as spam"),
            [this] { return refuseSpam(); });
    runStep(QStringLiteral("A failed pairing is told by a banner"),
            [this] { return tellPairingFailure(); });

    const bool nothingHanging = m_sim->pendingAgentCalls().isEmpty();
    expect(nothingHanging,
           QStringLiteral("every call the daemons made to our agents was answered"));
    if (!nothingHanging)
        m_failedSteps.append(QStringLiteral("unanswered agent calls"));
    say(QString());
    say(m_failedSteps.isEmpty()
            ? QStringLiteral("TOUR PASSED: %1 steps, %2 pictures").arg(m_steps).arg(m_pictures)
            : QStringLiteral("TOUR FAILED: %1").arg(m_failedSteps.join(QStringLiteral("; "))));
    return m_failedSteps.isEmpty() ? 0 : 1;
}

void DemoTour::runStep(const QString &title, const Step &step)
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

bool DemoTour::prepare()
{
    m_adapter.reset(BluetoothAdapter::defaultAdapter());
    if (!waitFor([this] { return m_adapter->isValid(); }, QStringLiteral("the adapter is there")))
        return false;
    // The tour starts from a handset with Bluetooth off and not visible.
    m_sim->changeAdapter({ { "powered", false }, { "discoverable", false } });
    m_sim->addDevice(
        { { "address", oldPhone },
          { "name", oldPhoneName },
          { "class", 5898764 },
          { "rssi", -45 },
          { "legacyPairing", true },
          { "uuids", QJsonArray { "00001105-0000-1000-8000-00805f9b34fb" } },
          { "pairing", QJsonObject { { "method", "pin" }, { "pin", oldPhonePin } } } });
    // Devices that push files have a BlueZ object, as after any incoming connection.
    m_sim->changeDevice(pusher, { { "known", true } });
    m_sim->changeDevice(spammer, { { "known", true } });
    say(QStringLiteral(
            "   the simulator plays BlueZ 4 and obexd with its default neighbourhood and %1")
            .arg(oldPhoneName));
    if (!waitFor([this] { return !m_adapter->isPowered(); }, QStringLiteral("Bluetooth is off")))
        return false;
    picture(QStringLiteral("home"));
    return true;
}

bool DemoTour::switchBluetoothOn()
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
    if (!waitFor([&] { return m_adapter->isPowered() && power->isVisible(); },
                 QStringLiteral("BlueZ reports the radio on and the switch is back")))
        return false;
    expect(power->isChecked() && !spinner->isVisible(), QStringLiteral("the switch shows on"));
    picture(QStringLiteral("settings-on"));
    return true;
}

bool DemoTour::makeVisible()
{
    if (!openFromHome(QStringLiteral("Settings")))
        return false;
    auto *row = findItem<SimpleCheckBoxLabel>(pageTitled(QStringLiteral("Bluetooth")),
                                              QStringLiteral("BluetoothDiscoverableSwitch"));
    if (!expect(row && row->button() && !row->button()->isChecked(),
                QStringLiteral("the handset is hidden")))
        return false;
    tap(row->button(), QStringLiteral("the visibility switch"));
    if (!waitFor(
            [this] { return simulatedAdapter().value(QLatin1String("discoverable")).toBool(); },
            QStringLiteral("BlueZ makes the adapter discoverable")))
        return false;
    expect(row->button()->isChecked(), QStringLiteral("the switch shows visible"));
    picture(QStringLiteral("settings-visible"));
    return true;
}

bool DemoTour::rename()
{
    if (!openFromHome(QStringLiteral("Settings"))
        || !openSettingsPage(QStringLiteral("BluetoothDeviceNameItem"),
                             QStringLiteral("My device")))
        return false;
    auto *page = qobject_cast<DemoPage *>(pageTitled(QStringLiteral("My device")));
    const QString name = QStringLiteral("Demo handset");
    if (!expect(retype(findItem<OrvelTextEdit>(page, QStringLiteral("MyDeviceNameEdit")), name),
                QStringLiteral("typed the name \"%1\"").arg(name)))
        return false;
    picture(QStringLiteral("my-device"));
    tap(page->acceptButton(), QStringLiteral("Save"));
    if (!waitFor([&] { return simulatedAdapter().value(QLatin1String("name")).toString() == name; },
                 QStringLiteral("BlueZ has the new name")))
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

bool DemoTour::openDeviceList()
{
    if (!openFromHome(QStringLiteral("Settings"))
        || !openSettingsPage(QStringLiteral("BluetoothDevicesItem"), QStringLiteral("Devices")))
        return false;
    if (!waitFor([this] { return deviceRow(QStringLiteral("Brivo Stride")); },
                 QStringLiteral("the paired headset is listed"))
        || !waitFor(
            [this] {
                return deviceRow(oldPhoneName) && deviceRow(QStringLiteral("Anna's phone"))
                    && deviceRow(QStringLiteral("Pebble speaker"));
            },
            QStringLiteral("the search finds %1 and others nearby").arg(oldPhoneName), 15000))
        return false;
    findItem<BluetoothDeviceList>(pageTitled(QStringLiteral("Devices")))->setScrollPosition(0);
    picture(QStringLiteral("device-list"));
    return true;
}

bool DemoTour::showDeviceMenu()
{
    if (!openDeviceListShowing(QStringLiteral("Brivo Stride"),
                               QStringLiteral("the paired headset is listed")))
        return false;
    longTap(deviceRow(QStringLiteral("Brivo Stride")), QStringLiteral("Brivo Stride"));
    if (!waitFor([this] { return topWindow<OrvelObjectMenu>(); }, QStringLiteral("a menu opens")))
        return false;
    QStringList entries;
    const auto actions = topWindow<OrvelObjectMenu>()->menuActions();
    for (QAction *action : actions)
        entries.append(action->text());
    say(QStringLiteral("   menu: %1").arg(entries.join(QStringLiteral(", "))));
    expect(entries.size() == 4 && entries.first() == qtTrId("qtn_conn_bt_connect"),
           QStringLiteral("connect, remove pairing, untrust and block are offered"));
    picture(QStringLiteral("device-menu"));
    topWindow<OrvelObjectMenu>()->dismiss();
    return true;
}

bool DemoTour::connectHeadset()
{
    if (!openDeviceListShowing(QStringLiteral("Brivo Stride"),
                               QStringLiteral("the paired headset is listed")))
        return false;
    tap(deviceRow(QStringLiteral("Brivo Stride")), QStringLiteral("Brivo Stride"));
    if (!waitFor([this] { return pageTitled(QStringLiteral("Brivo Stride")); },
                 QStringLiteral("the headset's page opens")))
        return false;
    OrvelSceneWindow *page = pageTitled(QStringLiteral("Brivo Stride"));
    auto *connectButton = findItem<OrvelButton>(page, QStringLiteral("ConnectButton"));
    if (!expect(connectButton, QStringLiteral("the page offers to connect")))
        return false;
    picture(QStringLiteral("headset"));
    tap(connectButton, QStringLiteral("Connect"));
    if (!waitFor(
            [this] { return m_sim->device(headset).value(QLatin1String("connected")).toBool(); },
            QStringLiteral("BlueZ connects the headset's audio")))
        return false;
    waitFor(
        [&] {
            auto *button = findItem<OrvelButton>(page, QStringLiteral("ConnectButton"));
            return button && button->text() == qtTrId("qtn_conn_bt_disconnect");
        },
        QStringLiteral("the button now offers to disconnect"));
    picture(QStringLiteral("headset-connected"));
    return true;
}

bool DemoTour::sendPhoto()
{
    // Slow enough to watch the transfer move.
    m_sim->setObexSpeed(12000);
    if (!openFromHome(QStringLiteral("Gallery")))
        return false;
    picture(QStringLiteral("gallery"));
    if (!shareWith(oldPhoneName, QStringLiteral("select-device"))
        || !waitFor([this] { return topWindow<BluetoothPinCodeSheet>(); },
                    QStringLiteral("the phone needs pairing: the PIN sheet opens")))
        return false;
    auto *pinSheet = topWindow<BluetoothPinCodeSheet>();
    if (!expect(retype(findItem<OrvelTextEdit>(pinSheet, QStringLiteral("BluetoothPinCodeEdit")),
                       oldPhonePin),
                QStringLiteral("typed the PIN %1, as on the phone").arg(oldPhonePin)))
        return false;
    picture(QStringLiteral("pin-sheet"));
    tap(pinSheet->acceptButton(), QStringLiteral("Done"));
    if (!waitFor([this] { return m_sim->device(oldPhone).value(QLatin1String("paired")).toBool(); },
                 QStringLiteral("the phone is paired")))
        return false;
    const QString id = runningTransfer(QString());
    if (!id.isEmpty() && showsProgress(id)) {
        picture(QStringLiteral("sending"));
        followsProgress(id);
    }

    const QString sent = QStringLiteral("Sent to %1").arg(oldPhoneName);
    if (!waitFor([&] { return m_shell->sharing()->status() == sent; },
                 QStringLiteral("the gallery says \"%1\"").arg(sent), 30000)) {
        say(QStringLiteral("   the gallery says \"%1\"").arg(m_shell->sharing()->status()));
        return false;
    }
    TransferRow *row = transferRow(id);
    waitFor(
        [&] {
            return row && row->progressBar()->value() == 100 && !row->cancelButton()->isVisible()
                && row->texts().last().startsWith(QStringLiteral("Sent"));
        },
        QStringLiteral("the transfer list shows it sent, with nothing left to cancel"));
    picture(QStringLiteral("sent"));
    const QJsonArray files = m_sim->obexClientState().value(QLatin1String("sent")).toArray();
    const QJsonObject last = files.isEmpty() ? QJsonObject() : files.last().toObject();
    expect(last.value(QLatin1String("outcome")).toString() == QLatin1String("complete")
               && last.value(QLatin1String("sha1")).toString().toLatin1()
                   == sha1Of(fileContents(m_shell->sharing()->photo())),
           QStringLiteral("the phone got every byte of the photo"));
    m_sim->setObexSpeed(150000);
    return true;
}

bool DemoTour::cancelSend()
{
    // Slow enough to cancel half way.
    m_sim->setObexSpeed(4000);
    const QString previous = TransferUI::Registry::instance()->transfers().value(0).id;
    if (!openFromHome(QStringLiteral("Gallery")) || !shareWith(oldPhoneName, QString()))
        return false;
    const QString id = runningTransfer(previous);
    if (id.isEmpty() || !showsProgress(id))
        return false;
    tap(transferRow(id)->cancelButton(), QStringLiteral("Cancel on the photo's row"));
    const auto outcome = [this] {
        const QJsonArray files = m_sim->obexClientState().value(QLatin1String("sent")).toArray();
        return files.isEmpty() ? QString()
                               : files.last().toObject().value(QLatin1String("outcome")).toString();
    };
    waitFor([&] { return outcome() == QLatin1String("canceled"); },
            QStringLiteral("obexd cancels the transfer"));
    const QString cancelled = QStringLiteral("Cancelled: %1").arg(oldPhoneName);
    waitFor([&] { return m_shell->sharing()->status() == cancelled; },
            QStringLiteral("the gallery says \"%1\"").arg(cancelled));
    waitFor([&] { return !TransferUI::Registry::instance()->contains(id) && !transferRow(id); },
            QStringLiteral("the entry leaves the transfer list"));
    picture(QStringLiteral("send-cancelled"));
    m_sim->setObexSpeed(150000);
    return true;
}

bool DemoTour::receiveFile()
{
    const QByteArray photo = SamplePhoto::jpeg(QStringLiteral("Holiday"));
    uint ticket = 0;
    if (!pushAndAsk(pusher, QStringLiteral("holiday.jpg"), &ticket))
        return false;
    BluetoothFileReceiveDialog *question = m_shell->receiver()->question();
    picture(QStringLiteral("receive-question"));
    tap(question->button(QMessageBox::Yes), QStringLiteral("Yes"));
    const std::optional<QString> outcome = m_sim->waitForRequest(ticket, 20000);
    if (!expect(outcome && outcome->isEmpty(), QStringLiteral("obexd stored the file")))
        return false;
    const QString stored = QDir(BluetoothTransferTracker::basePath())
                               .filePath(QStringLiteral("Pictures/holiday.jpg"));
    expect(fileContents(stored) == photo, QStringLiteral("%1 holds the photo as sent").arg(stored));
    m_shell->openTransfers();
    waitFor(
        [this] {
            auto *view = findItem<TransfersView>(pageTitled(QStringLiteral("Transfers")));
            return view
                && view->lines().join(u'\n').contains(QStringLiteral("Pictures/holiday.jpg"));
        },
        QStringLiteral("the transfer UI lists it under Pictures"));
    picture(QStringLiteral("received"));
    return true;
}

bool DemoTour::refuseSpam()
{
    for (int i = 1; i <= 3; ++i) {
        uint ticket = 0;
        if (!pushAndAsk(spammer, QStringLiteral("offer-%1.jpg").arg(i), &ticket))
            return false;
        if (i == 1)
            picture(QStringLiteral("unwanted-question"));
        tap(m_shell->receiver()->question()->button(QMessageBox::No), QStringLiteral("No"));
        const std::optional<QString> outcome = m_sim->waitForRequest(ticket);
        if (!expect(outcome == QStringLiteral("Forbidden"),
                    QStringLiteral("the sender hears \"Forbidden\"")))
            return false;
    }
    say(QStringLiteral("   Marten phone pushes a fourth time"));
    const uint ticket
        = m_sim->pushFile(spammer, QStringLiteral("offer-4.jpg"), QStringLiteral("image/jpeg"),
                          SamplePhoto::jpeg(QStringLiteral("Offer"), 160, 120));
    const std::optional<QString> outcome = m_sim->waitForRequest(ticket);
    const auto *question = m_shell->receiver()->question();
    expect(outcome == QStringLiteral("Forbidden")
               && (!question || question->sceneWindowState() != OrvelSceneWindow::Appeared),
           QStringLiteral("refused as spam without asking"));
    expect(topWindow<SimpleInformationBanner>(), QStringLiteral("a banner tells why"));
    picture(QStringLiteral("spam-refused"));
    const QStringList offers
        = QDir(BluetoothTransferTracker::basePath() + QStringLiteral("/Pictures"))
              .entryList({ QStringLiteral("offer*") });
    expect(offers.isEmpty(), QStringLiteral("nothing of the rejected files was stored"));
    return true;
}

bool DemoTour::tellPairingFailure()
{
    if (!openDeviceListShowing(QStringLiteral("Office printer"),
                               QStringLiteral("the search finds the office printer")))
        return false;
    tap(deviceRow(QStringLiteral("Office printer")), QStringLiteral("Office printer"));
    if (!waitFor([this] { return topWindow<BluetoothPinCodeSheet>(); },
                 QStringLiteral("the PIN sheet opens")))
        return false;
    auto *pinSheet = topWindow<BluetoothPinCodeSheet>();
    if (!expect(retype(findItem<OrvelTextEdit>(pinSheet, QStringLiteral("BluetoothPinCodeEdit")),
                       QStringLiteral("0000")),
                QStringLiteral("typed a wrong PIN, 0000")))
        return false;
    const int bannersBefore = SimpleInformationBanner::history().size();
    tap(pinSheet->acceptButton(), QStringLiteral("Done"));
    const QString text = qtTrId("qtn_conn_bt_pair_fail_auth_failed");
    if (!waitFor(
            [&] {
                const auto history = SimpleInformationBanner::history();
                return history.size() > bannersBefore && history.last().text == text;
            },
            QStringLiteral("a banner says \"%1\"").arg(text)))
        return false;
    expect(!m_sim->device(printer).value(QLatin1String("paired")).toBool(),
           QStringLiteral("the printer is not paired"));
    picture(QStringLiteral("pairing-failed"));
    return true;
}

bool DemoTour::shareWith(const QString &name, const QString &pictureName)
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

QString DemoTour::runningTransfer(const QString &before)
{
    QString id;
    waitFor(
        [&] {
            const auto transfers = TransferUI::Registry::instance()->transfers();
            const bool running = !transfers.isEmpty() && transfers.last().id != before
                && !transfers.last().isFinished() && transfers.last().progress > 0;
            id = running ? transfers.last().id : QString();
            return running;
        },
        QStringLiteral("the photo is on its way"), 15000);
    return id;
}

TransferRow *DemoTour::transferRow(const QString &id) const
{
    auto *view = findItem<TransfersView>(pageTitled(QStringLiteral("Transfers")));
    return view ? view->row(id) : nullptr;
}

bool DemoTour::showsProgress(const QString &id)
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

bool DemoTour::followsProgress(const QString &id)
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

void DemoTour::say(const QString &line)
{
    m_transcript << line << '\n';
    m_transcript.flush();
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

bool DemoTour::expect(bool ok, const QString &what)
{
    say(QStringLiteral("   %1 %2").arg(ok ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), what));
    if (!ok)
        m_stepFailed = true;
    return ok;
}

bool DemoTour::waitFor(const std::function<bool()> &condition, const QString &what, int timeoutMs)
{
    return expect(QTest::qWaitFor(condition, timeoutMs), what);
}

void DemoTour::picture(const QString &name)
{
    settle();
    const QString file
        = QStringLiteral("%1-%2.png").arg(++m_pictures, 2, 10, QLatin1Char('0')).arg(name);
    const bool saved = OrvelSnapshot::save(m_shell->window(), QDir(m_folder).filePath(file));
    expect(saved, QStringLiteral("picture %1").arg(file));
}

void DemoTour::tap(const QGraphicsItem *item, const QString &what)
{
    settle();
    say(QStringLiteral("   tap %1").arg(what));
    if (expect(item && item->isVisible(), QStringLiteral("%1 is on screen").arg(what)))
        ToolkitTesting::tap(item);
}

void DemoTour::longTap(const QGraphicsItem *item, const QString &what)
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

bool DemoTour::retype(QGraphicsItem *item, const QString &text)
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

bool DemoTour::openFromHome(const QString &app)
{
    tap(m_shell->launcher(app), QStringLiteral("%1 on the home screen").arg(app));
    const QString title = app == QLatin1String("Settings") ? QStringLiteral("Bluetooth") : app;
    return waitFor([&] { return pageTitled(title); },
                   QStringLiteral("the %1 page opens").arg(title));
}

bool DemoTour::openSettingsPage(const QString &itemName, const QString &title)
{
    tap(findItem<DrillDownItem>(pageTitled(QStringLiteral("Bluetooth")), itemName),
        QStringLiteral("the way to %1").arg(title));
    return waitFor([&] { return pageTitled(title); },
                   QStringLiteral("the %1 page opens").arg(title));
}

bool DemoTour::openDeviceListShowing(const QString &label, const QString &what)
{
    return openFromHome(QStringLiteral("Settings"))
        && openSettingsPage(QStringLiteral("BluetoothDevicesItem"), QStringLiteral("Devices"))
        && waitFor([&] { return deviceRow(label); }, what, 15000);
}

bool DemoTour::pushAndAsk(const QString &address, const QString &name, uint *ticket)
{
    const QString sender = m_sim->device(address).value(QLatin1String("name")).toString();
    say(QStringLiteral("   %1 pushes %2").arg(sender, name));
    const QByteArray contents = name == QLatin1String("holiday.jpg")
        ? SamplePhoto::jpeg(QStringLiteral("Holiday"))
        : SamplePhoto::jpeg(QStringLiteral("Offer"), 160, 120);
    *ticket = m_sim->pushFile(address, name, QStringLiteral("image/jpeg"), contents);
    return expect(*ticket != 0, QStringLiteral("the push started"))
        && waitFor(
               [this] {
                   return m_shell->receiver()->question()
                       && m_shell->receiver()->question()->sceneWindowState()
                       == OrvelSceneWindow::Appeared;
               },
               QStringLiteral("the handset asks whether to accept it"));
}

void DemoTour::backToHome()
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

template<typename T> T *DemoTour::topWindow() const
{
    const auto windows = m_shell->window()->sceneManager()->sceneWindows();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        if (auto *window = qobject_cast<T *>(*it))
            return window;
    }
    return nullptr;
}

OrvelSceneWindow *DemoTour::pageTitled(const QString &title) const
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
QGraphicsItem *DemoTour::deviceRow(const QString &label) const
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

QJsonObject DemoTour::simulatedAdapter() const
{
    return m_sim->state()
        .value(QLatin1String("org.bluez"))
        .toObject()
        .value(QLatin1String("adapter"))
        .toObject();
}
