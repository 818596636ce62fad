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

    // Service and format bits never count; the minor class only when asked.
    void compareCoD()
    {
        const struct
        {
            unsigned int a, b;
            bool majorOnly, equal;
        } rows[] = { { 0x20Cu | ServiceBits, 0x20Cu, true, true },
                     { 0x20Cu | ServiceBits, 0x20Cu, false, true },
                     { 0x20Fu, 0x20Cu, false, true },
                     { 0x20Cu, 0x204u, false, false },
                     { 0x20Cu, 0x204u, true, true },
                     { 0x20Cu, 0x10Cu, true, false } };
        for (const auto &row : rows) {
            QCOMPARE(Utils::compareCoD(row.a, row.b, row.majorOnly), row.equal);
            QCOMPARE(Utils::compareCoD(row.b, row.a, row.majorOnly), row.equal);
        }
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
        // The service class names come from one table; a request's empty name means all.
        QCOMPARE(Utils::serviceClassMap().size(), 9);
        QCOMPARE(Utils::serviceClassMap().value(QString()), BluetoothDevice::AllServiceClasses);
        const auto list = [](int classes) {
            return Utils::serviceClassesToList(BluetoothDevice::ServiceClasses::fromInt(classes));
        };
        QCOMPARE(list(0x41), (QStringList { "positioning", "telephony" }));
        QVERIFY(list(0xFF00).isEmpty());
    }

    // Long and short forms in any case, in the given order, repeats kept,
    // unknown ones left out; the BPAP profile has a short form only.
    void uuidsToProfileNames()
    {
        const QString base = QStringLiteral("0000%1-0000-1000-8000-00805f9b34fb");
        const auto profiles = [](const QStringList &uuids) {
            return Utils::uuidsToProfileNames(uuids).join(' ').toLatin1();
        };
        QCOMPARE(profiles({ base.arg("1105"), "0x112D" }), "qtn_conn_bt_opp qtn_conn_bt_sap");
        QCOMPARE(profiles({ "0x112E", base.arg("112e") }), "qtn_conn_bt_bpap");
        QCOMPARE(profiles({ base.arg("111E").toUpper(), "0x110b", "0x1200" }),
                 "qtn_conn_bt_hfp qtn_conn_bt_a2dp");
        QCOMPARE(profiles({ base.arg("1108"), "0x1108", "0x1108" }),
                 "qtn_conn_bt_hsp qtn_conn_bt_hsp qtn_conn_bt_hsp");
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
        row("peripheral subtype", 0x544u, false, true, "peripheral", none);
        row("uncategorized", 0x1F00u, false, true, "uncategorized", none);
        row("major 10", 0xA00u, false, false, untouched, untouched);
        row("major only", 0x20Cu | ServiceBits, true, true, "phone", untouched);
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

    // Names to a class value: an empty minor matches a row without one; no match
    // leaves the value alone.
    void classOfDeviceStrToInt()
    {
        const struct
        {
            const char *major, *minor;
            unsigned int cod;
        } rows[] = { { "computer", "laptop", 0x10Cu },
                     { "computer", "", 0x1FCu },
                     { "phone", "null", 0xBADu },
                     { "Computer", "laptop", 0xBADu },
                     { "phone", "laptop", 0xBADu } };
        for (const auto &row : rows) {
            unsigned int cod = 0xBAD;
            QCOMPARE(Utils::classOfDeviceStrToInt(cod, row.major, row.minor), row.cod != 0xBAD);
            QCOMPARE(cod, row.cod);
        }
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

    void bondingOption()
    {
        const struct
        {
            const char *option;
            int mode;
            const char *address; // null: no address at all
        } rows[]
            = { { "require", Utils::BondingRequire, nullptr },
                { "require=00:11:22:33:44:AA", Utils::BondingRequireAddress, "00:11:22:33:44:AA" },
                { "require=", Utils::BondingRequireAddress, "" },
                { "require=a=b", Utils::BondingRequireAddress, "a=b" },
                { "force", Utils::BondingForce, nullptr },
                { "=00:11", Utils::BondingNone, nullptr },
                { "Require=x", Utils::BondingNone, "x" },
                { "requirement", Utils::BondingNone, nullptr } };
        for (const auto &row : rows) {
            QCOMPARE(Utils::stringToBondingMode(row.option), row.mode);
            const QString parsed = Utils::bluetoothAddressFromString(row.option);
            QVERIFY(row.address || parsed.isNull());
            QCOMPARE(parsed, QString::fromLatin1(row.address));
        }
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestBluetoothDeviceInfoUtils)

#include "tst_bluetoothdeviceinfoutils.moc"
