#ifndef TOURRUNNER_H
#define TOURRUNNER_H

#include "demoshell.h"
#include "orvelapplicationwindow.h"
#include "orvelscenemanager.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

class OrvelSceneWindow;
class QGraphicsItem;
class TransferRow;

// What every scripted tour of the demo does, whichever daemons play
// Bluetooth: it runs steps that drive the demo's screens with taps and
// typing, records each check in a transcript, writes a picture of the window
// where there is something to see, and returns to the home screen between
// steps. A tour adds its steps and what it checks of the daemons.
class TourRunner
{
public:
    virtual ~TourRunner();

    // 0 when every step did what it should.
    int run();

protected:
    using Step = std::function<bool()>;

    // title: the tour's name, first in the transcript.
    TourRunner(DemoShell *shell, const QString &folder, const QString &title);

    // Runs each of the tour's steps with runStep().
    virtual void runSteps() = 0;
    // What must hold once the steps are done; fails the tour with failTour().
    virtual void checkAfterSteps() { }
    void runStep(const QString &title, const Step &step);
    void failTour(const QString &reason);

    DemoShell *shell() const { return m_shell; }

    // What a step does and sees, in the transcript.
    void say(const QString &line);
    // Records the outcome; false (and a failure) when ok is false.
    bool expect(bool ok, const QString &what);
    bool waitFor(const std::function<bool()> &condition, const QString &what,
                 int timeoutMs = 10000);
    void picture(const QString &name);

    void tap(const QGraphicsItem *item, const QString &what);
    void longTap(const QGraphicsItem *item, const QString &what);
    bool retype(QGraphicsItem *edit, const QString &text);
    bool openFromHome(const QString &app);
    bool openSettingsPage(const QString &itemName, const QString &title);
    // The settings application's device list, once it shows the row labelled label.
    bool openDeviceListShowing(const QString &label, const QString &what);
    void backToHome();

    // The settings page's power switch tapped on, until poweredInBluez.
    bool switchOnInSettings(const std::function<bool()> &poweredInBluez);
    // The settings page's visibility switch tapped on, until visibleInBluez.
    bool makeVisibleInSettings(const std::function<bool()> &visibleInBluez);
    // The handset renamed on its own page, until nameInBluez tells the new name.
    bool renameInSettings(const QString &name, const std::function<QString()> &nameInBluez);

    // On the gallery: shares the photo with the device labelled name in the
    // selection sheet, taking a picture named pictureName (if any) of the choice.
    bool shareWith(const QString &name, const QString &pictureName);
    // The sending entry of the transfer UI, other than before, that has
    // started moving.
    QString runningSend(const QString &before);
    // The sending entry of the transfer UI, other than before, while it has
    // not finished.
    QString unfinishedSend(const QString &before);
    TransferRow *transferRow(const QString &id) const;
    // Opens the transfer list and checks the running entry's row.
    bool showsProgress(const QString &id);
    bool followsProgress(const QString &id);
    // Opens the transfer list and checks the row of the send to the device
    // labelled name while it runs, whatever share of it obexd reported.
    bool showsSendUnderway(const QString &id, const QString &name);
    // Watches the open transfer list until the send ends: after every change
    // the transfer UI hears of, the row's bar shows the share done.
    bool barFollowsToTheEnd(const QString &id);
    // The send's end: the gallery tells it sent to name, and its row too.
    bool endsSent(const QString &id, const QString &name);
    // The receiving component's question about a pushed file, once on screen.
    bool waitForReceiveQuestion(int timeoutMs = 10000);
    // The transfer list, once it lists the received file at relativePath
    // (under the folder of received files).
    bool listsReceived(const QString &relativePath);

    template<typename T> T *topWindow() const;
    OrvelSceneWindow *pageTitled(const QString &title) const;
    QGraphicsItem *deviceRow(const QString &label) const;

private:
    QString waitForSend(const QString &before, bool moving, const QString &what);

    DemoShell *m_shell;
    QString m_folder;
    QString m_title;
    QFile m_transcriptFile;
    QTextStream m_transcript;
    int m_pictures = 0;
    int m_steps = 0;
    QStringList m_failedSteps;
    bool m_stepFailed = false;
};

template<typename T> T *TourRunner::topWindow() const
{
    const auto windows = m_shell->window()->sceneManager()->sceneWindows();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        if (auto *window = qobject_cast<T *>(*it))
            return window;
    }
    return nullptr;
}

#endif // TOURRUNNER_H
