#include "demotour.h"

#include "bluetoothadapter.h"
#include "bluetoothdevicelist.h"
#include "bluetoothfilereceivedialog.h"
#include "bluetoothpincodesheet.h"
#include "bluetoothtransfertracker.h"
#include "filereceiver.h"
#include "orvelbutton.h"
#include "orvelobjectmenu.h"
#include "orveltextedit.h"
#include "registry.h"
#include "samplephoto.h"
#include "sharingapp.h"
#include "simpleinformationbanner.h"
#include "simulatorclient.h"
#include "toolkittesting.h"
#include "transferrow.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>

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

} // namespace

DemoTour::DemoTour(DemoShell *shell, SimulatorClient *simulator, const QString &folder)
    : TourRunner(shell, folder, QStringLiteral("Ovrin Bluetooth demo tour"))
    , m_sim(simulator)
{
}

DemoTour::~DemoTour() = default;

void DemoTour::runSteps()
{
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
}

void DemoTour::checkAfterSteps()
{
    if (!expect(m_sim->pendingAgentCalls().isEmpty(),
                QStringLiteral("every call the daemons made to our agents was answered")))
        failTour(QStringLiteral("unanswered agent calls"));
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
    return switchOnInSettings([this] { return m_adapter->isPowered(); });
}

bool DemoTour::makeVisible()
{
    return makeVisibleInSettings(
        [this] { return simulatedAdapter().value(QLatin1String("discoverable")).toBool(); });
}

bool DemoTour::rename()
{
    return renameInSettings(QStringLiteral("Demo handset"), [this] {
        return simulatedAdapter().value(QLatin1String("name")).toString();
    });
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
    const QString id = runningSend(QString());
    if (!id.isEmpty() && showsProgress(id)) {
        picture(QStringLiteral("sending"));
        followsProgress(id);
    }
    if (!endsSent(id, oldPhoneName))
        return false;
    const QJsonArray files = m_sim->obexClientState().value(QLatin1String("sent")).toArray();
    const QJsonObject last = files.isEmpty() ? QJsonObject() : files.last().toObject();
    expect(last.value(QLatin1String("outcome")).toString() == QLatin1String("complete")
               && last.value(QLatin1String("sha1")).toString().toLatin1()
                   == sha1Of(fileContents(shell()->sharing()->photo())),
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
    const QString id = runningSend(previous);
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
    waitFor([&] { return shell()->sharing()->status() == cancelled; },
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
    BluetoothFileReceiveDialog *question = shell()->receiver()->question();
    picture(QStringLiteral("receive-question"));
    tap(question->button(QMessageBox::Yes), QStringLiteral("Yes"));
    const std::optional<QString> outcome = m_sim->waitForRequest(ticket, 20000);
    if (!expect(outcome && outcome->isEmpty(), QStringLiteral("obexd stored the file")))
        return false;
    const QString stored = QDir(BluetoothTransferTracker::basePath())
                               .filePath(QStringLiteral("Pictures/holiday.jpg"));
    expect(fileContents(stored) == photo, QStringLiteral("%1 holds the photo as sent").arg(stored));
    listsReceived(QStringLiteral("Pictures/holiday.jpg"));
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
        tap(shell()->receiver()->question()->button(QMessageBox::No), QStringLiteral("No"));
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
    const auto *question = shell()->receiver()->question();
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

bool DemoTour::pushAndAsk(const QString &address, const QString &name, uint *ticket)
{
    const QString sender = m_sim->device(address).value(QLatin1String("name")).toString();
    say(QStringLiteral("   %1 pushes %2").arg(sender, name));
    const QByteArray contents = name == QLatin1String("holiday.jpg")
        ? SamplePhoto::jpeg(QStringLiteral("Holiday"))
        : SamplePhoto::jpeg(QStringLiteral("Offer"), 160, 120);
    *ticket = m_sim->pushFile(address, name, QStringLiteral("image/jpeg"), contents);
    return expect(*ticket != 0, QStringLiteral("the push started")) && waitForReceiveQuestion();
}

QJsonObject DemoTour::simulatedAdapter() const
{
    return m_sim->state()
        .value(QLatin1String("org.bluez"))
        .toObject()
        .value(QLatin1String("adapter"))
        .toObject();
}
