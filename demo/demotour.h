#ifndef DEMOTOUR_H
#define DEMOTOUR_H

#include <QFile>
#include <QJsonObject>
#include <QString>
#include <QTextStream>

#include <functional>
#include <memory>

namespace Ovrin {
class BluetoothAdapter;
}
class DemoShell;
class OrvelSceneWindow;
class QGraphicsItem;
class SimulatorClient;
class TransferRow;

// The scripted tour: drives the demo's screens with taps and typing while the
// simulator plays the remote devices, checks after every action that the
// screens and the simulated daemons did what they should, and writes a
// picture of the window per step and a transcript.
class DemoTour
{
public:
    DemoTour(DemoShell *shell, SimulatorClient *simulator, const QString &folder);
    ~DemoTour();

    // 0 when every step did what it should.
    int run();

private:
    using Step = std::function<bool()>;

    bool prepare();
    void runStep(const QString &title, const Step &step);

    bool switchBluetoothOn();
    bool makeVisible();
    bool rename();
    bool openDeviceList();
    bool showDeviceMenu();
    bool connectHeadset();
    bool sendPhoto();
    bool cancelSend();
    bool receiveFile();
    bool refuseSpam();
    bool tellPairingFailure();

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
    bool pushAndAsk(const QString &address, const QString &name, uint *ticket);
    void backToHome();
    // On the gallery: shares the photo with the device labelled name in the
    // selection sheet, taking a picture named pictureName (if any) of the choice.
    bool shareWith(const QString &name, const QString &pictureName);
    // The transfer UI entry, other than before, that has started moving.
    QString runningTransfer(const QString &before);
    TransferRow *transferRow(const QString &id) const;
    // Opens the transfer list and checks the running entry's row.
    bool showsProgress(const QString &id);
    bool followsProgress(const QString &id);

    template<typename T> T *topWindow() const;
    OrvelSceneWindow *pageTitled(const QString &title) const;
    QGraphicsItem *deviceRow(const QString &label) const;
    QJsonObject simulatedAdapter() const;

    DemoShell *m_shell;
    SimulatorClient *m_sim;
    QString m_folder;
    std::unique_ptr<Ovrin::BluetoothAdapter> m_adapter;
    QFile m_transcriptFile;
    QTextStream m_transcript;
    int m_pictures = 0;
    int m_steps = 0;
    QStringList m_failedSteps;
    bool m_stepFailed = false;
};

#endif // DEMOTOUR_H
