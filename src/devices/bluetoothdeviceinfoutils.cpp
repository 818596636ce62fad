#include "bluetoothdeviceinfoutils.h"

namespace Ovrin {

namespace {

const char *const MajorClassNames[] = {
    "miscellaneous", "computer", "phone",    "access point", "audio/video",
    "peripheral",    "imaging",  "wearable", "toy",
};
const char *const UncategorizedName = "uncategorized";

const char *const ServiceClassNames[] = {
    "positioning",     "networking", "rendering", "capturing",
    "object transfer", "audio",      "telephony", "information",
};
constexpr int ServiceClassCount = int(sizeof(ServiceClassNames) / sizeof(ServiceClassNames[0]));

// A missing table name reads as a null string, and equals an empty one.
QString tableName(const char *name)
{
    return name ? QString::fromLatin1(name) : QString();
}

bool isTerminator(const BluetoothDeviceInfoUtils::ClassOfDeviceName &row)
{
    return !row.major && !row.minor && row.value == 0;
}

} // namespace

const BluetoothDeviceInfoUtils::UuidProfile
    BluetoothDeviceInfoUtils::uuidProfiles[BluetoothDeviceInfoUtils::UuidProfileCount]
    = {
          { "00001101-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_spp" },
          { "00001103-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_dun" },
          { "00001105-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_opp" },
          { "00001106-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_ftp" },
          { "00001108-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_hsp" },
          { "0000110b-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_a2dp" },
          { "0000111e-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_hfp" },
          { "0000112d-0000-1000-8000-00805f9b34fb", "qtn_conn_bt_sap" },
          { "0x1101", "qtn_conn_bt_spp" },
          { "0x1103", "qtn_conn_bt_dun" },
          { "0x1105", "qtn_conn_bt_opp" },
          { "0x1106", "qtn_conn_bt_ftp" },
          { "0x1108", "qtn_conn_bt_hsp" },
          { "0x110B", "qtn_conn_bt_a2dp" },
          { "0x111E", "qtn_conn_bt_hfp" },
          { "0x112D", "qtn_conn_bt_sap" },
          { "0x112E", "qtn_conn_bt_bpap" },
      };

// Parsing looks only at the major field of a row without a minor name. Such
// rows still hand out their whole value to classOfDeviceStrToInt(): 0x0500 for
// "peripheral" and 0x06F0 for "imaging", not the all-minor-bits pattern.
const BluetoothDeviceInfoUtils::ClassOfDeviceName BluetoothDeviceInfoUtils::classOfDeviceNames[] = {
    { nullptr, nullptr, 0x1FFC },         { "miscellaneous", nullptr, 0x00FC },
    { "computer", nullptr, 0x01FC },      { "computer", "uncategorized", 0x0100 },
    { "computer", "desktop", 0x0104 },    { "computer", "server", 0x0108 },
    { "computer", "laptop", 0x010C },     { "computer", "handheld", 0x0110 },
    { "computer", "palm", 0x0114 },       { "computer", "wearable", 0x0118 },
    { "phone", nullptr, 0x02FC },         { "phone", "uncategorized", 0x0200 },
    { "phone", "cellular", 0x0204 },      { "phone", "cordless", 0x0208 },
    { "phone", "smart phone", 0x020C },   { "phone", "modem", 0x0210 },
    { "phone", "isdn", 0x0214 },          { "access point", nullptr, 0x03FC },
    { "audio/video", nullptr, 0x04FC },   { "audio/video", "uncategorized", 0x0400 },
    { "audio/video", "headset", 0x0404 }, { "audio/video", "handsfree", 0x0408 },
    { "peripheral", nullptr, 0x0500 },    { "peripheral", "uncategorized", 0x0500 },
    { "peripheral", "keyboard", 0x0540 }, { "peripheral", "pointing", 0x0580 },
    { "peripheral", "combo", 0x05C0 },    { "imaging", nullptr, 0x06F0 },
    { "imaging", "display", 0x0610 },     { "imaging", "camera", 0x0620 },
    { "imaging", "scanner", 0x0640 },     { "imaging", "printer", 0x0680 },
    { "wearable", nullptr, 0x07FC },      { "toy", nullptr, 0x08FC },
    { "uncategorized", nullptr, 0x1FFC }, { nullptr, nullptr, 0 },
};

bool BluetoothDeviceInfoUtils::compareCoD(unsigned int a, unsigned int b, bool majorOnly)
{
    const unsigned int mask = majorOnly ? MajorMask : MajorMinorMask;
    return (a & mask) == (b & mask);
}

QString BluetoothDeviceInfoUtils::majorClassToString(const BluetoothDevice::MajorClass &majorClass)
{
    const int index = int(majorClass);
    if (index < 0 || index >= int(sizeof(MajorClassNames) / sizeof(MajorClassNames[0])))
        return QString::fromLatin1(UncategorizedName);
    return QString::fromLatin1(MajorClassNames[index]);
}

BluetoothDevice::MajorClass BluetoothDeviceInfoUtils::stringToMajorClass(const QString &name)
{
    for (int i = BluetoothDevice::Miscellaneous; i <= BluetoothDevice::Toy; ++i) {
        if (name == QLatin1String(MajorClassNames[i]))
            return BluetoothDevice::MajorClass(i);
    }
    return BluetoothDevice::Uncategorized;
}

QStringList
BluetoothDeviceInfoUtils::serviceClassesToList(const BluetoothDevice::ServiceClasses &classes)
{
    QStringList names;
    for (int bit = 0; bit < ServiceClassCount; ++bit) {
        if (classes.testFlag(BluetoothDevice::ServiceClass(1 << bit)))
            names.append(QString::fromLatin1(ServiceClassNames[bit]));
    }
    return names;
}

QMap<QString, BluetoothDevice::ServiceClass> BluetoothDeviceInfoUtils::serviceClassMap()
{
    QMap<QString, BluetoothDevice::ServiceClass> map;
    for (int bit = 0; bit < ServiceClassCount; ++bit)
        map.insert(QString::fromLatin1(ServiceClassNames[bit]),
                   BluetoothDevice::ServiceClass(1 << bit));
    map.insert(QStringLiteral(""), BluetoothDevice::AllServiceClasses);
    return map;
}

QStringList BluetoothDeviceInfoUtils::uuidsToProfileNames(const QStringList &uuids)
{
    QStringList profiles;
    for (const QString &uuid : uuids) {
        for (const UuidProfile &row : uuidProfiles) {
            if (uuid.compare(QLatin1String(row.uuid), Qt::CaseInsensitive) == 0) {
                profiles.append(QString::fromLatin1(row.profileId));
                break;
            }
        }
    }
    return profiles;
}

bool BluetoothDeviceInfoUtils::parseClassOfDevice(unsigned int cod, QString &major, QString &minor,
                                                  bool majorOnly)
{
    bool found = false;
    for (const ClassOfDeviceName *row = classOfDeviceNames; !isTerminator(*row); ++row) {
        if (!majorOnly && row->minor && row->value == (cod & MajorMinorMask)) {
            major = tableName(row->major);
            minor = tableName(row->minor);
            return true;
        }
        if ((row->value & MajorMask) != (cod & MajorMask))
            continue;
        if (majorOnly) {
            if (row->minor)
                continue;
            major = tableName(row->major);
            return true;
        }
        // Remember the major class, but a later row may still name the minor.
        major = tableName(row->major);
        minor = QStringLiteral("null");
        found = true;
    }
    return found;
}

bool BluetoothDeviceInfoUtils::parseMajorCoD(unsigned int cod, QString &major)
{
    QString ignored = QStringLiteral("ignore");
    return parseClassOfDevice(cod, major, ignored, true);
}

bool BluetoothDeviceInfoUtils::classOfDeviceStrToInt(unsigned int &cod, QString major,
                                                     QString minor)
{
    for (const ClassOfDeviceName *row = classOfDeviceNames; !isTerminator(*row); ++row) {
        if (major == tableName(row->major) && minor == tableName(row->minor)) {
            cod = row->value;
            return true;
        }
    }
    return false;
}

QString BluetoothDeviceInfoUtils::codIconId(unsigned int cod)
{
    QString major;
    QString minor;
    if (!parseClassOfDevice(cod, major, minor, false))
        return QStringLiteral("icon-m-bluetooth-devices");

    if (major == QLatin1String("phone"))
        return QStringLiteral("icon-m-common-phone");
    if (major == QLatin1String("audio/video")) {
        if (minor == QLatin1String("headset"))
            return QStringLiteral("icon-m-common-handsfree");
        if (minor == QLatin1String("handsfree"))
            return QStringLiteral("icon-m-bluetooth-carkit");
        return QStringLiteral("icon-m-bluetooth-video-audio");
    }
    if (major == QLatin1String("computer")) {
        if (minor == QLatin1String("laptop"))
            return QStringLiteral("icon-m-bluetooth-laptop");
        if (minor == QLatin1String("handheld"))
            return QStringLiteral("icon-m-bluetooth-pda");
    }
    if (major == QLatin1String("peripheral") && minor == QLatin1String("keyboard"))
        return QStringLiteral("icon-m-common-keyboard");
    if (major == QLatin1String("imaging")) {
        if (minor == QLatin1String("camera"))
            return QStringLiteral("icon-m-common-camera");
        if (minor == QLatin1String("printer"))
            return QStringLiteral("icon-m-common-printer");
    }
    // Access points have no icon of their own in the theme either.
    return QStringLiteral("icon-m-bluetooth-devices");
}

int BluetoothDeviceInfoUtils::stringToBondingMode(const QString &option)
{
    if (option == QLatin1String("require"))
        return BondingRequire;
    if (option.startsWith(QLatin1String("require=")))
        return BondingRequireAddress;
    if (option == QLatin1String("force"))
        return BondingForce;
    return BondingNone;
}

QString BluetoothDeviceInfoUtils::bluetoothAddressFromString(const QString &option)
{
    if (option.indexOf(QLatin1Char('=')) <= 0)
        return QString();
    return option.section(QLatin1Char('='), 1, -1);
}

} // namespace Ovrin
