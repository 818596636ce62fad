#ifndef ORVELABSTRACTLAYOUTPOLICY_H
#define ORVELABSTRACTLAYOUTPOLICY_H

#include <QList>
#include <QRectF>
#include <QSizeF>

class OrvelLayout;
class QGraphicsLayoutItem;

// One way of arranging (some of) the items of an OrvelLayout. The policy
// belongs to its layout and is deleted with it.
class Q_DECL_EXPORT OrvelAbstractLayoutPolicy
{
public:
    explicit OrvelAbstractLayoutPolicy(OrvelLayout *layout);
    virtual ~OrvelAbstractLayoutPolicy();

    OrvelLayout *layout() const { return m_layout; }
    void activate();
    bool isActive() const;

    int count() const { return int(m_items.size()); }
    QGraphicsLayoutItem *itemAt(int index) const;
    int indexOf(const QGraphicsLayoutItem *item) const;
    // Takes the item out of this policy only; it stays in the layout.
    virtual void removeAt(int index);
    void removeItem(const QGraphicsLayoutItem *item);

    qreal spacing() const { return m_spacing; }
    void setSpacing(qreal spacing);
    void setContentsMargins(qreal left, qreal top, qreal right, qreal bottom);
    void getContentsMargins(qreal *left, qreal *top, qreal *right, qreal *bottom) const;

    // Arranges the visible items of the policy inside rect.
    virtual void relayout(const QRectF &rect) = 0;
    virtual QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint) const = 0;

protected:
    void insertItemAtIndex(int index, QGraphicsLayoutItem *item);
    // Items that take part in arranging: hidden widgets take no room.
    QList<int> visibleIndexes() const;
    void invalidateLayout();

private:
    OrvelLayout *m_layout;
    QList<QGraphicsLayoutItem *> m_items;
    qreal m_spacing = 0;
    qreal m_margins[4] = { 0, 0, 0, 0 };
};

#endif // ORVELABSTRACTLAYOUTPOLICY_H
