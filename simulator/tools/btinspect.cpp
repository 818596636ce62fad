// btinspect: asks whatever plays "org.bluez" on the system bus what it offers:
// the default adapter, the known devices and, after one discovery cycle, the
// devices in range. Talks plain BlueZ 4 D-Bus, so it works on a real daemon too.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMap>
#include <QTextStream>
#include <QTimer>

namespace {

QTextStream out(stdout);

QDBusMessage call(const QString &path, const QString &interface, const QString &member,
                  const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path, interface, member);
    message.setArguments(args);
    return QDBusConnection::systemBus().call(message, QDBus::Block, 10000);
}

QVariantMap properties(const QString &path, const QString &interface)
{
    return qdbus_cast<QVariantMap>(call(path, interface, QStringLiteral("GetProperties")).arguments().value(0));
}

QString yesNo(const QVariant &value)
{
    return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
}

QString classText(const QVariant &value)
{
    return value.isValid() ? QStringLiteral("0x%1").arg(value.toUInt(), 6, 16, QLatin1Char('0')) : QStringLiteral("-");
}

void printAdapter(const QVariantMap &adapter)
{
    out << "Adapter " << adapter.value(QStringLiteral("Address")).toString() << " \""
        << adapter.value(QStringLiteral("Name")).toString() << "\"\n"
        << "  class " << classText(adapter.value(QStringLiteral("Class")))
        << ", powered " << yesNo(adapter.value(QStringLiteral("Powered")))
        << ", discoverable " << yesNo(adapter.value(QStringLiteral("Discoverable")))
        << ", pairable " << yesNo(adapter.value(QStringLiteral("Pairable"))) << "\n\n";
}

void printKnownDevices(const QVariantMap &adapter)
{
    const auto devices = qdbus_cast<QList<QDBusObjectPath>>(adapter.value(QStringLiteral("Devices")));
    out << "Known devices (" << devices.size() << ")\n";
    for (const QDBusObjectPath &path : devices) {
        const QVariantMap device = properties(path.path(), QStringLiteral("org.bluez.Device"));
        out << "  " << device.value(QStringLiteral("Address")).toString() << "  "
            << qSetFieldWidth(24) << Qt::left << device.value(QStringLiteral("Alias")).toString()
            << qSetFieldWidth(0) << " class " << classText(device.value(QStringLiteral("Class")))
            << (device.value(QStringLiteral("Paired")).toBool() ? "  paired" : "")
            << (device.value(QStringLiteral("Trusted")).toBool() ? "  trusted" : "")
            << (device.value(QStringLiteral("Blocked")).toBool() ? "  blocked" : "")
            << (device.value(QStringLiteral("Connected")).toBool() ? "  connected" : "") << "\n";
    }
    out << "\n";
}

} // namespace

// Collects DeviceFound during one discovery cycle.
class DiscoveryWatch : public QObject
{
    Q_OBJECT
public:
    QMap<QString, QVariantMap> found;
    bool sawStart = false;

public Q_SLOTS:
    void deviceFound(const QString &address, const QVariantMap &values)
    {
        QVariantMap &entry = found[address];
        for (auto it = values.begin(); it != values.end(); ++it)
            entry.insert(it.key(), it.value());
    }
    void propertyChanged(const QString &name, const QDBusVariant &value)
    {
        if (name != QLatin1String("Discovering"))
            return;
        if (value.variant().toBool())
            sawStart = true;
        else if (sawStart)
            QCoreApplication::quit();
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QDBusMessage adapterReply = call(QStringLiteral("/"), QStringLiteral("org.bluez.Manager"), QStringLiteral("DefaultAdapter"));
    if (adapterReply.type() != QDBusMessage::ReplyMessage) {
        QTextStream(stderr) << "btinspect: no adapter: " << adapterReply.errorName() << " " << adapterReply.errorMessage() << Qt::endl;
        return 1;
    }
    const QString adapterPath = adapterReply.arguments().value(0).value<QDBusObjectPath>().path();
    const QVariantMap adapter = properties(adapterPath, QStringLiteral("org.bluez.Adapter"));
    printAdapter(adapter);
    printKnownDevices(adapter);
    if (!adapter.value(QStringLiteral("Powered")).toBool())
        return 0;

    DiscoveryWatch watch;
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.connect(QStringLiteral("org.bluez"), adapterPath, QStringLiteral("org.bluez.Adapter"), QStringLiteral("DeviceFound"),
                &watch, SLOT(deviceFound(QString, QVariantMap)));
    bus.connect(QStringLiteral("org.bluez"), adapterPath, QStringLiteral("org.bluez.Adapter"), QStringLiteral("PropertyChanged"),
                &watch, SLOT(propertyChanged(QString, QDBusVariant)));
    out << "Discovering one cycle..." << Qt::endl;
    call(adapterPath, QStringLiteral("org.bluez.Adapter"), QStringLiteral("StartDiscovery"));
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    app.exec();
    call(adapterPath, QStringLiteral("org.bluez.Adapter"), QStringLiteral("StopDiscovery"));

    out << "In range (" << watch.found.size() << ")\n";
    QList<QVariantMap> sorted = watch.found.values();
    std::sort(sorted.begin(), sorted.end(), [](const QVariantMap &a, const QVariantMap &b) {
        return a.value(QStringLiteral("RSSI")).toInt() > b.value(QStringLiteral("RSSI")).toInt();
    });
    for (const QVariantMap &device : std::as_const(sorted)) {
        out << "  " << device.value(QStringLiteral("Address")).toString() << "  RSSI "
            << qSetFieldWidth(4) << Qt::right << device.value(QStringLiteral("RSSI")).toInt() << qSetFieldWidth(0)
            << "  " << qSetFieldWidth(26) << Qt::left << device.value(QStringLiteral("Alias")).toString()
            << qSetFieldWidth(0) << " " << qSetFieldWidth(16) << device.value(QStringLiteral("Icon"), QStringLiteral("-")).toString()
            << qSetFieldWidth(0) << (device.value(QStringLiteral("Paired")).toBool() ? " paired" : "") << "\n";
    }
    out.flush();
    return watch.found.isEmpty() ? 1 : 0;
}

#include "btinspect.moc"
