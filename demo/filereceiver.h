#ifndef FILERECEIVER_H
#define FILERECEIVER_H

#include "bluetoothfilereceivedialog.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

namespace Ovrin {
class BluetoothAdapter;
class BluetoothObexAgent;
class BluetoothSpamChecker;
class BluetoothTransferTracker;
} // namespace Ovrin

// The system component that receives files pushed to the handset: it
// registers an OBEX agent with obexd, asks the user about each file, refuses
// without asking a device whose files were rejected three times in a row,
// and shows accepted files in the transfer UI while they arrive.
class FileReceiver : public QObject
{
    Q_OBJECT

public:
    explicit FileReceiver(QObject *parent = nullptr);
    ~FileReceiver() override;

    void start();
    // The question on screen, if any.
    Ovrin::BluetoothFileReceiveDialog *question() const { return m_question; }

Q_SIGNALS:
    void fileReceived(const QString &path);
    void refusedAsSpam(const QString &deviceName);
    void receiveFailed(const QString &fileName, const QString &error);

private:
    struct Incoming
    {
        Ovrin::BluetoothTransferTracker *tracker = nullptr;
        QString fileName;
        QString path;
    };

    void authorizationRequested(const QString &transfer, const QString &name,
                                const QString &mimeType, qulonglong length);
    void accept(const QString &transfer, const QString &deviceName, const QString &fileName,
                const QString &mimeType, qulonglong length);
    void progress(const QString &transfer, qulonglong transferred, qulonglong total);
    void complete(const QString &transfer);
    void failed(const QString &transfer, const QString &error);
    void keepFinished(Ovrin::BluetoothTransferTracker *tracker);
    void closeQuestionAbout(const QString &transfer);
    void closeQuestion();

    static const int KeptTransfers = 5;

    std::unique_ptr<Ovrin::BluetoothAdapter> m_adapter;
    Ovrin::BluetoothObexAgent *m_agent;
    Ovrin::BluetoothSpamChecker *m_spamChecker;
    QPointer<Ovrin::BluetoothFileReceiveDialog> m_question;
    QString m_questionTransfer;
    QHash<QString, Incoming> m_incoming;
    QList<Ovrin::BluetoothTransferTracker *> m_finished;
};

#endif // FILERECEIVER_H
