#ifndef OVRIN_SIMPLESHEET_H
#define OVRIN_SIMPLESHEET_H

#include "orvelsheet.h"

class OrvelButton;

namespace Ovrin {

class SimpleSheetPrivate;

// A full-screen sheet with a title bar (reject button, title, spinner, accept
// button) over a content area. The buttons call accept() and reject(), which
// call done(); subclasses may override done() and refuse to close by not
// calling the base, which closes the sheet and emits accepted()/rejected().
class Q_DECL_EXPORT SimpleSheet : public OrvelSheet
{
    Q_OBJECT
public:
    SimpleSheet();
    ~SimpleSheet() override;

    QString title() const;
    void setTitle(const QString &title);
    void setAcceptLabel(const QString &label);
    void setRejectLabel(const QString &label);
    void setAcceptEnabled(bool enabled);
    bool isAcceptEnabled() const;
    // The sheet owns the content; a replaced content is deleted.
    void setContent(QGraphicsWidget *content);
    QGraphicsWidget *content() const;
    void setProgressIndicatorVisible(bool visible);
    bool isProgressIndicatorVisible() const;
    // Whether the last done() was an accept.
    bool isAccepted() const;

    OrvelButton *acceptButton() const;
    OrvelButton *rejectButton() const;

public Q_SLOTS:
    virtual void accept();
    virtual void reject();
    virtual void done(bool accepted);

Q_SIGNALS:
    void accepted();
    void rejected();

protected:
    // Builds the content; the base has none to build.
    virtual void createContent();

private:
    SimpleSheetPrivate *d;
};

} // namespace Ovrin

#endif // OVRIN_SIMPLESHEET_H
