// What the library's own work costs while files move over OBEX at the
// simulator's fastest speed (no limit): CPU time of this whole process (the
// library, QtDBus and its thread) per MB received and per MB sent, against
// the CPU time the simulator (obexd and obex-client, which move the bytes)
// spends on the same transfers, read from /proc.
//
// Arguments choose parts: receive, send (both by default).

#include "benchsupport.h"

#include "bluetoothadapter.h"
#include "bluetoothfilesendprocess.h"
#include "bluetoothobexagent.h"
#include "bluetoothtransfertracker.h"
#include "bluezcall.h"
#include "scriptedagent.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <unistd.h>

#include <memory>

using namespace Ovrin;
using namespace Bench;

namespace {

const QString sender = QStringLiteral("F4:0E:22:13:33:03");
const QString obexScenario = QStringLiteral("obex/scenarios/obex.json");
constexpr int fileBytes = 32 * 1024 * 1024;
constexpr int rounds = 3;
constexpr double megabyte = 1024.0 * 1024.0;

// utime + stime of a process, from /proc/<pid>/stat.
qint64 processCpuNsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(stat.fileName()));
    const QByteArray line = stat.readAll();
    // The name in parentheses may hold spaces: count fields after it.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    return ticks * 1000000000 / sysconf(_SC_CLK_TCK);
}

struct CpuTime
{
    qint64 own = 0;
    qint64 simulator = 0;

    static CpuTime now()
    {
        return { processCpuNs(),
                 processCpuNsOf(OvrinTest::TestEnvironment::instance()->simulatorPid()) };
    }
    CpuTime operator-(const CpuTime &before) const
    {
        return { own - before.own, simulator - before.simulator };
    }
};

void loadObexWorld()
{
    if (!sim()->loadScenarioFile(OvrinTest::TestEnvironment::testData(obexScenario)))
        fail(QStringLiteral("cannot load %1: %2").arg(obexScenario, sim()->lastError()));
    if (!sim()->setObexOptions({ { "speed", 0 }, { "connectMs", 0 } }))
        fail(QStringLiteral("cannot set the OBEX options: %1").arg(sim()->lastError()));
}

// The receiving side as a handset wires it: every push accepted into the
// folder for its type and shown by a download tracker.
class Receiver
{
public:
    Receiver()
    {
        QObject::connect(&m_agent, &BluetoothObexAgent::authorizationRequested, &m_agent,
                         [this](const QString &transfer, const QString &name, const QString &mime,
                                qulonglong length) { accept(transfer, name, mime, length); });
        QObject::connect(&m_agent, &BluetoothObexAgent::progress, &m_agent,
                         [this](const QString &, qulonglong done, qulonglong total) {
                             if (m_tracker && total)
                                 m_tracker->updateStatus(float(done) / float(total), 0);
                         });
        QObject::connect(&m_agent, &BluetoothObexAgent::complete, &m_agent, [this] {
            m_tracker->setFileState(m_tracker->files().value(0), BluetoothTransferTracker::Done);
            ++completed;
        });
        m_agent.registerToObexService();
    }

    int completed = 0;

private:
    void accept(const QString &transfer, const QString &name, const QString &mime,
                qulonglong length)
    {
        const QString path = BluetoothTransferTracker::filePath(name, mime);
        m_tracker = std::make_unique<BluetoothTransferTracker>(BluetoothTransferTracker::Download);
        m_tracker->addFile(path, mime, QUrl::fromLocalFile(path).toString());
        m_tracker->setSize(length);
        m_tracker->updateStatus(0.0f, 0);
        m_agent.authorizeTransfer(transfer, path);
    }

    BluetoothObexAgent m_agent { BluetoothObexAgent::Server };
    std::unique_ptr<BluetoothTransferTracker> m_tracker;
};

void reportRatio(const QString &direction, const QList<CpuTime> &samples)
{
    // Summed over the rounds: /proc counts the simulator's time in clock ticks
    // (10 ms), so one round alone would be too coarse.
    qint64 own = 0;
    qint64 simulator = 0;
    for (const CpuTime &sample : samples) {
        own += sample.own;
        simulator += sample.simulator;
    }
    const double megabytes = double(fileBytes) * samples.size() / megabyte;
    const double ownMs = own / 1e6 / megabytes;
    const double simulatorMs = simulator / 1e6 / megabytes;
    figure(QStringLiteral("%1: library CPU per MB").arg(direction), ownMs, "ms/MB",
           QStringLiteral("simulator %1 ms/MB").arg(simulatorMs, 0, 'f', 2),
           QStringLiteral("%1x the simulator; %2 files of %3 MB")
               .arg(ownMs / simulatorMs, 0, 'f', 2)
               .arg(samples.size())
               .arg(fileBytes / megabyte, 0, 'f', 0));
}

