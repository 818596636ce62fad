#include "orvelobjectmenu.h"

#include "orvelaction.h"
#include "orvelbutton.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

#include <QPainter>

OrvelObjectMenu::OrvelObjectMenu(OrvelWidget *target)
{
    setStyleName(QStringLiteral("CommonObjectMenu"));
    auto layout = new OrvelLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    policy->setSpacing(0);
    const QList<QAction *> all = target ? target->actions() : QList<QAction *>();
    for (QAction *action : all) {
        auto orvel = qobject_cast<OrvelAction *>(action);
        if (orvel && !(orvel->location() & OrvelAction::ObjectMenuLocation))
            continue;
        if (!action->isVisible())
            continue;
        m_actions.append(action);
        auto button = new OrvelButton(action->text(), this);
        button->setStyleName(QStringLiteral("CommonObjectMenuItemInverted"));
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        button->setEnabled(action->isEnabled());
        connect(button, &OrvelButton::clicked, this, [this, action] {
            disappear();
            action->trigger();
        });
        policy->addItem(button);
        m_buttons.append(button);
    }
}

OrvelObjectMenu::~OrvelObjectMenu() = default;

QList<QAction *> OrvelObjectMenu::menuActions() const
{
    return m_actions;
}

QPointF OrvelObjectMenu::cursorPosition() const
{
    return m_cursor;
}

void OrvelObjectMenu::setCursorPosition(const QPointF &scenePosition)
{
    m_cursor = scenePosition;
}

OrvelButton *OrvelObjectMenu::buttonForAction(const QAction *action) const
{
    const int index = int(m_actions.indexOf(const_cast<QAction *>(action)));
    return m_buttons.value(index);
}

QRectF OrvelObjectMenu::placement(const QRectF &screen) const
{
    const qreal width = 400;
    const qreal height = effectiveSizeHint(Qt::PreferredSize, QSizeF(width, -1)).height();
    // Below the tapped point when there is room, else above it; always on screen.
    qreal y = m_cursor.y() + 16;
    if (y + height > screen.bottom() - 8)
        y = m_cursor.y() - 16 - height;
    y = qBound(screen.top() + 8, y, screen.bottom() - 8 - height);
    const qreal x = screen.left() + (screen.width() - width) / 2;
    return QRectF(x, y, width, height);
}

void OrvelObjectMenu::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(OrvelTheme::palette(true).panel);
    painter->drawRoundedRect(rect(), 14, 14);
    painter->restore();
}
