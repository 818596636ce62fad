// The offline (flight) mode as its GConf key says, changed from outside the
// process with gconftool-2 as a settings application would.

#include "offlinemode.h"
#include "orvelgconfitem.h"
#include "testenvironment.h"

#include <QSignalSpy>

using namespace Ovrin;

namespace {

// Sets the key to value, or unsets it when there is none.
bool gconftool(const QString &value = QString())
{
    QProcess tool;
    tool.start(QStringLiteral("gconftool-2"),
               value.isEmpty() ? QStringList { QStringLiteral("--unset"), OfflineMode::Key }
                               : QStringList { QStringLiteral("--type"), QStringLiteral("bool"),
                                               QStringLiteral("--set"), OfflineMode::Key, value });
    return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit
        && tool.exitCode() == 0;
}

} // namespace

class TestOfflineMode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(gconftool());
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
        QVERIFY(gconftool(QStringLiteral("true")));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 0);
        QVERIFY(gconftool(QStringLiteral("false")));
        QTRY_COMPARE(changed.count(), 2);
        QVERIFY(changed.at(1).at(0).toInt() != 0);
        QVERIFY(gconftool(QStringLiteral("true")));
        QTRY_COMPARE(changed.count(), 3);
        QVERIFY(gconftool());
        QTRY_COMPARE(changed.count(), 4);
        QVERIFY(mode.currentStatus() != 0);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestOfflineMode)
#include "tst_offlinemode.moc"
