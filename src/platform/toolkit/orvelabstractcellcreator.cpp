#include "orvelabstractcellcreator.h"

OrvelAbstractCellCreator::OrvelAbstractCellCreator()
    : m_cellSize(480, 88)
{
}

OrvelAbstractCellCreator::~OrvelAbstractCellCreator() = default;

QSizeF OrvelAbstractCellCreator::cellSize() const
{
    return m_cellSize;
}

void OrvelAbstractCellCreator::setCellSize(const QSizeF &size)
{
    m_cellSize = size;
}
