// System notifications arriving at a notification server on the session bus.

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

    void notificationCarriesTextsAndEventType()
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
        QCOMPARE(n.hints.value(QStringLiteral("category")).toString(),
                 QStringLiteral("x-brivo.bluetooth"));
        QCOMPARE(n.timeout, -1);
    }

    // The pairing failure comes as the body alone; it must still be the line
    // the user reads.
    void bodyWithoutSummaryBecomesTheSummary()
    {
        SimpleNotification::show(QStringLiteral("x-brivo.bluetooth"), QString(),
                                 qtTrId("qtn_conn_bt_pairing_failed"), QString());
        QTRY_COMPARE(m_server.received.size(), 1);
        QCOMPARE(m_server.received.at(0).summary, qtTrId("qtn_conn_bt_pairing_failed"));
        QCOMPARE(m_server.received.at(0).body, QString());
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
