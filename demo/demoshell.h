#ifndef DEMOSHELL_H
#define DEMOSHELL_H

#include <QObject>
#include <QPointer>

class DemoPage;
class FileReceiver;
class OrvelApplicationWindow;
class OrvelButton;
class PairingResponder;
class SettingsApp;
class SharingApp;
class TransferSpeedMeter;

// The handset in one window: a home screen that opens the settings
// application, the gallery that shares a photo and the transfer UI, with the
// system's receiving component and default pairing agent running behind them.
class DemoShell : public QObject
{
    Q_OBJECT

public:
    // where: a line on the home screen telling which Bluetooth this is.
    DemoShell(const QString &where, const QString &photo, QObject *parent = nullptr);
    ~DemoShell() override;

    OrvelApplicationWindow *window() const { return m_window; }
    SettingsApp *settings() const { return m_settings; }
    SharingApp *sharing() const { return m_sharing; }
    FileReceiver *receiver() const { return m_receiver; }
    // The home screen's button that opens the named application
    // ("Settings", "Gallery", "Transfers").
    OrvelButton *launcher(const QString &name) const;

    void show();
    void openTransfers();

    // Makes the folders the handset keeps files in, under MyDocs in the home
    // folder, and receives files there. Returns MyDocs.
    static QString prepareDocuments();

private:
    void createHome(const QString &where);

    OrvelApplicationWindow *m_window;
    SettingsApp *m_settings;
    SharingApp *m_sharing;
    FileReceiver *m_receiver;
    PairingResponder *m_pairingResponder;
    TransferSpeedMeter *m_transferSpeeds;
    QPointer<DemoPage> m_transfersPage;
};

#endif // DEMOSHELL_H
