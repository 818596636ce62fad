#ifndef OVRIN_BLUETOOTHDEVICE_H
#define OVRIN_BLUETOOTHDEVICE_H

#include "ovringlobal.h"

#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace Ovrin {

class BluetoothDevicePrivate;

// One remote device. A cheap handle: copies share one private object holding
// the cached BlueZ properties and, for devices BlueZ knows, a proxy on the
// device object. Changes BlueZ reports reach every copy as propertyChanged().
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
    enum MajorClass {
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

    BluetoothDevice();
    explicit BluetoothDevice(const QDBusObjectPath &path, QObject *parent = nullptr);
    explicit BluetoothDevice(const QVariantMap &properties, QObject *parent = nullptr);
    BluetoothDevice(const BluetoothDevice &other);
    BluetoothDevice &operator=(const BluetoothDevice &other);
    ~BluetoothDevice() override;

    bool operator==(const BluetoothDevice &other) const;

    bool isValid() const;
    QString path() const;

    QString name() const;
    QString address() const;
    bool isPaired() const;
    bool isTrusted() const;
    bool isConnected() const;
    bool isBlocked() const;
    bool isLegacyPairing() const;
    quint32 classOfDevice() const;
    MajorClass majorClass() const;
    ServiceClass serviceClass() const;
    QStringList uuids() const;
    int rssi() const;

    void setName(const QString &name);
    void setTrusted(bool trusted);
    void setBlocked(bool blocked);

    // Asks BlueZ to drop the link; the outcome arrives as "connected" changing.
    void disconnect();

Q_SIGNALS:
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
