#include "orvellist.h"

#include "orvelabstractcellcreator.h"
#include "orvelcontentitem.h"
#include "orvellabel.h"
#include "orvellist_p.h"

#include <QAbstractItemModel>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>

namespace {
// A finger moves a little while tapping; beyond this it drags.
const qreal DragThreshold = 20;
const qreal HeaderHeight = 56;
} // namespace

OrvelListPrivate::OrvelListPrivate(OrvelList *list)
    : q(list)
{
    longTapTimer.setSingleShot(true);
    longTapTimer.setInterval(OrvelList::LongTapTimeout);
    connect(&longTapTimer, &QTimer::timeout, this, &OrvelListPrivate::longTapTimeout);
}

OrvelListPrivate::~OrvelListPrivate()
{
    delete creator;
}

void OrvelListPrivate::connectModel()
{
    if (!model)
        return;
    QAbstractItemModel *m = model;
    // New contents start from the top.
    connect(m, &QAbstractItemModel::modelReset, this, [this] {
        scroll = 0;
        scheduleRebuild();
    });
    connect(m, &QAbstractItemModel::layoutChanged, this, &OrvelListPrivate::scheduleRebuild);
    connect(m, &QAbstractItemModel::rowsInserted, this, &OrvelListPrivate::scheduleRebuild);
    connect(m, &QAbstractItemModel::rowsRemoved, this, &OrvelListPrivate::scheduleRebuild);
    connect(m, &QAbstractItemModel::rowsMoved, this, &OrvelListPrivate::scheduleRebuild);
    connect(m, &QAbstractItemModel::dataChanged, this, &OrvelListPrivate::dataChanged);
}

void OrvelListPrivate::disconnectModel()
{
    if (model)
        disconnect(model, nullptr, this, nullptr);
}

void OrvelListPrivate::scheduleRebuild()
{
    // Models change in bursts; one rebuild after the burst is enough. Until
    // then no cell may show a row that may be gone.
    recycleAll();
    if (rebuildPending)
        return;
    rebuildPending = true;
    QMetaObject::invokeMethod(
        this, [this] { rebuild(); }, Qt::QueuedConnection);
}

qreal OrvelListPrivate::headerHeight() const
{
    return HeaderHeight;
}

qreal OrvelListPrivate::cellHeight() const
{
    return creator ? creator->cellSize().height() : 88;
}

void OrvelListPrivate::rebuild()
{
    rebuildPending = false;
    recycleAll();
    entries.clear();
    qreal y = 0;
    auto addItems = [&](const QModelIndex &parent) {
        const int rows = model->rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            Entry e;
            e.index = model->index(row, 0, parent);
            e.column = row % columns;
            e.y = y;
            e.height = cellHeight();
            entries.append(e);
            if (e.column == columns - 1 || row == rows - 1)
                y += e.height;
        }
    };
    if (model) {
        if (showGroups) {
            const int groups = model->rowCount();
            for (int group = 0; group < groups; ++group) {
                Entry header;
                header.index = model->index(group, 0);
                header.header = true;
                header.y = y;
                header.height = headerHeight();
                entries.append(header);
                y += header.height;
                addItems(header.index);
            }
        } else {
            addItems(QModelIndex());
        }
    }
    contentHeight = y;
    q->updateGeometry();
    q->setScrollPosition(scroll);
    updateViewport();
    followPressedRow();
}

// A hidden cell loses the mouse and with it the gesture; the list keeps the
// gesture by taking the mouse first.
void OrvelListPrivate::takeOverGrab()
{
    QGraphicsScene *scene = q->scene();
    QGraphicsItem *grabber = scene ? scene->mouseGrabberItem() : nullptr;
    if (!pressActive || !grabber || grabber == q || !q->isAncestorOf(grabber))
        return;
    handingOver = true;
    q->grabMouse();
    handingOver = false;
}

void OrvelListPrivate::endGrab()
{
    if (q->scene() && q->scene()->mouseGrabberItem() == q)
        q->ungrabMouse();
}

void OrvelListPrivate::followPressedRow()
{
    if (!pressActive || panning || longTapped)
        return;
    pressedEntry = -1;
    for (int i = 0; pressedIndex.isValid() && i < entries.size(); ++i) {
        if (!entries.at(i).header && entries.at(i).index == pressedIndex)
            pressedEntry = i;
    }
    if (pressedEntry < 0) {
        // The row went away under the finger: the press is over.
        pressedIndex = QPersistentModelIndex();
        longTapTimer.stop();
        return;
    }
    setDown(pressedEntry, true);
}

