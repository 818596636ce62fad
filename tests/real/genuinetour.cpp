#include "genuinetour.h"

#include "bluetoothadapter.h"
#include "bluetoothcodepanel.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothfilereceivedialog.h"
#include "bluetoothtransfertracker.h"
#include "filereceiver.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "realdaemons.h"
#include "samplephoto.h"
#include "sharingapp.h"
#include "testenvironment.h"
#include "toolkittesting.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

using namespace Ovrin;
using namespace RealDaemons;
using namespace ToolkitTesting;

namespace {

const QString remoteName = QStringLiteral("Maple phone");
const QString handsetName = QStringLiteral("Demo handset");

bool ourAdapterSays(const QString &property)
{
    return adapterProperty(ourAdapter, property).toBool();
}

} // namespace

GenuineTour::GenuineTour(DemoShell *shell, const QString &folder)
    : TourRunner(shell, folder,
                 genuine() ? QStringLiteral("Ovrin Bluetooth demo tour on the genuine daemons")
                           : QStringLiteral("Ovrin Bluetooth demo tour on btsim's two controllers"))
{
}

GenuineTour::~GenuineTour() = default;

void GenuineTour::runSteps()
{
    runStep(QStringLiteral("Start from Bluetooth off, the other phone on and visible"),
            [this] { return prepare(); });
    runStep(QStringLiteral("Switch Bluetooth on"), [this] { return switchBluetoothOn(); });
    runStep(QStringLiteral("Make the handset visible"), [this] { return makeVisible(); });
    runStep(QStringLiteral("Rename the handset"), [this] { return rename(); });
    runStep(QStringLiteral("The device list finds the other phone by its name"),
            [this] { return findTheOtherPhone(); });
    runStep(QStringLiteral("Send the photo to the other phone, pairing by numeric comparison"),
            [this] { return sendPhoto(); });
    runStep(QStringLiteral("Accept a file from the other phone and find it in its folder"),
            [this] { return receiveFile(); });
}

void GenuineTour::checkAfterSteps()
{
    if (!expect(daemonsRunning(), QStringLiteral("bluetoothd and obexd still run")))
        failTour(QStringLiteral("a daemon ended"));
    if (!expect(obexClientSessions().isEmpty(), QStringLiteral("obexd holds no client session")))
        failTour(QStringLiteral("OBEX sessions left open"));
}

bool GenuineTour::prepare()
{
    if (!waitFor(
            [] {
                return adapterPaths() == QStringList({ ourAdapter, remoteAdapter });
            },
            QStringLiteral("bluetoothd shows two controllers"), 30000))
        return false;
    m_ourAddress = adapterProperty(ourAdapter, QStringLiteral("Address")).toString();
    m_remoteAddress = adapterProperty(remoteAdapter, QStringLiteral("Address")).toString();
    say(QStringLiteral("   %1: the handset is hci0 (%2), the other phone hci1 (%3)")
            .arg(genuine() ? QStringLiteral("the genuine bluetoothd and obexd 5.66")
                           : QStringLiteral("btsim as bluetoothd and obexd 5"),
                 m_ourAddress, m_remoteAddress));
    m_adapter.reset(BluetoothAdapter::defaultAdapter());
    if (!waitFor([this] { return m_adapter->isValid(); },
                 QStringLiteral("the library has the handset's adapter"), 20000)
        || !expect(m_adapter->address() == m_ourAddress, QStringLiteral("it is hci0")))
        return false;
    // After the demo's own default agent: bluetoothd asks the default agent
    // what the other phone's user is asked.
    expect(startRemoteUser(), QStringLiteral("the other phone's user answers bluetoothd"));
    forgetDevice(ourAdapter, m_remoteAddress);
    forgetDevice(remoteAdapter, m_ourAddress);
    expect(setAdapterProperty(ourAdapter, QStringLiteral("Discoverable"), false)
               && setAdapterProperty(ourAdapter, QStringLiteral("Powered"), false),
           QStringLiteral("the handset's radio is off and hidden"));
    expect(showRemotePhone(remoteName),
           QStringLiteral("the other phone is on and visible as %1").arg(remoteName));
    if (!waitFor([this] { return !m_adapter->isPowered(); }, QStringLiteral("Bluetooth is off")))
        return false;
    picture(QStringLiteral("home"));
    return true;
}

bool GenuineTour::switchBluetoothOn()
{
    return switchOnInSettings([] { return ourAdapterSays(QStringLiteral("Powered")); })
        && expect(adapterProperty(remoteAdapter, QStringLiteral("Powered")).toBool()
                      && adapterProperty(remoteAdapter, QStringLiteral("Discoverable")).toBool(),
                  QStringLiteral("the other phone's controller stays on and visible"));
}

bool GenuineTour::makeVisible()
{
    return makeVisibleInSettings([] { return ourAdapterSays(QStringLiteral("Discoverable")); })
        && expect(adapterProperty(ourAdapter, QStringLiteral("DiscoverableTimeout")).toUInt() == 0,
                  QStringLiteral("BlueZ keeps it visible until hidden (DiscoverableTimeout 0)"));
}

bool GenuineTour::rename()
{
    return renameInSettings(
               handsetName,
               [] { return adapterProperty(ourAdapter, QStringLiteral("Alias")).toString(); })
        && expect(adapterProperty(remoteAdapter, QStringLiteral("Alias")).toString() == remoteName,
                  QStringLiteral("the other phone keeps its name"));
}

