// The demo's tour among two controllers in one bluetoothd and one obexd:
//
//   tour_realdaemons <folder>
//
// writes the tour's pictures and transcript into folder and exits non-zero
// when a step did not do what it should. In the guest of
// scripts/real-daemons.sh it runs on the genuine daemons and the buses it
// finds; elsewhere btsim plays the same world on private buses.

#include "demoshell.h"
#include "genuinetour.h"
#include "ovrintranslations.h"
#include "realdaemons.h"
#include "samplephoto.h"
#include "testenvironment.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

int runTour(const QString &folder)
{
    Ovrin::installTranslations(QLocale(QLocale::English));
    const QString documents = DemoShell::prepareDocuments();
    // As many bytes as a camera's photo of its size, about 1 MB: seconds on
    // the emulated link, time enough to see the send under way.
    const QString photo = QDir(documents).filePath(QStringLiteral("DCIM/sunset.jpg"));
    SamplePhoto::ensure(photo, QStringLiteral("Sunset"), 2048, 1536, 20);
    DemoShell shell(RealDaemons::genuine()
                        ? QStringLiteral("Bluetooth: the genuine bluetoothd and obexd 5.66; "
                                         "hci1 plays the other phone")
                        : QStringLiteral("Bluetooth: btsim as bluetoothd and obexd 5 with two "
                                         "controllers; hci1 plays the other phone"),
                    photo);
    GenuineTour tour(&shell, folder);
    return tour.run();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder for the pictures and the transcript>\n", argv[0]);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (RealDaemons::genuine()) {
        QApplication app(argc, argv);
        return runTour(folder);
    }
    OvrinTest::TestEnvironment environment;
    QString error;
    if (!environment.setUp(&error)) {
        std::fprintf(stderr, "test environment: %s\n", qPrintable(error));
        return 1;
    }
    QApplication app(argc, argv);
    if (!environment.startSimulator(&error,
                                    OvrinTest::TestEnvironment::testData(
                                        QStringLiteral("real/scenarios/two-controllers.json")))) {
        std::fprintf(stderr, "test environment: %s\n", qPrintable(error));
        return 1;
    }
    const int status = runTour(folder);
    environment.tearDown();
    return status;
}
