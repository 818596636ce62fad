// Whether memory returns to where it started once everything is destroyed:
// 20 handles of the adapter, 5 device models and 1000 devices alive at once
// through 10 power cycles, repeated for several rounds. The first round is a
// warm-up (Qt's and QtDBus's caches that live as long as the process). After
// each later round the blocks and bytes in use are counted by the counting
// allocator linked into this program; the run fails when the median growth
// of one round reaches a block per 10 devices or a byte per device. The
// median leaves out the few rounds in which a pool or hash table reaches a
// new high-water mark; a leak grows every round.
//
// Prints one line per figure: "figure<TAB>value<TAB>unit<TAB>note".

#include "bluetoothadapter.h"
#include "bluetoothdevicemodel.h"
#include "bluezworld.h"
#ifdef OVRIN_COUNTING_ALLOCATOR
#include "countingallocator.h"
#endif

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <vector>

using namespace Ovrin;
using OvrinTest::sim;

namespace {

constexpr int handleCount = 20;
constexpr int modelCount = 5;
constexpr int deviceCount = 1000;
constexpr int powerCycles = 10;
constexpr qint64 allowedBlocksPerRound = deviceCount / 10;
constexpr qint64 allowedBytesPerRound = deviceCount;

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "loadmemory: %s\n", qPrintable(what));
    std::exit(1);
}

void figure(const QString &name, double value, const char *unit, const QString &note = {})
{
    std::printf("%s\t%.0f\t%s\t%s\n", qPrintable(name), value, unit, qPrintable(note));
    std::fflush(stdout);
}

// What is in use now, once what the round let go has been given back.
struct Usage
{
    qint64 heap = 0; // mallinfo2: what glibc's arenas hold in use
    qint64 bytes = -1; // counted; -1 when not counted
    qint64 blocks = -1;
};

