#ifndef OVRIN_BLUETOOTHADAPTER_H
#define OVRIN_BLUETOOTHADAPTER_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QList>
#include <QObject>

namespace Ovrin {

class BluetoothAdapterPrivate;
class BluetoothAgent;

// A light handle on the handset's Bluetooth adapter. All handles of a process
// share one private object that follows BlueZ, caches the adapter's
// properties and emits every adapter signal on every live handle.
class OVRIN_EXPORT BluetoothAdapter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool discoverable READ isDiscoverable WRITE setDiscoverable)
    Q_PROPERTY(bool powered READ isPowered WRITE setPowered)
    Q_PROPERTY(bool discovering READ isDiscovering)
    Q_PROPERTY(QString address READ address)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(bool discoverableSync READ isDiscoverableSync WRITE setDiscoverableSync)

public:
    explicit BluetoothAdapter(QObject *parent = nullptr);
    ~BluetoothAdapter() override;

    // A new handle without parent; the caller owns it.
    static BluetoothAdapter *defaultAdapter();

    bool isValid() const;
    bool isPowered() const;
    bool isDiscovering() const;
    bool isDiscoverable() const;
    QString name() const;
    QString address() const;
    quint32 classOfDevice() const;
    bool isDiscoverableSync() const;

    void setName(const QString &name);
    void setPowered(bool powered);
    void setDiscoverable(bool discoverable);
    void setDiscoverableSync(bool sync);
    void restoreVisibility();

    QList<BluetoothDevice> listDevices() const;
    BluetoothDevice deviceForAddress(const QString &address) const;

    void requestSession();
    void releaseSession();
    void registerAgent(const BluetoothAgent &agent);
    void unregisterAgent(const BluetoothAgent &agent);

public Q_SLOTS:
    void startCreatingPairedDevice(const Ovrin::BluetoothDevice &device,
                                   const Ovrin::BluetoothAgent *agent);
    void startCreatingDevice(const Ovrin::BluetoothDevice &device);
    void cancelDeviceCreation(const Ovrin::BluetoothDevice &device);
    void removeDevice(const Ovrin::BluetoothDevice &device);
    void startDiscovery();
    void stopDiscovery();

Q_SIGNALS:
    void propertyChanged(const QString &property);
    void deviceDiscovered(Ovrin::BluetoothDevice device);
    void deviceCreated(const Ovrin::BluetoothDevice &device);
    void deviceRemoved(const Ovrin::BluetoothDevice &device);
    void deviceCreationFailed(const QString &errorName);
    void adapterInvalid();
    void adapterValid();
    void sessionObtained();
    void sessionRejected();

private:
    friend class BluetoothAdapterPrivate;
    BluetoothAdapterPrivate *d_ptr;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHADAPTER_H
