#include "bluetoothadapter.h"
#include "bluetoothauthorizationdialog.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothdevice.h"
#include "bluetoothdevicecontentitem.h"
#include "bluetoothdeviceinfoutils.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothfilereceivedialog.h"
#include "bluetoothpasskeydisplaysheet.h"
#include "bluetoothpincodesheet.h"
#include "bluetoothsettingsview.h"
#include "gallery.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvelmessagebox.h"
#include "orvelscenemanager.h"
#include "orveltextedit.h"
#include "paireddevicesettingsview.h"
#include "simpleinformationbanner.h"
#include "simulatorclient.h"
#include "switchbluetoothonconfirmation.h"
#include "toolkittesting.h"
#include "unknownfiletypedialog.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <memory>

using namespace Ovrin;
using namespace ToolkitTesting;

namespace {

// From the simulator's own neighbourhood: a paired car kit in range, and a
// laptop that is not paired.
const QString carKit = QStringLiteral("00:1E:AE:4C:22:02");
const QString laptop = QStringLiteral("3C:15:C2:E4:44:04");

const QLocale english(QLocale::English);
const QLocale arabic(QStringLiteral("ar"));

BluetoothDevice namedDevice(const QString &name)
{
    return BluetoothDevice(
        QVariantMap { { QStringLiteral("Address"), laptop }, { QStringLiteral("Name"), name } });
}

// The window (made before, so that it outlives the sheet) showing one sheet
// or dialog.
template<typename Window>
void picture(Gallery &gallery, OrvelApplicationWindow &window, Window *shown, const QString &name)
{
    shown->appear(&window);
    activate(&window);
    gallery.waitFor([shown] { return shown->sceneWindowState() == OrvelSceneWindow::Appeared; },
                    name + QStringLiteral(" appears"));
    gallery.save(&window, name);
    shown->disappear();
    gallery.waitFor([shown] { return shown->sceneWindowState() == OrvelSceneWindow::Disappeared; },
                    name + QStringLiteral(" goes"));
}

} // namespace

void Gallery::screens()
{
    pairingSheets();
    dialogs();
    std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
    if (!waitFor([&] { return adapter->isValid(); }, QStringLiteral("the adapter")))
        return;
    selectionSheet(adapter.get());
    settingsPages(adapter.get());
    deviceListGroups(adapter.get());
}

void Gallery::pairingSheets()
{
    struct Kind
    {
        BluetoothPinCodeEdit::BluetoothPasskeyType type;
        QString code;
        QString name;
    };
    OrvelApplicationWindow window;
    for (const QLocale &locale : { english, arabic }) {
        QLocale::setDefault(locale);
        const QString suffix
            = locale == english ? QString() : QStringLiteral("-") + locale.bcp47Name();
        for (const Kind &kind :
             { Kind { BluetoothPinCodeEdit::PinCodeType, QStringLiteral("0000"),
                      QStringLiteral("pairing-pincode-sheet") },
               Kind { BluetoothPinCodeEdit::PasskeyType, QStringLiteral("012345"),
                      QStringLiteral("pairing-passkey-sheet") } }) {
            BluetoothPinCodeSheet sheet(QStringLiteral("Lumo Aura"), kind.type);
            sheet.setPinCode(kind.code);
            picture(*this, window, &sheet, kind.name + suffix);
        }
        BluetoothConfirmationSheet withCode(QStringLiteral("Lumo Aura"), 12345, true);
        picture(*this, window, &withCode, QStringLiteral("pairing-confirmation-sheet") + suffix);
        BluetoothPasskeyDisplaySheet display(QStringLiteral("Tessa travel keyboard"), 731006);
        display.setEntered(3);
        picture(*this, window, &display, QStringLiteral("pairing-passkey-display-sheet") + suffix);
    }
    QLocale::setDefault(english);
    BluetoothConfirmationSheet withoutCode(QStringLiteral("Lumo Aura"), 12345, false);
    picture(*this, window, &withoutCode, QStringLiteral("pairing-confirmation-sheet-nocode"));
    // Read-only while the pairing runs, after the user accepted the PIN.
    BluetoothPinCodeSheet waiting(QStringLiteral("Office printer"),
                                  BluetoothPinCodeEdit::PinCodeType);
    waiting.setPinCode(QStringLiteral("1234"));
    waiting.setReadOnly(true);
    picture(*this, window, &waiting, QStringLiteral("pairing-pincode-sheet-waiting"));
}

void Gallery::dialogs()
{
    OrvelApplicationWindow window;
    BluetoothAuthorizationDialog authorization(QStringLiteral("Roadster car kit"));
    picture(*this, window, &authorization, QStringLiteral("pairing-authorization-dialog"));
    BluetoothFileReceiveDialog receive(namedDevice(QStringLiteral("Tessa Phone")),
                                       QStringLiteral("holiday-at-the-lake.jpg"));
    picture(*this, window, &receive, QStringLiteral("obex-receive-dialog"));
    UnknownFileTypeDialog unknown(QUrl::fromLocalFile(QStringLiteral("/tmp/tune.xyz")),
                                  QStringLiteral("tune.xyz"));
    picture(*this, window, &unknown, QStringLiteral("obex-unknown-file-dialog"));
    SwitchBluetoothOnConfirmation offline;
    picture(*this, window, &offline, QStringLiteral("offline-switch-on-question"));
}

