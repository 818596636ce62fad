#include "bluetoothpairingprocesshandler.h"

#include "bluetoothadapter.h"
#include "bluetoothagent.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothconnectionmanager.h"
#include "bluetoothpairingprocess.h"
#include "bluetoothpasskeydisplaysheet.h"
#include "bluetoothpincodesheet.h"
#include "bluezdaemon.h"
#include "bluezdialect.h"
#include "connectivitydialogserverinterface.h"
#include "pairinglogging.h"
#include "simpleinformationbanner.h"
#include "simplenotification.h"

#include <QFile>
#include <QTimer>

#include <QPointer>

namespace Ovrin {

namespace {

// The PIN of the maker's own audio accessories.
const QString fixedPin = QStringLiteral("7351");
const QString canceledError = QStringLiteral("org.bluez.Canceled");

QString failureTextId(const QString &errorName)
{
    static const QHash<QString, const char *> ids {
        { QStringLiteral("org.bluez.Error.AuthenticationRejected"), "qtn_conn_bt_pair_fail_auth_rejected" },
        { QStringLiteral("org.bluez.Error.AuthenticationFailed"), "qtn_conn_bt_pair_fail_auth_failed" },
        { QStringLiteral("org.bluez.Error.AuthenticationTimeout"), "qtn_conn_bt_pair_fail_timeout" },
        { QStringLiteral("org.bluez.Error.RepeatedAttempts"), "qtn_conn_bt_pair_fail_too_little_time" },
    };
    return qtTrId(ids.value(errorName, "qtn_conn_bt_pairing_failed"));
}

// Tells the user why pairing failed, the way the caller asked for.
void tellUser(const QString &errorName, bool asNotification)
{
    const QString text = failureTextId(errorName);
    if (asNotification)
        SimpleNotification::show(QStringLiteral("x-brivo.bluetooth"), QString(), text, QString());
    else
        SimpleInformationBanner::show(text, QStringLiteral("icon-m-bluetooth"));
}

} // namespace

BluetoothPairingProcessHandler::BluetoothPairingProcessHandler(BluetoothPairingProcess *process,
                                                               const BluetoothDevice &device,
                                                               const QString &providedPin)
    : m_process(process)
    , m_device(device)
    , m_agent(nullptr)
    , m_adapter(BluetoothAdapter::defaultAdapter())
    , m_providedPin(providedPin)
{
    m_agent = new BluetoothAgent(this);
    connect(m_agent, &BluetoothAgent::pinCodeRequested, this, &BluetoothPairingProcessHandler::pinCodeRequested);
    connect(m_agent, &BluetoothAgent::passkeyRequested, this, &BluetoothPairingProcessHandler::passkeyRequested);
    connect(m_agent, &BluetoothAgent::confirmationRequested, this,
            &BluetoothPairingProcessHandler::confirmationRequested);
    connect(m_agent, &BluetoothAgent::passkeyDisplayRequested, this,
            &BluetoothPairingProcessHandler::passkeyDisplayRequested);
    connect(m_agent, &BluetoothAgent::cancel, this, &BluetoothPairingProcessHandler::requestCanceled);
    connect(m_adapter, &BluetoothAdapter::deviceCreated, this, &BluetoothPairingProcessHandler::deviceCreated);
    connect(m_adapter, &BluetoothAdapter::deviceCreationFailed, this,
            &BluetoothPairingProcessHandler::deviceCreationFailed);
}

BluetoothPairingProcessHandler::~BluetoothPairingProcessHandler()
{
    // An attempt dropped half way must not leave BlueZ pairing for nobody.
    if (m_deviceCreationStarted && !m_finished)
        m_adapter->cancelDeviceCreation(m_device);
    hideWindows();
    delete m_connectionManager;
    // The agent, a child, answers what is still open as it goes.
    delete m_agent;
    delete m_adapter;
}

template<typename Sheet> void BluetoothPairingProcessHandler::closeSheet(QPointer<Sheet> &sheet)
{
    if (sheet)
        hideWindow(sheet);
    sheet = nullptr;
}

bool BluetoothPairingProcessHandler::tellProcess(void (BluetoothPairingProcess::*signal)())
{
    const QPointer<BluetoothPairingProcessHandler> alive(this);
    (m_process->*signal)();
    return alive;
}

void BluetoothPairingProcessHandler::start()
{
    if (m_device.isLegacyPairing() && !m_process->isIgnoreLegacyPairing()) {
        if (!m_providedPin.isEmpty()) {
            m_trusted = true;
        } else if (m_device.majorClass() == BluetoothDevice::AudioVideo
                   && m_device.name().startsWith(QLatin1String("brivo"), Qt::CaseInsensitive)) {
            m_autoPairing = true;
            m_trusted = true;
        } else if (bluezTriesOwnPins()) {
            m_bluezTriesPins = true;
        } else {
            startLegacyPairing();
            return;
        }
    }
    if (tellProcess(&BluetoothPairingProcess::started))
        startDeviceCreation();
}

void BluetoothPairingProcessHandler::startDeviceCreation()
{
    m_deviceCreationStarted = true;
    if (!m_adapter->isValid()) {
        // Nothing can be sent: fail as BlueZ would, but after start() has returned.
        QTimer::singleShot(0, this, [this]() {
            deviceCreationFailed(QStringLiteral("org.bluez.Error.NotReady"));
        });
        return;
    }
    m_adapter->startCreatingPairedDevice(m_device, m_agent);
}

void BluetoothPairingProcessHandler::startLegacyPairing()
{
    showPinCodeSheet();
    m_pinCodeSheet->setPinCode(proposedPin());
}

QString BluetoothPairingProcessHandler::proposedPin() const
{
    return m_device.majorClass() == BluetoothDevice::AudioVideo ? fixedPin : randomPin();
}

bool BluetoothPairingProcessHandler::bluezTriesOwnPins() const
{
    const BluezDialect *dialect = BluezDaemon::instance()->dialect();
    return dialect && dialect->triesOwnPins(m_device.classOfDevice());
}

QString BluetoothPairingProcessHandler::randomPin()
{
    QFile random(QStringLiteral("/dev/urandom"));
    if (!random.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = random.read(4);
    if (bytes.size() != 4)
        return QString();
    QString pin;
    for (const char byte : bytes)
        pin.append(QLatin1Char(char('0' + uchar(byte) % 10)));
    return pin;
}

bool BluetoothPairingProcessHandler::isOwnDevice(const BluetoothDevice &device, const char *what) const
{
    const QString own = m_device.address();
    const QString requested = device.address();
    if (own == requested)
        return true;
    qCWarning(lcPairing, "Pairing device %s, but requested %s for %s", qPrintable(own), what,
              qPrintable(requested));
    return false;
}

void BluetoothPairingProcessHandler::pinCodeRequested(const BluetoothDevice &device)
{
    if (!isOwnDevice(device, "PIN code"))
        return;
    if (!m_providedPin.isEmpty()) {
        m_agent->providePinCode(device, m_providedPin);
    } else if (m_autoPairing) {
        m_agent->providePinCode(device, fixedPin);
    } else if (m_pinCodeSheet && m_pinCodeSheet->isReadOnly()) {
        // The user accepted a PIN before BlueZ asked for it.
        m_agent->providePinCode(device, m_pinCodeSheet->pinCode());
    } else {
        m_requestType = PinCodeRequest;
        showPinCodeSheet();
        // BlueZ's own PINs failed: offer ours, as when the user is asked first.
        if (m_bluezTriesPins)
            m_pinCodeSheet->setPinCode(proposedPin());
    }
}

void BluetoothPairingProcessHandler::passkeyRequested(const BluetoothDevice &device)
{
    if (!isOwnDevice(device, "passkey"))
        return;
    closeAnsweredPinCodeSheet();
    m_requestType = PasskeyRequest;
    showPinCodeSheet();
}

void BluetoothPairingProcessHandler::confirmationRequested(const BluetoothDevice &device, uint passkey)
{
    if (!isOwnDevice(device, "confirmation"))
        return;
    closeAnsweredPinCodeSheet();
    m_requestType = ConfirmationRequest;
    showConfirmationSheet(passkey, true);
}

void BluetoothPairingProcessHandler::passkeyDisplayRequested(const BluetoothDevice &device,
                                                             uint passkey, uint entered)
{
    if (!isOwnDevice(device, "passkey display"))
        return;
    closeAnsweredPinCodeSheet();
    // No switch on this sheet: trusted, as the other sheets start.
    m_trusted = true;
    showPasskeyDisplaySheet(passkey, entered);
}

void BluetoothPairingProcessHandler::closeAnsweredPinCodeSheet()
{
    if (m_pinCodeSheet && m_pinCodeSheet->isReadOnly())
        closeSheet(m_pinCodeSheet);
}

void BluetoothPairingProcessHandler::showPinCodeSheet()
{
    if (m_pinCodeSheet)
        return;
    m_pinCodeSheet = new BluetoothPinCodeSheet(m_device.name(),
                                               m_requestType == PasskeyRequest
                                                       ? BluetoothPinCodeEdit::PasskeyType
                                                       : BluetoothPinCodeEdit::PinCodeType);
    // Once the code is given the sheet shows the pairing run until it ends.
    m_pinCodeSheet->setKeptOpenOnAccept(true);
    watchSheet(m_pinCodeSheet);
    showWindow(m_pinCodeSheet);
}

void BluetoothPairingProcessHandler::showConfirmationSheet(uint passkey, bool showPasskey)
{
    if (m_confirmationSheet)
        return;
    m_confirmationSheet = new BluetoothConfirmationSheet(m_device.name(), passkey, showPasskey);
    watchSheet(m_confirmationSheet);
    showWindow(m_confirmationSheet);
}

void BluetoothPairingProcessHandler::showPasskeyDisplaySheet(uint passkey, uint entered)
{
    // BlueZ tells again for each digit typed on the remote side.
    if (!m_passkeyDisplaySheet) {
        m_passkeyDisplaySheet = new BluetoothPasskeyDisplaySheet(m_device.name(), passkey);
        watchSheet(m_passkeyDisplaySheet);
        showWindow(m_passkeyDisplaySheet);
    }
    m_passkeyDisplaySheet->setEntered(entered);
}

void BluetoothPairingProcessHandler::watchSheet(SimpleSheet *sheet)
{
    connect(sheet, &SimpleSheet::accepted, this, [this, sheet] { sheetAccepted(sheet); });
    connect(sheet, &SimpleSheet::rejected, this, [this, sheet] { sheetRejected(sheet); });
}

void BluetoothPairingProcessHandler::sheetAccepted(SimpleSheet *sheet)
{
    if (sheet == m_confirmationSheet) {
        m_trusted = m_confirmationSheet->isTrusted();
        m_agent->confirmPasskey(m_device);
        closeSheet(m_confirmationSheet);
        return;
    }
    if (sheet != m_pinCodeSheet)
        return;
    // The sheet stays up, read-only with its spinner, until the attempt ends.
    m_trusted = m_pinCodeSheet->isTrusted();
    const QString pin = m_pinCodeSheet->pinCode();
    switch (m_requestType) {
    case NoRequest:
        if (tellProcess(&BluetoothPairingProcess::started))
            startDeviceCreation();
        break;
    case PinCodeRequest:
        m_agent->providePinCode(m_device, pin);
        break;
    case PasskeyRequest:
        // Text that is no number gives 0, which BlueZ refuses.
        m_agent->providePasskey(m_device, pin.toUInt(nullptr, 10));
        break;
    default:
        qCWarning(lcPairing, "Unknown request type %d", int(m_requestType));
        break;
    }
}

bool BluetoothPairingProcessHandler::isAnsweringRequest(SimpleSheet *sheet) const
{
    if (sheet == m_confirmationSheet)
        return true;
    return sheet == m_pinCodeSheet && !m_pinCodeSheet->isReadOnly() && m_requestType != NoRequest;
}

void BluetoothPairingProcessHandler::sheetRejected(SimpleSheet *sheet)
{
    if (sheet != m_pinCodeSheet && sheet != m_confirmationSheet && sheet != m_passkeyDisplaySheet)
        return;
    if (m_deviceCreationStarted)
        m_adapter->cancelDeviceCreation(m_device);
    // Only a question still open is refused; BlueZ has the other answers.
    if (isAnsweringRequest(sheet))
        m_agent->rejectDevice(m_device);
    cancel();
}

void BluetoothPairingProcessHandler::cancel()
{
    // BlueZ cancels its request too after the user has: the attempt is over
    // once, and a success stays a success.
    if (m_finished) {
        hideWindows();
        return;
    }
    hideWindows();
    m_error = canceledError;
    m_finished = true;
    Q_EMIT m_process->finished();
}

void BluetoothPairingProcessHandler::requestCanceled()
{
    // Only a running creation of this attempt has questions BlueZ can give up.
    if (m_finished || !m_deviceCreationStarted)
        return;
    closeOpenQuestions();
}

void BluetoothPairingProcessHandler::closeOpenQuestions()
{
    if (m_pinCodeSheet && !m_pinCodeSheet->isReadOnly())
        closeSheet(m_pinCodeSheet);
    closeSheet(m_confirmationSheet);
    closeSheet(m_passkeyDisplaySheet);
    m_requestType = NoRequest;
}

void BluetoothPairingProcessHandler::deviceCreated(const BluetoothDevice &device)
{
    // BlueZ's announcement and its answer to the creation both come here;
    // handled late, both find the device paired. The first one ends it.
    if (m_finished || device.address() != m_device.address() || !device.isPaired())
        return;
    m_deviceCreated = true;
    if (!m_agent->agentCalled() && !m_process->isAutoTrusted())
        m_process->setAutoTrusted(true);
    if (m_process->isAutoTrusted())
        m_trusted = true;
    // The handle BlueZ gave back is the one with a device object behind it.
    m_device = device;
    m_device.setTrusted(m_trusted);
    if (m_process->isAutoConnected()) {
        delete m_connectionManager;
        m_connectionManager = new BluetoothConnectionManager(m_device);
        if (m_connectionManager->shouldAutoConnect())
            m_connectionManager->connect();
    }
    hideWindows();
    m_finished = true;
    Q_EMIT m_process->finished();
}

void BluetoothPairingProcessHandler::deviceCreationFailed(const QString &reason)
{
    // The adapter reports every creation of the process; only a running
    // creation of this attempt can be the one that failed.
    if (!m_deviceCreationStarted || m_deviceCreated)
        return;
    m_deviceCreationStarted = false;
    if (m_autoPairing) {
        m_trusted = false;
        m_autoPairing = false;
        // Whatever BlueZ asked during the failed attempt is void now.
        hideWindows();
        m_requestType = NoRequest;
        startLegacyPairing();
        return;
    }
    hideWindows();
    if (m_error.isEmpty())
        m_error = reason;
    m_finished = true;
    // A receiver of finished() may delete the process, this handler and the
    // adapter that holds reason: keep what is still to be told.
    const QString why = reason;
    const QString error = m_error;
    const bool asNotification = m_process->isErrorNotification();
    Q_EMIT m_process->finished();
    qCWarning(lcPairing, "Pairing failed, reason=%s", qPrintable(why));
    if (error != canceledError)
        tellUser(error, asNotification);
}

void BluetoothPairingProcessHandler::hideWindows()
{
    closeSheet(m_pinCodeSheet);
    closeSheet(m_confirmationSheet);
    closeSheet(m_passkeyDisplaySheet);
}

void BluetoothPairingProcessHandler::showWindow(OrvelSceneWindow *window)
{
    if (ConnectivityDialogServerInterface *server = m_process->dialogServer())
        server->showDialog(window);
    else
        window->appear();
}

void BluetoothPairingProcessHandler::hideWindow(OrvelSceneWindow *window)
{
    // A dialog server may delete what it hides; only what is left is ours.
    const QPointer<OrvelSceneWindow> left(window);
    if (ConnectivityDialogServerInterface *server = m_process->dialogServer())
        server->hideDialog(window);
    else
        window->disappear();
    // Sheets belong to the attempt; once hidden nobody shows them again.
    if (left)
        left->deleteLater();
}

} // namespace Ovrin
