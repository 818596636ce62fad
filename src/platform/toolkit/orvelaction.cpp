#include "orvelaction.h"

OrvelAction::OrvelAction(QObject *parent)
    : QAction(parent)
{
}

OrvelAction::OrvelAction(const QString &text, QObject *parent)
    : QAction(text, parent)
{
}

OrvelAction::~OrvelAction() = default;

OrvelAction::Locations OrvelAction::location() const
{
    return m_location;
}

void OrvelAction::setLocation(Locations location)
{
    m_location = location;
}
