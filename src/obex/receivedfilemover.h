#ifndef OVRIN_RECEIVEDFILEMOVER_H
#define OVRIN_RECEIVEDFILEMOVER_H

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace Ovrin {

// Moves a received file from obexd's folder to where its owner wants it,
// under the first free name from the one wanted, never replacing a file.
// Within one file system that is a rename, done at once; across file
// systems the copy runs on a thread of its own, so the event loop never
// waits for it, and done comes later.
class ReceivedFileMover : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(bool moved)>;
    // freePath turns a wanted path into the first free one. done runs
    // unless context goes first; the source is gone either way.
    static void move(const QString &from, const QString &wanted,
                     const std::function<QString(const QString &)> &freePath, QObject *context,
                     Done done);

private:
    ReceivedFileMover(const QString &from, const QString &wanted,
                      std::function<QString(const QString &)> freePath, Done done,
                      QObject *context);
    // 1: moved; 0: failed; -1: another file system.
    int renameToFreeName(const QString &from);
    void copyAcross();
    void copied(bool ok);
    void finish(bool moved);

    QString m_from;
    QString m_wanted;
    QString m_copy; // the copy being made in the wanted folder
    std::function<QString(const QString &)> m_freePath;
    Done m_done;
    // The mover outlives its owner while its copy runs; done is then not run.
    QPointer<QObject> m_context;
};

} // namespace Ovrin

#endif // OVRIN_RECEIVEDFILEMOVER_H
