// What devices cost in memory, counted by the allocator of this executable
// (countingallocator.cpp: every malloc of every thread):
//  - bytes per device in the device model, for devices found by discovery
//    and for devices BlueZ knows (loaded through ListDevices), each against
//    a bare store of the same properties (what QtDBus hands over, kept in a
//    hash by address) filled in the same run;
//  - bytes per device of the grouped UI model on top;
//  - what copying a device handle allocates: nothing is the goal.
//
// Arguments choose parts: found, known, copy (all by default).

#include "benchsupport.h"
#include "countingallocator.h"

#include "bluetoothadapter.h"
#include "bluetoothdevicemodel.h"
#include "bluetoothdeviceuimodel.h"
#include "bluezcall.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QJsonArray>

#include <malloc.h>
#include <memory>
#include <vector>

using namespace Ovrin;
using namespace Bench;

namespace {

constexpr int devices = 1000;
const QString adapterInterface = QStringLiteral("org.bluez.Adapter");

using CountingAllocator::Usage;

Usage settledUsage()
{
    settle();
    return CountingAllocator::usage();
}

double perDevice(const Usage &before, const Usage &after)
{
    return double(after.liveBytes - before.liveBytes) / devices;
}

QJsonObject world(bool known)
{
    QJsonArray list;
    for (int i = 0; i < devices; ++i) {
        list.append(
            QJsonObject { { "address", address(known ? 0xC0 : 0xBE, i) },
                          { "name", QStringLiteral("Device %1").arg(i, 5, 10, QLatin1Char('0')) },
                          { "class", 0x5a020c },
                          { "rssi", -30 - (i * 37) % 61 },
                          { "paired", known },
                          { "inRange", false },
                          { "uuids", QJsonArray { "00001105-0000-1000-8000-00805f9b34fb" } } });
    }
    return QJsonObject { { "adapter", QJsonObject { { "powered", true }, { "pairable", true } } },
                         { "timing", QJsonObject { { "inquiryMs", 600000 }, { "powerMs", 20 } } },
                         { "devices", list } };
}

// Keeps what every "DeviceFound" signal carries, by address; on BlueZ 5
// what every found device's object is announced with, by path.
class BareStore : public QObject
{
    Q_OBJECT
public:
    QHash<QString, QVariantMap> devices;

public Q_SLOTS:
    void deviceFound(const QString &address, const QVariantMap &values)
    {
        devices.insert(address, values);
    }
    void interfacesAdded(const QDBusMessage &message)
    {
        const auto interfaces = qdbus_cast<QMap<QString, QVariantMap>>(
            message.arguments().value(1).value<QDBusArgument>());
        devices.insert(message.arguments().value(0).value<QDBusObjectPath>().path(),
                       interfaces.value(QStringLiteral("org.bluez.Device1")));
    }
    void propertiesChanged(const QDBusMessage &message)
    {
        const auto changed
            = qdbus_cast<QVariantMap>(message.arguments().value(1).value<QDBusArgument>());
        const auto device = devices.find(message.path());
        if (device != devices.end())
            device->insert(changed);
    }
};

void reportBytes(const QString &what, double bytes, double baseline, const QString &note = {})
{
    figure(QStringLiteral("memory: %1").arg(what), bytes, "bytes/device",
           QStringLiteral("bare store %1 bytes/device").arg(baseline, 0, 'f', 0),
           QStringLiteral("%1x the bare store%2")
               .arg(bytes / baseline, 0, 'f', 2)
               .arg(note.isEmpty() ? QString() : QStringLiteral("; ") + note));
}

void reportAll(const QStringList &addresses)
{
    for (const QString &a : addresses) {
        if (!sim()->reportDeviceFound(a))
            fail(QStringLiteral("report failed: %1").arg(sim()->lastError()));
    }
}

void benchFound()
{
    load(world(false));
    QStringList addresses;
    for (int i = 0; i < devices; ++i)
        addresses << address(0xBE, i);
    BluetoothAdapter adapter;
    if (!adapter.isValid())
        fail(QStringLiteral("no adapter"));
    adapter.startDiscovery();

    double bare = 0;
    {
        const Usage before = settledUsage();
        BareStore store;
        if (!followFoundSignals(&store, true))
            fail(QStringLiteral("cannot connect the bare store"));
        reportAll(addresses);
        if (!drain([&store] { return store.devices.size() == devices; }))
            fail(QStringLiteral("the bare store missed signals"));
        bare = perDevice(before, settledUsage());
        followFoundSignals(&store, false);
    }

    const Usage before = settledUsage();
    auto model = std::make_unique<BluetoothDeviceModel>(&adapter);
    reportAll(addresses);
    if (!drain([&model] { return model->rowCount() == devices; }))
        fail(QStringLiteral("%1 rows, not %2").arg(model->rowCount()).arg(devices));
    const Usage withModel = settledUsage();
    reportBytes(QStringLiteral("device model, found devices"), perDevice(before, withModel), bare,
                QStringLiteral("%1 blocks allocated per device while loading%2")
                    .arg(double(withModel.allocations - before.allocations) / devices, 0, 'f', 1)
                    .arg(OvrinTest::onBluez5()
                             ? QStringLiteral("; the process's one view of BlueZ 5's objects, "
                                              "which took the found devices' objects in with "
                                              "the bare store, is not counted")
                             : QString()));
    auto ui = std::make_unique<BluetoothDeviceUiModel>(model.get());
    if (ui->rowCount(ui->index(0, 0)) != devices)
        fail(QStringLiteral("the grouped model lost rows"));
    const Usage withUi = settledUsage();
    figure(QStringLiteral("memory: grouped UI model on top"), perDevice(withModel, withUi),
           "bytes/device",
           QStringLiteral("device model %1 bytes/device")
               .arg(perDevice(before, withModel), 0, 'f', 0));
    ui.reset();
    model.reset();
    adapter.stopDiscovery();
}

void benchKnown()
{
    load(world(true));
    BluetoothAdapter adapter;
    if (!adapter.isValid())
        fail(QStringLiteral("no adapter"));
    const QString adapterPath = OvrinTest::defaultAdapterPath();

    double bare = 0;
    {
        const Usage before = settledUsage();
        QHash<QString, QVariantMap> store;
        if (OvrinTest::onBluez5()) {
            const auto objects = qdbus_cast<QMap<QDBusObjectPath, QMap<QString, QVariantMap>>>(
                OvrinTest::bluezCall(QStringLiteral("/"),
                                     QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                     QStringLiteral("GetManagedObjects"))
                    .arguments()
                    .value(0));
            for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
                if (it->contains(QStringLiteral("org.bluez.Device1")))
                    store.insert(it.key().path(), it->value(QStringLiteral("org.bluez.Device1")));
            }
        } else {
            const QList<QDBusObjectPath> paths = qdbus_cast<QList<QDBusObjectPath>>(
                OvrinTest::bluezCall(adapterPath, adapterInterface, QStringLiteral("ListDevices"))
                    .arguments()
                    .value(0));
            for (const QDBusObjectPath &path : paths) {
                const QDBusMessage reply
                    = OvrinTest::bluezCall(path.path(), QStringLiteral("org.bluez.Device"),
                                           QStringLiteral("GetProperties"));
                store.insert(path.path(), qdbus_cast<QVariantMap>(reply.arguments().value(0)));
            }
        }
        if (store.size() != devices)
            fail(QStringLiteral("BlueZ knows %1 devices, not %2").arg(store.size()).arg(devices));
        bare = perDevice(before, settledUsage());
    }

