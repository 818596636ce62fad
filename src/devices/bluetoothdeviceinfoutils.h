#ifndef OVRIN_BLUETOOTHDEVICEINFOUTILS_H
#define OVRIN_BLUETOOTHDEVICEINFOUTILS_H

#include "bluetoothdevice.h"
#include "ovringlobal.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace Ovrin {

// Turns what BlueZ reports about a remote device (class of device, service
// UUIDs) and the bonding option of a selection request into the names the
// rest of the library works with. Stateless; every operation is reentrant.
class OVRIN_EXPORT BluetoothDeviceInfoUtils
{
public:
    enum BondingMode {
        BondingNone = 0,
        BondingRequire = 1,
        BondingRequireAddress = 2,
        BondingForce = 3
    };

    // A service UUID, long or short form, and the profile id it stands for.
    // The profile id doubles as the logical id of the profile's display text.
    struct UuidProfile
    {
        const char *uuid;
        const char *profileId;
    };

    // A class of device value (major << 8 | minor << 2) with its names. A row
    // without a minor name stands for the major class with any minor class.
    struct ClassOfDeviceName
    {
        const char *major;
        const char *minor;
        quint32 value;
    };

    static constexpr unsigned int MajorMask = 0x1F00;
    static constexpr unsigned int MajorMinorMask = 0x1FFC;
    static constexpr int UuidProfileCount = 17;

    // Searched in order; the first case-insensitive match wins.
    static const UuidProfile uuidProfiles[UuidProfileCount];
    // Ends with a row whose fields are all null or zero.
    static const ClassOfDeviceName classOfDeviceNames[];

    static bool compareCoD(unsigned int a, unsigned int b, bool majorOnly);

    static QString majorClassToString(const BluetoothDevice::MajorClass &majorClass);
    static BluetoothDevice::MajorClass stringToMajorClass(const QString &name);

    static QStringList serviceClassesToList(const BluetoothDevice::ServiceClasses &classes);
    static QMap<QString, BluetoothDevice::ServiceClass> serviceClassMap();

    static QStringList uuidsToProfileNames(const QStringList &uuids);

    static bool parseClassOfDevice(unsigned int cod, QString &major, QString &minor,
                                   bool majorOnly);
    static bool parseMajorCoD(unsigned int cod, QString &major);
    static bool classOfDeviceStrToInt(unsigned int &cod, QString major, QString minor);
    static QString codIconId(unsigned int cod);

    static int stringToBondingMode(const QString &option);
    static QString bluetoothAddressFromString(const QString &option);

private:
    BluetoothDeviceInfoUtils() = delete;
};

} // namespace Ovrin

#endif // OVRIN_BLUETOOTHDEVICEINFOUTILS_H
