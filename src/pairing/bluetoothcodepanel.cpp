#include "bluetoothcodepanel.h"

#include "bluetoothpincodesheet_p.h"

#include "orvellabel.h"
#include "orvelwidgetregistry.h"

#include <QGraphicsLinearLayout>

namespace {
// Lets the theme style the panel by its class name.
const OrvelWidgetRegistration codePanelRegistration("BluetoothCodePanel", "ovrin-bluetooth");
} // namespace

namespace Ovrin {

QString BluetoothCodePanel::formatPasskey(uint passkey)
{
    QString digits = QStringLiteral("%1").arg(passkey, 6, 10, QLatin1Char('0'));
    digits.insert(3, QLatin1Char(' '));
    QString shown = localizedDigits(digits);
    // Arabic-Indic digits pull the space between the groups into right to
    // left order even inside the embedding, swapping the groups; a
    // left-to-right mark before the space keeps them in reading order.
    if (shown != digits)
        shown.insert(3, QChar(0x200E));
    return QChar(0x202A) + shown + QChar(0x202C);
}

BluetoothCodePanel::BluetoothCodePanel(uint passkey)
{
    auto info = new OrvelLabel(qtTrId("qtn_conn_bt_passcode_info"));
    info->setStyleName(QStringLiteral("CommonBodyText"));
    info->setAlignment(Qt::AlignLeft);
    info->setWordWrap(true);

    auto code = new OrvelLabel(formatPasskey(passkey));
    code->setObjectName(QStringLiteral("BluetoothCodeLabel"));
    code->setStyleName(QStringLiteral("CommonSingleTitle"));
    code->setAlignment(Qt::AlignCenter);

    auto layout = new QGraphicsLinearLayout(Qt::Vertical);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setLayout(layout);
    layout->addItem(info);

    auto inner = new OrvelStylableWidget;
    inner->setStyleName(QStringLiteral("CommonPanel"));
    auto innerLayout = new QGraphicsLinearLayout(Qt::Vertical);
    innerLayout->setContentsMargins(0, 0, 0, 0);
    innerLayout->setSpacing(0);
    inner->setLayout(innerLayout);
    innerLayout->addItem(code);
    layout->addItem(inner);
}

BluetoothCodePanel::~BluetoothCodePanel() = default;

} // namespace Ovrin
