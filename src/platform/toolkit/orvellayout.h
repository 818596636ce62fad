#ifndef ORVELLAYOUT_H
#define ORVELLAYOUT_H

#include <QGraphicsLayout>
#include <QList>

class OrvelAbstractLayoutPolicy;
class OrvelLayoutPrivate;

// A layout whose items are arranged by a policy. Several policies may work
// on the same items; one is active at a time, and items the active policy
// does not hold are hidden. Switching the policy re-arranges the same items.
class Q_DECL_EXPORT OrvelLayout : public QGraphicsLayout
{
public:
    explicit OrvelLayout(QGraphicsLayoutItem *parent = nullptr);
    ~OrvelLayout() override;

    OrvelAbstractLayoutPolicy *policy() const;
    // Makes the policy (one of this layout's) the active one.
    void setPolicy(OrvelAbstractLayoutPolicy *policy);
    QList<OrvelAbstractLayoutPolicy *> registeredPolicies() const;

    int count() const override;
    QGraphicsLayoutItem *itemAt(int index) const override;
    // Takes the item out of the layout and out of every policy.
    void removeAt(int index) override;
    void removeItem(const QGraphicsLayoutItem *item);
    int indexOf(const QGraphicsLayoutItem *item) const;

    void setGeometry(const QRectF &rect) override;
    void invalidate() override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    friend class OrvelAbstractLayoutPolicy;
    void addPolicy(OrvelAbstractLayoutPolicy *policy);
    void removePolicy(OrvelAbstractLayoutPolicy *policy);
    // An item entering any policy enters the layout.
    void adopt(QGraphicsLayoutItem *item);
    void applyVisibility();

    OrvelLayoutPrivate *d;
};

#endif // ORVELLAYOUT_H
