#ifndef ORVELMESSAGEBOX_H
#define ORVELMESSAGEBOX_H

#include "orveldialog.h"

class OrvelImageWidget;
class OrvelLabel;

// A question or notice: title, icon, text and standard buttons.
class Q_DECL_EXPORT OrvelMessageBox : public OrvelDialog
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(QString iconId READ iconId WRITE setIconId)
public:
    explicit OrvelMessageBox(const QString &text = QString(),
                             StandardButtons buttons = QMessageBox::Ok);
    OrvelMessageBox(const QString &title, const QString &text,
                    StandardButtons buttons = QMessageBox::Ok);
    ~OrvelMessageBox() override;

    QString text() const;
    void setText(const QString &text);
    QString iconId() const;
    void setIconId(const QString &iconId);

private:
    OrvelImageWidget *m_icon;
    OrvelLabel *m_text;
};

#endif // ORVELMESSAGEBOX_H
