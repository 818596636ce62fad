#ifndef OVRIN_BLUETOOTHDEVICEINFOUTILS_H
#define OVRIN_BLUETOOTHDEVICEINFOUTILS_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace Ovrin {

/// Turns what BlueZ reports about a remote device (class of device, service
/// UUIDs) and the bonding option of a selection request into the names the
/// rest of the library works with. Stateless; every operation is reentrant.
class OVRIN_EXPORT BluetoothDeviceInfoUtils
{
public:
    /// The bonding option of a selection request.
    enum BondingMode {
        BondingNone = 0, ///< "" (or anything unknown): no pairing needed.
        BondingRequire = 1, ///< "require": the device must be paired.
        BondingRequireAddress = 2, ///< "require=<address>": that device, paired.
        BondingForce = 3 ///< "force": pair even a paired device again.
    };

    /// A service UUID, long or short form, and the profile id it stands for.
    /// The profile id doubles as the logical id of the profile's display text.
    struct UuidProfile
    {
        const char *uuid; ///< Long ("0000110b-0000-1000-8000-00805f9b34fb") or short ("0x110B").
        const char *profileId; ///< E.g. "qtn_conn_bt_profile_a2dp".
    };

    /// A class of device value (major << 8 | minor << 2) with its names. A row
    /// without a minor name stands for the major class with any minor class.
    struct ClassOfDeviceName
    {
        const char *major; ///< E.g. "audio/video".
        const char *minor; ///< E.g. "headset"; null for the whole major class.
        quint32 value; ///< major << 8 | minor << 2.
    };

    /// The major class bits of a class of device.
    static constexpr unsigned int MajorMask = 0x1F00;
    /// The major and minor class bits.
    static constexpr unsigned int MajorMinorMask = 0x1FFC;
    static constexpr int UuidProfileCount = 17; ///< Rows of uuidProfiles.

    /// Searched in order; the first case-insensitive match wins.
    static const UuidProfile uuidProfiles[UuidProfileCount];
    /// Ends with a row whose fields are all null or zero.
    static const ClassOfDeviceName classOfDeviceNames[];

    /// Whether two classes of device agree in the major class, and unless
    /// majorOnly in the minor class too.
    static bool compareCoD(unsigned int a, unsigned int b, bool majorOnly);

    /// The lower-case name ("computer", "audio/video", ...); "uncategorized"
    /// for a value out of range.
    static QString majorClassToString(const BluetoothDevice::MajorClass &majorClass);
    /// The class of a name of majorClassToString(); Uncategorized for any other.
    static BluetoothDevice::MajorClass stringToMajorClass(const QString &name);

    /// The names of the service classes set in classes ("positioning", ...).
    static QStringList serviceClassesToList(const BluetoothDevice::ServiceClasses &classes);
    /// Each service class name with its flag; "" stands for all classes.
    static QMap<QString, BluetoothDevice::ServiceClass> serviceClassMap();

    /// The profile ids of the UUIDs that name a known profile, in their order.
    static QStringList uuidsToProfileNames(const QStringList &uuids);

    /// The major and (unless majorOnly) minor names of cod from
    /// classOfDeviceNames; minor is "null" when only the major class is known.
    /// False, with the names untouched, when not even the major class is.
    static bool parseClassOfDevice(unsigned int cod, QString &major, QString &minor,
                                   bool majorOnly);
    /// parseClassOfDevice() for the major name only.
    static bool parseMajorCoD(unsigned int cod, QString &major);
    /// The value of the classOfDeviceNames row with these names; false if none.
    static bool classOfDeviceStrToInt(unsigned int &cod, QString major, QString minor);
    /// The icon id of the device class ("icon-m-common-phone", ...), with
    /// "icon-m-bluetooth-devices" for classes without an icon of their own.
    static QString codIconId(unsigned int cod);

    /// The BondingMode of a bonding option.
    static int stringToBondingMode(const QString &option);
    /// The address of a "require=<address>" option; empty without one.
    static QString bluetoothAddressFromString(const QString &option);

private:
    BluetoothDeviceInfoUtils() = delete;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEINFOUTILS_H
