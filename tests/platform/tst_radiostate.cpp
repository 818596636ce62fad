// Switching the Bluetooth radio through BlueZ's default adapter: requests
// reach BlueZ one at a time and in the order they were made, however quickly
// the user (or a program) flips the switch.

#include "bluezcall.h"
#include "radiostate.h"
#include "testenvironment.h"

#include <QJsonArray>

using namespace Ovrin;
using OvrinTest::dialect;
using OvrinTest::onBluez5;

class TestRadioState : public QObject
{
    Q_OBJECT

    SimulatorClient *sim() { return OvrinTest::TestEnvironment::instance()->simulator(); }

    bool powered()
    {
        return sim()
            ->state()[QLatin1String("org.bluez")][QLatin1String("adapter")]
                     [QLatin1String("powered")]
            .toBool();
    }

    QList<qint64> setPropertyTimes()
    {
        QList<qint64> times;
        for (const SimulatorClient::Call &call : sim()->callLog()) {
            if (call.member == dialect("SetProperty", "Set"))
                times << call.msecs;
        }
        return times;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(sim()->loadScenario({ { "adapter", QJsonObject { { "powered", true } } },
                                      { "timing", QJsonObject { { "powerMs", 30 } } } }));
        QVERIFY(sim()->clearCallLog());
    }

    // Sent all at once, the requests could reach BlueZ in another order and
    // leave the radio in a state nobody asked for last.
    void quickSwitchesArriveInOrder()
    {
        RadioState radio(RadioState::Bluetooth);
        for (int i = 0; i < 5; ++i) {
            radio.setEnabled(false);
            radio.setEnabled(true);
        }
        radio.setEnabled(false);
        QTRY_COMPARE_WITH_TIMEOUT(setPropertyTimes().size(), 11, 10000);
        QTRY_VERIFY(!powered());
        // Each request left only when BlueZ had answered the one before,
        // which takes it the 30 ms of a power switch.
        const QList<qint64> times = setPropertyTimes();
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times.at(i) - times.at(i - 1) >= 25, qPrintable(QString::number(i)));
        // BlueZ 5, once found, is asked in its own words first.
        QCOMPARE(sim()->countCalls(QStringLiteral("DefaultAdapter")), onBluez5() ? 1 : 11);
    }

    // The last adapter handle asks for power-off and goes at once.
    void aRequestOutlivesItsAsker()
    {
        auto *radio = new RadioState(RadioState::Bluetooth);
        radio->setEnabled(false);
        delete radio;
        QTRY_VERIFY(!powered());
    }

    // A failed adapter look-up is logged and the next request still goes; a
    // request for another radio asks nothing of BlueZ.
    void failuresAndOtherRadiosStallNothing()
    {
        const QString lookUp = dialect("DefaultAdapter", "GetManagedObjects");
        QVERIFY(sim()->failNext(lookUp, QStringLiteral("org.bluez.Error.NoSuchAdapter"),
                                QStringLiteral("gone")));
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression("^Switching Bluetooth failed \\(" + lookUp + "\\)"));
        RadioState radio(RadioState::Bluetooth);
        RadioState wlan(RadioState::Wlan);
        radio.setEnabled(true);
        wlan.setEnabled(false);
        radio.setEnabled(false);
        QTRY_VERIFY(!powered());
        QCOMPARE(setPropertyTimes().size(), 1);
    }
};

OVRIN_TEST_MAIN(TestRadioState)
#include "tst_radiostate.moc"
