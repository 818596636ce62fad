// Device info utilities: class of device to names and icons and back, service
// UUIDs to profile ids, and the bonding option of a selection request.

#include "bluetoothdeviceinfoutils.h"
#include "testenvironment.h"

#include <QRegularExpression>

using namespace Ovrin;
using Utils = BluetoothDeviceInfoUtils;

namespace {
// Service class bits (13 to 23) and the format bits (0 and 1) of a class value.
constexpr unsigned int ServiceBits = 0x5A2000;
const QString untouched = QStringLiteral("untouched");
} // namespace

class TestBluetoothDeviceInfoUtils : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("."))); }

    void compareCoD_data()
    {
        QTest::addColumn<unsigned int>("a");
        QTest::addColumn<unsigned int>("b");
        QTest::addColumn<bool>("majorOnly");
        QTest::addColumn<bool>("equal");
        QTest::newRow("service bits, major") << (0x20Cu | ServiceBits) << 0x20Cu << true << true;
        QTest::newRow("service bits, minor") << (0x20Cu | ServiceBits) << 0x20Cu << false << true;
        QTest::newRow("format bits") << 0x20Fu << 0x20Cu << false << true;
        QTest::newRow("other minor") << 0x20Cu << 0x204u << false << false;
        QTest::newRow("other minor, major") << 0x20Cu << 0x204u << true << true;
        QTest::newRow("other major") << 0x20Cu << 0x10Cu << true << false;
    }
    void compareCoD()
    {
        QFETCH(unsigned int, a);
        QFETCH(unsigned int, b);
        QFETCH(bool, majorOnly);
        QFETCH(bool, equal);
        QCOMPARE(Utils::compareCoD(a, b, majorOnly), equal);
        QCOMPARE(Utils::compareCoD(b, a, majorOnly), equal);
    }

    void majorClassNames_data()
    {
        QTest::addColumn<int>("majorClass");
        QTest::addColumn<QString>("name");
        const char *names[]
            = { "miscellaneous", "computer", "phone",    "access point", "audio/video",
                "peripheral",    "imaging",  "wearable", "toy" };
        for (int i = 0; i < 9; ++i)
            QTest::newRow(names[i]) << i << QString::fromLatin1(names[i]);
    }
    void majorClassNames()
    {
        QFETCH(int, majorClass);
        QFETCH(QString, name);
        QCOMPARE(Utils::majorClassToString(BluetoothDevice::MajorClass(majorClass)), name);
        QCOMPARE(int(Utils::stringToMajorClass(name)), majorClass);
    }

    void unknownMajorClass()
    {
        for (int value : { 9, 10, 31, -1 })
            QCOMPARE(Utils::majorClassToString(BluetoothDevice::MajorClass(value)),
                     QStringLiteral("uncategorized"));
        for (const char *text : { "Phone", "uncategorized", "", "phone " })
            QCOMPARE(Utils::stringToMajorClass(QString::fromLatin1(text)),
                     BluetoothDevice::Uncategorized);
    }

    void serviceClassesToList_data()
    {
        QTest::addColumn<int>("classes");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("none") << 0 << QStringList();
        QTest::newRow("all") << 0xFFFF
                             << QStringList { "positioning", "networking",      "rendering",
                                              "capturing",   "object transfer", "audio",
                                              "telephony",   "information" };
        QTest::newRow("two, ascending") << 0x41 << QStringList { "positioning", "telephony" };
        QTest::newRow("above information") << 0xFF00 << QStringList();
    }
    void serviceClassesToList()
    {
        QFETCH(int, classes);
        QFETCH(QStringList, names);
        QCOMPARE(Utils::serviceClassesToList(BluetoothDevice::ServiceClasses::fromInt(classes)),
                 names);
    }

    void serviceClassMap()
    {
        const auto map = Utils::serviceClassMap();
        QCOMPARE(map.size(), 9);
        QCOMPARE(map.value(QString()), BluetoothDevice::AllServiceClasses);
        for (int bit = 0; bit < 8; ++bit) {
            const auto flag = BluetoothDevice::ServiceClass(1 << bit);
            const QStringList name = Utils::serviceClassesToList(flag);
            QCOMPARE(name.size(), 1);
            QCOMPARE(map.value(name.first()), flag);
        }
    }

    void uuidsToProfileNames_data()
    {
        QTest::addColumn<QStringList>("uuids");
        QTest::addColumn<QStringList>("profiles");
        const QString base = QStringLiteral("0000%1-0000-1000-8000-00805f9b34fb");
        const QList<QPair<QString, QString>> services = {
            { "1101", "qtn_conn_bt_spp" }, { "1103", "qtn_conn_bt_dun" },
            { "1105", "qtn_conn_bt_opp" }, { "1106", "qtn_conn_bt_ftp" },
            { "1108", "qtn_conn_bt_hsp" }, { "110b", "qtn_conn_bt_a2dp" },
            { "111e", "qtn_conn_bt_hfp" }, { "112d", "qtn_conn_bt_sap" },
        };
        for (const auto &service : services) {
            QTest::addRow("long %s", qPrintable(service.first))
                << QStringList { base.arg(service.first) } << QStringList { service.second };
            QTest::addRow("short %s", qPrintable(service.first))
                << QStringList { "0x" + service.first.toUpper() } << QStringList { service.second };
        }
        QTest::newRow("bpap, short only")
            << QStringList { "0x112E", base.arg("112e") } << QStringList { "qtn_conn_bt_bpap" };
        QTest::newRow("case, order, unknown")
            << QStringList { base.arg("111E").toUpper(), "0x110b", "0x1200" }
            << QStringList { "qtn_conn_bt_hfp", "qtn_conn_bt_a2dp" };
        QTest::newRow("long and short kept")
            << QStringList { base.arg("1108"), "0x1108", "0x1108" }
            << QStringList { "qtn_conn_bt_hsp", "qtn_conn_bt_hsp", "qtn_conn_bt_hsp" };
        QTest::newRow("empty") << QStringList() << QStringList();
    }
    void uuidsToProfileNames()
    {
        QFETCH(QStringList, uuids);
        QFETCH(QStringList, profiles);
        QCOMPARE(Utils::uuidsToProfileNames(uuids), profiles);
    }

    void parseClassOfDevice_data()
    {
        QTest::addColumn<unsigned int>("cod");
        QTest::addColumn<bool>("majorOnly");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("major");
        QTest::addColumn<QString>("minor");
        const auto row = [](const char *tag, unsigned int cod, bool majorOnly, bool found,
                            const QString &major, const QString &minor) {
            QTest::newRow(tag) << cod << majorOnly << found << major << minor;
        };
        const QString none = QStringLiteral("null");
        row("smart phone", 0x20Cu | ServiceBits, false, true, "phone", "smart phone");
        row("headset", 0x404u, false, true, "audio/video", "headset");
        row("unknown minor", 0x414u, false, true, "audio/video", none);
        row("no minor rows", 0x0u, false, true, "miscellaneous", none);
        row("keyboard", 0x540u, false, true, "peripheral", "keyboard");
        row("peripheral subtype", 0x544u, false, true, "peripheral", none);
        row("uncategorized", 0x1F00u, false, true, "uncategorized", none);
        row("major 10", 0xA00u, false, false, untouched, untouched);
        row("major only", 0x20Cu | ServiceBits, true, true, "phone", untouched);
        row("major only, imaging", 0x680u, true, true, "imaging", untouched);
        row("major only, 0x1F", 0x1F00u, true, true, QString(), untouched);
        row("major only, major 10", 0xA00u, true, false, untouched, untouched);
    }
    void parseClassOfDevice()
    {
        QFETCH(unsigned int, cod);
        QFETCH(bool, majorOnly);
        QFETCH(bool, found);
        QFETCH(QString, major);
        QFETCH(QString, minor);
        QString parsedMajor = untouched;
        QString parsedMinor = untouched;
        QCOMPARE(Utils::parseClassOfDevice(cod, parsedMajor, parsedMinor, majorOnly), found);
        QCOMPARE(parsedMajor, major);
        QCOMPARE(parsedMinor, minor);
        if (majorOnly) {
            parsedMajor = untouched;
            QCOMPARE(Utils::parseMajorCoD(cod, parsedMajor), found);
            QCOMPARE(parsedMajor, major);
        }
    }

    void classOfDeviceStrToInt_data()
    {
        QTest::addColumn<QString>("major");
        QTest::addColumn<QString>("minor");
        QTest::addColumn<bool>("found");
        QTest::addColumn<unsigned int>("cod");
        const auto row = [](const char *tag, const char *major, const char *minor, bool found,
                            unsigned int cod) {
            QTest::newRow(tag) << QString(major) << QString(minor) << found << cod;
        };
        row("laptop", "computer", "laptop", true, 0x10Cu);
        row("any computer", "computer", "", true, 0x1FCu);
        row("any peripheral", "peripheral", "", true, 0x500u);
        row("any imaging", "imaging", "", true, 0x6F0u);
        row("first row", "", "", true, 0x1FFCu);
        row("null is not a minor", "phone", "null", false, 0xBADu);
        row("case", "Computer", "laptop", false, 0xBADu);
        row("wrong major", "phone", "laptop", false, 0xBADu);
    }
    void classOfDeviceStrToInt()
    {
        QFETCH(QString, major);
        QFETCH(QString, minor);
        QFETCH(bool, found);
        QFETCH(unsigned int, cod);
        unsigned int result = 0xBAD;
        QCOMPARE(Utils::classOfDeviceStrToInt(result, major, minor), found);
        QCOMPARE(result, cod);
    }

    // Every named minor class survives the way to a number and back.
    void namedMinorClassesRoundTrip()
    {
        int named = 0;
        for (auto row = Utils::classOfDeviceNames; row->value || row->major; ++row) {
            if (!row->minor)
                continue;
            ++named;
            unsigned int cod = 0;
            QVERIFY(Utils::classOfDeviceStrToInt(cod, row->major, row->minor));
            QString major, minor;
            QVERIFY(Utils::parseClassOfDevice(cod | ServiceBits, major, minor, false));
            QCOMPARE(major, QString::fromLatin1(row->major));
            QCOMPARE(minor, QString::fromLatin1(row->minor));
        }
        QCOMPARE(named, 24);
    }

    void codIconId_data()
    {
        QTest::addColumn<unsigned int>("cod");
        QTest::addColumn<QString>("icon");
        QTest::newRow("cellular") << (0x204u | ServiceBits) << "icon-m-common-phone";
        QTest::newRow("phone, unknown minor") << 0x2F8u << "icon-m-common-phone";
        QTest::newRow("headset") << 0x404u << "icon-m-common-handsfree";
        QTest::newRow("handsfree") << 0x408u << "icon-m-bluetooth-carkit";
        QTest::newRow("a/v uncategorized") << 0x400u << "icon-m-bluetooth-video-audio";
        QTest::newRow("a/v unknown minor") << 0x414u << "icon-m-bluetooth-video-audio";
        QTest::newRow("laptop") << 0x10Cu << "icon-m-bluetooth-laptop";
        QTest::newRow("handheld") << 0x110u << "icon-m-bluetooth-pda";
        QTest::newRow("desktop") << 0x104u << "icon-m-bluetooth-devices";
        QTest::newRow("keyboard") << 0x540u << "icon-m-common-keyboard";
        QTest::newRow("pointing") << 0x580u << "icon-m-bluetooth-devices";
        QTest::newRow("camera") << 0x620u << "icon-m-common-camera";
        QTest::newRow("printer") << 0x680u << "icon-m-common-printer";
        QTest::newRow("scanner") << 0x640u << "icon-m-bluetooth-devices";
        QTest::newRow("access point") << 0x300u << "icon-m-bluetooth-devices";
        QTest::newRow("miscellaneous") << 0x0u << "icon-m-bluetooth-devices";
        QTest::newRow("major 10") << 0xA00u << "icon-m-bluetooth-devices";
    }
    void codIconId()
    {
        QFETCH(unsigned int, cod);
        QFETCH(QString, icon);
        QCOMPARE(Utils::codIconId(cod), icon);
    }

    void bondingOption_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("address"); // null: no address at all
        const auto row = [](const char *option, int mode, const QString &address = QString()) {
            QTest::newRow(*option ? option : "empty") << QString(option) << mode << address;
        };
        row("require", Utils::BondingRequire);
        row("require=00:11:22:33:44:AA", Utils::BondingRequireAddress, "00:11:22:33:44:AA");
        row("require=", Utils::BondingRequireAddress, "");
        row("require=a=b", Utils::BondingRequireAddress, "a=b");
        row("force", Utils::BondingForce);
        row("=00:11", Utils::BondingNone);
        row("Require", Utils::BondingNone);
        row("Require=x", Utils::BondingNone, "x");
        row("requirement", Utils::BondingNone);
        row("", Utils::BondingNone);
    }
    void bondingOption()
    {
        QFETCH(QString, option);
        QFETCH(int, mode);
        QFETCH(QString, address);
        QCOMPARE(Utils::stringToBondingMode(option), mode);
        const QString parsed = Utils::bluetoothAddressFromString(option);
        if (address.isNull())
            QVERIFY(parsed.isNull());
        QCOMPARE(parsed, address);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestBluetoothDeviceInfoUtils)

#include "tst_bluetoothdeviceinfoutils.moc"
