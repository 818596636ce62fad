#include "sharingapp.h"

#include "bluetoothdevice.h"
#include "bluetoothdeviceselector.h"
#include "bluetoothfilesendprocess.h"
#include "demopage.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "photowidget.h"

#include <QFileInfo>
#include <QGraphicsLinearLayout>

using namespace Ovrin;

namespace {

// Devices that take files pushed to them; pairing first if they are not paired.
const QVariantList shareRequest { QString(), QString(),
                                  QStringList { QStringLiteral("object transfer") },
                                  QStringLiteral("require") };

} // namespace

SharingApp::SharingApp(const QString &photo, QObject *parent)
    : QObject(parent)
    , m_photo(photo)
    , m_selector(new BluetoothDeviceSelector(nullptr))
{
    m_selector->setParent(this);
    connect(m_selector, &BluetoothDeviceSelector::deviceSelected, this, &SharingApp::send);
    connect(m_selector, &BluetoothDeviceSelector::dialogCanceled, this,
            [this] { setStatus(QStringLiteral("Not shared")); });
}

SharingApp::~SharingApp() = default;

QString SharingApp::status() const
{
    return m_status;
}

void SharingApp::open()
{
    if (isShown(m_page))
        return;
    auto *content = new OrvelWidget;
    auto *layout = new QGraphicsLinearLayout(Qt::Vertical, content);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addItem(new PhotoWidget(m_photo));
    auto *name = new OrvelLabel(QFileInfo(m_photo).fileName());
    name->setStyleName(QStringLiteral("CommonSubText"));
    name->setAlignment(Qt::AlignCenter);
    layout->addItem(name);
    auto *shareButton = new OrvelButton(QStringLiteral("Share via Bluetooth"));
    shareButton->setObjectName(QStringLiteral("ShareButton"));
    layout->addItem(shareButton);
    m_statusLabel = new OrvelLabel(m_status);
    m_statusLabel->setObjectName(QStringLiteral("ShareStatus"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    layout->addItem(m_statusLabel);
    layout->addStretch();
    connect(shareButton, &OrvelButton::clicked, this, &SharingApp::share);

    m_page = new DemoPage(QStringLiteral("Gallery"), content);
    m_page->open();
}

void SharingApp::share()
{
    if (m_send || m_selector->isPending())
        return;
    if (!m_selector->startSelection(shareRequest))
        setStatus(QStringLiteral("Bluetooth is not available"));
}

void SharingApp::send(const BluetoothDevice &device)
{
    if (m_send)
        return;
    // The last share leaves the transfer UI when the next one starts.
    delete m_lastSend;
    m_send = new BluetoothFileSendProcess(nullptr, this);
    m_send->addFile(m_photo);
    m_send->setDestination(device);
    const QString target = device.name();
    connect(m_send, &BluetoothFileSendProcess::progress, this, [this, target] {
        const qulonglong total = qMax<qulonglong>(1, m_send->totalBytes());
        setStatus(QStringLiteral("Sending to %1: %2 %")
                      .arg(target)
                      .arg(m_send->transferedBytes() * 100 / total));
    });
    connect(m_send, &BluetoothFileSendProcess::finished, this, [this, target] {
        // A cancel in the transfer UI also finishes the process.
        const bool all = m_send->transferedFiles() == m_send->totalFiles();
        setStatus(
            (all ? QStringLiteral("Sent to %1") : QStringLiteral("Cancelled: %1")).arg(target));
        finishSend();
    });
    connect(m_send, &BluetoothFileSendProcess::error, this, [this, target](const QString &error) {
        setStatus(QStringLiteral("Not sent to %1: %2").arg(target, error));
        finishSend();
    });
    setStatus(QStringLiteral("Sending to %1").arg(target));
    m_send->start();
}

// The process stays until the next share, so that the transfer UI goes on
// showing how the send ended.
void SharingApp::finishSend()
{
    if (!m_send)
        return;
    m_send->disconnect(this);
    m_lastSend = m_send;
    m_send.clear();
}

void SharingApp::setStatus(const QString &status)
{
    m_status = status;
    if (m_statusLabel)
        m_statusLabel->setText(status);
    Q_EMIT statusChanged(status);
}
