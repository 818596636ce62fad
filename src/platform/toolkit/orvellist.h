#ifndef ORVELLIST_H
#define ORVELLIST_H

#include "orvelstylablewidget.h"

#include <QItemSelectionModel>
#include <QModelIndex>

class OrvelAbstractCellCreator;
class OrvelListPrivate;
class OrvelWidgetRecycler;
class QAbstractItemModel;

// A scrolling list over a Qt item model. With group headers on, the model's
// top-level rows are the headers and their children the items. Only the
// cells in view exist; cells that leave the view go to the recycler, from
// which the cell creator takes them back. A tap on an item emits
// itemClicked(), a long tap itemLongTapped() with the scene position; a drag
// scrolls.
class Q_DECL_EXPORT OrvelList : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(bool showGroups READ showGroups WRITE setShowGroups)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
    Q_PROPERTY(qreal scrollPosition READ scrollPosition WRITE setScrollPosition)
public:
    enum SelectionMode { NoSelection, SingleSelection, MultiSelection };
    Q_ENUM(SelectionMode)
    static const int LongTapTimeout = 500;

    explicit OrvelList(QGraphicsItem *parent = nullptr);
    ~OrvelList() override;

    QAbstractItemModel *itemModel() const;
    void setItemModel(QAbstractItemModel *model);
    OrvelAbstractCellCreator *cellCreator() const;
    // The list owns the creator; a replaced one is deleted.
    void setCellCreator(OrvelAbstractCellCreator *creator);
    OrvelWidgetRecycler &recycler() const;

    bool showGroups() const;
    void setShowGroups(bool show);
    int columns() const;
    void setColumns(int columns);

    QItemSelectionModel *selectionModel() const;
    void setSelectionModel(QItemSelectionModel *model);
    SelectionMode selectionMode() const;
    void setSelectionMode(SelectionMode mode);
    void selectItem(const QModelIndex &index);

    qreal scrollPosition() const;
    void setScrollPosition(qreal position);
    void scrollTo(const QModelIndex &index);
    qreal contentHeight() const;

    // The item cells on screen now and the cell showing an index, if shown.
    QList<OrvelWidget *> visibleCells() const;
    OrvelWidget *cellForIndex(const QModelIndex &index) const;
    QModelIndex indexAt(const QPointF &scenePosition) const;

Q_SIGNALS:
    void itemClicked(const QModelIndex &index);
    void itemLongTapped(const QModelIndex &index, const QPointF &position);
    void panningStarted();
    void panningStopped();

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;
    void resizeEvent(QGraphicsSceneResizeEvent *event) override;
    bool sceneEventFilter(QGraphicsItem *watched, QEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void wheelEvent(QGraphicsSceneWheelEvent *event) override;

private:
    friend class OrvelListPrivate;
    OrvelListPrivate *d;
};

#endif // ORVELLIST_H
