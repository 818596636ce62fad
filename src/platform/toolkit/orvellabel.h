#ifndef ORVELLABEL_H
#define ORVELLABEL_H

#include "orvelstylablewidget.h"

// A line or paragraph of text. The text is always plain: markup in a device
// name is shown as typed, never interpreted.
class Q_DECL_EXPORT OrvelLabel : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(Qt::Alignment alignment READ alignment WRITE setAlignment)
    Q_PROPERTY(bool wordWrap READ wordWrap WRITE setWordWrap)
    Q_PROPERTY(bool textElide READ textElide WRITE setTextElide)
public:
    explicit OrvelLabel(QGraphicsItem *parent = nullptr);
    explicit OrvelLabel(const QString &text, QGraphicsItem *parent = nullptr);
    ~OrvelLabel() override;

    QString text() const;
    void setText(const QString &text);
    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment);
    bool wordWrap() const;
    void setWordWrap(bool wrap);
    bool textElide() const;
    void setTextElide(bool elide);

    // The text as drawn in the current width (elided when eliding is on).
    QString displayedText() const;

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    void styleChanged() override;

private:
    QRectF textRect() const;
    int textFlags() const;

    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_wordWrap = false;
    bool m_elide = false;
};

#endif // ORVELLABEL_H
