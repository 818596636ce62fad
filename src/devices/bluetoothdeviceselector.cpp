#include "bluetoothdeviceselector.h"
#include "bluetoothdeviceselector_p.h"

#include "bluetoothadapter.h"
#include "bluetoothdeviceinfoutils.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothpairingprocess.h"
#include "connectivitydialogserverinterface.h"
#include "deviceslogging.h"
#include "offlinemode.h"
#include "switchbluetoothonconfirmation.h"

#include "orvelapplicationwindow.h"
#include "orvelmessagebox.h"

#include <QRegularExpression>

namespace Ovrin {

namespace {
enum RequestValue { MajorName = 0, MinorName = 1, Services = 2, BondingOption = 3 };

QString describe(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return QLatin1Char('[') + value.toStringList().join(QLatin1String(", ")) + QLatin1Char(']');
    return value.toString();
}

// Only a well-formed address may reach BlueZ as a device to pair with.
QString validAddress(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2}){5}$"));
    const QString address = text.trimmed().toUpper();
    return pattern.match(address).hasMatch() ? address : QString();
}
} // namespace

BluetoothDeviceSelectorPrivate::BluetoothDeviceSelectorPrivate(
    BluetoothDeviceSelector *selector, ConnectivityDialogServerInterface *server)
    : q(selector)
    , dialogServer(server)
    , adapter(BluetoothAdapter::defaultAdapter())
{
}

BluetoothDeviceSelectorPrivate::~BluetoothDeviceSelectorPrivate()
{
    closeSheet();
    closeConfirmation();
    delete adapter;
}

void BluetoothDeviceSelectorPrivate::showWindow(OrvelSceneWindow *window)
{
    if (dialogServer)
        dialogServer->showDialog(window);
    else
        window->appear(OrvelApplicationWindow::activeWindowOrDefault());
}

void BluetoothDeviceSelectorPrivate::dropWindow(OrvelSceneWindow *window)
{
    // A dialog server may delete what it hides; only what is left is ours.
    const QPointer<OrvelSceneWindow> left(window);
    if (dialogServer)
        dialogServer->hideDialog(window);
    else
        window->disappear();
    if (left)
        left->deleteLater();
}

void BluetoothDeviceSelectorPrivate::closeSheet()
{
    if (BluetoothDeviceSelectionSheet *closing = sheet.data()) {
        sheet.clear();
        dropWindow(closing);
    }
}

void BluetoothDeviceSelectorPrivate::closeConfirmation()
{
    if (SwitchBluetoothOnConfirmation *closing = confirmation.data()) {
        confirmation.clear();
        dropWindow(closing);
    }
}

QMap<QString, QVariant> BluetoothDeviceSelectorPrivate::filterFromRequest() const
{
    QMap<QString, QVariant> filter;
    const QString major = request.value(MajorName).toString();
    const QString minor = request.value(MinorName).toString();
    if (!major.isEmpty()) {
        if (!minor.isEmpty()) {
            unsigned int cod = 0;
            if (BluetoothDeviceInfoUtils::classOfDeviceStrToInt(cod, major, minor))
                filter.insert(QStringLiteral("classOfDevice"), cod);
            else
                qCWarning(lcDevices, "***CoD not found!");
        } else {
            filter.insert(QStringLiteral("majorClass"),
                          int(BluetoothDeviceInfoUtils::stringToMajorClass(major)));
        }
    }

    const QStringList services = request.value(Services).toStringList();
    if (services.isEmpty())
        return filter;
    int flags = 0;
    QStringList uuids;
    const auto classes = BluetoothDeviceInfoUtils::serviceClassMap();
    for (const QString &text : services) {
        if (classes.contains(text)) {
            flags |= int(classes.value(text));
        } else if (!BluetoothDeviceInfoUtils::uuidsToProfileNames({ text }).isEmpty()) {
            uuids.append(text);
        } else {
            qCWarning(lcDevices, "Invalid service class: \"%s\"", qUtf8Printable(text));
            flags |= 0xFFFF;
        }
    }
    filter.insert(QStringLiteral("serviceClass"), flags);
    if (!uuids.isEmpty())
        filter.insert(QStringLiteral("uuids"), uuids);
    return filter;
}

