// What each thing a user does costs in calls, against the least it can cost:
//  - BlueZ round trips, from the simulator's call log (only the calls of this
//    process's own system bus connection): creating the first adapter
//    handle, its getters, opening the device selection sheet with N known
//    devices, a full pairing, switching off with N connected devices;
//  - calls to the bus daemon of the same steps, seen by a bus monitor.
// BlueZ 4's floor: one ListDevices plus one GetProperties per device to load
// devices, never an Introspect, nothing at all for a read the cache holds.
// BlueZ 5's (OVRIN_BLUEZ=5): one GetManagedObjects for the adapter and every
// device, nothing more for reads.
//  - the wall time to load 1000 known devices into a device model, against
//    the least the same calls can take on the same bus.
//
// Arguments choose parts: adapter, sheet, pairing, poweroff, load (all by default).

#include "benchsupport.h"
#include "busmonitor.h"

#include "bluetoothadapter.h"
#include "bluetoothdevicelist.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothdeviceselectionsheet.h"
#include "bluetoothpairingprocess.h"
#include "bluezcall.h"
#include "bluezhygiene.h"
#include "orvelapplicationwindow.h"
#include "testdialogserver.h"
#include "testenvironment.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QJsonArray>

#include <cstdio>
#include <memory>
#include <utility>

using namespace Ovrin;
using namespace Bench;
using OvrinTest::dialect;
using OvrinTest::onBluez5;

