#include "demoshell.h"

#include "bluetoothtransfertracker.h"
#include "demopage.h"
#include "filereceiver.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "pairingresponder.h"
#include "settingsapp.h"
#include "sharingapp.h"
#include "transferspeedmeter.h"
#include "transfersview.h"

#include <QDir>
#include <QGraphicsLinearLayout>

using namespace Ovrin;

DemoShell::DemoShell(const QString &where, const QString &photo, QObject *parent)
    : QObject(parent)
    , m_window(new OrvelApplicationWindow)
    , m_settings(new SettingsApp(this))
    , m_sharing(new SharingApp(photo, this))
    , m_receiver(new FileReceiver(this))
    , m_pairingResponder(new PairingResponder(this))
    , m_transferSpeeds(new TransferSpeedMeter(this))
{
    m_window->setWindowTitle(QStringLiteral("Ovrin Bluetooth demo"));
    createHome(where);
    m_receiver->start();
}

DemoShell::~DemoShell()
{
    delete m_window;
}

void DemoShell::createHome(const QString &where)
{
    auto *home = new OrvelWidget;
    auto *layout = new QGraphicsLinearLayout(Qt::Vertical, home);
    layout->setContentsMargins(24, 48, 24, 24);
    layout->setSpacing(20);
    auto *title = new OrvelLabel(QStringLiteral("Ovrin handset"));
    title->setStyleName(QStringLiteral("CommonSingleTitle"));
    layout->addItem(title);
    auto *line = new OrvelLabel(where);
    line->setStyleName(QStringLiteral("CommonSubText"));
    line->setWordWrap(true);
    layout->addItem(line);
    const QList<QPair<QString, std::function<void()>>> apps {
        { QStringLiteral("Settings"),
          [this] {
              m_settings->open();
          } },
        { QStringLiteral("Gallery"),
          [this] {
              m_sharing->open();
          } },
        { QStringLiteral("Transfers"),
          [this] {
              openTransfers();
          } },
    };
    for (const auto &app : apps) {
        auto *button = new OrvelButton(app.first);
        button->setObjectName(app.first);
        button->setStyleName(QStringLiteral("CommonSingleButton"));
        connect(button, &OrvelButton::clicked, this, app.second);
        layout->addItem(button);
    }
    layout->addStretch();
    m_window->setCentralWidget(home);
}

OrvelButton *DemoShell::launcher(const QString &name) const
{
    QGraphicsWidget *home = m_window->centralWidget();
    const auto children = home ? home->childItems() : QList<QGraphicsItem *>();
    for (QGraphicsItem *child : children) {
        auto *button = qobject_cast<OrvelButton *>(child->toGraphicsObject());
        if (button && button->objectName() == name)
            return button;
    }
    return nullptr;
}

void DemoShell::show()
{
    m_window->show();
}

void DemoShell::openTransfers()
{
    if (isShown(m_transfersPage))
        return;
    m_transfersPage
        = new DemoPage(QStringLiteral("Transfers"),
                       new TransfersView(BluetoothTransferTracker::basePath(), m_transferSpeeds));
    m_transfersPage->open();
}

QString DemoShell::prepareDocuments()
{
    const QString documents = QDir::home().filePath(QStringLiteral("MyDocs"));
    for (const char *folder : { "Pictures", "Music", "Movies", "Documents" })
        QDir(documents).mkpath(QLatin1String(folder));
    BluetoothTransferTracker::setBasePath(documents);
    return documents;
}
