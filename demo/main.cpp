// ovrin-bt-demo: the library's screens in one handset-sized window.
//
// With a display it is interactive; without one (or with --tour) it runs a
// scripted tour offscreen that writes a picture per step and a transcript,
// and exits non-zero when a step did not do what it should. It uses the
// Bluetooth daemon of the system bus when there is one, and otherwise (and
// always for the tour) the simulator on private buses.

#include "demoshell.h"
#include "demotour.h"
#include "ovrintranslations.h"
#include "samplephoto.h"
#include "simulatedworld.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QProcess>

#include <cstdio>
#include <memory>

namespace {

struct Options
{
    bool tour = false;
    bool simulator = false;
    QString tourFolder = QStringLiteral("demo-tour");
};

bool hasDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform == "offscreen" || platform == "minimal")
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Parsed before the application object exists: the simulated world must be
// set up (it forks) while the process has one thread.
Options parseOptions(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The Ovrin Bluetooth screens in one handset-sized window. Without a display it runs "
        "the scripted tour."));
    parser.addHelpOption();
    const QCommandLineOption tour(
        QStringLiteral("tour"),
        QStringLiteral("Run the scripted tour offscreen, writing pictures and "
                       "a transcript to <folder> (default: demo-tour)."),
        QStringLiteral("folder"));
    const QCommandLineOption interactive(
        QStringLiteral("interactive"),
        QStringLiteral("Open the window even if no display is known."));
    const QCommandLineOption simulator(
        QStringLiteral("simulator"),
        QStringLiteral("Use the simulator even when BlueZ is running."));
    parser.addOptions({ tour, interactive, simulator });
    parser.process(arguments);

    Options options;
    options.tour = parser.isSet(tour) || (!hasDisplay() && !parser.isSet(interactive));
    if (parser.isSet(tour))
        options.tourFolder = parser.value(tour);
    options.simulator = options.tour || parser.isSet(simulator);
    return options;
}

// Asked of dbus-send, a process of its own: this one must stay single-threaded
// until the simulated world is set up. The reply's text, or nothing on error.
QByteArray askBluez(const QStringList &call)
{
    QProcess probe;
    probe.start(QStringLiteral("dbus-send"),
                QStringList { QStringLiteral("--system"), QStringLiteral("--print-reply") } + call);
    if (!probe.waitForFinished(3000) || probe.exitCode() != 0)
        return QByteArray();
    return probe.readAllStandardOutput();
}

// Which BlueZ on the system bus has an adapter ("BlueZ 5", "BlueZ 4"), or
// why the demo cannot use it.
QString systemBluez(QString *why)
{
    const QByteArray owner = askBluez({ QStringLiteral("--dest=org.freedesktop.DBus"),
                                        QStringLiteral("/org/freedesktop/DBus"),
                                        QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                                        QStringLiteral("string:org.bluez") });
    if (!owner.contains("boolean true")) {
        *why = QStringLiteral("org.bluez is not on the system bus");
        return QString();
    }
    // The same one call as the library's: only BlueZ 5 answers it.
    const QByteArray objects
        = askBluez({ QStringLiteral("--dest=org.bluez"), QStringLiteral("/"),
                     QStringLiteral("org.freedesktop.DBus.ObjectManager.GetManagedObjects") });
    if (objects.contains("org.bluez.Adapter1"))
        return QStringLiteral("BlueZ 5");
    if (!objects.isEmpty()) {
        *why = QStringLiteral("BlueZ 5 runs without an adapter");
        return QString();
    }
    if (!askBluez({ QStringLiteral("--dest=org.bluez"), QStringLiteral("/"),
                    QStringLiteral("org.bluez.Manager.DefaultAdapter") })
             .isEmpty())
        return QStringLiteral("BlueZ 4");
    *why = QStringLiteral("org.bluez has no adapter");
    return QString();
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parseOptions(argc, argv);
    std::unique_ptr<SimulatedWorld> world;
    QString why = options.tour ? QStringLiteral("the tour always uses it")
                               : QStringLiteral("--simulator was given");
    const QString bluez = options.simulator ? QString() : systemBluez(&why);
    if (bluez.isEmpty()) {
        std::fprintf(stderr, "ovrin-bt-demo: the simulator plays BlueZ (%s)\n", qPrintable(why));
        world = std::make_unique<SimulatedWorld>(QStringLiteral(OVRIN_BTSIM_PATH));
        QString error;
        if (!world->setUp(&error)) {
            std::fprintf(stderr, "ovrin-bt-demo: %s\n", qPrintable(error));
            return 1;
        }
    }
    if (options.tour)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("ovrin-bt-demo"));
    if (world) {
        QString error;
        if (!world->startSimulator(&error)) {
            std::fprintf(stderr, "ovrin-bt-demo: %s\n", qPrintable(error));
            return 1;
        }
    }
    Ovrin::installTranslations(QLocale(QLocale::English));

    const QString documents = DemoShell::prepareDocuments();
    const QString photo = QDir(documents).filePath(QStringLiteral("DCIM/sunset.jpg"));
    SamplePhoto::ensure(photo, QStringLiteral("Sunset"), 1600, 1200);
    const QString simulated = qEnvironmentVariable("OVRIN_BLUEZ") == QLatin1String("5")
        ? QStringLiteral("BlueZ 5")
        : QStringLiteral("BlueZ 4");
    const QString where = world
        ? QStringLiteral("Bluetooth: btsim, the simulated %1 and obexd").arg(simulated)
        : QStringLiteral("Bluetooth: %1 on the system bus").arg(bluez);
    DemoShell shell(where, photo);

    if (options.tour) {
        DemoTour tour(&shell, world->simulator(), options.tourFolder);
        return tour.run();
    }
    shell.show();
    return app.exec();
}
