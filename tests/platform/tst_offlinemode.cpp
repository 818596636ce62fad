// The offline (flight) mode as its GConf key says, changed from outside the
// process with gconftool-2 as a settings application would.

#include "offlinemode.h"
#include "orvelgconfitem.h"
#include "testenvironment.h"

#include <QSignalSpy>

using namespace Ovrin;

namespace {

bool gconftool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("gconftool-2"), arguments);
    return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit
        && tool.exitCode() == 0;
}

bool setOffline(const QString &value)
{
    return gconftool({ QStringLiteral("--type"), QStringLiteral("bool"), QStringLiteral("--set"),
                       OfflineMode::Key, value });
}

} // namespace

class TestOfflineMode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(gconftool({ QStringLiteral("--unset"), OfflineMode::Key }));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    // The confirmation "switch Bluetooth on anyway?" hangs on this answer, so
    // a change must show before the notification has been handled, and a new
    // object reads the key as it is.
    void currentStatusReadsTheKeyNow()
    {
        OfflineMode mode;
        QCOMPARE(mode.currentStatus(), int(OfflineMode::Online));
        OrvelGConfItem key(OfflineMode::Key);
        QVERIFY(key.set(true));
        QCOMPARE(mode.currentStatus(), 0);
        QCOMPARE(OfflineMode().currentStatus(), 0);
        QVERIFY(key.set(false));
        QVERIFY(OfflineMode().currentStatus() != 0);
    }

    void followsTheKeyBothWays()
    {
        OfflineMode mode;
        QSignalSpy changed(&mode, &OfflineMode::statusChanged);
        QVERIFY(setOffline(QStringLiteral("true")));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 0);
        QCOMPARE(mode.currentStatus(), 0);

        QVERIFY(setOffline(QStringLiteral("false")));
        QTRY_COMPARE(changed.count(), 2);
        QVERIFY(changed.at(1).at(0).toInt() != 0);
        QVERIFY(mode.currentStatus() != 0);

        QVERIFY(setOffline(QStringLiteral("true")));
        QTRY_COMPARE(changed.count(), 3);
        QVERIFY(gconftool({ QStringLiteral("--unset"), OfflineMode::Key }));
        QTRY_COMPARE(changed.count(), 4);
        QVERIFY(mode.currentStatus() != 0);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestOfflineMode)
#include "tst_offlinemode.moc"
