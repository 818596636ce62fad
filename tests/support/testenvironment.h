#ifndef TESTENVIRONMENT_H
#define TESTENVIRONMENT_H

#include "privatebuses.h"
#include "simulatorclient.h"

#include <QApplication>
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

    // Before the application object: sets up folders, buses and environment.
    bool setUp(QString *error);
    // After the application object exists.
    bool startSimulator(QString *error, const QString &scenarioFile = {});
    void stopSimulator();
    void tearDown();

    QString directory() const { return m_directory; }
    QByteArray tag() const { return m_tag; }
    const PrivateBuses &buses() const { return *m_buses; }
    SimulatorClient *simulator() const { return m_client.get(); }
    qint64 simulatorPid() const { return m_simulator.processId(); }

    // Path of a file shipped with the tests (tests/<relative>).
    static QString testData(const QString &relative);

private:
    static TestEnvironment *s_instance;
    QByteArray m_tag;
    QString m_directory;
    std::unique_ptr<PrivateBuses> m_buses;
    QProcess m_simulator;
    std::unique_ptr<SimulatorClient> m_client;
};

enum class Simulator { Start, None };

template<typename TestClass>
int run(int argc, char **argv, Simulator simulator)
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
        TestClass test;
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