namespace {

const QString headset = QStringLiteral("00:1B:66:B0:00:01");
const QString fixedPinPairing = QStringLiteral("pairing/scenarios/pairing.json");
const QString hfpUuid = QStringLiteral("0000111e-0000-1000-8000-00805f9b34fb");
const QString a2dpUuid = QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb");

using Counts = QMap<QString, int>;

int total(const Counts &counts)
{
    int sum = 0;
    for (int n : counts)
        sum += n;
    return sum;
}

// "GetProperties 10, ListDevices 1": what a total is made of.
QString breakdown(const Counts &counts)
{
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

// The calls of one step: BlueZ's from the simulator, the bus daemon's from
// the monitor.
class CallCounter
{
public:
    CallCounter()
    {
        QString error;
        if (!m_monitor.start(&error))
            fail(error);
    }

    void begin()
    {
        settle();
        if (!sim()->clearCallLog())
            fail(QStringLiteral("cannot clear the call log: %1").arg(sim()->lastError()));
        Counts ignored;
        m_monitor.take(&ignored);
    }

    void end(Counts *bluez, Counts *bus)
    {
        settle();
        if (!m_monitor.take(bus))
            fail(QStringLiteral("the bus monitor lost track"));
        bluez->clear();
        const QString own = QDBusConnection::systemBus().baseService();
        const QList<SimulatorClient::Call> calls = sim()->callLog();
        // OVRIN_BENCH_VERBOSE=1 lists every call, to see where they come from.
        const bool verbose = qEnvironmentVariableIntValue("OVRIN_BENCH_VERBOSE") != 0;
        for (const SimulatorClient::Call &call : calls) {
            if (call.sender != own)
                continue;
            ++(*bluez)[call.member];
            if (verbose)
                std::fprintf(stderr, "  %s %s.%s\n", qPrintable(call.path),
                             qPrintable(call.interface), qPrintable(call.member));
        }
    }

private:
    BusMonitor m_monitor;
};

CallCounter *counter()
{
    static CallCounter instance;
    return &instance;
}

// Prints both figures of a step: BlueZ calls against their floor, bus daemon
// calls against what the step needs of the bus.
void report(const QString &step, const Counts &bluez, int bluezFloor, const QString &bluezFloorText,
            const Counts &bus, int busFloor, const QString &busFloorText)
{
    const bool introspected = bluez.contains(QStringLiteral("Introspect"));
    figure(QStringLiteral("BlueZ calls: %1").arg(step), total(bluez), "calls",
           QStringLiteral("%1 (%2)").arg(bluezFloor).arg(bluezFloorText),
           QStringLiteral("%1; %2").arg(breakdown(bluez),
                                        verdict(total(bluez) <= bluezFloor && !introspected)));
    figure(QStringLiteral("bus daemon calls: %1").arg(step), total(bus), "calls",
           QStringLiteral("%1 (%2)").arg(busFloor).arg(busFloorText),
           QStringLiteral("%1; %2").arg(breakdown(bus), verdict(total(bus) <= busFloor)));
}

QJsonObject adapterJson()
{
    return QJsonObject { { "powered", true }, { "discoverable", false }, { "pairable", true } };
}

QJsonObject timingJson()
{
    return QJsonObject { { "inquiryMs", 600000 }, { "powerMs", 20 },      { "stopDiscoveryMs", 10 },
                         { "linkMs", 5 },         { "disconnectMs", 10 }, { "sdpMs", 5 },
                         { "audioConnectMs", 10 } };
}

// n paired devices, out of range (no discovery finds them) or connected.
QJsonObject knownDevices(int n, bool connected)
{
    QJsonArray devices;
    for (int i = 0; i < n; ++i) {
        devices.append(QJsonObject { { "address", address(0xC0, i) },
                                     { "name", QStringLiteral("Paired %1").arg(i) },
                                     { "class", 0x240404 },
                                     { "paired", true },
                                     { "trusted", true },
                                     { "connected", connected },
                                     { "inRange", connected },
                                     { "uuids", QJsonArray { hfpUuid, a2dpUuid } } });
    }
    return QJsonObject { { "adapter", adapterJson() },
                         { "timing", timingJson() },
                         { "devices", devices } };
}

void readEveryGetter(const BluetoothAdapter &adapter)
{
    volatile bool sink = adapter.isPowered();
    sink = adapter.isDiscovering() || adapter.isDiscoverable() || !adapter.name().isEmpty()
        || !adapter.address().isEmpty() || adapter.classOfDevice() != 0;
    Q_UNUSED(sink)
}

void benchAdapter()
{
    load(knownDevices(3, false));
    Counts bluez;
    Counts bus;
    counter()->begin();
    {
        BluetoothAdapter adapter;
        if (!adapter.isValid())
            fail(QStringLiteral("no adapter"));
        counter()->end(&bluez, &bus);
        // The dialect is told by one GetManagedObjects; BlueZ 5's three
        // signals are listened to before it, and dropped if BlueZ 4 answers.
        report(QStringLiteral("first adapter handle"), bluez, onBluez5() ? 1 : 2,
               dialect("GetManagedObjects refused, DefaultAdapter", "GetManagedObjects"), bus,
               onBluez5() ? 7 : 14,
               onBluez5()
                   ? QStringLiteral("AddMatch: the owner of \"org.bluez\" (the process's and "
                                    "QtDBus's own) and the 3 object manager and properties "
                                    "signals; NameHasOwner and GetNameOwner once")
                   : QStringLiteral("AddMatch: the owner of \"org.bluez\" (the process's and "
                                    "QtDBus's own), BlueZ 5's 3 signals and RemoveMatch of "
                                    "them, 3 adapter signals and device changes; NameHasOwner "
                                    "and GetNameOwner once"));

        counter()->begin();
        readEveryGetter(adapter);
        counter()->end(&bluez, &bus);
        report(QStringLiteral("first read of every getter"), bluez, onBluez5() ? 0 : 1,
               dialect("GetProperties", "none: described as BlueZ appeared"), bus, 0,
               QStringLiteral("none"));

        counter()->begin();
        BluetoothAdapter second;
        readEveryGetter(adapter);
        readEveryGetter(second);
        counter()->end(&bluez, &bus);
        report(QStringLiteral("getters again, and a second handle's"), bluez, 0,
               QStringLiteral("cached"), bus, 0, QStringLiteral("none"));
    }
    settle();
}

void benchSheet(int devices)
{
    load(knownDevices(devices, false));
    OrvelApplicationWindow window;
    window.show();
    BluetoothAdapter adapter;
    readEveryGetter(adapter);
    Counts bluez;
    Counts bus;
    counter()->begin();
    auto *sheet = new BluetoothDeviceSelectionSheet(&adapter, {});
    sheet->appear(&window);
    if (!drain([sheet, devices] { return sheet->deviceList()->itemModel()->rowCount() > 0; }))
        fail(QStringLiteral("the sheet shows nothing"));
    counter()->end(&bluez, &bus);
    report(QStringLiteral("open the device selection sheet, %1 known devices").arg(devices), bluez,
           onBluez5() ? 1 : devices + 2,
           dialect("ListDevices, GetProperties per device, StartDiscovery", "StartDiscovery"), bus,
           onBluez5() ? 0 : 1,
           dialect("AddMatch: DeviceFound (device changes are followed from the start)",
                   "none: found devices come by the signals followed from the start"));
    delete sheet;
    settle();
}

void benchPairing()
{
    if (!sim()->loadScenarioFile(OvrinTest::TestEnvironment::testData(fixedPinPairing)))
        fail(QStringLiteral("cannot load %1: %2").arg(fixedPinPairing, sim()->lastError()));
    OrvelApplicationWindow window;
    window.show();
    TestDialogServer server(&window);
    BluetoothAdapter adapter;
    readEveryGetter(adapter);
    const BluetoothDevice found(
        QVariantMap { { QStringLiteral("Address"), headset },
                      { QStringLiteral("Name"), QStringLiteral("BRIVO Aura") },
                      { QStringLiteral("Class"), 2360324u },
                      { QStringLiteral("LegacyPairing"), true } });
    Counts bluez;
    Counts bus;
    counter()->begin();
    {
        BluetoothPairingProcess pairing;
        pairing.setDialogServer(&server);
        bool finished = false;
        QObject::connect(&pairing, &BluetoothPairingProcess::finished,
                         [&finished] { finished = true; });
        pairing.start(found);
        if (!drain([&finished] { return finished; }, 30000) || !pairing.error().isEmpty())
            fail(QStringLiteral("the pairing failed: %1").arg(pairing.error()));
        // Trusted and audio connected: the end of a full pairing.
        if (!drain(
                [] {
                    return sim()->device(headset).value(QLatin1String("audioState")).toString()
                        == QLatin1String("connected");
                },
                30000))
            fail(QStringLiteral("the headset's audio never connected"));
    }
    counter()->end(&bluez, &bus);
    report(QStringLiteral("full pairing (fixed PIN, trust, audio)"), bluez, onBluez5() ? 7 : 5,
           dialect("CreatePairedDevice, GetProperties, SetProperty Trusted, ListDevices "
                   "for other audio devices, Connect",
                   "StartDiscovery and StopDiscovery to find the device, RegisterAgent and "
                   "UnregisterAgent of the process's agent, Pair, Set Trusted, Connect"),
           bus, 1, QStringLiteral("GetNameOwner of \"org.bluez\" once per process"));
}

void benchPowerOff(int devices)
{
    // The first switch of a process on BlueZ 5 asks BlueZ 4's way first.
    static bool firstSwitch = true;
    const int firstSwitchCall = onBluez5() && std::exchange(firstSwitch, false) ? 1 : 0;
    load(knownDevices(devices, true));
    BluetoothAdapter adapter;
    readEveryGetter(adapter);
    Counts bluez;
    Counts bus;
    counter()->begin();
    adapter.setPowered(false);
    if (!drain(
            [] {
                return !sim()
                            ->state()
                            .value(QLatin1String("adapter"))
                            .toObject()
                            .value(QLatin1String("powered"))
                            .toBool();
            },
            30000))
        fail(QStringLiteral("the adapter stayed on"));
    counter()->end(&bluez, &bus);
    report(QStringLiteral("setPowered(false), %1 connected devices").arg(devices), bluez,
           onBluez5() ? devices + 2 + firstSwitchCall : 2 * devices + 3,
           dialect("ListDevices, GetProperties and Disconnect per device, DefaultAdapter, "
                   "SetProperty",
                   "Disconnect per device; GetManagedObjects and Set from the radio switch, "
                   "DefaultAdapter before them the first time"),
           bus, 0, QStringLiteral("none: the process follows devices already"));
}

// The least the calls of a list load can take: BlueZ 4's ListDevices and
// the GetProperties of every device sent together (as many at a time as a
// connection may wait for), BlueZ 5's one GetManagedObjects.
double bareLoadMs(int devices, bool oneAfterAnother = false)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    const auto bluezCall = [](const QString &path, const QString &interface, const char *member) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path, interface,
                                              QLatin1String(member));
    };
    QElapsedTimer wall;
    wall.start();
    if (onBluez5()) {
        bus.call(bluezCall(QStringLiteral("/"),
                           QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                           "GetManagedObjects"));
        return wall.nsecsElapsed() / 1e6;
    }
    const QString adapter = OvrinTest::defaultAdapterPath();
    bus.call(bluezCall(adapter, QStringLiteral("org.bluez.Adapter"), "ListDevices"));
    QList<QDBusPendingCall> calls;
    for (int i = 0; i < devices; ++i) {
        if (calls.size() >= (oneAfterAnother ? 1 : 100))
            calls.takeFirst().waitForFinished();
        QString node = address(0xC0, i);
        node.replace(QLatin1Char(':'), QLatin1Char('_'));
        calls.append(bus.asyncCall(bluezCall(adapter + QStringLiteral("/dev_") + node,
                                             QStringLiteral("org.bluez.Device"), "GetProperties")));
    }
    for (QDBusPendingCall &call : calls)
        call.waitForFinished();
    return wall.nsecsElapsed() / 1e6;
}

