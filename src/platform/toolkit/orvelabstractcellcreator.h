#ifndef ORVELABSTRACTCELLCREATOR_H
#define ORVELABSTRACTCELLCREATOR_H

#include <QModelIndex>
#include <QSizeF>

class OrvelWidget;
class OrvelWidgetRecycler;

// Makes the cells of an OrvelList. createCell() should take a recycled cell
// of the right kind from the recycler before building a new one; the list
// gives cells back to the recycler when it no longer shows them.
class Q_DECL_EXPORT OrvelAbstractCellCreator
{
public:
    OrvelAbstractCellCreator();
    virtual ~OrvelAbstractCellCreator();

    virtual OrvelWidget *createCell(const QModelIndex &index,
                                    OrvelWidgetRecycler &recycler) const = 0;
    // Brings an existing cell up to date with the model's data.
    virtual void updateCell(const QModelIndex &index, OrvelWidget *cell) const = 0;
    // Every cell of the list has this size (the width is the column width).
    virtual QSizeF cellSize() const;
    void setCellSize(const QSizeF &size);

private:
    QSizeF m_cellSize;
};

#endif // ORVELABSTRACTCELLCREATOR_H
