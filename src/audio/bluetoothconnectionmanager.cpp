#include "bluetoothconnectionmanager.h"

#include "audiologging.h"
#include "bluetoothadapter.h"
#include "bluetoothconnectionmanager_p.h"
#include "bluetoothdeviceinfoutils.h"
#include "bluezdaemon.h"
#include "bluezdialect.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <memory>

namespace Ovrin {

namespace {

// How long a previously connected audio device is given after it has gone.
constexpr int reconnectDelayMs = 1000;
// How long a previously connected audio device may take to go. BlueZ itself
// waits 2 s before it drops a link; the rest is for a slow remote.
constexpr int previousTimeLimitMs = 10000;

} // namespace

// --- private ----------------------------------------------------------------

const QSet<QString> BluetoothConnectionManagerPrivate::audioProfiles
    = { QStringLiteral("qtn_conn_bt_a2dp"), QStringLiteral("qtn_conn_bt_hsp"),
        QStringLiteral("qtn_conn_bt_hfp") };

BluetoothConnectionManagerPrivate::BluetoothConnectionManagerPrivate(
    const BluetoothDevice &device, BluetoothConnectionManager *owner)
    : QObject(owner)
    , device(device)
    , owner(owner)
    , previousTimeLimit(new QTimer(this))
{
    QObject::connect(&this->device, &BluetoothDevice::propertyChanged, this,
                     &BluetoothConnectionManagerPrivate::devicePropertyChanged);
    previousTimeLimit->setSingleShot(true);
    previousTimeLimit->setInterval(previousTimeLimitMs);
    QObject::connect(previousTimeLimit, &QTimer::timeout, this,
                     [this]() { giveUpPrevious(QStringLiteral("Couldn't disconnect previous")); });
}

BluetoothConnectionManagerPrivate::~BluetoothConnectionManagerPrivate()
{
    abandonPrevious();
}

bool BluetoothConnectionManagerPrivate::isAudioConnected(bool warn)
{
    const auto failed = [warn]() {
        if (warn)
            qCWarning(lcAudio, "Unable to get properties from org.bluez.Audio");
        return false;
    };
    BluezDialect *dialect = BluezDaemon::instance()->dialect();
    if (device.path().isEmpty() || !dialect)
        return failed();
    QDBusError error;
    const bool connected = dialect->isAudioConnected(device.path(), &error);
    return error.isValid() ? failed() : connected;
}

void BluetoothConnectionManagerPrivate::disconnectPreviousAndConnectAudio()
{
    std::unique_ptr<BluetoothAdapter> adapter(BluetoothAdapter::defaultAdapter());
    const QList<BluetoothDevice> devices = adapter->listDevices();

    for (const BluetoothDevice &other : devices) {
        // A device without audio profiles has no audio connection to ask
        // about; one whose services are not known yet may have one all the
        // same, or no audio interface to ask at all.
        const bool servicesKnown = !other.uuids().isEmpty();
        if (servicesKnown && !BluetoothConnectionManager::isConnectable(other))
            continue;
        auto *manager = new BluetoothConnectionManager(other);
        if (!manager->d_ptr->isAudioConnected(servicesKnown)) {
            delete manager;
            continue;
        }
        waitForPrevious(manager);
        return;
    }

    connectAudio();
}

void BluetoothConnectionManagerPrivate::waitForPrevious(BluetoothConnectionManager *manager)
{
    previous = manager;
    // The temporary manager goes away with its answer.
    QObject::connect(manager, &BluetoothConnectionManager::disconnected, this,
                     &BluetoothConnectionManagerPrivate::deviceDisconnected);
    QObject::connect(manager, &BluetoothConnectionManager::disconnectionFailed, this,
                     &BluetoothConnectionManagerPrivate::disconnectFailed);
    QObject::connect(manager, &BluetoothConnectionManager::disconnected, manager,
                     &QObject::deleteLater);
    QObject::connect(manager, &BluetoothConnectionManager::disconnectionFailed, manager,
                     &QObject::deleteLater);
    // The report may never come: BlueZ may restart meanwhile, or lose it.
    previousAdapter = BluetoothAdapter::defaultAdapter();
    QObject::connect(previousAdapter, &BluetoothAdapter::adapterInvalid, this,
                     [this]() { giveUpPrevious(QStringLiteral("Adapter gone")); });
    previousTimeLimit->start();
    manager->disconnect();
}

void BluetoothConnectionManagerPrivate::stopWaitingForPrevious()
{
    previousTimeLimit->stop();
    if (previousAdapter) {
        // Later: this may run inside the adapter's own signal.
        QObject::disconnect(previousAdapter, nullptr, this, nullptr);
        previousAdapter->deleteLater();
        previousAdapter = nullptr;
    }
    if (previous) {
        QObject::disconnect(previous, nullptr, this, nullptr);
        previous.clear();
    }
}

void BluetoothConnectionManagerPrivate::abandonPrevious()
{
    // Nobody waits for its answer any more, which may never come.
    if (previous)
        previous->deleteLater();
    stopWaitingForPrevious();
}

void BluetoothConnectionManagerPrivate::giveUpPrevious(const QString &reason)
{
    abandonPrevious();
    busy = false;
    Q_EMIT owner->connectionFailed(reason);
}

void BluetoothConnectionManagerPrivate::connectAudioCallback(QDBusPendingCallWatcher *watcher)
{
    connecting = false;
    busy = false;

    const QDBusPendingReply<> reply = *watcher;
    if (reply.isError()) {
        const QDBusError error = reply.error();
        qCWarning(lcAudio, "connectAudioCallback failed: %s, %s", error.name().toUtf8().constData(),
                  error.message().toUtf8().constData());
        Q_EMIT owner->connectionFailed(error.name());
    } else {
        Q_EMIT owner->connected();
    }
    watcher->deleteLater();
}

void BluetoothConnectionManagerPrivate::disconnectCallback(QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<> reply = *watcher;
    if (reply.isError()) {
        const QDBusError error = reply.error();
        qCWarning(lcAudio, "Disconnect failed: %s, %s", error.name().toUtf8().constData(),
                  error.message().toUtf8().constData());
        Q_EMIT owner->disconnectionFailed(error.name());
    }
    watcher->deleteLater();
}

void BluetoothConnectionManagerPrivate::devicePropertyChanged(const QString &property)
{
    if (property == QLatin1String("connected") && !device.isConnected())
        Q_EMIT owner->disconnected();
}

void BluetoothConnectionManagerPrivate::deviceDisconnected()
{
    // Only the first answer of the temporary manager counts.
    stopWaitingForPrevious();
    QTimer::singleShot(reconnectDelayMs, Qt::PreciseTimer, this,
                       &BluetoothConnectionManagerPrivate::connectAudio);
}

void BluetoothConnectionManagerPrivate::disconnectFailed()
{
    stopWaitingForPrevious();
    busy = false;
    Q_EMIT owner->connectionFailed(QStringLiteral("Couldn't disconnect previous"));
}

void BluetoothConnectionManagerPrivate::connectAudio()
{
    BluezDialect *dialect = BluezDaemon::instance()->dialect();
    if (!dialect) {
        giveUpPrevious(QStringLiteral("Bluez does not exist"));
        return;
    }
    connecting = true;
    busy = true;
    auto *watcher = new QDBusPendingCallWatcher(dialect->connectAudio(device.path()), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     &BluetoothConnectionManagerPrivate::connectAudioCallback);
}

// --- public -----------------------------------------------------------------

BluetoothConnectionManager::BluetoothConnectionManager(const BluetoothDevice &device,
                                                       QObject *parent)
    : QObject(parent)
    , d_ptr(new BluetoothConnectionManagerPrivate(device, this))
{
}

BluetoothConnectionManager::~BluetoothConnectionManager() = default;

const BluetoothDevice &BluetoothConnectionManager::device() const
{
    return d_ptr->device;
}

bool BluetoothConnectionManager::isConnectable(const BluetoothDevice &device)
{
    const QStringList profiles = BluetoothDeviceInfoUtils::uuidsToProfileNames(device.uuids());
    for (const QString &profile : profiles) {
        if (BluetoothConnectionManagerPrivate::audioProfiles.contains(profile))
            return true;
    }
    return false;
}

bool BluetoothConnectionManager::isConnectable() const
{
    return isConnectable(d_ptr->device);
}

bool BluetoothConnectionManager::shouldAutoConnect() const
{
    return isConnectable(d_ptr->device);
}

bool BluetoothConnectionManager::isAudioConnected() const
{
    return d_ptr->isAudioConnected(true);
}

void BluetoothConnectionManager::connect()
{
    Q_D(BluetoothConnectionManager);
    if (d->connecting || d->busy)
        return;
    if (!isConnectable())
        return;
    d->busy = true;
    d->disconnectPreviousAndConnectAudio();
}

void BluetoothConnectionManager::disconnect()
{
    Q_D(BluetoothConnectionManager);
    if (!d->device.isConnected()) {
        Q_EMIT disconnectionFailed(QStringLiteral("Not connected"));
        d->device.disconnect();
        return;
    }
    // Watched, so that a refusal is reported instead of leaving a caller
    // (a connect waiting for this device to go) waiting forever.
    BluezDialect *dialect = BluezDaemon::instance()->dialect();
    if (!dialect) {
        Q_EMIT disconnectionFailed(QStringLiteral("Bluez does not exist"));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(dialect->disconnectDevice(d->device.path()), d);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, d,
                     &BluetoothConnectionManagerPrivate::disconnectCallback);
}

} // namespace Ovrin
