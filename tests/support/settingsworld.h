#ifndef SETTINGSWORLD_H
#define SETTINGSWORLD_H

// The world of the settings pages: the device world on the settings
// scenario with the GConf keys the pages read unset, and what their tests
// share: finding what is on screen, typing into entries, making BlueZ refuse,
// and the keys as another process sees them.

#include "devicesworld.h"
#include "offlinemode.h"
#include "orvelgconfitem.h"
#include "orvelscenewindow.h"
#include "orveltextedit.h"

#include <QGraphicsScene>
#include <QProcess>

namespace OvrinTest {

const QString showAlwaysKey = QStringLiteral("/system/varn/connectivity/BT/show_always");
const QString visibleKey = QStringLiteral("/system/varn/connectivity/BT/visible");

class SettingsWorld : public DevicesWorld
{
public:
    explicit SettingsWorld(const char *scenario = "settings/scenarios/settings.json")
        : DevicesWorld(scenario)
    {
    }

    // init(): the pages make their adapter handle as an application does;
    // a test may start again on another scenario.
    void init(const char *scenario = nullptr)
    {
        for (const QString &key : { showAlwaysKey, visibleKey, Ovrin::OfflineMode::Key })
            OrvelGConfItem(key).unset();
        DevicesWorld::init(true, scenario);
    }

    void cleanup()
    {
        window.setCentralWidget(nullptr);
        QTRY_VERIFY(!shown<OrvelSceneWindow>());
        DevicesWorld::cleanup();
    }

    // Radio off, handset in offline mode.
    void goOffline()
    {
        QVERIFY(powerOff());
        QVERIFY(OrvelGConfItem(Ovrin::OfflineMode::Key).set(true));
    }

    // The item of type T named name on the page in the window's centre.
    template<typename T> T *item(const char *name)
    {
        return ToolkitTesting::findItem<T>(window.centralWidget(), QLatin1String(name));
    }

    // The scene window of type T that is shown on the window, if any.
    template<typename T> T *shown()
    {
        const auto items = window.scene()->items();
        for (QGraphicsItem *item : items) {
            auto candidate = qobject_cast<T *>(item->toGraphicsObject());
            if (candidate && candidate->sceneWindowState() == OrvelSceneWindow::Appeared)
                return candidate;
        }
        return nullptr;
    }

    // Replaces what edit holds with text, key by key, as a user would.
    bool retype(OrvelTextEdit *edit, const QString &text)
    {
        ToolkitTesting::tap(edit);
        if (!edit->hasFocus())
            return false;
        QTest::keyClick(&window, Qt::Key_End);
        for (int i = int(edit->text().size()); i > 0; --i)
            QTest::keyClick(&window, Qt::Key_Backspace);
        if (!edit->text().isEmpty())
            return false;
        ToolkitTesting::typeText(&window, text);
        return edit->text() == text;
    }

    // BlueZ refuses the next call of member ("org.bluez.Adapter.SetProperty"),
    // which the library logs with its standard warning.
    bool refuseNext(const char *member, const char *reason)
    {
        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(QStringLiteral("%1 returned error 'org.bluez.Error.Failed': %2")
                           .arg(QString(member).section('.', -1), QString(reason))));
        return sim()->failNext(member, QStringLiteral("org.bluez.Error.Failed"), reason);
    }

    // BlueZ refuses the next radio switch, which the radio switch logs.
    bool refuseNextPowerSwitch()
    {
        QTest::ignoreMessage(
            QtWarningMsg,
            "Switching Bluetooth failed (SetProperty): org.bluez.Error.Failed Radio blocked");
        return sim()->failNext(QStringLiteral("org.bluez.Adapter.SetProperty"),
                               QStringLiteral("org.bluez.Error.Failed"),
                               QStringLiteral("Radio blocked"));
    }

    int calls(const char *member, const char *interface)
    {
        return sim()->countCalls(QLatin1String(member), QLatin1String(interface));
    }
};

inline QList<Ovrin::SimpleInformationBanner::Entry> banners()
{
    return Ovrin::SimpleInformationBanner::history();
}

// The value of a GConf key as gconftool-2 (another process) reads it: "" when unset.
inline QString gconfValue(const QString &key)
{
    QProcess tool;
    tool.start(QStringLiteral("gconftool-2"), { QStringLiteral("--get"), key });
    if (!tool.waitForFinished(10000))
        return QStringLiteral("<gconftool-2 failed>");
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

} // namespace OvrinTest

#endif // SETTINGSWORLD_H