// A device model made with no device handle alive, until it has every row.
// BlueZ 5 is read as it appears: it leaves and comes back first, and the
// time runs from its return to the full model.
double libraryLoadMs(int devices)
{
    if (onBluez5() && !OvrinTest::dropBluez(sim()))
        fail(QStringLiteral("BlueZ did not leave"));
    QElapsedTimer wall;
    if (onBluez5()) {
        if (!sim()->restoreService())
            fail(QStringLiteral("BlueZ did not come back"));
    }
    wall.start();
    BluetoothAdapter adapter;
    if (!drain([&adapter] { return adapter.isValid(); }))
        fail(QStringLiteral("no adapter"));
    BluetoothDeviceModel model(&adapter);
    if (!drain([&model, devices] { return model.rowCount() >= devices; }))
        fail(QStringLiteral("%1 rows, not %2").arg(model.rowCount()).arg(devices));
    volatile int names = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        names += model.deviceFromList(row)->name().size();
    return wall.nsecsElapsed() / 1e6;
}

void benchLoad(int devices)
{
    load(knownDevices(devices, false));
    QList<double> bare;
    QList<double> library;
    QList<double> sequential;
    for (int round = 0; round < 5; ++round) {
        settle();
        bare.append(bareLoadMs(devices));
        if (!onBluez5())
            sequential.append(bareLoadMs(devices, true));
        settle();
        library.append(libraryLoadMs(devices));
    }
    const double floor = *std::min_element(bare.cbegin(), bare.cend());
    const double value = *std::min_element(library.cbegin(), library.cend());
    figure(QStringLiteral("load %1 known devices into a device model").arg(devices), value, "ms",
           QStringLiteral("%1 ms (%2)")
               .arg(floor, 0, 'f', 1)
               .arg(dialect("ListDevices and the GetProperties sent together",
                            "one GetManagedObjects")),
           QStringLiteral("%1x the floor%2; %3 (<= 2x)")
               .arg(value / floor, 0, 'f', 2)
               .arg(sequential.isEmpty()
                        ? QString()
                        : QStringLiteral(", one call after another %1 ms")
                              .arg(*std::min_element(sequential.cbegin(), sequential.cend()), 0,
                                   'f', 1))
               .arg(verdict(value <= 2 * floor)));
}

} // namespace

