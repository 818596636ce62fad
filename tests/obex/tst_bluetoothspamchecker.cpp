// The spam checker: three rejections of one device in a row, the reset after
// a positive answer, other devices in between, and the count every checker
// of the process shares for as long as one of them lives.

#include "bluetoothdevice.h"
#include "bluetoothspamchecker.h"
#include "testenvironment.h"

#include <memory>

using Ovrin::BluetoothDevice;
using Ovrin::BluetoothSpamChecker;

namespace {

// A fresh handle each time, as each request brings its own.
BluetoothDevice device(const char *address)
{
    return BluetoothDevice(QVariantMap { { "Address", QString::fromLatin1(address) } });
}

const char *const phoneA = "00:11:22:33:44:AA";
const char *const phoneB = "00:11:22:33:44:BB";

} // namespace

class TestBluetoothSpamChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(".")); }

    void thirdRejectionInARowCountsOnce()
    {
        BluetoothSpamChecker checker;
        QVERIFY(!checker.isDeviceSpamming(device(phoneA)));
        checker.rejectDevice(device(phoneA));
        checker.rejectDevice(device(phoneA));
        QVERIFY(!checker.isDeviceSpamming(device(phoneA)));
        // A rejection of another device in between starts the count again.
        checker.rejectDevice(device(phoneB));
        checker.rejectDevice(device(phoneA));
        checker.rejectDevice(device(phoneA));
        QVERIFY(!checker.isDeviceSpamming(device(phoneA)));
        checker.rejectDevice(device(phoneA));
        // Another device asking leaves the count alone.
        QVERIFY(!checker.isDeviceSpamming(device(phoneB)));
        QVERIFY(checker.isDeviceSpamming(device(phoneA)));
        QVERIFY(!checker.isDeviceSpamming(device(phoneA)));
        // Three more are needed, not one.
        checker.rejectDevice(device(phoneA));
        QVERIFY(!checker.isDeviceSpamming(device(phoneA)));
    }

    // Every checker of the process shares the count, for as long as one lives.
    void countIsSharedWhileOneCheckerLives()
    {
        auto first = std::make_unique<BluetoothSpamChecker>();
        auto second = std::make_unique<BluetoothSpamChecker>();
        {
            // The record keeps its own copy of the device.
            const BluetoothDevice handle = device(phoneA);
            first->rejectDevice(handle);
            first->rejectDevice(handle);
        }
        second->rejectDevice(device(phoneA));
        QVERIFY(first->isDeviceSpamming(device(phoneA)));
        // The answer reset the shared count.
        QVERIFY(!second->isDeviceSpamming(device(phoneA)));

        first->rejectDevice(device(phoneA));
        first->rejectDevice(device(phoneA));
        first.reset();
        second->rejectDevice(device(phoneA));
        QVERIFY(second->isDeviceSpamming(device(phoneA)));
        second->rejectDevice(device(phoneA));
        second->rejectDevice(device(phoneA));
        second.reset();
        // All gone: a new checker starts from nothing.
        BluetoothSpamChecker fresh;
        fresh.rejectDevice(device(phoneA));
        QVERIFY(!fresh.isDeviceSpamming(device(phoneA)));
    }
};

OVRIN_TEST_MAIN_NO_SIMULATOR(TestBluetoothSpamChecker)
#include "tst_bluetoothspamchecker.moc"
