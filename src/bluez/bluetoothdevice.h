#ifndef OVRIN_BLUETOOTHDEVICE_H
#define OVRIN_BLUETOOTHDEVICE_H

#include "ovringlobal.h"

#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace Ovrin {

class BluetoothDevicePrivate;

/// One remote device. A cheap handle: copies share one private object holding
/// the cached BlueZ properties and, for devices BlueZ knows, a proxy on the
/// device object. Changes BlueZ reports reach every copy as propertyChanged().
class OVRIN_EXPORT BluetoothDevice : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString address READ address)
    Q_PROPERTY(bool paired READ isPaired)
    Q_PROPERTY(bool trusted READ isTrusted WRITE setTrusted)
    Q_PROPERTY(bool connected READ isConnected)
    Q_PROPERTY(bool legacyPairing READ isLegacyPairing)
    Q_PROPERTY(MajorClass majorClass READ majorClass)
    Q_PROPERTY(ServiceClass serviceClass READ serviceClass)
    Q_PROPERTY(QStringList uuids READ uuids)
    Q_PROPERTY(int rssi READ rssi)
    Q_PROPERTY(bool blocked READ isBlocked)

public:
    /// The major device class of the class of device (bits 8-12). Every int
    /// is a value of the type: raw classes from the radio may lie outside it.
    enum MajorClass : int {
        Miscellaneous = 0,
        Computer = 1,
        Phone = 2,
        LANAccessPoint = 3,
        AudioVideo = 4,
        Peripheral = 5,
        Imaging = 6,
        Wearable = 7,
        Toy = 8,
        Uncategorized = 9
    };
    Q_ENUM(MajorClass)

    /// The service classes of the class of device (bits 16-23), as flags.
    enum ServiceClass {
        Positioning = 0x01,
        Networking = 0x02,
        Rendering = 0x04,
        Capturing = 0x08,
        ObjectTransfer = 0x10,
        Audio = 0x20,
        Telephony = 0x40,
        Information = 0x80,
        AllServiceClasses = 0xFFFF
    };
    Q_ENUM(ServiceClass)
    Q_DECLARE_FLAGS(ServiceClasses, ServiceClass)

    /// An invalid device.
    BluetoothDevice();
    /// The device BlueZ knows at path.
    explicit BluetoothDevice(const QDBusObjectPath &path, QObject *parent = nullptr);
    /// A device BlueZ does not know (yet), from what an inquiry reported
    /// ("Address", "Name", "Class", "RSSI", ...).
    explicit BluetoothDevice(const QVariantMap &properties, QObject *parent = nullptr);
    /// A handle sharing other's private object.
    BluetoothDevice(const BluetoothDevice &other);
    /// Makes this handle share other's private object.
    BluetoothDevice &operator=(const BluetoothDevice &other);
    ~BluetoothDevice() override;

    /// The same device: shared object, same address or same BlueZ path.
    bool operator==(const BluetoothDevice &other) const;

    /// Whether BlueZ knows the device and runs.
    bool isValid() const;
    /// The BlueZ object path; empty for a device BlueZ does not know.
    QString path() const;

    /// The alias, else the name; for a device without one, the translated
    /// "unnamed device" text.
    QString name() const;
    /// Upper case, colon separated.
    QString address() const;

    /// The cached "Paired" property (as all getters: read from BlueZ on first
    /// use, then kept up to date by its signals).
    bool isPaired() const;
    /// The cached "Trusted" property: connects without asking the user.
    bool isTrusted() const;
    /// The cached "Connected" property.
    bool isConnected() const;
    /// The cached "Blocked" property: BlueZ refuses the device.
    bool isBlocked() const;
    /// Whether pairing needs a PIN code (pre-2.1 device); never for LE devices.
    bool isLegacyPairing() const;
    /// The cached "Class" property: the class of device.
    quint32 classOfDevice() const;
    /// The major class bits of classOfDevice().
    MajorClass majorClass() const;
    /// The service class bits of classOfDevice(), ServiceClass flags or-ed.
    ServiceClass serviceClass() const;
    /// The cached "UUIDs" property: the services the device offers.
    QStringList uuids() const;
    /// The last signal strength an inquiry reported for the address, 0 if none.
    int rssi() const;

    /// Sets "Trusted": a blocking call to BlueZ; a failure is logged.
    /// Returns whether BlueZ took it (false for a device BlueZ does not know).
    bool setTrusted(bool trusted);
    /// Sets "Blocked": a blocking call to BlueZ; a failure is logged.
    /// Returns whether BlueZ took it (false for a device BlueZ does not know).
    bool setBlocked(bool blocked);
    /// Sets the alias: a blocking call to BlueZ; a failure is logged.
    /// Returns whether BlueZ took it (false for a device BlueZ does not know).
    bool setName(const QString &name);

    /// Asks BlueZ to drop the link; the outcome arrives as "connected" changing.
    void disconnect();

Q_SIGNALS:
    /// A property changed; property is the Qt property name ("connected").
    void propertyChanged(const QString &property);

private:
    friend class BluetoothDevicePrivate;
    BluetoothDevicePrivate *d_ptr;
    Q_DECLARE_PRIVATE(BluetoothDevice)
};

} // namespace Ovrin

Q_DECLARE_OPERATORS_FOR_FLAGS(Ovrin::BluetoothDevice::ServiceClasses)
Q_DECLARE_METATYPE(Ovrin::BluetoothDevice)

#endif // OVRIN_BLUETOOTHDEVICE_H