void Gallery::selectionSheet(BluetoothAdapter *adapter)
{
    OrvelApplicationWindow window;
    activate(&window);
    auto sheet = new BluetoothDeviceSelectionSheet(adapter, {});
    sheet->appear(&window, OrvelSceneWindow::DestroyWhenDone);
    if (waitFor([&] { return adapter->isDiscovering(); }, QStringLiteral("sheet searching")))
        save(&window, QStringLiteral("selectionsheet-searching"));
    sim()->reportDeviceFound(laptop);
    const auto shows = [&](const QString &label, BluetoothDeviceSelectionSheet *on = nullptr) {
        settle();
        const auto cells = (on ? on : sheet)->deviceList()->visibleCells();
        return std::any_of(cells.begin(), cells.end(), [&](OrvelWidget *cell) {
            auto item = qobject_cast<BluetoothDeviceContentItem *>(cell);
            return item && item->isVisible() && item->label() == label;
        });
    };
    if (waitFor([&] { return shows(QStringLiteral("Tom's laptop")); },
                QStringLiteral("sheet found a device")))
        save(&window, QStringLiteral("selectionsheet-found"));

    // Another send is still running: the note replaces the list.
    sheet->setPending(true);
    settle();
    save(&window, QStringLiteral("selectionsheet-pending"));
    sheet->setPending(false);

    sim()->changeAdapter({ { "powered", false } });
    if (waitFor([&] { return shows(qtTrId("qtn_conn_bt_is_off")); },
                QStringLiteral("sheet with Bluetooth off")))
        save(&window, QStringLiteral("selectionsheet-bluetooth-off"));
    sim()->changeAdapter({ { "powered", true } });
    waitFor([&] { return adapter->isDiscovering(); }, QStringLiteral("sheet searching again"));
    sheet->disappear();

    // A filter nothing in range passes, once the search is over.
    auto empty = new BluetoothDeviceSelectionSheet(
        adapter,
        { { QStringLiteral("majorClass"),
            int(BluetoothDeviceInfoUtils::stringToMajorClass(QStringLiteral("imaging"))) } });
    empty->appear(&window, OrvelSceneWindow::DestroyWhenDone);
    if (waitFor([&] { return adapter->isDiscovering(); }, QStringLiteral("empty sheet search"))) {
        sim()->setRawProperty(QStringLiteral("adapter"), QStringLiteral("Discovering"), false);
        if (waitFor([&] { return shows(qtTrId("qtn_conn_no_devices_found"), empty); },
                    QStringLiteral("empty sheet search over")))
            save(&window, QStringLiteral("selectionsheet-no-devices"));
    }
    empty->disappear();
    waitFor([&] { return !adapter->isDiscovering(); }, QStringLiteral("search stopped"));
}

void Gallery::settingsPages(BluetoothAdapter *adapter)
{
    OrvelApplicationWindow window;
    activate(&window);

    // A paired device with no audio profile: no connect button.
    sim()->changeDevice(
        carKit,
        { { "uuids", QJsonArray { QStringLiteral("00001105-0000-1000-8000-00805f9b34fb") } } });
    const BluetoothDevice device = adapter->deviceForAddress(carKit);
    window.setCentralWidget(new PairedDeviceSettingsView(device, adapter));
    settle();
    save(&window, QStringLiteral("settings-paired-no-audio"));

    // Many profiles wrap, pushing the buttons down.
    QJsonArray all;
    for (const char *profile : { "1101", "1103", "1105", "1106", "1108", "110b", "111e", "112d" })
        all.append(
            QStringLiteral("0000%1-0000-1000-8000-00805f9b34fb").arg(QLatin1String(profile)));
    sim()->changeDevice(carKit, { { "uuids", all } });
    auto connect = [&] {
        return findItem<OrvelButton>(window.centralWidget(), QStringLiteral("ConnectButton"));
    };
    if (waitFor([&] { return connect() != nullptr; }, QStringLiteral("connect button")))
        save(&window, QStringLiteral("settings-paired-many-profiles"));

    // A connection that fails is told with the device's name.
    if (connect()) {
        SimpleInformationBanner::clearHistory();
        sim()->failNext(QStringLiteral("org.bluez.Audio.Connect"),
                        QStringLiteral("org.bluez.Error.Failed"));
        tap(connect());
        if (waitFor([] { return !SimpleInformationBanner::history().isEmpty(); },
                    QStringLiteral("failed connection banner")))
            save(&window, QStringLiteral("settings-paired-connection-failed"));
        // The banner goes by itself before the next picture.
        waitFor([&] { return window.sceneManager()->sceneWindows().isEmpty(); },
                QStringLiteral("banner gone"));
    }
    window.setCentralWidget(nullptr);

    // Switching on in offline mode asks first.
    sim()->changeAdapter({ { "powered", false } });
    waitFor([&] { return !adapter->isPowered(); }, QStringLiteral("adapter off"));
    window.setCentralWidget(new BluetoothSettingsView(adapter));
    settle();
    SwitchBluetoothOnConfirmation question;
    question.appear(&window);
    settle();
    save(&window, QStringLiteral("settings-offline-question"));
    question.disappear();
    window.setCentralWidget(nullptr);
    sim()->changeAdapter({ { "powered", true } });
}

void Gallery::deviceListGroups(BluetoothAdapter *adapter)
{
    waitFor([&] { return adapter->isPowered(); }, QStringLiteral("adapter on"));
    OrvelApplicationWindow window;
    activate(&window);
    BluetoothDeviceModel model(adapter);
    auto list = new BluetoothDeviceList;
    list->setBluetoothDeviceModel(&model);
    list->setScanFinished(true);
    window.setCentralWidget(list);
    settle();
    save(&window, QStringLiteral("devicelist-groups"));
    window.setCentralWidget(nullptr);
}
