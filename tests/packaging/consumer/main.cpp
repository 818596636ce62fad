// Uses the installed library as an application does: waits for the adapter
// the simulator plays, prints its name and builds one of the screens.
// Argument: the installation prefix, from which every Ovrin library must load.

#include <bluetoothadapter.h>
#include <bluetoothsettingsview.h>
#include <ovrinversion.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

// The Ovrin libraries mapped into this process must all come from prefix, or
// the test would pass on the build tree's copies.
bool librariesComeFrom(const QString &prefix)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    bool found = false;
    const QList<QByteArray> lines = maps.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int pathStart = line.indexOf('/');
        if (pathStart < 0 || !line.contains("/libovrin-"))
            continue;
        const QString path = QDir(QString::fromLocal8Bit(line.mid(pathStart))).canonicalPath();
        if (!path.startsWith(prefix + QLatin1Char('/'))) {
            std::fprintf(stderr, "loaded from outside the prefix: %s\n", qPrintable(path));
            return false;
        }
        found |= path.contains(QLatin1String("/libovrin-bluetooth.so"));
    }
    return found;
}

// The installed English catalogue, as an application loads it.
bool installCatalogue(const QString &prefix)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString file
        = prefix + QStringLiteral("/share/ovrin-bluetooth/translations/ovrin-bluetooth_en.qm");
    return translator->load(file) && QCoreApplication::installTranslator(translator)
        && qtTrId("qtn_conn_bluetooth") != QLatin1String("qtn_conn_bluetooth");
}

bool waitForValid(Ovrin::BluetoothAdapter *adapter)
{
    if (adapter->isValid())
        return true;
    QEventLoop loop;
    QObject::connect(adapter, &Ovrin::BluetoothAdapter::adapterValid, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    return adapter->isValid();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PREFIX\n", argv[0]);
        return 2;
    }
    const QString prefix = QDir(QFile::decodeName(argv[1])).canonicalPath();
    if (!librariesComeFrom(prefix)) {
        std::fprintf(stderr, "the Ovrin libraries are not all loaded from %s\n",
                     qPrintable(prefix));
        return 1;
    }
    std::printf("library %s\n", qPrintable(Ovrin::libraryVersion()));
    if (!installCatalogue(prefix)) {
        std::fprintf(stderr, "the installed catalogue does not load\n");
        return 1;
    }

    std::unique_ptr<Ovrin::BluetoothAdapter> adapter(Ovrin::BluetoothAdapter::defaultAdapter());
    if (!waitForValid(adapter.get())) {
        std::fprintf(stderr, "the adapter never became valid\n");
        return 1;
    }
    std::printf("adapter %s\n", qPrintable(adapter->name()));

    Ovrin::BluetoothSettingsView view(adapter.get());
    std::printf("settings view %s\n", view.metaObject()->className());
    return 0;
}