void OrvelListPrivate::recycleAll()
{
    takeOverGrab();
    for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
        if (entries.value(it.key()).header) {
            it.value()->hide();
            spareHeaders.append(it.value());
        } else {
            recycler.recycle(it.value());
        }
    }
    cells.clear();
    // The entries are about to change; the press keeps its index.
    pressedEntry = -1;
}

QRectF OrvelListPrivate::cellRect(const Entry &entry) const
{
    const qreal width = q->size().width();
    if (entry.header)
        return QRectF(0, entry.y - scroll, width, entry.height);
    const qreal columnWidth = width / columns;
    return QRectF(columnWidth * entry.column, entry.y - scroll, columnWidth, entry.height);
}

OrvelWidget *OrvelListPrivate::headerCell(const QModelIndex &index)
{
    OrvelWidget *cell = spareHeaders.isEmpty() ? nullptr : spareHeaders.takeLast();
    if (!cell) {
        auto label = new OrvelLabel(q);
        label->setStyleName(QStringLiteral("CommonGroupHeader"));
        label->setTextElide(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        // Headers are not items: taps on them choose nothing.
        label->setAcceptedMouseButtons(Qt::NoButton);
        label->setObjectName(QStringLiteral("OrvelListGroupHeader"));
        cell = label;
    }
    static_cast<OrvelLabel *>(cell)->setText(index.data(Qt::DisplayRole).toString());
    cell->show();
    return cell;
}

void OrvelListPrivate::applySelection(const QModelIndex &index, OrvelWidget *cell) const
{
    auto item = qobject_cast<OrvelContentItem *>(cell);
    if (item)
        item->setSelected(selection && selection->isSelected(index));
}

void OrvelListPrivate::updateViewport()
{
    if (rebuildPending || !model || !creator)
        return;
    const qreal top = scroll;
    const qreal bottom = scroll + q->size().height();
    // Cells that left the view go back to the recycler first, so that the
    // ones coming in can reuse them.
    takeOverGrab();
    for (auto it = cells.begin(); it != cells.end();) {
        const Entry &e = entries.at(it.key());
        if (e.y + e.height <= top || e.y >= bottom) {
            if (e.header) {
                it.value()->hide();
                spareHeaders.append(it.value());
            } else {
                recycler.recycle(it.value());
            }
            it = cells.erase(it);
        } else {
            ++it;
        }
    }
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries.at(i);
        if (e.y + e.height <= top || e.y >= bottom)
            continue;
        OrvelWidget *cell = cells.value(i);
        if (!cell) {
            if (e.header) {
                cell = headerCell(e.index);
            } else {
                cell = creator->createCell(e.index, recycler);
                if (!cell)
                    continue;
                cell->setParentItem(q);
                cell->show();
            }
            cells.insert(i, cell);
            if (!e.header)
                applySelection(e.index, cell);
        }
        cell->setGeometry(cellRect(e));
    }
}

int OrvelListPrivate::entryAt(const QPointF &position) const
{
    const qreal y = position.y() + scroll;
    const qreal columnWidth = q->size().width() / columns;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries.at(i);
        if (y < e.y || y >= e.y + e.height)
            continue;
        if (e.header || int(position.x() / columnWidth) == e.column)
            return i;
    }
    return -1;
}

bool OrvelListPrivate::tappable(int entry) const
{
    if (entry < 0 || entries.at(entry).header)
        return false;
    OrvelWidget *cell = cells.value(entry);
    return cell && cell->acceptedMouseButtons() != Qt::NoButton;
}

void OrvelListPrivate::setDown(int entry, bool down)
{
    if (auto item = qobject_cast<OrvelContentItem *>(cells.value(entry)))
        item->setDown(down);
}

void OrvelListPrivate::press(const QPointF &scenePosition)
{
    pressActive = true;
    pressPosition = scenePosition;
    pressScroll = scroll;
    panning = false;
    longTapped = false;
    const int entry = entryAt(q->mapFromScene(scenePosition));
    pressedEntry = tappable(entry) ? entry : -1;
    pressedIndex = pressedEntry >= 0 ? QPersistentModelIndex(entries.at(entry).index)
                                     : QPersistentModelIndex();
    if (pressedEntry >= 0) {
        setDown(pressedEntry, true);
        longTapTimer.start();
    }
}

