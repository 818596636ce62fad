#include "processreaper.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads /proc/<pid>/environ without Qt: the watchdog runs after a fork.
bool hasTag(pid_t pid, const char *needle, size_t needleLength)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/environ", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    static char buffer[1 << 16];
    size_t used = 0;
    ssize_t n;
    while (used < sizeof buffer && (n = ::read(fd, buffer + used, sizeof buffer - used)) > 0)
        used += size_t(n);
    ::close(fd);
    size_t start = 0;
    for (size_t i = 0; i < used; ++i) {
        if (buffer[i] != '\0')
            continue;
        if (i - start == needleLength && memcmp(buffer + start, needle, needleLength) == 0)
            return true;
        start = i + 1;
    }
    return false;
}

template<typename Visit>
void forEachTagged(const char *needle, Visit visit)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return;
    const size_t needleLength = strlen(needle);
    while (dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = strtol(entry->d_name, &end, 10);
        if (!end || *end != '\0' || pid <= 0 || pid == ::getpid())
            continue;
        if (hasTag(pid_t(pid), needle, needleLength))
            visit(pid_t(pid));
    }
    ::closedir(proc);
}

int killAll(const char *needle)
{
    int killed = 0;
    // Killed processes may have children that were not listed yet.
    for (int round = 0; round < 5; ++round) {
        int found = 0;
        forEachTagged(needle, [&found](pid_t pid) {
            ::kill(pid, SIGKILL);
            ++found;
        });
        if (found == 0)
            break;
        killed += found;
        ::usleep(50 * 1000);
    }
    return killed;
}

void removeTree(const char *path)
{
    DIR *dir = ::opendir(path);
    if (dir) {
        while (dirent *entry = ::readdir(dir)) {
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
                continue;
            char child[4096];
            snprintf(child, sizeof child, "%s/%s", path, entry->d_name);
            if (entry->d_type == DT_DIR)
                removeTree(child);
            else
                ::unlink(child);
        }
        ::closedir(dir);
    }
    ::rmdir(path);
}

QByteArray needleFor(const QByteArray &tag)
{
    return QByteArray(ProcessReaper::tagVariable()) + '=' + tag;
}

} // namespace

QByteArray ProcessReaper::tagThisProcess()
{
    const QByteArray tag = QUuid::createUuid().toByteArray(QUuid::Id128);
    qputenv(tagVariable(), tag);
    return tag;
}

bool ProcessReaper::armWatchdog(const QByteArray &tag, const QString &directory)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const QByteArray needle = needleFor(tag);
    const QByteArray dir = QFile::encodeName(directory);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // Leave the process tree and group, so that whoever kills the run
        // (a crash, CTest's timeout) does not kill us with it.
        if (::fork() != 0)
            ::_exit(0);
        ::setsid();
        ::close(fds[1]);
        for (int fd = 0; fd < 1024; ++fd) {
            if (fd != fds[0])
                ::close(fd);
        }
        char byte;
        while (::read(fds[0], &byte, 1) != 0) {
            // Only end of file (the run's death) matters.
        }
        killAll(needle.constData());
        if (!dir.isEmpty())
            removeTree(dir.constData());
        ::_exit(0);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    // The write end stays open (close-on-exec) for the life of this process.
    return true;
}

QList<pid_t> ProcessReaper::findTagged(const QByteArray &tag)
{
    QList<pid_t> pids;
    const QByteArray needle = needleFor(tag);
    forEachTagged(needle.constData(), [&pids](pid_t pid) { pids.append(pid); });
    return pids;
}

int ProcessReaper::killTagged(const QByteArray &tag)
{
    return killAll(needleFor(tag).constData());
}

QString ProcessReaper::processName(pid_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}
