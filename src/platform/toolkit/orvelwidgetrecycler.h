#ifndef ORVELWIDGETRECYCLER_H
#define ORVELWIDGETRECYCLER_H

#include <QHash>
#include <QList>
#include <QString>

class QGraphicsWidget;

// Keeps widgets a list no longer shows, sorted by kind, so that the cell
// creator can take one back instead of building a new one. The kind is the
// widget's property RecycledObjectIdentifier, else its class name.
class Q_DECL_EXPORT OrvelWidgetRecycler
{
public:
    static const char *const RecycledObjectIdentifier;

    OrvelWidgetRecycler();
    ~OrvelWidgetRecycler();

    // Hides the widget and keeps it; beyond the limit per kind it is deleted.
    void recycle(QGraphicsWidget *widget);
    // A kept widget of that kind, shown again, or null.
    QGraphicsWidget *take(const QString &identifier);
    int recycledCount(const QString &identifier) const;
    int maxItemsPerClass() const;
    void setMaxItemsPerClass(int count);
    // Deletes every kept widget.
    void clear();

    static QString identifierOf(const QGraphicsWidget *widget);

private:
    Q_DISABLE_COPY(OrvelWidgetRecycler)
    QHash<QString, QList<QGraphicsWidget *>> m_kept;
    int m_max = 12;
};

#endif // ORVELWIDGETRECYCLER_H
