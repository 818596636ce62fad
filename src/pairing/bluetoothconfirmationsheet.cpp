#include "bluetoothconfirmationsheet.h"

#include "bluetoothcodepanel.h"
#include "bluetoothtrustpanel.h"

#include "dialoghelperwidget.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

namespace Ovrin {

class BluetoothConfirmationSheetPrivate
{
public:
    BluetoothCodePanel *codePanel = nullptr;
    BluetoothTrustPanel *trustPanel = nullptr;
    QString deviceName;
    bool showPasskey = false;
};

BluetoothConfirmationSheet::BluetoothConfirmationSheet(const QString &deviceName, uint passkey,
                                                       bool showPasskey)
    : d(new BluetoothConfirmationSheetPrivate)
{
    setStyleName(QStringLiteral("Inverted"));
    d->showPasskey = showPasskey;
    d->deviceName = deviceName;
    if (showPasskey)
        d->codePanel = new BluetoothCodePanel(passkey);
    setTitle(qtTrId("qtn_conn_bt_pair_with").arg(deviceName));
    setAcceptLabel(qtTrId("qtn_conn_bt_confirm"));
    setRejectLabel(qtTrId("qtn_comm_cancel"));
    createContent();
}

BluetoothConfirmationSheet::~BluetoothConfirmationSheet()
{
    delete d;
}

bool BluetoothConfirmationSheet::isTrusted() const
{
    return d->trustPanel->isTrusted();
}

void BluetoothConfirmationSheet::createContent()
{
    auto container = new OrvelWidget;
    d->trustPanel = new BluetoothTrustPanel(true);
    auto layout = new OrvelLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->setContentsMargins(0, 0, 0, 0);
    policy->setSpacing(0);
    if (d->codePanel)
        policy->addItem(d->codePanel);
    policy->addItem(d->trustPanel);
    setContent(new DialogHelperWidget(container));
}

} // namespace Ovrin