BluetoothDeviceSelectionSheet *BluetoothDeviceSelectorPrivate::processRequest()
{
    const QMap<QString, QVariant> filter = filterFromRequest();
    const QString option = request.value(BondingOption).toString();
    bondingMode = BluetoothDeviceInfoUtils::stringToBondingMode(option);

    if (bondingMode == BluetoothDeviceInfoUtils::BondingRequireAddress) {
        // No sheet follows the question here: it has been answered.
        closeConfirmation();
        const QString address
            = validAddress(BluetoothDeviceInfoUtils::bluetoothAddressFromString(option));
        if (address.isEmpty()) {
            qCWarning(lcDevices, "Special bonding requested without Bluetooth address");
            Q_EMIT q->dialogCanceled();
            return nullptr;
        }
        device = BluetoothDevice(QVariantMap { { QStringLiteral("Address"), address },
                                               { QStringLiteral("LegacyPairing"), false } });
        startPairing();
        return nullptr;
    }

    closeSheet();
    sheet = new BluetoothDeviceSelectionSheet(adapter, filter);
    sheet->setPending(pending);
    showWindow(sheet);
    closeConfirmation();
    connect(sheet, &SimpleSheet::rejected, this, &BluetoothDeviceSelectorPrivate::sheetCanceled);
    connect(sheet, &BluetoothDeviceSelectionSheet::deviceSelectionFinished, this,
            &BluetoothDeviceSelectorPrivate::deviceSelectionFinished);
    return sheet;
}

void BluetoothDeviceSelectorPrivate::deviceSelectionFinished(const BluetoothDevice &chosen)
{
    // The sheet is done first: the application may delete the selector on
    // the signal that ends the flow.
    closeSheet();
    if (chosen.isBlocked()) {
        askToUnblock(chosen);
    } else {
        device = chosen;
        switch (bondingMode) {
        case BluetoothDeviceInfoUtils::BondingNone:
            Q_EMIT q->deviceSelected(device);
            break;
        case BluetoothDeviceInfoUtils::BondingRequire:
            if (device.isPaired())
                Q_EMIT q->deviceSelected(device);
            else
                startPairing();
            break;
        case BluetoothDeviceInfoUtils::BondingForce:
            if (device.isPaired()) {
                // A fresh pairing: forget the old one, and pair with a device
                // that no longer refers to the object BlueZ drops.
                const BluetoothDevice old = device;
                device = BluetoothDevice(
                    QVariantMap { { QStringLiteral("Address"), old.address() },
                                  { QStringLiteral("Name"), old.name() },
                                  { QStringLiteral("Class"), old.classOfDevice() },
                                  { QStringLiteral("LegacyPairing"), old.isLegacyPairing() } });
                adapter->removeDevice(old);
            }
            startPairing();
            break;
        default:
            qCWarning(lcDevices, "Wrong bonding mode in BluetoothDeviceSelectorPrivate");
            Q_EMIT q->dialogCanceled();
            break;
        }
    }
}

void BluetoothDeviceSelectorPrivate::askToUnblock(const BluetoothDevice &blocked)
{
    auto *box = new OrvelMessageBox(qtTrId("qtn_conn_bt_remove_block_q"),
                                    qtTrId("qtn_conn_bt_remove_block_i").arg(blocked.name()),
                                    QMessageBox::Yes | QMessageBox::No);
    box->setObjectName(QStringLiteral("BluetoothRemoveBlockQuestion"));
    // The box's last signals: it may be gone once they are handled.
    connect(box, &OrvelDialog::accepted, this,
            [this, box, blocked] { unblockAnswered(box, blocked, true); });
    connect(box, &OrvelDialog::rejected, this,
            [this, box, blocked] { unblockAnswered(box, blocked, false); });
    showWindow(box);
}

void BluetoothDeviceSelectorPrivate::tellRadioBlocked()
{
    auto *box = new OrvelMessageBox(qtTrId("qtn_conn_bt_radio_blocked"));
    box->setObjectName(QStringLiteral("BluetoothRadioBlockedNote"));
    // Nothing to choose from until the radio is unblocked.
    connect(box, &OrvelDialog::finished, this, [this, box] {
        dropWindow(box);
        Q_EMIT q->dialogCanceled();
    });
    showWindow(box);
}

void BluetoothDeviceSelectorPrivate::unblockAnswered(OrvelMessageBox *box,
                                                     const BluetoothDevice &blocked, bool unblock)
{
    if (unblock) {
        BluetoothDevice copy = blocked;
        copy.setBlocked(false);
    }
    dropWindow(box);
    // The sheet is gone either way: the caller must not wait for an answer.
    Q_EMIT q->dialogCanceled();
}

void BluetoothDeviceSelectorPrivate::startPairing()
{
    if (!adapter->isValid()) {
        Q_EMIT q->dialogCanceled();
        return;
    }
    auto *pairing = new BluetoothPairingProcess(this);
    pairing->setErrorNotification(true);
    pairing->setDialogServer(dialogServer);
    connect(pairing, &BluetoothPairingProcess::finished, this,
            &BluetoothDeviceSelectorPrivate::pairingFinished);
    pairing->start(device);
}

