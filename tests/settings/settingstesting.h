#ifndef SETTINGSTESTING_H
#define SETTINGSTESTING_H

// What the tests of the settings pages share: finding what is on screen,
// typing into entries, the banners shown, and the GConf keys as another
// process sees them.

#include "orvelapplicationwindow.h"
#include "orvelscenewindow.h"
#include "orveltextedit.h"
#include "sheettesting.h"
#include "simpleinformationbanner.h"
#include "simulatorclient.h"
#include "toolkittesting.h"

#include <QGraphicsScene>
#include <QProcess>

namespace SettingsTesting {

// The scene window of type T that is shown on window, if any.
template<typename T> T *shownWindow(OrvelApplicationWindow *window)
{
    const auto items = window->scene()->items();
    for (QGraphicsItem *item : items) {
        auto shown = qobject_cast<T *>(item->toGraphicsObject());
        if (shown && shown->sceneWindowState() == OrvelSceneWindow::Appeared)
            return shown;
    }
    return nullptr;
}

inline QList<Ovrin::SimpleInformationBanner::Entry> banners()
{
    return Ovrin::SimpleInformationBanner::history();
}

// Replaces what edit holds with text, key by key, as a user would.
inline bool retype(OrvelApplicationWindow *window, OrvelTextEdit *edit, const QString &text)
{
    ToolkitTesting::tap(edit);
    if (!edit->hasFocus())
        return false;
    QTest::keyClick(window, Qt::Key_End);
    for (int i = int(edit->text().size()); i > 0; --i)
        QTest::keyClick(window, Qt::Key_Backspace);
    if (!edit->text().isEmpty())
        return false;
    SheetTesting::typeText(window, text);
    return edit->text() == text;
}

// BlueZ refuses the next call of member ("org.bluez.Adapter.SetProperty"),
// which the library logs with its standard warning.
inline bool refuseNext(SimulatorClient *sim, const QString &member, const QString &reason)
{
    const QString method = member.section(QLatin1Char('.'), -1);
    QTest::ignoreMessage(
        QtWarningMsg,
        qPrintable(
            QStringLiteral("%1 returned error 'org.bluez.Error.Failed': %2").arg(method, reason)));
    return sim->failNext(member, QStringLiteral("org.bluez.Error.Failed"), reason);
}

// BlueZ refuses the next radio switch, which the radio switch logs.
inline bool refuseNextPowerSwitch(SimulatorClient *sim)
{
    QTest::ignoreMessage(
        QtWarningMsg,
        "Switching Bluetooth failed (SetProperty): org.bluez.Error.Failed Radio blocked");
    return sim->failNext(QStringLiteral("org.bluez.Adapter.SetProperty"),
                         QStringLiteral("org.bluez.Error.Failed"), QStringLiteral("Radio blocked"));
}

// The adapter as the simulator has it now.
inline QJsonObject simulatedAdapter(SimulatorClient *sim)
{
    const QJsonObject bluez = sim->state().value(QLatin1String("org.bluez")).toObject();
    return bluez.value(QLatin1String("adapter")).toObject();
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

} // namespace SettingsTesting

#endif // SETTINGSTESTING_H
