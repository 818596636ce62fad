// btsim: plays BlueZ 4 (and obexd) on D-Bus for tests, the demo and people.

#include "privatebuses.h"
#include "scenario.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextStream>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

int signalPipe[2];

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void quitOnTermination(QCoreApplication &app)
{
    if (::pipe(signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
}

} // namespace

int main(int argc, char **argv)
{
    // Everything after "--" is a command to run against the simulator.
    QStringList command;
    QStringList own;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--") && command.isEmpty()) {
            for (int j = i + 1; j < argc; ++j)
                command.append(QString::fromLocal8Bit(argv[j]));
            break;
        }
        own.append(arg);
    }

    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("btsim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Simulates the BlueZ 4 daemon on D-Bus. Without DBUS_SYSTEM_BUS_ADDRESS (or with "
            "--private-buses) it starts its own pair of private buses and prints their "
            "addresses. A command after -- runs with those addresses; btsim exits with it."));
    parser.addHelpOption();
    QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                      QStringLiteral("Scenario file (JSON); default: built-in."),
                                      QStringLiteral("file"));
    QCommandLineOption privateOption(QStringLiteral("private-buses"),
                                     QStringLiteral("Start a private system and session bus."));
    parser.addOption(scenarioOption);
    parser.addOption(privateOption);
    parser.process(own);

    QTextStream out(stdout);
    QTextStream err(stderr);
    QString error;
    const QString scenarioFile = parser.isSet(scenarioOption) ? parser.value(scenarioOption)
                                                              : QStringLiteral(":/scenarios/default.json");
    auto scenario = Scenario::fromFile(scenarioFile, &error);
    if (!scenario) {
        err << "btsim: " << error << Qt::endl;
        return 2;
    }

    std::unique_ptr<QTemporaryDir> busDir;
    std::unique_ptr<PrivateBuses> buses;
    QString systemAddress = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    QString sessionAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (parser.isSet(privateOption) || systemAddress.isEmpty()) {
        busDir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/btsim-XXXXXX"));
        buses = std::make_unique<PrivateBuses>(busDir->path());
        if (!buses->start(&error)) {
            err << "btsim: " << error << Qt::endl;
            return 1;
        }
        buses->exportAddresses();
        systemAddress = buses->systemAddress();
        sessionAddress = buses->sessionAddress();
    }
    if (sessionAddress.isEmpty()) {
        err << "btsim: DBUS_SESSION_BUS_ADDRESS is not set" << Qt::endl;
        return 1;
    }

    Simulator simulator(systemAddress, sessionAddress);
    if (!simulator.start(*scenario, &error)) {
        err << "btsim: " << error << Qt::endl;
        return 1;
    }
    out << "DBUS_SYSTEM_BUS_ADDRESS='" << systemAddress << "'; export DBUS_SYSTEM_BUS_ADDRESS;\n"
        << "DBUS_SESSION_BUS_ADDRESS='" << sessionAddress << "'; export DBUS_SESSION_BUS_ADDRESS;\n"
        << "# btsim ready" << Qt::endl;
    quitOnTermination(app);

    int commandStatus = 0;
    QProcess child;
    if (!command.isEmpty()) {
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.setInputChannelMode(QProcess::ForwardedInputChannel);
        PrivateBuses::dieWithParent(child);
        QObject::connect(&child, &QProcess::finished, &app, [&](int code, QProcess::ExitStatus status) {
            commandStatus = status == QProcess::NormalExit ? code : 128;
            app.quit();
        });
        QObject::connect(&child, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) {
                err << "btsim: cannot run " << command.first() << Qt::endl;
                commandStatus = 127;
                app.quit();
            }
        });
        child.start(command.first(), command.mid(1));
    }
    const int status = app.exec();
    return command.isEmpty() ? status : commandStatus;
}
