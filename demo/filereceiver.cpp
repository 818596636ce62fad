#include "filereceiver.h"

#include "bluetoothadapter.h"
#include "bluetoothdevice.h"
#include "bluetoothfilereceivedialog.h"
#include "bluetoothobexagent.h"
#include "bluetoothspamchecker.h"
#include "bluetoothtransfertracker.h"
#include "simpleinformationbanner.h"

#include <QUrl>

using namespace Ovrin;

FileReceiver::FileReceiver(QObject *parent)
    : QObject(parent)
    , m_adapter(BluetoothAdapter::defaultAdapter())
    , m_agent(new BluetoothObexAgent(BluetoothObexAgent::Server, this))
    , m_spamChecker(new BluetoothSpamChecker(this))
{
    connect(m_agent, &BluetoothObexAgent::authorizationRequested, this,
            [this](const QString &transfer, const QString &name, const QString &mimeType,
                   qulonglong length,
                   int) { authorizationRequested(transfer, name, mimeType, length); });
    connect(m_agent, &BluetoothObexAgent::progress, this, &FileReceiver::progress);
    connect(m_agent, &BluetoothObexAgent::complete, this, &FileReceiver::complete);
    connect(m_agent, &BluetoothObexAgent::error, this, &FileReceiver::failed);
    // The sender gave up (or obexd stopped waiting) before the user answered.
    connect(m_agent, &BluetoothObexAgent::cancel, this, &FileReceiver::closeQuestionAbout);
}

FileReceiver::~FileReceiver()
{
    closeQuestion();
}

void FileReceiver::start()
{
    m_agent->registerToObexService();
}

void FileReceiver::authorizationRequested(const QString &transfer, const QString &, const QString &,
                                          qulonglong length)
{
    // The agent has chosen a free name and a type for the file already.
    const QString fileName = m_agent->fileName();
    const QString mimeType = m_agent->mimeType();
    const BluetoothDevice device = m_adapter->deviceForAddress(m_agent->remoteDeviceAddress());
    const QString deviceName
        = device.name().isEmpty() ? m_agent->remoteDeviceAddress() : device.name();
    if (m_spamChecker->isDeviceSpamming(device)) {
        m_agent->rejectTransfer(transfer);
        SimpleInformationBanner::show(
            QStringLiteral("Refused a file from %1: too many requests").arg(deviceName),
            QStringLiteral("icon-m-bluetooth"));
        Q_EMIT refusedAsSpam(deviceName);
        return;
    }
    // One question at a time: a newer request refuses the one still asked about.
    if (m_question) {
        m_agent->rejectTransfer(m_questionTransfer);
        closeQuestion();
    }
    auto *question = new BluetoothFileReceiveDialog(device, fileName);
    m_question = question;
    m_questionTransfer = transfer;
    connect(question, &OrvelDialog::finished, this, [=](int result) {
        m_questionTransfer.clear();
        if (result == QMessageBox::Yes) {
            accept(transfer, deviceName, fileName, mimeType, length);
        } else {
            m_agent->rejectTransfer(transfer);
            m_spamChecker->rejectDevice(device);
        }
    });
    question->appear(nullptr, OrvelSceneWindow::DestroyWhenDone);
}

void FileReceiver::accept(const QString &transfer, const QString &deviceName,
                          const QString &fileName, const QString &mimeType, qulonglong length)
{
    const QString path = BluetoothTransferTracker::filePath(fileName, mimeType);
    if (path.isEmpty()) {
        m_agent->rejectTransfer(transfer);
        return;
    }
    auto *tracker = new BluetoothTransferTracker(BluetoothTransferTracker::Download, this);
    tracker->addFile(fileName, mimeType, QUrl::fromLocalFile(path).toString());
    tracker->setTargetName(deviceName);
    tracker->setSize(length);
    tracker->updateStatus(0.0f, 0);
    connect(tracker, &BluetoothTransferTracker::canceled, this,
            [this, transfer] { m_agent->cancelTransfer(transfer); });
    m_incoming.insert(transfer, { tracker, fileName, path });
    m_agent->authorizeTransfer(transfer, path);
}

void FileReceiver::progress(const QString &transfer, qulonglong transferred, qulonglong total)
{
    const Incoming incoming = m_incoming.value(transfer);
    if (!incoming.tracker || total == 0)
        return;
    incoming.tracker->setFileState(incoming.fileName, BluetoothTransferTracker::Active);
    incoming.tracker->updateStatus(float(double(transferred) / double(total)), 0);
}

void FileReceiver::complete(const QString &transfer)
{
    const Incoming incoming = m_incoming.take(transfer);
    if (!incoming.tracker)
        return;
    incoming.tracker->setFileState(incoming.fileName, BluetoothTransferTracker::Done);
    incoming.tracker->updateStatus(1.0f, 0);
    keepFinished(incoming.tracker);
    Q_EMIT fileReceived(incoming.path);
}

void FileReceiver::failed(const QString &transfer, const QString &error)
{
    closeQuestionAbout(transfer);
    const Incoming incoming = m_incoming.take(transfer);
    if (!incoming.tracker)
        return;
    incoming.tracker->setError(qtTrId("qtn_conn_bt_t_error"), error);
    keepFinished(incoming.tracker);
    Q_EMIT receiveFailed(incoming.fileName, error);
}

// A tracker's entry leaves the transfer UI with the tracker: the last few
// stay so that the user sees how they ended.
void FileReceiver::keepFinished(BluetoothTransferTracker *tracker)
{
    m_finished.append(tracker);
    while (m_finished.size() > KeptTransfers)
        delete m_finished.takeFirst();
}

void FileReceiver::closeQuestionAbout(const QString &transfer)
{
    // Other pushes may end while the user is asked about this one.
    if (transfer.isEmpty() || transfer != m_questionTransfer)
        return;
    m_questionTransfer.clear();
    closeQuestion();
}

void FileReceiver::closeQuestion()
{
    if (m_question)
        m_question->disappear();
}
