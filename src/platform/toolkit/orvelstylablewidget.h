#ifndef ORVELSTYLABLEWIDGET_H
#define ORVELSTYLABLEWIDGET_H

#include "orveltheme.h"
#include "orvelwidget.h"

// A toolkit widget whose look comes from the theme by style name, and whose
// variant is chosen by a view type.
class Q_DECL_EXPORT OrvelStylableWidget : public OrvelWidget
{
    Q_OBJECT
    Q_PROPERTY(QString styleName READ styleName WRITE setStyleName)
    Q_PROPERTY(QString viewType READ viewType WRITE setViewType)
public:
    static const QString defaultType;

    explicit OrvelStylableWidget(QGraphicsItem *parent = nullptr);
    ~OrvelStylableWidget() override;

    QString styleName() const;
    void setStyleName(const QString &name);
    QString viewType() const;
    void setViewType(const QString &type);

    OrvelStyle style() const { return m_style; }
    const OrvelPalette &palette() const { return OrvelTheme::palette(this); }

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
               QWidget *widget = nullptr) override;

protected:
    // Run after the style name or view type changed; the default applies the
    // theme's padding as contents margins.
    virtual void styleChanged();
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF &constraint = QSizeF()) const override;

private:
    QString m_styleName;
    QString m_viewType;
    OrvelStyle m_style;
};

#endif // ORVELSTYLABLEWIDGET_H
