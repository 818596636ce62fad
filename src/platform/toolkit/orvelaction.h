#ifndef ORVELACTION_H
#define ORVELACTION_H

#include <QAction>

// An action that knows where it is offered: the object menu of a long tap,
// a tool bar, the application menu.
class Q_DECL_EXPORT OrvelAction : public QAction
{
    Q_OBJECT
public:
    enum Location {
        NoLocation = 0,
        ToolBarLocation = 1,
        ApplicationMenuLocation = 2,
        ObjectMenuLocation = 4,
        EveryLocation = 7
    };
    Q_DECLARE_FLAGS(Locations, Location)
    Q_FLAG(Locations)

    explicit OrvelAction(QObject *parent = nullptr);
    OrvelAction(const QString &text, QObject *parent = nullptr);
    ~OrvelAction() override;

    Locations location() const;
    void setLocation(Locations location);

private:
    Locations m_location = EveryLocation;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(OrvelAction::Locations)

#endif // ORVELACTION_H