bool GenuineTour::findTheOtherPhone()
{
    if (!openFromHome(QStringLiteral("Settings"))
        || !openSettingsPage(QStringLiteral("BluetoothDevicesItem"), QStringLiteral("Devices"))
        || !waitFor([] { return ourAdapterSays(QStringLiteral("Discovering")); },
                    QStringLiteral("BlueZ searches while the list is on screen"))
        || !waitFor([this] { return deviceRow(remoteName); },
                    QStringLiteral("the search finds %1").arg(remoteName), 30000))
        return false;
    expect(deviceProperty(remoteDevice(), QStringLiteral("Name")).toString() == remoteName,
           QStringLiteral("BlueZ found it at hci1's address, %1").arg(m_remoteAddress));
    picture(QStringLiteral("device-list"));
    backToHome();
    return waitFor([] { return !ourAdapterSays(QStringLiteral("Discovering")); },
                   QStringLiteral("the search stops once the list is closed"));
}

bool GenuineTour::sendPhoto()
{
    if (!openFromHome(QStringLiteral("Gallery")))
        return false;
    picture(QStringLiteral("gallery"));
    if (!shareWith(remoteName, QStringLiteral("select-device")) || !confirmPairing()
        || !acceptOnTheOtherPhone())
        return false;
    // Under emulation obexd may tell no share done before the end: it sends
    // its progress when its loop is idle, and moving the data keeps it busy.
    const QString id = unfinishedSend(QString());
    if (id.isEmpty() || !showsSendUnderway(id, remoteName))
        return false;
    picture(QStringLiteral("sending"));
    if (!barFollowsToTheEnd(id) || !endsSent(id, remoteName))
        return false;
    const QString photo = shell()->sharing()->photo();
    expect(OvrinTest::readFile(receivedPath(QFileInfo(photo).fileName()))
               == OvrinTest::readFile(photo),
           QStringLiteral("the other phone got every byte of the photo, in Pictures"));
    return waitFor([] { return obexClientSessions().isEmpty(); },
                   QStringLiteral("obexd keeps no session of the send"));
}

bool GenuineTour::confirmPairing()
{
    if (!waitFor([this] { return topWindow<BluetoothConfirmationSheet>(); },
                 QStringLiteral("the phones are not paired: the confirmation sheet opens"), 30000))
        return false;
    auto *sheet = topWindow<BluetoothConfirmationSheet>();
    const auto *code = findItem<OrvelLabel>(sheet, QStringLiteral("BluetoothCodeLabel"));
    const QString digits
        = code ? code->text().remove(QRegularExpression(QStringLiteral("\\D"))) : QString();
    expect(sheet->title() == qtTrId("qtn_conn_bt_pair_with").arg(remoteName) && digits.size() == 6
               && code->text() == BluetoothCodePanel::formatPasskey(digits.toUInt()),
           QStringLiteral("it names %1 and shows the six-digit code to compare: %2")
               .arg(remoteName, digits));
    picture(QStringLiteral("confirm-pairing"));
    tap(sheet->acceptButton(), qtTrId("qtn_conn_bt_confirm"));
    const QString ours = m_ourAddress;
    return waitFor(
               [this] { return deviceProperty(remoteDevice(), QStringLiteral("Paired")).toBool(); },
               QStringLiteral("BlueZ has the handset paired with the other phone"), 30000)
        && waitFor(
               [ours] {
                   return deviceProperty(deviceObject(remoteAdapter, ours),
                                         QStringLiteral("Paired"))
                       .toBool();
               },
               QStringLiteral("and the other phone with the handset"));
}

bool GenuineTour::acceptOnTheOtherPhone()
{
    say(QStringLiteral("   one obexd plays both phones: the other phone's side asks our receiver"));
    if (!waitForReceiveQuestion(30000))
        return false;
    BluetoothFileReceiveDialog *question = shell()->receiver()->question();
    const QString photoName = QFileInfo(shell()->sharing()->photo()).fileName();
    expect(question->text().contains(photoName), QStringLiteral("it asks about %1").arg(photoName));
    picture(QStringLiteral("other-phone-asked"));
    tap(question->button(QMessageBox::Yes), QStringLiteral("Yes"));
    return true;
}

bool GenuineTour::receiveFile()
{
    const QString name = QStringLiteral("picnic.jpg");
    const QByteArray photo = SamplePhoto::jpeg(QStringLiteral("Picnic"));
    const QString file = m_files.filePath(name);
    if (!expect(OvrinTest::writeFile(file, photo),
                QStringLiteral("the other phone has %1").arg(name)))
        return false;
    say(QStringLiteral("   %1 sends %2").arg(remoteName, name));
    QString error;
    const QDBusObjectPath session = pushFromRemote(file, &error);
    if (!expect(!session.path().isEmpty(),
                QStringLiteral("obexd's client pushes it from hci1 %1").arg(error)))
        return false;
    const auto endSession = qScopeGuard([&] { endRemoteSession(session); });
    if (!waitForReceiveQuestion(30000))
        return false;
    BluetoothFileReceiveDialog *question = shell()->receiver()->question();
    expect(question->text().contains(remoteName) && question->text().contains(name),
           QStringLiteral("it names %1 and the file").arg(remoteName));
    picture(QStringLiteral("receive-question"));
    tap(question->button(QMessageBox::Yes), QStringLiteral("Yes"));
    if (!waitFor([&] { return OvrinTest::readFile(receivedPath(name)) == photo; },
                 QStringLiteral("obexd stores it in Pictures, byte for byte"), 30000))
        return false;
    listsReceived(QStringLiteral("Pictures/%1").arg(name));
    picture(QStringLiteral("received"));
    return true;
}

// The other phone's device object on the handset's controller.
QString GenuineTour::remoteDevice() const
{
    return deviceObject(ourAdapter, m_remoteAddress);
}

QString GenuineTour::receivedPath(const QString &fileName) const
{
    return QDir(BluetoothTransferTracker::basePath())
        .filePath(QStringLiteral("Pictures/") + fileName);
}
