#include "devicenameedit.h"

#include "simpleinformationbanner.h"

#include <QValidator>

namespace Ovrin {

namespace {

const int inputErrorTimeout = 3000;

int byteLength(const QString &text)
{
    return int(text.toUtf8().size());
}

// Refuses a change that makes the name longer than a name can be; a name
// that came over-long from elsewhere may still be shortened.
class NameLengthValidator : public QValidator
{
public:
    explicit NameLengthValidator(OrvelTextEdit *entry)
        : QValidator(entry)
        , entry(entry)
    {
    }

    State validate(QString &input, int &) const override
    {
        const int bytes = byteLength(input);
        if (bytes <= DeviceNameEdit::MaxNameBytes || bytes < byteLength(entry->text()))
            return Acceptable;
        return Invalid;
    }

private:
    const OrvelTextEdit *entry;
};

} // namespace

DeviceNameEdit::DeviceNameEdit(const QString &name, QGraphicsItem *parent)
    : OrvelTextEdit(FreeTextContentType, name, parent)
{
    setStyleName(QStringLiteral("CommonSingleInputFieldLabeled"));
    setInputMethodCorrectionEnabled(false);
    setValidator(new NameLengthValidator(this));
}

bool DeviceNameEdit::checkForSaving() const
{
    const QString name = text();
    if (name.trimmed().isEmpty()) {
        SimpleInformationBanner::show(qtTrId("qtn_conn_bt_empty_device_name"), inputErrorTimeout);
        return false;
    }
    if (byteLength(name) > MaxNameBytes) {
        SimpleInformationBanner::show(qtTrId("qtn_conn_bt_device_name_too_long"),
                                      inputErrorTimeout);
        return false;
    }
    return true;
}

} // namespace Ovrin
