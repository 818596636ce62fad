#ifndef SHARINGAPP_H
#define SHARINGAPP_H

#include <QObject>
#include <QPointer>

namespace Ovrin {
class BluetoothDevice;
class BluetoothDeviceSelector;
class BluetoothFileSendProcess;
} // namespace Ovrin
class DemoPage;
class OrvelButton;
class OrvelLabel;

// A gallery that shares one photo over Bluetooth: the device selector lets
// the user pick (and if need be pair) a device that takes files, then a file
// send process sends the photo, shown in the transfer UI.
class SharingApp : public QObject
{
    Q_OBJECT

public:
    SharingApp(const QString &photo, QObject *parent = nullptr);
    ~SharingApp() override;

    void open();
    QString photo() const { return m_photo; }
    // What became of the last share, in words.
    QString status() const;

Q_SIGNALS:
    void statusChanged(const QString &status);

private:
    void share();
    void send(const Ovrin::BluetoothDevice &device);
    void finishSend();
    void setStatus(const QString &status);

    QString m_photo;
    QString m_status;
    Ovrin::BluetoothDeviceSelector *m_selector;
    QPointer<Ovrin::BluetoothFileSendProcess> m_send;
    QPointer<Ovrin::BluetoothFileSendProcess> m_lastSend;
    QPointer<DemoPage> m_page;
    QPointer<OrvelLabel> m_statusLabel;
};

#endif // SHARINGAPP_H
