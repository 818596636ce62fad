#include "benchsupport.h"

#include "bluetoothtransfertracker.h"
#include "bluezworld.h"
#include "ovrintranslations.h"
#include "testenvironment.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <ctime>

namespace Bench {

namespace {

QByteArray programName = "benchmark";

qint64 clockNs(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Tabs and line breaks would break the line format.
QByteArray field(const QString &text)
{
    QString flat = text;
    flat.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return flat.toUtf8();
}

} // namespace

SimulatorClient *sim()
{
    return OvrinTest::TestEnvironment::instance()->simulator();
}

void figure(const QString &name, double value, const char *unit, const QString &floor,
            const QString &note)
{
    std::printf("%s\t%.2f\t%s\t%s\t%s\n", field(name).constData(), value, unit,
                field(floor).constData(), field(note).constData());
    std::fflush(stdout);
}

void about(const QString &title, const QString &text)
{
    std::printf("about\t%s\t%s\n", field(title).constData(), field(text).constData());
    std::fflush(stdout);
}

QString verdict(bool met)
{
    return met ? QStringLiteral("goal met") : QStringLiteral("goal MISSED");
}

void fail(const QString &what)
{
    std::fprintf(stderr, "%s: %s\n", programName.constData(), qPrintable(what));
    std::exit(1);
}

QString address(int prefix, int i)
{
    return QStringLiteral("%1:EF:00:%2:%3:%4")
        .arg(prefix, 2, 16, QLatin1Char('0'))
        .arg((i >> 16) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((i >> 8) & 0xff, 2, 16, QLatin1Char('0'))
        .arg(i & 0xff, 2, 16, QLatin1Char('0'))
        .toUpper();
}

void load(const QJsonObject &world)
{
    if (!sim()->loadScenario(world))
        fail(QStringLiteral("cannot load the scenario: %1").arg(sim()->lastError()));
    // BlueZ 5 tells the new world as objects going and coming: measuring
    // starts once this process has seen them.
    OvrinTest::settleBluez();
}

bool drain(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // Objects let go of count too.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::usleep(200);
    }
}

void settle()
{
    drain([] { return false; }, 100);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool followFoundSignals(QObject *receiver, bool follow)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    const QString bluez = QStringLiteral("org.bluez");
    const auto link
        = [&](const QString &path, const QString &interface, const char *member, const char *slot) {
              return follow
                  ? bus.connect(bluez, path, interface, QLatin1String(member), receiver, slot)
                  : bus.disconnect(bluez, path, interface, QLatin1String(member), receiver, slot);
          };
    if (!OvrinTest::onBluez5())
        return link(OvrinTest::defaultAdapterPath(), QStringLiteral("org.bluez.Adapter"),
                    "DeviceFound", SLOT(deviceFound(QString, QVariantMap)));
    return link(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                "InterfacesAdded", SLOT(interfacesAdded(QDBusMessage)))
        && link(QString(), QStringLiteral("org.freedesktop.DBus.Properties"), "PropertiesChanged",
                SLOT(propertiesChanged(QDBusMessage)));
}

qint64 threadCpuNs()
{
    return clockNs(CLOCK_THREAD_CPUTIME_ID);
}

qint64 processCpuNs()
{
    return clockNs(CLOCK_PROCESS_CPUTIME_ID);
}

bool wanted(const QStringList &parts, const QString &part)
{
    return parts.isEmpty() || parts.contains(part);
}

int run(int argc, char **argv, const std::function<void(const QStringList &parts)> &body)
{
    programName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit();
    OvrinTest::TestEnvironment environment;
    QString error;
    if (!environment.setUp(&error))
        fail(error);
    // Widgets: some figures open screens (offscreen, as in the tests).
    QApplication app(argc, argv);
    if (!environment.startSimulator(&error))
        fail(error);
    // Screens show texts, and received files land in the handset's folder.
    Ovrin::installTranslations(QLocale(QLocale::English));
    const QString documents = QDir::home().filePath(QStringLiteral("MyDocs"));
    QDir().mkpath(documents);
    Ovrin::BluetoothTransferTracker::setBasePath(documents);
    body(app.arguments().mid(1));
    settle();
    environment.tearDown();
    return 0;
}

} // namespace Bench
