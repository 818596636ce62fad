#include "bluetoothpairingprocess.h"

#include "bluetoothpairingprocess_p.h"
#include "bluetoothpairingprocesshandler.h"
#include "pairinglogging.h"

namespace Ovrin {

BluetoothPairingProcess::BluetoothPairingProcess(QObject *parent)
    : QObject(parent)
    , d_ptr(new BluetoothPairingProcessPrivate)
{
}

BluetoothPairingProcess::~BluetoothPairingProcess()
{
    delete d_ptr->handler;
    delete d_ptr;
}

void BluetoothPairingProcess::start(const BluetoothDevice &device)
{
    Q_D(BluetoothPairingProcess);
    if (d->handler && !d->handler->isFinished()) {
        qCWarning(lcPairing, "Pairing process is already ongoing, unable to restart it!");
        return;
    }
    delete d->handler;
    d->handler = nullptr;
    d->pairing = true;
    d->handler = new BluetoothPairingProcessHandler(this, device, d->pinCode);
    // Stored first: a receiver of started() may delete this process, and
    // the handler with it.
    d->handler->start();
}

bool BluetoothPairingProcess::isFinished() const
{
    return d_ptr->handler && d_ptr->handler->isFinished();
}

bool BluetoothPairingProcess::isPairing() const
{
    return d_ptr->handler ? !d_ptr->handler->isFinished() : d_ptr->pairing;
}

QString BluetoothPairingProcess::error() const
{
    return d_ptr->handler ? d_ptr->handler->error() : QString();
}

void BluetoothPairingProcess::setDialogServer(ConnectivityDialogServerInterface *server)
{
    d_ptr->dialogServer = server;
}

ConnectivityDialogServerInterface *BluetoothPairingProcess::dialogServer() const
{
    return d_ptr->dialogServer;
}

bool BluetoothPairingProcess::isErrorNotification() const
{
    return d_ptr->errorNotification;
}

void BluetoothPairingProcess::setErrorNotification(bool notification)
{
    d_ptr->errorNotification = notification;
}

bool BluetoothPairingProcess::isAutoTrusted() const
{
    return d_ptr->autoTrusted;
}

void BluetoothPairingProcess::setAutoTrusted(bool trusted)
{
    d_ptr->autoTrusted = trusted;
}

bool BluetoothPairingProcess::isAutoConnected() const
{
    return d_ptr->autoConnected;
}

void BluetoothPairingProcess::setAutoConnected(bool connected)
{
    d_ptr->autoConnected = connected;
}

bool BluetoothPairingProcess::isIgnoreLegacyPairing() const
{
    return d_ptr->ignoreLegacyPairing;
}

void BluetoothPairingProcess::setIgnoreLegacyPairing(bool ignore)
{
    d_ptr->ignoreLegacyPairing = ignore;
}

QString BluetoothPairingProcess::pinCode() const
{
    return d_ptr->pinCode;
}

void BluetoothPairingProcess::setPinCode(const QString &pinCode)
{
    d_ptr->pinCode = pinCode;
}

} // namespace Ovrin
