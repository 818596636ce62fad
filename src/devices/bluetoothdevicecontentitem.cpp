#include "bluetoothdevicecontentitem.h"

#include "bluetoothdeviceinfoutils.h"

#include "orvelimagewidget.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "orvelprogressindicator.h"

namespace Ovrin {

namespace {
const QString textCell = QStringLiteral("TextCell");
const QString trustedCell = QStringLiteral("TrustedCell");
const QString progressCell = QStringLiteral("ProgressCell");
} // namespace

BluetoothDeviceContentItem::BluetoothDeviceContentItem(QGraphicsItem *parent)
    : BluetoothDeviceContentItem(QStringLiteral("NormalCell"), parent)
{
}

BluetoothDeviceContentItem::BluetoothDeviceContentItem(const QString &kind, QGraphicsItem *parent)
    : OrvelContentItem(OrvelContentItem::SingleTextLabel, parent)
    , m_kind(kind)
{
    setStyleName(QStringLiteral("CommonPanelInverted"));
    build(kind);
}

BluetoothDeviceContentItem::~BluetoothDeviceContentItem() = default;

void BluetoothDeviceContentItem::build(const QString &kind)
{
    auto *layout = new OrvelLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_layout = new OrvelLinearLayoutPolicy(layout, Qt::Horizontal);
    m_layout->setSpacing(0);
    m_layout->setContentsMargins(0, 0, 0, 0);

    if (kind != textCell) {
        m_classIcon = new OrvelImageWidget(this);
        m_classIcon->setStyleName(QStringLiteral("CommonMainIcon"));
        m_classIcon->hide();
        m_layout->addItem(m_classIcon, Qt::AlignVCenter);
    }

    m_label = new OrvelLabel(this);
    m_label->setStyleName(QStringLiteral("CommonSingleTitleInverted"));
    m_label->setTextElide(true);
    m_layout->addItem(m_label, Qt::AlignVCenter);
    m_layout->setStretchFactor(m_label, 1);

    if (kind == trustedCell) {
        m_lockIcon = new OrvelImageWidget(QStringLiteral("icon-m-common-locked-inverse"), this);
        m_lockIcon->setStyleName(QStringLiteral("CommonRightIcon"));
        m_layout->addItem(m_lockIcon, Qt::AlignVCenter);
    } else if (kind == progressCell) {
        m_spinner = new OrvelProgressIndicator(this, OrvelProgressIndicator::spinnerType);
        m_spinner->setUnknownDuration(true);
        m_spinner->setStyleName(QStringLiteral("CommonListItemSpinnerInverted"));
        m_layout->addItem(m_spinner, Qt::AlignVCenter);
    }
}

QString BluetoothDeviceContentItem::kind() const
{
    return m_kind;
}

QString BluetoothDeviceContentItem::label() const
{
    return m_label->text();
}

void BluetoothDeviceContentItem::setLabel(const QString &text)
{
    m_label->setText(text);
    setObjectName(text);
}

QString BluetoothDeviceContentItem::classIconId() const
{
    return m_classIcon ? m_classIcon->image() : QString();
}

void BluetoothDeviceContentItem::setClassOfDevice(unsigned int cod)
{
    if (!m_classIcon)
        return;
    const QString iconId = BluetoothDeviceInfoUtils::codIconId(cod);
    if (m_classIcon->image() == iconId)
        return;
    m_classIcon->setImage(iconId);
    m_classIcon->show();
}

} // namespace Ovrin
