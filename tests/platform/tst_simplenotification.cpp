// System notifications arriving at a notification server on the session bus
// (the pairing failure's, summary alone, is checked with the pairing).

#include "notificationserver.h"
#include "simplenotification.h"
#include "testenvironment.h"

using namespace Ovrin;

namespace {

// Notes that a warning went by, and hands it on to the test's own handler.
QtMessageHandler testHandler = nullptr;
bool warningLogged = false;

void noteWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        warningLogged = true;
    testHandler(type, context, message);
}

} // namespace

class TestSimpleNotification : public QObject
{
    Q_OBJECT

    NotificationServer m_server;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        m_server.received.clear();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void notificationCarriesTextsAndIcon()
    {
        SimpleNotification::show(QStringLiteral("x-brivo.bluetooth"), QStringLiteral("Bluetooth"),
                                 QStringLiteral("Pairing failed"),
                                 QStringLiteral("icon-m-bluetooth"));
        QTRY_COMPARE(m_server.received.size(), 1);
        const NotificationServer::Notification n = m_server.received.at(0);
        QCOMPARE(n.appName, QCoreApplication::applicationName());
        QCOMPARE(n.replacesId, 0u);
        QCOMPARE(n.icon, QStringLiteral("icon-m-bluetooth"));
        QCOMPARE(n.summary, QStringLiteral("Bluetooth"));
        QCOMPARE(n.body, QStringLiteral("Pairing failed"));
        QCOMPARE(n.timeout, -1);
    }

    void missingServerIsLoggedWithoutBlocking()
    {
        QVERIFY(m_server.bus().unregisterService(NotificationServer::serviceName));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Notification not shown: ")));
        warningLogged = false;
        testHandler = qInstallMessageHandler(noteWarning);
        SimpleNotification::show(QStringLiteral("x-brivo.bluetooth"), QStringLiteral("a"),
                                 QStringLiteral("b"));
        // The call returned at once; the warning comes with the error reply.
        const bool sentAsynchronously = !warningLogged;
        QTRY_VERIFY(warningLogged);
        qInstallMessageHandler(testHandler);
        QVERIFY(sentAsynchronously);
        QVERIFY(m_server.received.isEmpty());
        QVERIFY(m_server.bus().registerService(NotificationServer::serviceName));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestSimpleNotification)
#include "tst_simplenotification.moc"