void OrvelListPrivate::move(const QPointF &scenePosition)
{
    if (!pressActive)
        return;
    const qreal dy = scenePosition.y() - pressPosition.y();
    if (!panning && qAbs(dy) < DragThreshold)
        return;
    if (!panning) {
        panning = true;
        longTapTimer.stop();
        setDown(pressedEntry, false);
        pressedEntry = -1;
        pressedIndex = QPersistentModelIndex();
        Q_EMIT q->panningStarted();
    }
    q->setScrollPosition(pressScroll - dy);
}

void OrvelListPrivate::release(const QPointF &scenePosition)
{
    if (!pressActive)
        return;
    // A change not laid out yet must not cost the user the tap.
    if (rebuildPending)
        rebuild();
    endGrab();
    pressActive = false;
    longTapTimer.stop();
    if (panning) {
        panning = false;
        Q_EMIT q->panningStopped();
        return;
    }
    const int entry = pressedEntry;
    const QModelIndex index = pressedIndex;
    pressedEntry = -1;
    pressedIndex = QPersistentModelIndex();
    setDown(entry, false);
    if (entry < 0 || !index.isValid() || longTapped)
        return;
    if (entryAt(q->mapFromScene(scenePosition)) != entry)
        return;
    if (selectionMode != OrvelList::NoSelection)
        q->selectItem(index);
    Q_EMIT q->itemClicked(index);
}

void OrvelListPrivate::longTapTimeout()
{
    if (pressedEntry < 0 || !pressedIndex.isValid() || panning)
        return;
    longTapped = true;
    setDown(pressedEntry, false);
    const QModelIndex index = pressedIndex;
    Q_EMIT q->itemLongTapped(index, pressPosition);
}

void OrvelListPrivate::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (rebuildPending)
        return;
    for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
        const Entry &e = entries.at(it.key());
        const QModelIndex index = e.index;
        if (index.parent() != topLeft.parent() || index.row() < topLeft.row()
            || index.row() > bottomRight.row())
            continue;
        if (e.header)
            static_cast<OrvelLabel *>(it.value())->setText(index.data(Qt::DisplayRole).toString());
        else
            creator->updateCell(index, it.value());
    }
}

void OrvelListPrivate::selectionChanged()
{
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        if (!entries.at(it.key()).header)
            applySelection(entries.at(it.key()).index, it.value());
}

OrvelList::OrvelList(QGraphicsItem *parent)
    : OrvelStylableWidget(parent)
    , d(new OrvelListPrivate(this))
{
    setFlag(ItemClipsChildrenToShape);
    setFiltersChildEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    setStyleName(QStringLiteral("CommonList"));
}

OrvelList::~OrvelList()
{
    d->disconnectModel();
    // Cells go with the list as its children; the recycler only forgets.
    qDeleteAll(d->cells);
    d->cells.clear();
    delete d;
}

QAbstractItemModel *OrvelList::itemModel() const
{
    return d->model;
}

void OrvelList::setItemModel(QAbstractItemModel *model)
{
    if (model == d->model)
        return;
    d->recycleAll();
    d->disconnectModel();
    d->model = model;
    // A selection model over another model no longer applies.
    if (d->selection && d->selection->model() != model) {
        QObject::disconnect(d->selection, nullptr, d, nullptr);
        if (d->ownSelection)
            delete d->selection;
        d->selection = nullptr;
        d->ownSelection = false;
    }
    d->connectModel();
    d->scroll = 0;
    d->rebuild();
}

OrvelAbstractCellCreator *OrvelList::cellCreator() const
{
    return d->creator;
}

void OrvelList::setCellCreator(OrvelAbstractCellCreator *creator)
{
    if (creator == d->creator)
        return;
    // Cells of the old creator may not suit the new one.
    d->recycleAll();
    d->recycler.clear();
    delete d->creator;
    d->creator = creator;
    d->rebuild();
}

OrvelWidgetRecycler &OrvelList::recycler() const
{
    return d->recycler;
}

bool OrvelList::showGroups() const
{
    return d->showGroups;
}

void OrvelList::setShowGroups(bool show)
{
    d->showGroups = show;
    d->rebuild();
}

int OrvelList::columns() const
{
    return d->columns;
}

void OrvelList::setColumns(int columns)
{
    d->columns = qMax(1, columns);
    d->rebuild();
}

QItemSelectionModel *OrvelList::selectionModel() const
{
    if (!d->selection && d->model && d->selectionMode != NoSelection) {
        d->selection = new QItemSelectionModel(d->model, d);
        d->ownSelection = true;
        QObject::connect(d->selection, &QItemSelectionModel::selectionChanged, d,
                         &OrvelListPrivate::selectionChanged);
    }
    return d->selection;
}

