#ifndef ORVELAPPLICATIONWINDOW_H
#define ORVELAPPLICATIONWINDOW_H

#include <QGraphicsView>

class OrvelSceneManager;
class OrvelApplicationWindowPrivate;

// The application's top-level window: a portrait 480x854 graphics view with
// its own scene and scene manager. A central widget fills the screen below
// the scene windows. Knows whether the application sits in the task switcher.
class Q_DECL_EXPORT OrvelApplicationWindow : public QGraphicsView
{
    Q_OBJECT
    Q_PROPERTY(bool inSwitcher READ isInSwitcher WRITE setInSwitcher NOTIFY switcherChanged)
public:
    static const QSize ScreenSize;

    explicit OrvelApplicationWindow(QWidget *parent = nullptr);
    ~OrvelApplicationWindow() override;

    OrvelSceneManager *sceneManager() const;
    void setCentralWidget(QGraphicsWidget *widget);
    QGraphicsWidget *centralWidget() const;

    bool isInSwitcher() const;

    // The window the application works in: the one last activated, else the
    // newest one; null when there is none.
    static OrvelApplicationWindow *activeWindow();
    // As activeWindow(), but makes (and shows) a window when there is none,
    // so that scene windows always have somewhere to appear.
    static OrvelApplicationWindow *activeWindowOrDefault();

public Q_SLOTS:
    // The task switcher tells the window when it takes it in and lets it go.
    void setInSwitcher(bool inSwitcher);

Q_SIGNALS:
    void switcherEntered();
    void switcherExited();
    void switcherChanged(bool inSwitcher);

protected:
    void changeEvent(QEvent *event) override;
    void drawBackground(QPainter *painter, const QRectF &rect) override;

private:
    OrvelApplicationWindowPrivate *d;
};

#endif // ORVELAPPLICATIONWINDOW_H
