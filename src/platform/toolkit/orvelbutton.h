#ifndef ORVELBUTTON_H
#define ORVELBUTTON_H

#include "orvelstylablewidget.h"

// A push button with text; checkable. With the switch view type it is drawn
// as an on/off switch.
class Q_DECL_EXPORT OrvelButton : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(bool checkable READ isCheckable WRITE setCheckable)
    Q_PROPERTY(bool checked READ isChecked WRITE setChecked NOTIFY toggled)
    Q_PROPERTY(bool down READ isDown)
public:
    static const QString switchType;
    static const QString checkboxType;

    explicit OrvelButton(QGraphicsItem *parent = nullptr);
    explicit OrvelButton(const QString &text, QGraphicsItem *parent = nullptr);
    ~OrvelButton() override;

    QString text() const;
    void setText(const QString &text);
    bool isCheckable() const;
    void setCheckable(bool checkable);
    bool isChecked() const;
    bool isDown() const;
    bool isSwitch() const { return viewType() == switchType; }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

public Q_SLOTS:
    void setChecked(bool checked);
    // Acts as a tap: toggles a checkable button, then emits clicked().
    void click();

Q_SIGNALS:
    void pressed();
    void released();
    void clicked(bool checked = false);
    void toggled(bool checked);

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    void styleChanged() override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void ungrabMouseEvent(QEvent *event) override;

private:
    void paintSwitch(QPainter *painter, const QRectF &area);
    void paintPushButton(QPainter *painter, const QRectF &area);
    void setDown(bool down);

    QString m_text;
    bool m_checkable = false;
    bool m_checked = false;
    bool m_down = false;
};

#endif // ORVELBUTTON_H