void BluetoothDeviceSelectorPrivate::pairingFinished()
{
    auto *pairing = qobject_cast<BluetoothPairingProcess *>(sender());
    if (!pairing) {
        qCWarning(lcDevices, "BluetoothDeviceSelector: pairingFinished() without pairing process!");
        return;
    }
    // A cancelled pairing may report its end twice; the flow ends once.
    disconnect(pairing, nullptr, this, nullptr);
    // Let go of it before the final signal, which may delete the selector.
    pairing->setParent(nullptr);
    pairing->deleteLater();
    const QString error = pairing->error();
    if (!error.isEmpty()) {
        qCWarning(lcDevices, "BluetoothDeviceSelector: pairing failed: %s", qUtf8Printable(error));
        Q_EMIT q->dialogCanceled();
    } else {
        // Report the device as BlueZ now knows it (with its object path).
        const BluetoothDevice paired = adapter->deviceForAddress(device.address());
        if (!paired.path().isEmpty())
            device = paired;
        Q_EMIT q->deviceSelected(device);
    }
}

void BluetoothDeviceSelectorPrivate::sheetCanceled()
{
    closeSheet();
    Q_EMIT q->dialogCanceled();
}

void BluetoothDeviceSelectorPrivate::bluetoothOnDialogAccepted()
{
    adapter->setPowered(true);
    // Without a sheet the flow may have ended, and the selector with it.
    if (BluetoothDeviceSelectionSheet *opened = processRequest())
        opened->setScanFinished(false);
}

void BluetoothDeviceSelectorPrivate::bluetoothOnDialogRejected()
{
    closeConfirmation();
    Q_EMIT q->dialogCanceled();
}

BluetoothDeviceSelector::BluetoothDeviceSelector(ConnectivityDialogServerInterface *dialogServer)
    : d_ptr(new BluetoothDeviceSelectorPrivate(this, dialogServer))
{
}

BluetoothDeviceSelector::~BluetoothDeviceSelector()
{
    delete d_ptr;
}

bool BluetoothDeviceSelector::startSelection(const QVariantList &request)
{
    Q_D(BluetoothDeviceSelector);
    QStringList values;
    for (const QVariant &value : request)
        values.append(describe(value));
    qCDebug(lcDevices, "bool Ovrin::BluetoothDeviceSelector::startSelection(QVariantList&) (%s)",
            qUtf8Printable(values.join(QLatin1String(", "))));
    d->request = request;

    // The handle always exists; without BlueZ behind it there is nothing
    // to switch on or to choose from.
    if (!d->adapter->isValid()) {
        qCWarning(lcDevices, "BluetoothDeviceSelector: Bluetooth is not available");
        return false;
    }
    // Blocked by rfkill, the radio is off whatever BlueZ has said so far.
    if (d->adapter->isRadioBlocked()) {
        d->tellRadioBlocked();
        return true;
    }
    if (d->adapter->isPowered()) {
        d->processRequest();
        return true;
    }
    if (OfflineMode().currentStatus() != OfflineMode::Offline) {
        qCWarning(lcDevices, "Just set power on bt adapter!");
        d->adapter->setPowered(true);
        d->processRequest();
        return true;
    }
    d->closeConfirmation();
    d->confirmation = new SwitchBluetoothOnConfirmation();
    connect(d->confirmation, &OrvelDialog::accepted, d,
            &BluetoothDeviceSelectorPrivate::bluetoothOnDialogAccepted);
    connect(d->confirmation, &OrvelDialog::rejected, d,
            &BluetoothDeviceSelectorPrivate::bluetoothOnDialogRejected);
    d->showWindow(d->confirmation);
    return true;
}

void BluetoothDeviceSelector::cancelSelectionSheet()
{
    Q_D(BluetoothDeviceSelector);
    if (!d->sheet) {
        qCWarning(lcDevices, "Sheet not set! Unable to cancel the sheet!");
        return;
    }
    d->sheet->done(false);
}

bool BluetoothDeviceSelector::isSelectionSheetInSwitcher() const
{
    Q_D(const BluetoothDeviceSelector);
    if (!d->sheet) {
        qCWarning(lcDevices, "Sheet not set!");
        return false;
    }
    return d->sheet->isInSwitcher();
}

bool BluetoothDeviceSelector::isPending() const
{
    Q_D(const BluetoothDeviceSelector);
    if (!d->sheet) {
        qCWarning(lcDevices, "Sheet not set! Unable to get the state!");
        return false;
    }
    return d->sheet->isPending();
}

void BluetoothDeviceSelector::setPending(bool state)
{
    Q_D(BluetoothDeviceSelector);
    d->pending = state;
    if (!d->sheet) {
        qCWarning(lcDevices, "Sheet not set! Unable to change the state!");
        return;
    }
    d->sheet->setPending(state);
}

} // namespace Ovrin
