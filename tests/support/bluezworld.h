#ifndef BLUEZWORLD_H
#define BLUEZWORLD_H

// The simulated daemons as the suites use them: a scenario loaded afresh for
// each test, what the simulator tells of a device, and expected warnings.

#include "bluetoothadapter.h"
#include "bluetoothdevice.h"
#include "bluezcall.h"
#include "bluezhygiene.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <memory>

namespace OvrinTest {

inline SimulatorClient *sim()
{
    return TestEnvironment::instance()->simulator();
}

// Hands over what BlueZ has said so far: a round trip to it (which it
// answers after every signal it sent before), then the signals. On BlueZ 5,
// whose announcements the library keeps, reads then see a new world.
inline void settleBluez()
{
    QDBusConnection::systemBus().call(bluezMessage(
        QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    QCoreApplication::processEvents();
}

// Loads tests/<scenario> and forgets the faults and calls of earlier tests.
// BlueZ 5 tells the new world as objects going and coming: the test starts
// once this process has seen them.
inline bool loadWorld(const QString &scenario)
{
    const bool loaded = sim()->loadScenarioFile(TestEnvironment::testData(scenario))
        && sim()->clearFaults() && sim()->clearCallLog();
    settleBluez();
    return loaded;
}

// A value the simulated device holds ("paired", "connected", "audioState").
inline QJsonValue simValue(const QString &address, const char *key)
{
    return sim()->device(address).value(QLatin1String(key));
}

// A value the simulated adapter holds ("powered", "discoverable", "name").
inline QJsonValue simAdapter(const char *key)
{
    return sim()->state()[QLatin1String("org.bluez")][QLatin1String("adapter")][QLatin1String(key)];
}

inline bool simFlag(const QString &address, const char *key)
{
    return simValue(address, key).toBool();
}

// A hidden BlueZ 5 handset takes no link from a device it has not paired:
// what such a device starts needs the handset visible (for good) first.
inline bool makeVisibleToStrangers()
{
    return sim()->changeAdapter({ { "discoverable", true }, { "discoverableTimeout", 0 } });
}

// The device BlueZ knows at address, looked up as a caller would.
inline Ovrin::BluetoothDevice knownDevice(const QString &address)
{
    return std::unique_ptr<Ovrin::BluetoothAdapter>(Ovrin::BluetoothAdapter::defaultAdapter())
        ->deviceForAddress(address);
}

// A device known by its address alone, as a caller may hand one over.
inline Ovrin::BluetoothDevice addressOnly(const QString &address)
{
    return Ovrin::BluetoothDevice(QVariantMap { { QStringLiteral("Address"), address } });
}

inline void expectWarning(const QString &pattern)
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(pattern));
}

} // namespace OvrinTest

// For init(): a fresh world, and every warning not expected fails the test.
#define OVRIN_FRESH_WORLD(scenario)                                                                \
    do {                                                                                           \
        QVERIFY2(OvrinTest::loadWorld(QStringLiteral(scenario)),                                   \
                 qPrintable(OvrinTest::sim()->lastError()));                                       \
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));                             \
    } while (false)

#endif // BLUEZWORLD_H
