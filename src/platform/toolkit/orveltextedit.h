#ifndef ORVELTEXTEDIT_H
#define ORVELTEXTEDIT_H

#include "orvelstylablewidget.h"

class QValidator;
class OrvelTextEditPrivate;

// A single-line text entry. Every change, typed or set, goes through the
// validator; text the validator calls Invalid never reaches the entry.
class Q_DECL_EXPORT OrvelTextEdit : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(QString prompt READ prompt WRITE setPrompt)
public:
    enum TextContentType { FreeTextContentType, NumberContentType, PhoneNumberContentType };
    Q_ENUM(TextContentType)
    enum LineMode { SingleLine, MultiLine };

    explicit OrvelTextEdit(TextContentType type = FreeTextContentType,
                           const QString &text = QString(), QGraphicsItem *parent = nullptr);
    ~OrvelTextEdit() override;

    QString text() const;
    // Returns false, leaving the text as it was, when the validator refuses it.
    bool setText(const QString &text);
    int cursorPosition() const;
    void setCursorPosition(int position);
    int maxLength() const;
    void setMaxLength(int length);

    LineMode lineMode() const { return SingleLine; }
    TextContentType contentType() const;
    void setContentType(TextContentType type);
    const QValidator *validator() const;
    // Not owned; a validator parented to the entry dies with it.
    void setValidator(const QValidator *validator);

    bool isReadOnly() const;
    void setReadOnly(bool readOnly);
    QString prompt() const;
    void setPrompt(const QString &prompt);

    // Switches for the input method (on-screen keyboard).
    bool inputMethodCorrectionEnabled() const;
    void setInputMethodCorrectionEnabled(bool enabled);
    bool inputMethodPredictionEnabled() const;
    void setInputMethodPredictionEnabled(bool enabled);
    bool inputMethodAutoCapitalizationEnabled() const;
    void setInputMethodAutoCapitalizationEnabled(bool enabled);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

Q_SIGNALS:
    void textChanged();
    void returnPressed();

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    void styleChanged() override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool insert(const QString &typed);
    bool replaceText(const QString &candidate, int cursor);
    void updateInputMethodHints();

    OrvelTextEditPrivate *d;
};

#endif // ORVELTEXTEDIT_H
