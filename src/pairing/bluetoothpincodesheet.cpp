#include "bluetoothpincodesheet.h"
#include "bluetoothpincodesheet_p.h"

#include "bluetoothtrustpanel.h"

#include "dialoghelperwidget.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "simpleframe.h"
#include "simpleinformationbanner.h"

#include <QLocale>

namespace Ovrin {

QString localizedDigits(const QString &text)
{
    const QLocale locale;
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isDigit()) {
            result += c;
            continue;
        }
        // The locale may add marks around a number; keep its digits only.
        const QString number = locale.toString(c.digitValue());
        for (const QChar n : number) {
            if (n.isDigit())
                result += n;
        }
    }
    return result;
}

QString asciiDigits(const QString &text)
{
    const QLocale locale;
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() > 255) {
            bool ok = false;
            const short value = locale.toShort(QString(c), &ok);
            // A digit of another script than the locale's still has its
            // value; never hand a made-up 0 to the other device.
            result += QString::number(ok ? value : c.digitValue());
        } else if (c.isDigit() || c.isLetter()) {
            result += c;
        }
    }
    return result;
}

BluetoothPinCodeSheetPrivate::BluetoothPinCodeSheetPrivate(BluetoothPinCodeSheet *sheet)
    : QObject(sheet)
    , sheet(sheet)
{
}

void BluetoothPinCodeSheetPrivate::pinCodeChanged()
{
    sheet->setAcceptEnabled(!edit->text().isEmpty());
}

BluetoothPinCodeSheet::BluetoothPinCodeSheet(const QString &deviceName,
                                             BluetoothPinCodeEdit::BluetoothPasskeyType type)
    : d(new BluetoothPinCodeSheetPrivate(this))
{
    setStyleName(QStringLiteral("Inverted"));
    d->deviceName = deviceName;
    d->type = type;
    d->readOnly = false;
    setTitle(qtTrId("qtn_conn_bt_pair_with").arg(deviceName));
    setAcceptLabel(qtTrId("qtn_conn_bt_pair"));
    setRejectLabel(qtTrId("qtn_comm_cancel"));
    createContent();
    setAcceptEnabled(!d->edit->text().isEmpty());
}

BluetoothPinCodeSheet::~BluetoothPinCodeSheet() = default;

void BluetoothPinCodeSheet::createContent()
{
    auto container = new OrvelWidget;

    d->edit = new BluetoothPinCodeEdit(d->type);
    d->edit->setStyleName(QStringLiteral("CommonSingleInputFieldLabeled"));
    d->edit->setObjectName(QStringLiteral("BluetoothPinCodeEdit"));
    connect(d->edit, &OrvelTextEdit::textChanged, d, &BluetoothPinCodeSheetPrivate::pinCodeChanged);

    auto frame = new SimpleFrame(qtTrId("qtn_conn_bt_passcode"), container);
    frame->setContent(d->edit);

    d->trustPanel = new BluetoothTrustPanel(true);

    auto layout = new OrvelLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->setSpacing(0);
    policy->addItem(frame);
    auto spacer = new OrvelStylableWidget(container);
    spacer->setStyleName(QStringLiteral("CommonLargeSpacer"));
    policy->addItem(spacer);
    policy->addItem(d->trustPanel);

    setContent(new DialogHelperWidget(container));
}

QString BluetoothPinCodeSheet::pinCode() const
{
    return asciiDigits(d->edit->text());
}

void BluetoothPinCodeSheet::setPinCode(const QString &pinCode)
{
    d->edit->setText(localizedDigits(pinCode));
}

bool BluetoothPinCodeSheet::isTrusted() const
{
    return d->trustPanel->isTrusted();
}

void BluetoothPinCodeSheet::setReadOnly(bool readOnly)
{
    d->readOnly = readOnly;
    d->edit->setReadOnly(readOnly);
    d->trustPanel->setEnabled(!readOnly);
}

bool BluetoothPinCodeSheet::isReadOnly() const
{
    return d->readOnly;
}

void BluetoothPinCodeSheet::done(bool accepted)
{
    if (d->readOnly) {
        if (accepted) {
            SimpleInformationBanner::show(qtTrId("qtn_conn_bt_pairing_ongoing"),
                                          QStringLiteral("icon-m-bluetooth"));
            return;
        }
        SimpleSheet::done(false);
        return;
    }
    if (accepted && !d->edit->validateInput())
        return;
    if (accepted && d->keptOpenOnAccept) {
        // The user sees the pairing run and can still cancel it.
        setReadOnly(true);
        setProgressIndicatorVisible(true);
        Q_EMIT this->accepted();
        return;
    }
    SimpleSheet::done(accepted);
}

void BluetoothPinCodeSheet::setKeptOpenOnAccept(bool keep)
{
    d->keptOpenOnAccept = keep;
}

bool BluetoothPinCodeSheet::isKeptOpenOnAccept() const
{
    return d->keptOpenOnAccept;
}

} // namespace Ovrin
