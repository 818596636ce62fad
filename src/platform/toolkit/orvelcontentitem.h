#ifndef ORVELCONTENTITEM_H
#define ORVELCONTENTITEM_H

#include "orvelstylablewidget.h"

// A list row: an optional icon, a title and an optional subtitle. Subclasses
// may give it a layout of their own instead. Emits clicked() when tapped
// outside a list (inside one, the list reports the tap).
class Q_DECL_EXPORT OrvelContentItem : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString subtitle READ subtitle WRITE setSubtitle)
    Q_PROPERTY(bool selected READ isSelected WRITE setSelected)
public:
    enum ContentItemStyle {
        SingleTextLabel,
        TwoTextLabels,
        IconAndSingleTextLabel,
        IconAndTwoTextLabels
    };
    // Where the row sits in its group; decides its dividers.
    enum LayoutPosition {
        DefaultPosition,
        VerticalTopPosition,
        VerticalCenterPosition,
        VerticalBottomPosition
    };

    explicit OrvelContentItem(ContentItemStyle itemStyle = SingleTextLabel,
                              QGraphicsItem *parent = nullptr);
    ~OrvelContentItem() override;

    ContentItemStyle itemStyle() const { return m_itemStyle; }
    QString title() const;
    void setTitle(const QString &title);
    QString subtitle() const;
    void setSubtitle(const QString &subtitle);
    QString iconId() const;
    void setIconId(const QString &iconId);
    LayoutPosition layoutPosition() const;
    void setLayoutPosition(LayoutPosition position);
    bool isSelected() const;
    void setSelected(bool selected);
    bool isDown() const;
    void setDown(bool down);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

Q_SIGNALS:
    void clicked();

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void ungrabMouseEvent(QEvent *event) override;
    // Room left on the right for subclasses' decorations.
    virtual qreal trailingSpace() const { return 0; }

private:
    ContentItemStyle m_itemStyle;
    QString m_title;
    QString m_subtitle;
    QString m_iconId;
    LayoutPosition m_position = DefaultPosition;
    bool m_selected = false;
    bool m_down = false;
};

#endif // ORVELCONTENTITEM_H