void OrvelList::setSelectionModel(QItemSelectionModel *model)
{
    if (d->selection)
        QObject::disconnect(d->selection, nullptr, d, nullptr);
    if (d->ownSelection)
        delete d->selection;
    d->ownSelection = false;
    d->selection = model;
    if (model) {
        QObject::connect(model, &QItemSelectionModel::selectionChanged, d,
                         &OrvelListPrivate::selectionChanged);
        if (d->selectionMode == NoSelection)
            d->selectionMode = SingleSelection;
    }
    d->selectionChanged();
}

OrvelList::SelectionMode OrvelList::selectionMode() const
{
    return d->selectionMode;
}

void OrvelList::setSelectionMode(SelectionMode mode)
{
    d->selectionMode = mode;
}

void OrvelList::selectItem(const QModelIndex &index)
{
    QItemSelectionModel *selection = selectionModel();
    if (!selection || !index.isValid())
        return;
    if (d->selectionMode == MultiSelection)
        selection->select(index, QItemSelectionModel::Toggle);
    else
        selection->select(index, QItemSelectionModel::ClearAndSelect);
}

qreal OrvelList::scrollPosition() const
{
    return d->scroll;
}

void OrvelList::setScrollPosition(qreal position)
{
    const qreal limit = qMax<qreal>(0, d->contentHeight - size().height());
    d->scroll = qBound<qreal>(0, position, limit);
    d->updateViewport();
}

void OrvelList::scrollTo(const QModelIndex &index)
{
    for (const auto &e : std::as_const(d->entries)) {
        if (e.index != index)
            continue;
        if (e.y < d->scroll)
            setScrollPosition(e.y);
        else if (e.y + e.height > d->scroll + size().height())
            setScrollPosition(e.y + e.height - size().height());
        return;
    }
}

qreal OrvelList::contentHeight() const
{
    return d->contentHeight;
}

QList<OrvelWidget *> OrvelList::visibleCells() const
{
    QList<int> keys = d->cells.keys();
    std::sort(keys.begin(), keys.end());
    QList<OrvelWidget *> shown;
    for (int key : std::as_const(keys))
        if (!d->entries.at(key).header)
            shown.append(d->cells.value(key));
    return shown;
}

OrvelWidget *OrvelList::cellForIndex(const QModelIndex &index) const
{
    for (auto it = d->cells.cbegin(); it != d->cells.cend(); ++it)
        if (d->entries.at(it.key()).index == index)
            return it.value();
    return nullptr;
}

QModelIndex OrvelList::indexAt(const QPointF &scenePosition) const
{
    const int entry = d->entryAt(mapFromScene(scenePosition));
    return entry < 0 ? QModelIndex() : QModelIndex(d->entries.at(entry).index);
}

QSizeF OrvelList::sizeHint(Qt::SizeHint which, const QSizeF &constraint) const
{
    switch (which) {
    case Qt::MinimumSize:
        return QSizeF(100, qMin<qreal>(d->contentHeight, 2 * d->cellHeight()));
    case Qt::PreferredSize:
        return QSizeF(480, d->contentHeight);
    default:
        return OrvelStylableWidget::sizeHint(which, constraint);
    }
}

void OrvelList::resizeEvent(QGraphicsSceneResizeEvent *event)
{
    OrvelStylableWidget::resizeEvent(event);
    setScrollPosition(d->scroll);
}

bool OrvelList::sceneEventFilter(QGraphicsItem *, QEvent *event)
{
    // Taps and drags anywhere on the cells belong to the list.
    switch (event->type()) {
    case QEvent::GraphicsSceneMousePress:
        d->press(static_cast<QGraphicsSceneMouseEvent *>(event)->scenePos());
        return true;
    case QEvent::GraphicsSceneMouseMove:
        d->move(static_cast<QGraphicsSceneMouseEvent *>(event)->scenePos());
        return true;
    case QEvent::GraphicsSceneMouseRelease:
        d->release(static_cast<QGraphicsSceneMouseEvent *>(event)->scenePos());
        return true;
    case QEvent::UngrabMouse:
        if (d->handingOver)
            return false;
        d->pressActive = false;
        d->longTapTimer.stop();
        d->setDown(d->pressedEntry, false);
        return false;
    default:
        return false;
    }
}

void OrvelList::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
    d->press(event->scenePos());
}

void OrvelList::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    d->move(event->scenePos());
}

void OrvelList::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    d->release(event->scenePos());
}

void OrvelList::wheelEvent(QGraphicsSceneWheelEvent *event)
{
    setScrollPosition(d->scroll - event->delta() / 2.0);
    event->accept();
}
