#ifndef ORVELIMAGEWIDGET_H
#define ORVELIMAGEWIDGET_H

#include "orvelstylablewidget.h"

// Shows one theme icon by its id.
class Q_DECL_EXPORT OrvelImageWidget : public OrvelStylableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString image READ image WRITE setImage)
public:
    explicit OrvelImageWidget(QGraphicsItem *parent = nullptr);
    explicit OrvelImageWidget(const QString &iconId, QGraphicsItem *parent = nullptr);
    ~OrvelImageWidget() override;

    QString image() const;
    void setImage(const QString &iconId);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    QString m_iconId;
};

#endif // ORVELIMAGEWIDGET_H
