// A test executable that brings up the whole test environment (buses, GConf,
// simulator), reports it, then ends the way its controller tells it to.

#include "processreaper.h"
#include "testenvironment.h"

#include <QProcess>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

class FixtureVictim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runAsTold()
    {
        // GConf answers through gconfd-2, activated on the private session bus.
        QCOMPARE(QProcess::execute(QStringLiteral("gconftool-2"),
                                   { QStringLiteral("--type"), QStringLiteral("string"), QStringLiteral("--set"),
                                     QStringLiteral("/apps/ovrin/probe"), QStringLiteral("private") }),
                 0);
        QProcess get;
        get.start(QStringLiteral("gconftool-2"), { QStringLiteral("--get"), QStringLiteral("/apps/ovrin/probe") });
        QVERIFY(get.waitForFinished());
        QCOMPARE(get.readAllStandardOutput().trimmed(), QByteArray("private"));

        OvrinTest::TestEnvironment *environment = OvrinTest::TestEnvironment::instance();
        std::cout << "VICTIM READY " << environment->tag().constData() << " "
                  << environment->directory().toStdString() << std::endl;
        std::string order;
        std::getline(std::cin, order);
        if (order == "crash")
            std::abort();
        if (order == "hang") {
            for (;;)
                QThread::sleep(60);
        }
    }
};

OVRIN_TEST_MAIN(FixtureVictim)
#include "fixture_victim.moc"
