#ifndef TESTENVIRONMENT_H
#define TESTENVIRONMENT_H

#include "simulatedworld.h"
#include "watchedtest.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

namespace OvrinTest {

// Gives one test executable a world of its own: a temporary HOME with the XDG
// folders, a private system bus and session bus (gconfd-2 is activated on the
// latter), and the simulator playing the Bluetooth daemons. Every process it
// starts is ended when the test ends, also when the test crashes or is killed.
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    static TestEnvironment *instance() { return s_instance; }

    // Before the application object: sets up folders, buses and environment;
    // windows render offscreen.
    bool setUp(QString *error);
    // After the application object exists.
    bool startSimulator(QString *error, const QString &scenarioFile = {})
    {
        return m_world.startSimulator(error, scenarioFile);
    }
    void stopSimulator() { m_world.stopSimulator(); }
    void tearDown() { m_world.tearDown(); }

    QString directory() const { return m_world.directory(); }
    QByteArray tag() const { return m_world.tag(); }
    const PrivateBuses &buses() const { return m_world.buses(); }
    SimulatorClient *simulator() const { return m_world.simulator(); }
    qint64 simulatorPid() const { return m_world.simulatorPid(); }

    // Path of a file shipped with the tests (tests/<relative>).
    static QString testData(const QString &relative);

private:
    static TestEnvironment *s_instance;
    SimulatedWorld m_world;
};

// The whole of a file, empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

enum class Simulator { Start, None };

template<typename TestClass> int run(int argc, char **argv, Simulator simulator)
{
    TestEnvironment environment;
    QString error;
    if (!environment.setUp(&error)) {
        qCritical("test environment: %s", qPrintable(error));
        return 1;
    }
    QApplication app(argc, argv);
    if (simulator == Simulator::Start && !environment.startSimulator(&error)) {
        qCritical("test environment: %s", qPrintable(error));
        return 1;
    }
    int status = 0;
    {
        AgentCallWatch watch(environment.simulator());
        WatchedTest<TestClass> test(&watch);
        status = QTest::qExec(&test, argc, argv);
    }
    environment.tearDown();
    return status;
}

} // namespace OvrinTest

// A test executable on its own buses, with the simulator running.
#define OVRIN_TEST_MAIN(TestClass)                                                                 \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        return OvrinTest::run<TestClass>(argc, argv, OvrinTest::Simulator::Start);                 \
    }

// The same without the simulator (for tests that need no Bluetooth daemon).
#define OVRIN_TEST_MAIN_NO_SIMULATOR(TestClass)                                                    \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        return OvrinTest::run<TestClass>(argc, argv, OvrinTest::Simulator::None);                  \
    }

#endif // TESTENVIRONMENT_H