Usage inUse()
{
    malloc_trim(0);
    Usage usage;
    usage.heap = qint64(mallinfo2().uordblks);
#ifdef OVRIN_COUNTING_ALLOCATOR
    const CountingAllocator::Usage counted = CountingAllocator::usage();
    usage.bytes = counted.liveBytes;
    usage.blocks = counted.liveBlocks;
#endif
    return usage;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

void waitFor(const std::function<bool()> &done, const QString &what)
{
    QDeadlineTimer deadline(60000);
    while (!done()) {
        if (deadline.hasExpired())
            fail(QStringLiteral("timed out waiting for %1").arg(what));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Lets every deleteLater() and queued call run.
void settle()
{
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QJsonObject world()
{
    QJsonArray devices;
    for (int i = 0; i < deviceCount; ++i) {
        devices.append(QJsonObject { { "address",
                                       QStringLiteral("00:AA:00:00:%1:%2")
                                           .arg(i / 256, 2, 16, QLatin1Char('0'))
                                           .arg(i % 256, 2, 16, QLatin1Char('0'))
                                           .toUpper() },
                                     { "name", QStringLiteral("Device %1").arg(i) },
                                     { "class", 0x240404 },
                                     { "paired", true },
                                     { "inRange", false } });
    }
    return QJsonObject { { "adapter", QJsonObject { { "powered", true } } },
                         { "timing", QJsonObject { { "powerMs", 5 } } },
                         { "devices", devices } };
}

// Returns what is in use while everything is alive, after the power cycles.
Usage oneRound()
{
    std::vector<std::unique_ptr<BluetoothAdapter>> handles;
    for (int i = 0; i < handleCount; ++i)
        handles.emplace_back(BluetoothAdapter::defaultAdapter());
    BluetoothAdapter *adapter = handles.front().get();
    waitFor([adapter]() { return adapter->isValid(); }, QStringLiteral("the adapter"));
    std::vector<std::unique_ptr<BluetoothDeviceModel>> models;
    for (int i = 0; i < modelCount; ++i)
        models.emplace_back(std::make_unique<BluetoothDeviceModel>(handles.at(i).get()));
    const QList<BluetoothDevice> devices = adapter->listDevices();
    if (devices.size() != deviceCount)
        fail(QStringLiteral("%1 devices instead of %2").arg(devices.size()).arg(deviceCount));
    for (const auto &model : models)
        waitFor([&model]() { return model->rowCount() == deviceCount; },
                QStringLiteral("the models"));
    for (int cycle = 0; cycle < powerCycles; ++cycle) {
        adapter->setPowered(false);
        waitFor([&handles]() { return !handles.back()->isPowered(); }, QStringLiteral("power off"));
        adapter->setPowered(true);
        waitFor([&handles]() { return handles.back()->isPowered(); }, QStringLiteral("power on"));
    }
    const Usage alive = inUse();
    models.clear();
    handles.clear();
    settle();
    return alive;
}

} // namespace

int main(int argc, char **argv)
{
    OvrinTest::TestEnvironment environment;
    QString error;
    if (!environment.setUp(&error))
        fail(error);
    QCoreApplication app(argc, argv);
    if (!environment.startSimulator(&error))
        fail(error);
    if (!sim()->loadScenario(world()))
        fail(QStringLiteral("cannot load the scenario: %1").arg(sim()->lastError()));

    bool ok = false;
    const int rounds = qEnvironmentVariableIntValue("OVRIN_LOAD_ROUNDS", &ok);
    const int measuredRounds = ok && rounds > 0 ? rounds : 5;
    oneRound();
    settle();
    const Usage start = inUse();
    const bool counted = start.blocks >= 0;
    if (!counted) {
        // The rounds still run: AddressSanitizer watches every access and
        // LeakSanitizer reports what is unreachable at exit.
        figure(QStringLiteral("counting skipped"), 0, "-",
               QStringLiteral("built with AddressSanitizer, which replaces malloc"));
    } else {
        figure(QStringLiteral("after the warm-up round"), double(start.bytes), "bytes",
               QStringLiteral("%1 blocks; heap %2 bytes").arg(start.blocks).arg(start.heap));
    }
    QList<qint64> blockGrowth;
    QList<qint64> byteGrowth;
    Usage before = start;
    for (int round = 1; round <= measuredRounds; ++round) {
        const Usage alive = oneRound();
        settle();
        const Usage after = inUse();
        if (!counted)
            continue;
        blockGrowth.append(after.blocks - before.blocks);
        byteGrowth.append(after.bytes - before.bytes);
        figure(QStringLiteral("round %1 after").arg(round), double(after.bytes), "bytes",
               QStringLiteral("%1 blocks; growth %2 bytes, %3 blocks; alive %4 bytes; heap %5")
                   .arg(after.blocks)
                   .arg(after.bytes - before.bytes)
                   .arg(after.blocks - before.blocks)
                   .arg(alive.bytes)
                   .arg(after.heap));
        before = after;
    }
    environment.tearDown();
    if (!counted)
        return 0;
    // With the one-time steps, for the record; the median judges.
    figure(QStringLiteral("growth over %1 rounds").arg(measuredRounds),
           double(before.bytes - start.bytes), "bytes",
           QStringLiteral("%1 blocks").arg(before.blocks - start.blocks));
    const qint64 blocksPerRound = median(blockGrowth);
    const qint64 bytesPerRound = median(byteGrowth);
    figure(QStringLiteral("median growth of one round"), double(bytesPerRound), "bytes",
           QStringLiteral("%1 blocks; goal: below %2 bytes and %3 blocks")
               .arg(blocksPerRound)
               .arg(allowedBytesPerRound)
               .arg(allowedBlocksPerRound));
    if (blocksPerRound >= allowedBlocksPerRound || bytesPerRound >= allowedBytesPerRound)
        fail(QStringLiteral("each round keeps about %1 bytes in %2 blocks")
                 .arg(bytesPerRound)
                 .arg(blocksPerRound));
    return 0;
}
