#ifndef ORVELWIDGET_H
#define ORVELWIDGET_H

#include <QGraphicsWidget>

// The toolkit's base widget: a QGraphicsWidget that knows when it is on
// display (its scene window has appeared) and can carry actions.
class Q_DECL_EXPORT OrvelWidget : public QGraphicsWidget
{
    Q_OBJECT
    Q_PROPERTY(bool onDisplay READ isOnDisplay)
public:
    explicit OrvelWidget(QGraphicsItem *parent = nullptr);
    ~OrvelWidget() override;

    bool isOnDisplay() const;
    // Removes every action from the widget; the actions are not deleted.
    void clearActions();

    // Tells the widget and every toolkit widget below it that it came on or
    // went off display. Called by the scene manager.
    void enterDisplay();
    void exitDisplay();

Q_SIGNALS:
    void displayEntered();
    void displayExited();

protected:
    // Hooks for subclasses, run before the signals.
    virtual void enterDisplayEvent();
    virtual void exitDisplayEvent();

private:
    bool m_onDisplay = false;
};

#endif // ORVELWIDGET_H
