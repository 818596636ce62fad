#include "orveltextedit.h"

#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QValidator>
#include <QWidget>

class OrvelTextEditPrivate
{
public:
    QString text;
    int cursor = 0;
    int maxLength = 32767;
    OrvelTextEdit::TextContentType contentType = OrvelTextEdit::FreeTextContentType;
    QPointer<const QValidator> validator;
    bool readOnly = false;
    QString prompt;
    bool correction = true;
    bool prediction = true;
    bool autoCapitalization = true;
};

OrvelTextEdit::OrvelTextEdit(TextContentType type, const QString &text, QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , d(new OrvelTextEditPrivate)
{
    d->contentType = type;
    d->text = text;
    d->cursor = text.size();
    setFlag(ItemIsFocusable);
    setFlag(ItemAcceptsInputMethod);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptedMouseButtons(Qt::LeftButton);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setStyleName(QStringLiteral("CommonSingleInputField"));
    updateInputMethodHints();
}

OrvelTextEdit::~OrvelTextEdit()
{
    delete d;
}

QString OrvelTextEdit::text() const
{
    return d->text;
}

bool OrvelTextEdit::setText(const QString &text)
{
    return replaceText(text, text.size());
}

int OrvelTextEdit::cursorPosition() const
{
    return d->cursor;
}

void OrvelTextEdit::setCursorPosition(int position)
{
    d->cursor = qBound(0, position, int(d->text.size()));
    update();
}

int OrvelTextEdit::maxLength() const
{
    return d->maxLength;
}

void OrvelTextEdit::setMaxLength(int length)
{
    d->maxLength = qMax(0, length);
}

OrvelTextEdit::TextContentType OrvelTextEdit::contentType() const
{
    return d->contentType;
}

void OrvelTextEdit::setContentType(TextContentType type)
{
    d->contentType = type;
    updateInputMethodHints();
}

const QValidator *OrvelTextEdit::validator() const
{
    return d->validator;
}

void OrvelTextEdit::setValidator(const QValidator *validator)
{
    d->validator = validator;
}

bool OrvelTextEdit::isReadOnly() const
{
    return d->readOnly;
}

void OrvelTextEdit::setReadOnly(bool readOnly)
{
    d->readOnly = readOnly;
    setFlag(ItemAcceptsInputMethod, !readOnly);
    update();
}

QString OrvelTextEdit::prompt() const
{
    return d->prompt;
}

void OrvelTextEdit::setPrompt(const QString &prompt)
{
    d->prompt = prompt;
    update();
}

bool OrvelTextEdit::inputMethodCorrectionEnabled() const
{
    return d->correction;
}

void OrvelTextEdit::setInputMethodCorrectionEnabled(bool enabled)
{
    d->correction = enabled;
    updateInputMethodHints();
}

bool OrvelTextEdit::inputMethodPredictionEnabled() const
{
    return d->prediction;
}

void OrvelTextEdit::setInputMethodPredictionEnabled(bool enabled)
{
    d->prediction = enabled;
    updateInputMethodHints();
}

bool OrvelTextEdit::inputMethodAutoCapitalizationEnabled() const
{
    return d->autoCapitalization;
}

void OrvelTextEdit::setInputMethodAutoCapitalizationEnabled(bool enabled)
{
    d->autoCapitalization = enabled;
    updateInputMethodHints();
}

void OrvelTextEdit::updateInputMethodHints()
{
    // The keyboard learns what to offer from the hints.
    Qt::InputMethodHints hints;
    if (d->contentType == NumberContentType)
        hints |= Qt::ImhDigitsOnly;
    else if (d->contentType == PhoneNumberContentType)
        hints |= Qt::ImhDialableCharactersOnly;
    if (!d->prediction || !d->correction)
        hints |= Qt::ImhNoPredictiveText;
    if (!d->autoCapitalization)
        hints |= Qt::ImhNoAutoUppercase;
    setInputMethodHints(hints);
}

bool OrvelTextEdit::replaceText(const QString &candidate, int cursor)
{
    if (candidate.size() > d->maxLength)
        return false;
    if (d->validator) {
        QString copy = candidate;
        int pos = cursor;
        if (d->validator->validate(copy, pos) == QValidator::Invalid)
            return false;
    }
    const bool changed = candidate != d->text;
    d->text = candidate;
    d->cursor = qBound(0, cursor, int(candidate.size()));
    updateGeometry();
    update();
    if (changed)
        Q_EMIT textChanged();
    return true;
}

bool OrvelTextEdit::insert(const QString &typed)
{
    if (d->readOnly || typed.isEmpty())
        return false;
    if (d->contentType == NumberContentType) {
        for (const QChar c : typed)
            if (!c.isDigit())
                return false;
    }
    QString candidate = d->text;
    candidate.insert(d->cursor, typed);
    return replaceText(candidate, d->cursor + typed.size());
}

void OrvelTextEdit::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Q_EMIT returnPressed();
        return;
    }
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home || key == Qt::Key_End) {
        if (key == Qt::Key_Left)
            setCursorPosition(d->cursor - 1);
        else if (key == Qt::Key_Right)
            setCursorPosition(d->cursor + 1);
        else
            setCursorPosition(key == Qt::Key_Home ? 0 : int(d->text.size()));
        return;
    }
    if (d->readOnly) {
        event->ignore();
        return;
    }
    if (key == Qt::Key_Backspace) {
        if (d->cursor > 0) {
            QString candidate = d->text;
            candidate.remove(d->cursor - 1, 1);
            replaceText(candidate, d->cursor - 1);
        }
        return;
    }
    if (key == Qt::Key_Delete) {
        if (d->cursor < d->text.size()) {
            QString candidate = d->text;
            candidate.remove(d->cursor, 1);
            replaceText(candidate, d->cursor);
        }
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint()) {
        insert(typed);
        return;
    }
    event->ignore();
}

