#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include "simulatorclient.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

// What every benchmark shares: its world (private buses, the simulator, an
// application object), the lines it prints and the event loop helpers.
//
// A benchmark prints one line per figure,
//     "figure<TAB>value<TAB>unit<TAB>floor or baseline<TAB>note",
// and one line per explanation, "about<TAB>title<TAB>paragraph", which
// scripts/bench.sh turns into the table and docs/performance.md.
namespace Bench {

SimulatorClient *sim();

void figure(const QString &name, double value, const char *unit, const QString &floor,
            const QString &note = {});
void about(const QString &title, const QString &text);
// "goal met" or "goal MISSED", as the table marks a goal.
QString verdict(bool met);
[[noreturn]] void fail(const QString &what);

// A device address out of a prefix byte and a running number.
QString address(int prefix, int i);
void load(const QJsonObject &world);

// Handles whatever is queued; then more until done() or the deadline.
bool drain(const std::function<bool()> &done, int timeoutMs = 120000);
// Handles what is queued for a moment, deletions included.
void settle();

// Connects receiver (or disconnects it) to what BlueZ says as it finds
// devices: BlueZ 4's DeviceFound to deviceFound(QString, QVariantMap);
// BlueZ 5's InterfacesAdded and PropertiesChanged to interfacesAdded and
// propertiesChanged, each taking the QDBusMessage.
bool followFoundSignals(QObject *receiver, bool follow);

qint64 threadCpuNs();
qint64 processCpuNs();

// Whether the command line asks for part (no parts named: all of them).
bool wanted(const QStringList &parts, const QString &part);

// Sets up the world, runs body with the parts named on the command line
// (empty: all) and tears the world down; the exit status of the benchmark.
int run(int argc, char **argv, const std::function<void(const QStringList &parts)> &body);

} // namespace Bench

#endif // BENCHSUPPORT_H