int main(int argc, char **argv)
{
    return run(argc, argv, [](const QStringList &parts) {
        if (wanted(parts, QStringLiteral("adapter")))
            benchAdapter();
        for (int devices : { 10, 100, 1000 }) {
            if (wanted(parts, QStringLiteral("sheet"))
                || parts.contains(QStringLiteral("sheet%1").arg(devices)))
                benchSheet(devices);
        }
        // Any other size, by hand: "sheet<N>".
        for (const QString &part : parts) {
            const int devices = part.startsWith(QLatin1String("sheet")) ? part.mid(5).toInt() : 0;
            if (devices > 0 && devices != 10 && devices != 100 && devices != 1000)
                benchSheet(devices);
        }
        if (wanted(parts, QStringLiteral("pairing")))
            benchPairing();
        for (int devices : { 1, 10 }) {
            if (wanted(parts, QStringLiteral("poweroff")))
                benchPowerOff(devices);
        }
        if (wanted(parts, QStringLiteral("load")))
            benchLoad(1000);
        about(QStringLiteral("Loading known devices"),
              QStringLiteral(
                  "The wall time from nothing to a device model with every one of 1000 known "
                  "devices and their names, best of five, against the least the same calls "
                  "take on the same bus in the same run. BlueZ 4: ListDevices, then the "
                  "GetProperties of every device sent together, as many at a time as a "
                  "connection may wait for on the system bus (the library sends 100 at a time); "
                  "one call after another is shown beside it. BlueZ 5: the time runs from "
                  "BlueZ's return to the full model, and its floor is the one GetManagedObjects "
                  "that describes the adapter and every device. Goal: at most 2x the floor."));
        about(QStringLiteral("BlueZ calls"),
              QStringLiteral(
                  "Counted from the simulator's call log: only the calls the benchmark's own "
                  "system bus connection sent, by member, on BlueZ 4 and on BlueZ 5. One "
                  "GetManagedObjects as BlueZ appears tells the dialect (BlueZ 4 refuses it) "
                  "and on BlueZ 5 is the whole floor of every read: the adapter and every "
                  "device with it. The BlueZ 4 floor is what its API "
                  "needs for the step: DefaultAdapter to find the adapter, one GetProperties "
                  "for its properties, one ListDevices plus one GetProperties per device to "
                  "load devices, nothing at all for a read the cache holds, and never an "
                  "Introspect (the proxies are generated from dbus/*.xml). Handles made for the "
                  "same BlueZ object share one cache while any of them lives, so loading a "
                  "list fetches each device once however many parts of the process hold it. "
                  "A full pairing stays above its floor: the handles of the agent's PIN "
                  "request and of BlueZ's DeviceCreated signal are gone before the next one "
                  "is made, so the new device is fetched three times; after the write "
                  "(SetProperty Trusted) the next read fetches again by design, so that reads "
                  "show what BlueZ holds; and before connecting audio the connection manager "
                  "asks every known audio device, this one included, whether its audio is up "
                  "(org.bluez.Audio GetProperties). Reaching the floor would take keeping a "
                  "device's cache for a moment after its last handle goes, taking a write's "
                  "value into the cache once BlueZ accepts it, and leaving the device being "
                  "connected out of that question. BlueZ 5's pairing of a device it holds no "
                  "object for costs a discovery (StartDiscovery, StopDiscovery) to find it, "
                  "and the process's one agent object is registered for it and unregistered "
                  "after it."));
        about(QStringLiteral("Bus daemon calls"),
              QStringLiteral(
                  "The simulator cannot see calls to the bus daemon, so a monitor connection "
                  "(BecomeMonitor) on the private system bus counts the method calls to "
                  "\"org.freedesktop.DBus\" sent by the benchmark's own connection; a "
                  "NameHasOwner call of the benchmark's own marks the end of each step and is "
                  "not counted. What a step needs is one AddMatch per signal it subscribes to "
                  "and one GetNameOwner per daemon for the whole process. One match rule "
                  "follows the PropertyChanged of every device object, whatever the number "
                  "of devices (one per device before: the bus allows a connection 512 rules, "
                  "and past that the library stalled on 25 s time-outs), and the agents tell "
                  "BlueZ's and obexd's calls and signals apart by an owner followed through "
                  "NameOwnerChanged instead of a GetNameOwner for each. QtDBus adds its own "
                  "rule for the owner of \"org.bluez\" beside the process's watcher, and asks "
                  "the owner once. Listening to BlueZ 5's three signals before the call that "
                  "tells the dialect costs BlueZ 4 three AddMatch and three RemoveMatch."));
    });
}