    const Usage before = settledUsage();
    BluetoothDeviceModel model(&adapter);
    if (model.rowCount() != devices)
        fail(QStringLiteral("%1 rows, not %2").arg(model.rowCount()).arg(devices));
    const Usage after = settledUsage();
    reportBytes(QStringLiteral("device model, devices BlueZ knows"), perDevice(before, after), bare,
                QStringLiteral("%1 blocks allocated per device while loading; each follows its "
                               "BlueZ object%2")
                    .arg(double(after.allocations - before.allocations) / devices, 0, 'f', 1)
                    .arg(OvrinTest::onBluez5()
                             ? QStringLiteral("; the process's one view of BlueZ 5's objects, "
                                              "read as BlueZ appeared, is not counted")
                             : QString()));
}

void benchCopy()
{
    const BluetoothDevice device(QVariantMap { { QStringLiteral("Address"), address(0xBE, 1) },
                                               { QStringLiteral("Name"), QStringLiteral("x") } });
    // The second and later copies: a device usually has a few handles.
    const BluetoothDevice first(device);
    constexpr int copies = 100;
    std::vector<std::unique_ptr<BluetoothDevice>> held;
    held.reserve(copies);
    const Usage before = CountingAllocator::usage();
    for (int i = 0; i < copies; ++i)
        held.push_back(std::make_unique<BluetoothDevice>(device));
    const Usage after = CountingAllocator::usage();
    // What the holder itself takes: one block per copy.
    const double allocations = double(after.allocations - before.allocations) / copies - 1;
    const double bytes = double(after.liveBytes - before.liveBytes) / copies
        - double(malloc_usable_size(held.front().get()));
    figure(QStringLiteral("device handle copy: allocations"), allocations, "allocs/copy",
           QStringLiteral("0"), verdict(allocations <= 0));
    figure(
        QStringLiteral("device handle copy: heap bytes"), bytes, "bytes/copy", QStringLiteral("0"),
        QStringLiteral("besides the %1 bytes of the handle itself").arg(sizeof(BluetoothDevice)));
}

} // namespace

int main(int argc, char **argv)
{
    return run(argc, argv, [](const QStringList &parts) {
        if (wanted(parts, QStringLiteral("found")))
            benchFound();
        if (wanted(parts, QStringLiteral("known")))
            benchKnown();
        if (wanted(parts, QStringLiteral("copy")))
            benchCopy();
        about(QStringLiteral("Memory"),
              QStringLiteral(
                  "malloc and its family are replaced in this benchmark's executable and count "
                  "the bytes in use (malloc_usable_size) and the blocks handed out, in every "
                  "thread. Bytes per device are the growth of the heap while 1000 devices come "
                  "in, after the event loop has settled, divided by 1000. The baseline keeps "
                  "exactly what QtDBus hands over for each device (its property map, in a "
                  "hash by address), filled in the same run. A device model row holds a "
                  "handle (a QObject), the shared object behind it (a QObject with the "
                  "property cache) and the row's own copy of what it shows; a device BlueZ "
                  "knows also has its generated D-Bus proxy, whose QtDBus owner tracking is a "
                  "service watcher of its own. A handle copy cannot allocate nothing while a "
                  "handle is a QObject: QObject's constructor always allocates its private "
                  "part. Meeting that goal would make the handle a plain value with the "
                  "signal on the shared object, which changes the public API."));
    });
}

#include "bench_memory.moc"
