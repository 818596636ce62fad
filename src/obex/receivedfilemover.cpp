#include "receivedfilemover.h"

#include "obexlogging.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace Ovrin {

namespace {

// A rename that fails where the target exists, as QFile::rename does, but
// tells another file system apart instead of copying in place of the caller.
int renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE)
        == 0)
        return 0;
    return errno;
}

} // namespace

ReceivedFileMover::ReceivedFileMover(const QString &from, const QString &wanted,
                                     std::function<QString(const QString &)> freePath, Done done,
                                     QObject *context)
    : m_from(from)
    , m_wanted(wanted)
    , m_freePath(std::move(freePath))
    , m_done(std::move(done))
    , m_context(context)
{
}

void ReceivedFileMover::move(const QString &from, const QString &wanted,
                             const std::function<QString(const QString &)> &freePath,
                             QObject *context, Done done)
{
    auto *mover = new ReceivedFileMover(from, wanted, freePath, std::move(done), context);
    const int renamed = mover->renameToFreeName(from);
    if (renamed >= 0) {
        mover->finish(renamed == 1);
        return;
    }
    mover->copyAcross();
}

int ReceivedFileMover::renameToFreeName(const QString &from)
{
    // The free name is chosen now, and a file that appears between the
    // choice and the rename makes the next one chosen.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int error = renameNoReplace(from, m_freePath(m_wanted));
        if (error == 0)
            return 1;
        if (error == EXDEV)
            return -1;
        // A file system without that kind of rename: Qt's, which copies in place.
        if (error == EINVAL)
            return QFile::rename(from, m_freePath(m_wanted)) ? 1 : 0;
        if (error != EEXIST)
            break;
    }
    qCWarning(lcObex, "Unable to move the received file %s to %s", qPrintable(from),
              qPrintable(m_wanted));
    return 0;
}

void ReceivedFileMover::copyAcross()
{
    // Copied under a hidden name beside the wanted one, then renamed there:
    // nobody sees half a file under the name.
    const QFileInfo wanted(m_wanted);
    m_copy = wanted.absolutePath() + QStringLiteral("/.") + wanted.fileName() + u'.'
        + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".part");
    const QString from = m_from;
    const QString copy = m_copy;
    auto *worker = QThread::create([this, from, copy] {
        const bool ok = QFile::copy(from, copy);
        QMetaObject::invokeMethod(this, [this, ok] { copied(ok); }, Qt::QueuedConnection);
    });
    // The mover lives until the copy is through, whoever goes meanwhile.
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::LowPriority);
}

void ReceivedFileMover::copied(bool ok)
{
    const bool moved = ok && renameToFreeName(m_copy) == 1;
    if (!moved) {
        qCWarning(lcObex, "Unable to copy the received file %s to %s", qPrintable(m_from),
                  qPrintable(m_wanted));
        QFile::remove(m_copy);
    }
    finish(moved);
}

void ReceivedFileMover::finish(bool moved)
{
    if (QFile::exists(m_from) && !QFile::remove(m_from))
        qCWarning(lcObex, "Unable to remove the received file %s", qPrintable(m_from));
    const Done done = std::move(m_done);
    const bool wanted = !m_context.isNull();
    deleteLater();
    if (wanted)
        done(moved);
}

} // namespace Ovrin
