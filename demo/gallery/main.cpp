// ovrin-bt-gallery: pictures of every screen state, for people to look at.
// It runs offscreen in a simulated world of its own, like the demo's tour,
// and writes PNG files into the folder named on its command line.

#include "gallery.h"
#include "ovrintranslations.h"
#include "simulatedworld.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: ovrin-bt-gallery FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    // Set up before the application object: the world forks.
    SimulatedWorld world { QStringLiteral(OVRIN_BTSIM_PATH) };
    QString error;
    if (!world.setUp(&error)) {
        std::fprintf(stderr, "ovrin-bt-gallery: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("ovrin-bt-gallery"));
    if (!world.startSimulator(&error)) {
        std::fprintf(stderr, "ovrin-bt-gallery: %s\n", qPrintable(error));
        return 1;
    }
    Ovrin::installTranslations(QLocale(QLocale::English));

    Gallery gallery(folder, world.simulator());
    if (!gallery.prepare())
        return 1;
    gallery.toolkit();
    gallery.screens();
    return gallery.finish();
}
