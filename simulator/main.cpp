// btsim: plays BlueZ 4 or 5 (and obexd) on D-Bus for tests, the demo and people.

#include "privatebuses.h"
#include "scenario.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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

// "btsim --activate NAME": what the session bus runs when NAME (an obexd
// name) is called while the simulator has dropped it. The daemon is not a
// process of its own here, so activation means asking the running simulator
// to bring the name back; the bus delivers the waiting call once the name has
// an owner. Without a simulator on the bus the activation fails.
int activate(const QString &name)
{
    QTextStream err(stderr);
    QString address = qEnvironmentVariable("DBUS_STARTER_ADDRESS");
    if (address.isEmpty())
        address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QDBusConnection bus
        = QDBusConnection::connectToBus(address, QStringLiteral("btsim-activation"));
    if (!bus.isConnected()) {
        err << "btsim: cannot reach the bus to activate " << name << Qt::endl;
        return 1;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.brivo.BtSim"), QStringLiteral("/com/brivo/BtSim"),
        QStringLiteral("com.brivo.BtSim"), QStringLiteral("ActivateService"));
    call.setArguments({ name });
    // Never start a simulator by activation: only a running one can answer.
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        err << "btsim: cannot activate " << name << ": " << reply.errorMessage() << Qt::endl;
        return 1;
    }
    // The name was taken before the reply was sent; exit only once the bus agrees.
    return bus.interface()->isServiceRegistered(name).value() ? 0 : 1;
}

// The dialect an option names (4 or 5), else the scenario's; 0 when invalid.
int version(const QCommandLineParser &parser, const QCommandLineOption &option, int scenario)
{
    if (!parser.isSet(option))
        return scenario;
    const QString value = parser.value(option);
    return value == QLatin1String("4") || value == QLatin1String("5") ? value.toInt() : 0;
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
        "Simulates the BlueZ 4 or BlueZ 5 daemon and the obexd daemons on D-Bus. Without "
        "DBUS_SYSTEM_BUS_ADDRESS (or with "
        "--private-buses) it starts its own pair of private buses and prints their "
        "addresses. A command after -- runs with those addresses; btsim exits with it."));
    parser.addHelpOption();
    QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                      QStringLiteral("Scenario file (JSON); default: built-in."),
                                      QStringLiteral("file"));
    QCommandLineOption privateOption(QStringLiteral("private-buses"),
                                     QStringLiteral("Start a private system and session bus."));
    QCommandLineOption activateOption(QStringLiteral("activate"),
                                      QStringLiteral("Run by the session bus to activate a dropped "
                                                     "obexd name of the running simulator."),
                                      QStringLiteral("name"));
    QCommandLineOption bluezOption(QStringLiteral("bluez"),
                                   QStringLiteral("The bluetoothd to play: 4 or 5; default: the "
                                                  "scenario's \"bluez\", else 4."),
                                   QStringLiteral("version"));
    parser.addOption(scenarioOption);
    QCommandLineOption obexdOption(QStringLiteral("obexd"),
                                   QStringLiteral("The obexd to play: 4 (0.45) or 5 (BlueZ 5); "
                                                  "default: the scenario's \"obexd\", else 4."),
                                   QStringLiteral("version"));
    parser.addOption(bluezOption);
    parser.addOption(obexdOption);
    parser.addOption(privateOption);
    parser.addOption(activateOption);
    parser.process(own);
    if (parser.isSet(activateOption))
        return activate(parser.value(activateOption));

    QTextStream out(stdout);
    QTextStream err(stderr);
    QString error;
    const QString scenarioFile = parser.isSet(scenarioOption)
        ? parser.value(scenarioOption)
        : QStringLiteral(":/scenarios/default.json");
    auto scenario = Scenario::fromFile(scenarioFile, &error);
    if (!scenario) {
        err << "btsim: " << error << Qt::endl;
        return 2;
    }

    const int dialect = version(parser, bluezOption, scenario->bluez);
    const int obexd = version(parser, obexdOption, scenario->obexd);
    if (!dialect || !obexd) {
        err << "btsim: --bluez and --obexd take 4 or 5" << Qt::endl;
        return 2;
    }

    std::unique_ptr<QTemporaryDir> busDir;
    std::unique_ptr<PrivateBuses> buses;
    QString systemAddress = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    QString sessionAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (parser.isSet(privateOption) || systemAddress.isEmpty()) {
        busDir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/btsim-XXXXXX"));
        buses = std::make_unique<PrivateBuses>(busDir->path());
        if (!buses->makeSimulatorActivatable(QCoreApplication::applicationFilePath(), &error)
            || !buses->start(&error)) {
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

    Simulator simulator(systemAddress, sessionAddress, dialect, obexd);
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
        QObject::connect(&child, &QProcess::finished, &app,
                         [&](int code, QProcess::ExitStatus status) {
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