void benchReceive()
{
    loadObexWorld();
    Receiver receiver;
    if (!drain([] { return sim()->obexServerState().value(QLatin1String("agent")).isObject(); },
               10000))
        fail(QStringLiteral("the agent never registered with obexd"));
    QList<CpuTime> samples;
    for (int round = 0; round < rounds; ++round) {
        settle();
        const CpuTime before = CpuTime::now();
        const uint ticket
            = sim()->pushFiles(QJsonObject { { "address", sender },
                                             { "name", QStringLiteral("big%1.bin").arg(round) },
                                             { "type", "application/octet-stream" },
                                             { "size", fileBytes } });
        if (!ticket)
            fail(QStringLiteral("cannot push: %1").arg(sim()->lastError()));
        if (!drain([&receiver, round] { return receiver.completed > round; }, 120000))
            fail(QStringLiteral("the file never arrived"));
        samples.append(CpuTime::now() - before);
        if (const auto outcome = sim()->waitForRequest(ticket); !outcome || !outcome->isEmpty())
            fail(QStringLiteral("the push ended with %1").arg(outcome.value_or("a time-out")));
    }
    reportRatio(QStringLiteral("receive"), samples);
}

QString makeFile(const QTemporaryDir &folder, int round)
{
    const QString path = folder.filePath(QStringLiteral("send%1.bin").arg(round));
    QFile file(path);
    QByteArray block(1024 * 1024, 'x');
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write %1").arg(path));
    for (int written = 0; written < fileBytes; written += block.size())
        file.write(block);
    return path;
}

void benchSend()
{
    loadObexWorld();
    // obex-client asks BlueZ for a session, which needs an agent.
    ScriptedAgent bluezAgent(QDBusConnection::systemBus(), QStringLiteral("/bench/bluez_agent"));
    BluetoothAdapter adapter;
    if (!OvrinTest::registerAgent(bluezAgent.path()))
        fail(QStringLiteral("cannot register the BlueZ agent"));
    const BluetoothDevice destination = adapter.deviceForAddress(sender);
    QTemporaryDir folder;
    QList<CpuTime> samples;
    for (int round = 0; round < rounds; ++round) {
        const QString file = makeFile(folder, round);
        settle();
        const CpuTime before = CpuTime::now();
        BluetoothFileSendProcess send;
        bool finished = false;
        QString error;
        QObject::connect(&send, &BluetoothFileSendProcess::finished,
                         [&finished] { finished = true; });
        QObject::connect(&send, &BluetoothFileSendProcess::error,
                         [&error](const QString &text) { error = text; });
        send.addFile(file);
        send.setDestination(destination);
        if (!send.start())
            fail(QStringLiteral("the send did not start"));
        if (!drain([&finished] { return finished; }, 120000) || !error.isEmpty())
            fail(QStringLiteral("the send failed: %1").arg(error));
        samples.append(CpuTime::now() - before);
        QFile::remove(file);
    }
    reportRatio(QStringLiteral("send"), samples);
}

} // namespace

int main(int argc, char **argv)
{
    return run(argc, argv, [](const QStringList &parts) {
        if (wanted(parts, QStringLiteral("receive")))
            benchReceive();
        if (wanted(parts, QStringLiteral("send")))
            benchSend();
        about(QStringLiteral("File transfer"),
              QStringLiteral(
                  "32 MB files received (obexd pushes, a server agent accepts into the folder "
                  "for the type and a download tracker shows progress) and sent "
                  "(BluetoothFileSendProcess) at the simulator's fastest speed (no limit); "
                  "BlueZ 4's figures are with its obexd and obex-client, BlueZ 5's with its "
                  "obexd (org.bluez.obex), which writes into a folder of its own from which "
                  "the agent moves the file. The figure is this process's CPU time "
                  "(CLOCK_PROCESS_CPUTIME_ID: the library, QtDBus and its thread) per MB; the "
                  "baseline is the simulator's own CPU time (utime + stime from "
                  "/proc/<pid>/stat) for the same transfers, which moves and stores the bytes; "
                  "both are summed over three files, as /proc counts in 10 ms ticks. "
                  "Each progress signal of obexd used to cost the library a blocking "
                  "GetNameOwner to check its sender; the owner is now followed instead. "
                  "Receiving costs more with obexd 5: its progress is a PropertiesChanged "
                  "with a dictionary per packet, against a Progress of two integers. Sending "
                  "costs less: obexd 5 tells progress once a second, where obex-client asks "
                  "the agent with every packet."));
    });
}