void OrvelTextEdit::inputMethodEvent(QInputMethodEvent *event)
{
    insert(event->commitString());
    event->accept();
}

QVariant OrvelTextEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImSurroundingText:
        return d->text;
    case Qt::ImCursorPosition:
        return d->cursor;
    case Qt::ImHints:
        return int(inputMethodHints());
    case Qt::ImEnabled:
        return !d->readOnly;
    default:
        return OrvelStylableWidget::inputMethodQuery(query);
    }
}

void OrvelTextEdit::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
}

void OrvelTextEdit::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    // A tap focuses the entry and puts the cursor at the end.
    if (rect().contains(event->pos())) {
        setFocus(Qt::MouseFocusReason);
        setCursorPosition(int(d->text.size()));
    }
}

void OrvelTextEdit::focusInEvent(QFocusEvent *event)
{
    OrvelStylableWidget::focusInEvent(event);
    update();
}

void OrvelTextEdit::focusOutEvent(QFocusEvent *event)
{
    OrvelStylableWidget::focusOutEvent(event);
    update();
}

void OrvelTextEdit::styleChanged()
{
    OrvelStylableWidget::styleChanged();
    setFont(OrvelTheme::font(style()));
}

QSizeF OrvelTextEdit::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    if (which == Qt::MaximumSize)
        return QSizeF(QWIDGETSIZE_MAX, sizeHint(Qt::PreferredSize, constraint).height());
    qreal l, t, r, b;
    getContentsMargins(&l, &t, &r, &b);
    const QFontMetricsF metrics(font());
    const qreal height = qMax(metrics.height() + 24 + t + b, style().minimumHeight);
    return QSizeF(which == Qt::MinimumSize ? 80 : 300, height);
}

void OrvelTextEdit::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                          QWidget *widget)
{
    OrvelStylableWidget::paint(painter, option, widget);
    const QRectF box = contentsRect();
    const OrvelPalette &colours = palette();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(d->readOnly ? colours.background : colours.panel);
    painter->setPen(QPen(hasFocus() ? colours.accent : colours.divider, hasFocus() ? 3 : 2));
    painter->drawRoundedRect(box.adjusted(1, 1, -1, -1), 8, 8);

    const QRectF textArea = box.adjusted(14, 0, -14, 0);
    painter->setFont(font());
    const QFontMetricsF metrics(font());
    if (d->text.isEmpty() && !d->prompt.isEmpty()) {
        painter->setPen(colours.secondaryText);
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          d->prompt);
    } else {
        painter->setPen(d->readOnly ? colours.secondaryText : colours.text);
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          metrics.elidedText(d->text, Qt::ElideLeft, textArea.width()));
    }
    if (hasFocus() && !d->readOnly) {
        const qreal x = textArea.left() + metrics.horizontalAdvance(d->text.left(d->cursor));
        painter->setPen(QPen(colours.accent, 2));
        painter->drawLine(QPointF(x + 1, textArea.center().y() - metrics.height() / 2),
                          QPointF(x + 1, textArea.center().y() + metrics.height() / 2));
    }
    painter->restore();
}
