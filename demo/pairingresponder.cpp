#include "pairingresponder.h"

#include "bluetoothadapter.h"
#include "bluetoothagent.h"
#include "bluetoothauthorizationdialog.h"
#include "bluetoothconfirmationsheet.h"
#include "bluetoothpasskeydisplaysheet.h"
#include "bluetoothpincodesheet.h"

using namespace Ovrin;

PairingResponder::PairingResponder(QObject *parent)
    : QObject(parent)
    , m_adapter(BluetoothAdapter::defaultAdapter())
    , m_agent(new BluetoothAgent(this))
{
    connect(m_agent, &BluetoothAgent::pinCodeRequested, this,
            [this](const BluetoothDevice &device) { askForCode(device, false); });
    connect(m_agent, &BluetoothAgent::passkeyRequested, this,
            [this](const BluetoothDevice &device) { askForCode(device, true); });
    connect(m_agent, &BluetoothAgent::confirmationRequested, this, &PairingResponder::askToConfirm);
    connect(m_agent, &BluetoothAgent::authorizationRequested, this,
            &PairingResponder::askToAuthorize);
    connect(m_agent, &BluetoothAgent::passkeyDisplayRequested, this,
            &PairingResponder::showPasskey);
    // Mode changes are asked for by applications on the handset itself.
    connect(m_agent, &BluetoothAgent::modeChangeConfirmationRequested, m_agent,
            &BluetoothAgent::confirmModeChange);
    connect(m_agent, &BluetoothAgent::cancel, this, &PairingResponder::closeQuestion);
    // A BlueZ that comes back has forgotten its agents.
    connect(m_adapter.get(), &BluetoothAdapter::adapterValid, this,
            &PairingResponder::registerWithBluez);
    registerWithBluez();
}

PairingResponder::~PairingResponder()
{
    closeQuestion();
    if (m_adapter->isValid())
        m_adapter->unregisterAgent(*m_agent);
}

void PairingResponder::registerWithBluez()
{
    if (m_adapter->isValid())
        m_adapter->registerAgent(*m_agent);
}

void PairingResponder::askForCode(const BluetoothDevice &device, bool passkey)
{
    auto *sheet = new BluetoothPinCodeSheet(device.name(),
                                            passkey ? BluetoothPinCodeEdit::PasskeyType
                                                    : BluetoothPinCodeEdit::PinCodeType);
    connect(sheet, &SimpleSheet::accepted, this, [this, sheet, device, passkey] {
        if (passkey)
            m_agent->providePasskey(device, sheet->pinCode().toUInt());
        else
            m_agent->providePinCode(device, sheet->pinCode());
    });
    connect(sheet, &SimpleSheet::rejected, this, [this, device] { m_agent->rejectDevice(device); });
    show(sheet);
}

void PairingResponder::askToConfirm(const BluetoothDevice &device, uint passkey)
{
    auto *sheet = new BluetoothConfirmationSheet(device.name(), passkey, true);
    connect(sheet, &SimpleSheet::accepted, this,
            [this, device] { m_agent->confirmPasskey(device); });
    connect(sheet, &SimpleSheet::rejected, this, [this, device] { m_agent->rejectDevice(device); });
    show(sheet);
}

void PairingResponder::askToAuthorize(const BluetoothDevice &device)
{
    auto *dialog = new BluetoothAuthorizationDialog(device.name());
    connect(dialog, &OrvelDialog::finished, this, [this, device](int button) {
        if (button == QMessageBox::Yes)
            m_agent->authorizeDevice(device);
        else
            m_agent->rejectDevice(device);
    });
    show(dialog);
}

void PairingResponder::showPasskey(const BluetoothDevice &device, uint passkey, uint entered)
{
    // BlueZ tells again for each digit typed on the keyboard.
    auto *shown = qobject_cast<BluetoothPasskeyDisplaySheet *>(m_question.data());
    if (shown && m_typingDevice && *m_typingDevice == device) {
        shown->setEntered(entered);
        return;
    }
    auto *sheet = new BluetoothPasskeyDisplaySheet(device.name(), passkey);
    sheet->setEntered(entered);
    // Nothing to answer, and BlueZ sends no Cancel after it: the sheet goes
    // when the keyboard is paired or its link drops. Cancel drops the link.
    m_typingDevice = std::make_unique<BluetoothDevice>(device);
    BluetoothDevice *typing = m_typingDevice.get();
    connect(typing, &BluetoothDevice::propertyChanged, sheet,
            [sheet, typing](const QString &property) {
                if (property == QLatin1String("paired")
                    || (property == QLatin1String("connected") && !typing->isConnected()))
                    sheet->disappear();
            });
    connect(sheet, &SimpleSheet::rejected, typing, &BluetoothDevice::disconnect);
    show(sheet);
}

void PairingResponder::show(OrvelSceneWindow *window)
{
    // BlueZ asks one thing at a time: an older question still open is refused.
    if (m_question)
        QMetaObject::invokeMethod(m_question, "reject");
    m_question = window;
    window->appear(nullptr, OrvelSceneWindow::DestroyWhenDone);
}

void PairingResponder::closeQuestion()
{
    if (m_question)
        m_question->disappear();
}
