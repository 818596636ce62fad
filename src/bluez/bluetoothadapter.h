#ifndef OVRIN_BLUETOOTHADAPTER_H
#define OVRIN_BLUETOOTHADAPTER_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QList>
#include <QObject>

namespace Ovrin {

class BluetoothAdapterPrivate;
class BluetoothAgent;

/// A light handle on the handset's Bluetooth adapter. All handles of a process
/// share one private object that follows BlueZ, caches the adapter's
/// properties and emits every adapter signal on every live handle.
class OVRIN_EXPORT BluetoothAdapter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool discoverable READ isDiscoverable WRITE setDiscoverable)
    Q_PROPERTY(bool powered READ isPowered WRITE setPowered)
    Q_PROPERTY(bool discovering READ isDiscovering)
    Q_PROPERTY(QString address READ address)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(bool discoverableSync READ isDiscoverableSync WRITE setDiscoverableSync)
    Q_PROPERTY(bool radioBlocked READ isRadioBlocked NOTIFY radioBlockedChanged)

public:
    /// A new handle on the shared adapter object.
    explicit BluetoothAdapter(QObject *parent = nullptr);
    ~BluetoothAdapter() override;

    /// A new handle without parent; the caller owns it.
    static BluetoothAdapter *defaultAdapter();

    /// Whether BlueZ runs and has an adapter; until then the calls that need
    /// BlueZ do nothing.
    bool isValid() const;

    /// The cached "Powered" property (as all getters: read from BlueZ on
    /// first use, then kept up to date by its signals).
    bool isPowered() const;
    /// Whether the kernel's rfkill switch (a laptop's airplane key, say)
    /// keeps the radio off: switching it on fails until it is unblocked.
    /// BlueZ 5 tells it ("PowerState" "off-blocked"); on BlueZ 4 always false.
    bool isRadioBlocked() const;
    /// The cached "Discovering" property: an inquiry runs.
    bool isDiscovering() const;
    /// The cached "Discoverable" property; while the adapter is off, the
    /// visibility the user chose, from GConf.
    bool isDiscoverable() const;
    /// The cached "Name" property: the name other devices see.
    QString name() const;
    /// The cached "Address" property.
    QString address() const;
    /// The cached "Class" property: the handset's class of device.
    quint32 classOfDevice() const;

    /// Whether the visibility the user chose is put back when BlueZ reports
    /// another one after power-on.
    bool isDiscoverableSync() const;

    /// Renames the adapter: a blocking call to BlueZ; a failure is logged.
    /// Returns whether BlueZ took the name (false without an adapter).
    bool setName(const QString &name);
    /// Switches the radio; switching off disconnects every connected device first.
    void setPowered(bool powered);
    /// Sets visibility while on, and saves it in GConf as the user's choice,
    /// also while off. Returns false when BlueZ was asked and did not take it.
    bool setDiscoverable(bool discoverable);
    /// Affects only this process; see isDiscoverableSync().
    void setDiscoverableSync(bool sync);
    /// Sets the adapter's visibility back to the user's saved choice.
    void restoreVisibility();

    /// The devices BlueZ knows (has device objects for).
    QList<BluetoothDevice> listDevices() const;
    /// The device BlueZ knows with this address, or a handle that carries only
    /// the address when BlueZ knows none.
    BluetoothDevice deviceForAddress(const QString &address) const;

    /// Asks BlueZ to keep the adapter on for this process; answered by
    /// sessionObtained() or sessionRejected().
    void requestSession();
    /// Ends the session of requestSession().
    void releaseSession();
    /// Makes the agent BlueZ's default agent for this adapter.
    void registerAgent(const BluetoothAgent &agent);
    /// Undoes registerAgent().
    void unregisterAgent(const BluetoothAgent &agent);

public Q_SLOTS:
    /// Pairs with the device through agent; answered by deviceCreated() or
    /// deviceCreationFailed().
    void startCreatingPairedDevice(const Ovrin::BluetoothDevice &device,
                                   const Ovrin::BluetoothAgent *agent);
    /// Makes BlueZ know the device without pairing; a device it knows already
    /// is reported as created.
    void startCreatingDevice(const Ovrin::BluetoothDevice &device);
    /// Cancels a pending creation, which then fails.
    void cancelDeviceCreation(const Ovrin::BluetoothDevice &device);
    /// Makes BlueZ forget the device and its pairing. Returns whether BlueZ
    /// did (false without an adapter). BlueZ 5 answers only once a connected
    /// device's link is down: true then means asked, and the outcome comes
    /// later as deviceRemoved() or deviceRemovalFailed().
    bool removeDevice(const Ovrin::BluetoothDevice &device);
    /// Starts an inquiry; found devices arrive as deviceDiscovered().
    void startDiscovery();
    /// Stops the inquiry and the deviceDiscovered() reports.
    void stopDiscovery();

Q_SIGNALS:
    /// A property changed; property is the Qt property name ("powered").
    void propertyChanged(const QString &property);
    /// A device answered the inquiry, with what it announced.
    void deviceDiscovered(Ovrin::BluetoothDevice device);
    /// isRadioBlocked() changed (propertyChanged("radioBlocked") comes too).
    void radioBlockedChanged(bool blocked);
    /// BlueZ made a device object (after creation or pairing).
    void deviceCreated(const Ovrin::BluetoothDevice &device);
    /// BlueZ forgot a device.
    void deviceRemoved(const Ovrin::BluetoothDevice &device);
    /// BlueZ refused a removal that removeDevice() asked for, with the D-Bus
    /// error errorName; the device stays as it was.
    void deviceRemovalFailed(const Ovrin::BluetoothDevice &device, const QString &errorName);
    /// Creation failed with the D-Bus error errorName.
    void deviceCreationFailed(const QString &errorName);
    /// BlueZ or its adapter went away.
    void adapterInvalid();
    /// BlueZ and its adapter are there (again).
    void adapterValid();
    /// Answers requestSession(): the adapter stays on for this process.
    void sessionObtained();
    /// Answers requestSession(): BlueZ refused; the reason is logged.
    void sessionRejected();

private:
    friend class BluetoothAdapterPrivate;
    BluetoothAdapterPrivate *d_ptr;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHADAPTER_H
