#ifndef ORVELLIST_P_H
#define ORVELLIST_P_H

#include "orvellist.h"
#include "orvelwidgetrecycler.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>

class OrvelLabel;

class OrvelListPrivate : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QPersistentModelIndex index;
        bool header = false;
        int column = 0;
        qreal y = 0;
        qreal height = 0;
    };

    explicit OrvelListPrivate(OrvelList *list);
    ~OrvelListPrivate() override;

    void connectModel();
    void disconnectModel();
    void rebuild();
    void followPressedRow();
    void takeOverGrab();
    void endGrab();
    void recycleAll();
    void updateViewport();
    qreal headerHeight() const;
    qreal cellHeight() const;
    QRectF cellRect(const Entry &entry) const;
    int entryAt(const QPointF &listPosition) const;
    bool tappable(int entry) const;
    void applySelection(const QModelIndex &index, OrvelWidget *cell) const;
    OrvelWidget *headerCell(const QModelIndex &index);

    void press(const QPointF &scenePosition);
    void move(const QPointF &scenePosition);
    void release(const QPointF &scenePosition);
    void setDown(int entry, bool down);

public Q_SLOTS:
    void scheduleRebuild();
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void selectionChanged();
    void longTapTimeout();

public:
    OrvelList *q;
    QPointer<QAbstractItemModel> model;
    OrvelAbstractCellCreator *creator = nullptr;
    mutable OrvelWidgetRecycler recycler;
    QPointer<QItemSelectionModel> selection;
    bool ownSelection = false;
    OrvelList::SelectionMode selectionMode = OrvelList::NoSelection;
    bool showGroups = false;
    int columns = 1;
    qreal scroll = 0;
    qreal contentHeight = 0;
    QList<Entry> entries;
    // Shown cells by entry number; headers are cells of the list's own.
    QHash<int, OrvelWidget *> cells;
    QList<OrvelWidget *> spareHeaders;
    bool rebuildPending = false;

    // The gesture in progress. The pressed row is followed by its index: a
    // model that changes under the finger (a list filling during a search)
    // moves the row, but the press stays on it.
    int pressedEntry = -1;
    QPersistentModelIndex pressedIndex;
    QPointF pressPosition;
    qreal pressScroll = 0;
    bool panning = false;
    bool longTapped = false;
    bool pressActive = false;
    // The list takes the mouse from a pressed cell it recycles.
    bool handingOver = false;
    QTimer longTapTimer;
};

#endif // ORVELLIST_P_H
