#ifndef PROCESSREAPER_H
#define PROCESSREAPER_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// Ends every process a run started, however the run ends. The run marks its
// environment with a tag that all its descendants inherit, daemons activated
// by its buses included (gconfd-2 leaves the process tree). A watchdog outside
// the run's process tree and process group waits for the run to die, then
// kills whatever still carries the tag and removes the run's folder.
class ProcessReaper
{
public:
    static const char *tagVariable() { return "OVRIN_RUN_TAG"; }

    // Sets a fresh tag in this process's environment and returns it.
    static QByteArray tagThisProcess();
    // Call before any thread exists (it forks). directory may be empty.
    static bool armWatchdog(const QByteArray &tag, const QString &directory);

    static QList<pid_t> findTagged(const QByteArray &tag);
    // Kills every tagged process but this one; returns how many.
    static int killTagged(const QByteArray &tag);
    // The program name of a process (its /proc comm), for reports.
    static QString processName(pid_t pid);
};

#endif // PROCESSREAPER_H
