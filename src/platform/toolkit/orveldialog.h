#ifndef ORVELDIALOG_H
#define ORVELDIALOG_H

#include "orvelscenewindow.h"

#include <QMessageBox>

class OrvelButton;
class OrvelDialogPrivate;

// A modal box over the shaded screen: a title, a central widget and a row of
// buttons. exec() shows it and runs a local event loop until it is done.
// Standard buttons use QMessageBox's values; pressing one finishes the
// dialog with that value, and its role decides accepted() or rejected().
class Q_DECL_EXPORT OrvelDialog : public OrvelSceneWindow
{
    Q_OBJECT
public:
    using StandardButton = QMessageBox::StandardButton;
    using StandardButtons = QMessageBox::StandardButtons;
    enum DialogCode { Rejected = 0, Accepted = 1 };

    explicit OrvelDialog(QGraphicsItem *parent = nullptr);
    OrvelDialog(const QString &title, StandardButtons buttons, QGraphicsItem *parent = nullptr);
    ~OrvelDialog() override;

    QString title() const;
    void setTitle(const QString &title);
    QGraphicsWidget *centralWidget() const;
    void setCentralWidget(QGraphicsWidget *widget);

    void setStandardButtons(StandardButtons buttons);
    StandardButtons standardButtons() const;
    OrvelButton *button(StandardButton which) const;
    QList<OrvelButton *> buttons() const;
    // A button of one's own that finishes the dialog with result.
    OrvelButton *addButton(const QString &text, int result, bool accepts);

    int result() const;
    // Shows the dialog on the window (or the active one) and waits for it.
    int exec(OrvelApplicationWindow *window = nullptr);

    QRectF placement(const QRectF &screen) const override;
    bool isModal() const override { return true; }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

public Q_SLOTS:
    void accept();
    void reject();
    virtual void done(int result);

Q_SIGNALS:
    void accepted();
    void rejected();
    void finished(int result);

protected:
    // Tapping the shade beside a dialog does not close it: the user answers.
    void dismissEvent() override { }

private:
    void finish(int result, bool accepts);

    OrvelDialogPrivate *d;
};

#endif // ORVELDIALOG_H
