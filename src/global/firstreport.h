#ifndef OVRIN_FIRSTREPORT_H
#define OVRIN_FIRSTREPORT_H

#include <QString>

namespace Ovrin {

// A daemon that sends the same wrong thing ten thousand times must not fill
// the log ten thousand times: what it got wrong is told once per process.
// True the first time key is given, false ever after.
bool isFirstReport(const QString &key);

// A value from a daemon, made fit for a log line: at most 40 characters,
// control characters escaped.
QString loggable(const QString &value);

} // namespace Ovrin

#endif // OVRIN_FIRSTREPORT_H
