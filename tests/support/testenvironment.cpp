#include "testenvironment.h"

namespace OvrinTest {

TestEnvironment *TestEnvironment::s_instance = nullptr;

TestEnvironment::TestEnvironment()
    : m_world(QStringLiteral(OVRIN_BTSIM_PATH))
{
    s_instance = this;
}

TestEnvironment::~TestEnvironment()
{
    tearDown();
    s_instance = nullptr;
}

QString TestEnvironment::testData(const QString &relative)
{
    return QStringLiteral(OVRIN_TESTS_SOURCE_DIR "/") + relative;
}

bool TestEnvironment::setUp(QString *error)
{
    // Tests never open windows on a display.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return m_world.setUp(error);
}

} // namespace OvrinTest
