#include "bluetoothtrustpanel.h"

#include "orvelbutton.h"
#include "orvellabel.h"
#include "simpleinformationbanner.h"

#include <QEvent>
#include <QGraphicsLinearLayout>

namespace Ovrin {

class BluetoothTrustPanelPrivate
{
public:
    OrvelButton *button = nullptr;
    bool filtering = false;
};

BluetoothTrustPanel::BluetoothTrustPanel(QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , d(new BluetoothTrustPanelPrivate)
{
    initPanel();
    connect(d->button, &OrvelButton::toggled, this, &BluetoothTrustPanel::valueChanged);
}

BluetoothTrustPanel::BluetoothTrustPanel(bool trusted, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , d(new BluetoothTrustPanelPrivate)
{
    initPanel();
    d->button->setChecked(trusted);
    connect(d->button, &OrvelButton::toggled, this, &BluetoothTrustPanel::valueChanged);
}

BluetoothTrustPanel::~BluetoothTrustPanel()
{
    delete d;
}

void BluetoothTrustPanel::initPanel()
{
    setStyleName(QStringLiteral("CommonPanel"));

    auto layout = new QGraphicsLinearLayout(Qt::Horizontal);
    layout->setContentsMargins(0, 0, 0, 0);
    setLayout(layout);

    auto label = new OrvelLabel(qtTrId("qtn_conn_bt_authorization"));
    label->setStyleName(QStringLiteral("CommonSingleTitle"));
    // A long translation wraps instead of pushing the switch off the screen.
    label->setWordWrap(true);
    QSizePolicy wrapping(QSizePolicy::Expanding, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    label->setSizePolicy(wrapping);
    layout->addItem(label);
    layout->setAlignment(label, Qt::AlignLeft | Qt::AlignVCenter);

    d->button = new OrvelButton(this);
    d->button->setViewType(OrvelButton::switchType);
    d->button->setStyleName(QStringLiteral("CommonRightSwitch"));
    d->button->setObjectName(QStringLiteral("BluetoothTrustedButton"));
    d->button->setCheckable(true);
    layout->addItem(d->button);
    layout->setAlignment(d->button, Qt::AlignCenter);
}

void BluetoothTrustPanel::setTrusted(bool trusted)
{
    d->button->setChecked(trusted);
}

bool BluetoothTrustPanel::isTrusted() const
{
    return d->button->isChecked();
}

void BluetoothTrustPanel::setEnabled(bool enabled)
{
    if (enabled == !d->filtering)
        return;
    d->filtering = !enabled;
    if (d->filtering)
        d->button->installEventFilter(this);
    else
        d->button->removeEventFilter(this);
}

bool BluetoothTrustPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != d->button || !d->filtering)
        return OrvelStylableWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::GraphicsSceneMousePress:
    case QEvent::GrabMouse:
    case QEvent::UngrabMouse:
        return true;
    case QEvent::GraphicsSceneMouseRelease:
        SimpleInformationBanner::show(qtTrId("qtn_conn_bt_pairing_ongoing"),
                                      QStringLiteral("icon-m-bluetooth"));
        return true;
    default:
        return false;
    }
}

} // namespace Ovrin
