#ifndef OBEXWORLD_H
#define OBEXWORLD_H

// Object exchange against the simulated obexd and obex-client: the pushing
// phone of obex/scenarios/obex.json, files on disk, the transfer UI entry.

#include "bluetoothobexagent.h"
#include "bluetoothtransfertracker.h"
#include "bluezworld.h"
#include "registry.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QUrl>

#include <memory>

namespace OvrinTest {

inline const QString obexScenario = QStringLiteral("obex/scenarios/obex.json");
// Pushes files to us and takes what we send.
inline const QString anna = QStringLiteral("F4:0E:22:13:33:03");
inline const QString annaName = QStringLiteral("Anna's phone");

// A push from Anna's phone; the simulator's ticket of the request.
inline uint pushFromAnna(const QString &name, const QString &type, const QByteArray &contents,
                         int speed = -1, QString *transfer = nullptr)
{
    return sim()->pushFile(anna, name, type, contents, speed, transfer);
}

// Every file under folder, relative to it, hidden ones too.
inline QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The transfer UI's one entry; an empty one unless there is exactly one.
inline TransferUI::TransferInfo onlyTransfer()
{
    const auto transfers = TransferUI::Registry::instance()->transfers();
    return transfers.size() == 1 ? transfers.first() : TransferUI::TransferInfo();
}

// The receiving side of a handset: a server agent registered with obexd and
// spies on all it tells. Tracked: every push accepted into the folder of its
// type and shown by a download tracker, as the system component does;
// Plain: accepted the same way, without a tracker; Asked: left to the test.
struct PushReceiver
{
    enum Answer { Tracked, Plain, Asked };

    Ovrin::BluetoothObexAgent agent { Ovrin::BluetoothObexAgent::Server };
    QSignalSpy requested { &agent, &Ovrin::BluetoothObexAgent::authorizationRequested };
    QSignalSpy progressed { &agent, &Ovrin::BluetoothObexAgent::progress };
    QSignalSpy completed { &agent, &Ovrin::BluetoothObexAgent::complete };
    QSignalSpy failed { &agent, &Ovrin::BluetoothObexAgent::error };
    QSignalSpy registered { &agent, &Ovrin::BluetoothObexAgent::serviceRegistered };
    QSignalSpy unregistered { &agent, &Ovrin::BluetoothObexAgent::serviceUnregistered };
    QSignalSpy refused { &agent, &Ovrin::BluetoothObexAgent::serviceRefused };
    std::unique_ptr<Ovrin::BluetoothTransferTracker> tracker;

    explicit PushReceiver(Answer answer = Tracked)
    {
        using Ovrin::BluetoothObexAgent;
        using Ovrin::BluetoothTransferTracker;
        if (answer == Plain)
            QObject::connect(
                &agent, &BluetoothObexAgent::authorizationRequested, &agent,
                [this](const QString &transfer, const QString &name, const QString &mime) {
                    agent.authorizeTransfer(transfer,
                                            BluetoothTransferTracker::filePath(name, mime));
                });
        if (answer == Tracked) {
            QObject::connect(&agent, &BluetoothObexAgent::authorizationRequested, &agent,
                             [this](const QString &transfer, const QString &name,
                                    const QString &mime,
                                    qulonglong length) { take(transfer, name, mime, length); });
            QObject::connect(&agent, &BluetoothObexAgent::progress, &agent,
                             [this](const QString &, qulonglong done, qulonglong total) {
                                 if (tracker && total)
                                     tracker->updateStatus(float(done) / float(total), 0);
                             });
            QObject::connect(&agent, &BluetoothObexAgent::complete, &agent, [this]() {
                if (tracker)
                    tracker->setFileState(tracker->files().value(0),
                                          BluetoothTransferTracker::Done);
            });
        }
        agent.registerToObexService();
    }

    void take(const QString &transfer, const QString &name, const QString &mime, qulonglong length)
    {
        using Ovrin::BluetoothTransferTracker;
        const QString path = BluetoothTransferTracker::filePath(name, mime);
        tracker = std::make_unique<BluetoothTransferTracker>(BluetoothTransferTracker::Download);
        tracker->addFile(path, mime, QUrl::fromLocalFile(path).toString());
        tracker->setSize(length);
        tracker->setTargetName(agent.remoteDeviceAddress());
        tracker->updateStatus(0.0f, 0);
        agent.authorizeTransfer(transfer, path);
    }
};

} // namespace OvrinTest

#endif // OBEXWORLD_H
