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

    // Names and classes map both ways; anything else is uncategorized.
    void classNames()
    {
        for (int i = BluetoothDevice::Miscellaneous; i <= BluetoothDevice::Toy; ++i)
            QCOMPARE(int(Utils::stringToMajorClass(
                         Utils::majorClassToString(BluetoothDevice::MajorClass(i)))),
                     i);
        for (int value : { 9, 31, -1 })
            QCOMPARE(Utils::majorClassToString(BluetoothDevice::MajorClass(value)),
                     QStringLiteral("uncategorized"));
        for (const char *text : { "Phone", "uncategorized", "", "phone " })
            QCOMPARE(Utils::stringToMajorClass(QString::fromLatin1(text)),
                     BluetoothDevice::Uncategorized);

        const auto map = Utils::serviceClassMap();
        QCOMPARE(map.size(), 9);
        QCOMPARE(map.value(QString()), BluetoothDevice::AllServiceClasses);
        for (int bit = 0; bit < 8; ++bit) {
            const auto flag = BluetoothDevice::ServiceClass(1 << bit);
            const QStringList name = Utils::serviceClassesToList(flag);
            QCOMPARE(name.size(), 1);
            QCOMPARE(map.value(name.first()), flag);
        }
        const auto list = [](int classes) {
            return Utils::serviceClassesToList(BluetoothDevice::ServiceClasses::fromInt(classes));
        };
        QCOMPARE(list(0x41), (QStringList { "positioning", "telephony" }));
        QCOMPARE(list(0xFFFF).size(), 8);
        QVERIFY(list(0xFF00).isEmpty());
    }

    void uuidsToProfileNames_data()
    {
        QTest::addColumn<QStringList>("uuids");
        QTest::addColumn<QStringList>("profiles");
        const QString base = QStringLiteral("0000%1-0000-1000-8000-00805f9b34fb");
        QTest::newRow("long") << QStringList { base.arg("1105") }
                              << QStringList { "qtn_conn_bt_opp" };
        QTest::newRow("short") << QStringList { "0x112D" } << QStringList { "qtn_conn_bt_sap" };
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
        row("unknown minor", 0x414u, false, true, "audio/video", none);
        row("no minor rows", 0x0u, false, true, "miscellaneous", none);
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

    // One row per way through the choice: by major class alone, by minor
    // class, a major class whose other minors fall back, and no class at all.
    void codIconId()
    {
        const QList<QPair<unsigned int, const char *>> rows = {
            { 0x2F8u | ServiceBits, "common-phone" },
            { 0x404u, "common-handsfree" },
            { 0x408u, "bluetooth-carkit" },
            { 0x414u, "bluetooth-video-audio" },
            { 0x10Cu, "bluetooth-laptop" },
            { 0x110u, "bluetooth-pda" },
            { 0x104u, "bluetooth-devices" },
            { 0x540u, "common-keyboard" },
            { 0x580u, "bluetooth-devices" },
            { 0x620u, "common-camera" },
            { 0x680u, "common-printer" },
            { 0x640u, "bluetooth-devices" },
            { 0x300u, "bluetooth-devices" },
            { 0xA00u, "bluetooth-devices" },
        };
        for (const auto &[cod, icon] : rows)
            QCOMPARE(Utils::codIconId(cod), QStringLiteral("icon-m-") + QLatin1String(icon));
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
        row("Require=x", Utils::BondingNone, "x");
        row("requirement", Utils::BondingNone);
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
