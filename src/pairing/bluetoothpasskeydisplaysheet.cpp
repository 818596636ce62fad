#include "bluetoothpasskeydisplaysheet.h"

#include "bluetoothcodepanel.h"

#include "dialoghelperwidget.h"
#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

#include <QLocale>

namespace Ovrin {

class BluetoothPasskeyDisplaySheetPrivate
{
public:
    QString deviceName;
    uint passkey = 0;
    uint entered = 0;
    OrvelLabel *enteredLabel = nullptr;
};

BluetoothPasskeyDisplaySheet::BluetoothPasskeyDisplaySheet(const QString &deviceName, uint passkey)
    : d(new BluetoothPasskeyDisplaySheetPrivate)
{
    setStyleName(QStringLiteral("Inverted"));
    d->deviceName = deviceName;
    d->passkey = passkey;
    setTitle(qtTrId("qtn_conn_bt_pair_with").arg(deviceName));
    setRejectLabel(qtTrId("qtn_comm_cancel"));
    // The remote side confirms by its Enter key: there is nothing to accept,
    // and pairing runs while the sheet is up.
    acceptButton()->hide();
    setAcceptEnabled(false);
    setProgressIndicatorVisible(true);
    createContent();
    setEntered(0);
}

BluetoothPasskeyDisplaySheet::~BluetoothPasskeyDisplaySheet()
{
    delete d;
}

uint BluetoothPasskeyDisplaySheet::entered() const
{
    return d->entered;
}

void BluetoothPasskeyDisplaySheet::setEntered(uint entered)
{
    d->entered = entered;
    d->enteredLabel->setText(
        qtTrId("qtn_conn_bt_passkey_entered").arg(QLocale().toString(entered)));
}

void BluetoothPasskeyDisplaySheet::createContent()
{
    auto container = new OrvelWidget;

    auto info = new OrvelLabel(qtTrId("qtn_conn_bt_passkey_display_info").arg(d->deviceName));
    info->setStyleName(QStringLiteral("CommonBodyText"));
    info->setAlignment(Qt::AlignLeft);
    info->setWordWrap(true);

    auto code = new OrvelLabel(BluetoothCodePanel::formatPasskey(d->passkey));
    code->setObjectName(QStringLiteral("BluetoothCodeLabel"));
    code->setStyleName(QStringLiteral("CommonSingleTitle"));
    code->setAlignment(Qt::AlignCenter);
    auto codeFrame = new OrvelStylableWidget(container);
    codeFrame->setStyleName(QStringLiteral("CommonPanel"));
    auto codeLayout = new OrvelLayout(codeFrame);
    codeLayout->setContentsMargins(0, 0, 0, 0);
    (new OrvelLinearLayoutPolicy(codeLayout, Qt::Vertical))->addItem(code);

    d->enteredLabel = new OrvelLabel;
    d->enteredLabel->setObjectName(QStringLiteral("BluetoothPasskeyEnteredLabel"));
    d->enteredLabel->setStyleName(QStringLiteral("CommonSubText"));
    d->enteredLabel->setAlignment(Qt::AlignCenter);

    auto layout = new OrvelLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->setSpacing(0);
    policy->addItem(info);
    policy->addItem(codeFrame);
    policy->addItem(d->enteredLabel);
    setContent(new DialogHelperWidget(container));
}

} // namespace Ovrin
