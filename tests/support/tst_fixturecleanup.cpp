// However a test executable ends (passing, crashing, or killed as CTest kills
// one that runs too long), nothing it started stays behind.

#include "processreaper.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QDir>

class TestFixtureCleanup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The private session bus starts only what the project put there: an
    // obexd, dconf or systemd installed on this machine is never activated
    // in place of the simulator.
    void onlyTheProjectsServicesAreActivatable()
    {
        QStringList names
            = QDBusConnection::sessionBus().interface()->activatableServiceNames().value();
        names.sort();
        QCOMPARE(names,
                 QStringList({ "org.bluez.obex", "org.freedesktop.DBus", "org.gnome.GConf",
                               "org.openobex", "org.openobex.client" }));
    }

    void nothingOutlivesTheTest_data()
    {
        QTest::addColumn<QByteArray>("ending");
        QTest::newRow("passes") << QByteArray("pass");
        QTest::newRow("crashes") << QByteArray("crash");
        QTest::newRow("is killed") << QByteArray("kill");
    }

    void nothingOutlivesTheTest()
    {
        QFETCH(QByteArray, ending);
        QProcess victim;
        victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        victim.start(QStringLiteral(OVRIN_VICTIM_PATH), { QStringLiteral("-silent") });
        QVERIFY(victim.waitForStarted());
        QByteArray line;
        while (!line.startsWith("VICTIM READY")) {
            QVERIFY2(victim.waitForReadyRead(20000), "the victim never got ready");
            while (victim.canReadLine() && !line.startsWith("VICTIM READY"))
                line = victim.readLine().trimmed();
        }
        const QList<QByteArray> words = line.split(' ');
        const QByteArray tag = words.value(2);
        const QString directory = QString::fromLocal8Bit(words.value(3));
        QVERIFY(QDir(directory).exists());

        QStringList started;
        for (pid_t pid : ProcessReaper::findTagged(tag))
            started.append(ProcessReaper::processName(pid));
        started.sort();
        QCOMPARE(started, QStringList({ "btsim", "dbus-daemon", "dbus-daemon", "gconfd-2" }));

        if (ending == "kill") {
            victim.kill();
        } else {
            victim.write(ending + '\n');
            victim.closeWriteChannel();
        }
        QVERIFY(victim.waitForFinished(20000));
        QCOMPARE(victim.exitStatus() == QProcess::NormalExit, ending == "pass");

        QTRY_VERIFY_WITH_TIMEOUT(ProcessReaper::findTagged(tag).isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(directory).exists(), 10000);
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestFixtureCleanup)
#include "tst_fixturecleanup.moc"
