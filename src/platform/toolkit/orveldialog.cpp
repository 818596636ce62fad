#include "orveldialog.h"

#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"

#include <QEventLoop>
#include <QPainter>
#include <QPointer>

class OrvelDialogPrivate
{
public:
    OrvelLabel *title = nullptr;
    QGraphicsWidget *central = nullptr;
    OrvelWidget *buttonRow = nullptr;
    OrvelLinearLayoutPolicy *mainPolicy = nullptr;
    OrvelLinearLayoutPolicy *buttonPolicy = nullptr;
    QList<QPair<OrvelButton *, OrvelDialog::StandardButton>> standard;
    QList<OrvelButton *> buttons;
    int result = OrvelDialog::Rejected;
    QEventLoop *loop = nullptr;
};

namespace {

QString standardText(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return QStringLiteral("OK");
    case QMessageBox::Yes:
        return QStringLiteral("Yes");
    case QMessageBox::No:
        return QStringLiteral("No");
    case QMessageBox::Cancel:
        return QStringLiteral("Cancel");
    case QMessageBox::Close:
        return QStringLiteral("Close");
    default:
        return QStringLiteral("OK");
    }
}

bool accepts(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
    case QMessageBox::Yes:
    case QMessageBox::YesToAll:
    case QMessageBox::Save:
    case QMessageBox::Open:
    case QMessageBox::Apply:
        return true;
    default:
        return false;
    }
}

} // namespace

OrvelDialog::OrvelDialog(QGraphicsItem *parent)
    : OrvelDialog(QString(), {}, parent)
{
}

OrvelDialog::OrvelDialog(const QString &title, StandardButtons buttons, QGraphicsItem *parent)
    : OrvelSceneWindow(parent)
    , d(new OrvelDialogPrivate)
{
    setStyleName(QStringLiteral("CommonDialog"));
    auto layout = new OrvelLayout(this);
    layout->setContentsMargins(0, 0, 0, 16);
    d->mainPolicy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    d->title = new OrvelLabel(title, this);
    d->title->setStyleName(QStringLiteral("CommonDialogTitle"));
    d->title->setWordWrap(true);
    d->title->setAlignment(Qt::AlignCenter);
    d->mainPolicy->addItem(d->title);
    d->buttonRow = new OrvelWidget(this);
    auto rowLayout = new OrvelLayout(d->buttonRow);
    rowLayout->setContentsMargins(16, 8, 16, 0);
    d->buttonPolicy = new OrvelLinearLayoutPolicy(rowLayout, Qt::Horizontal);
    d->buttonPolicy->setSpacing(16);
    d->buttonPolicy->addStretch();
    d->buttonPolicy->addStretch();
    d->mainPolicy->addItem(d->buttonRow);
    setStandardButtons(buttons);
}

OrvelDialog::~OrvelDialog()
{
    if (d->loop)
        d->loop->quit();
    delete d;
}

QString OrvelDialog::title() const
{
    return d->title->text();
}

void OrvelDialog::setTitle(const QString &title)
{
    d->title->setText(title);
    d->title->setVisible(!title.isEmpty());
}

QGraphicsWidget *OrvelDialog::centralWidget() const
{
    return d->central;
}

void OrvelDialog::setCentralWidget(QGraphicsWidget *widget)
{
    if (d->central == widget)
        return;
    delete d->central;
    d->central = widget;
    if (widget) {
        widget->setParentItem(this);
        d->mainPolicy->insertItem(1, widget);
    }
}

void OrvelDialog::setStandardButtons(StandardButtons buttons)
{
    for (const auto &pair : std::as_const(d->standard)) {
        d->buttons.removeAll(pair.first);
        delete pair.first;
    }
    d->standard.clear();
    // In QMessageBox's order of values, which puts Yes before No.
    for (uint bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (!(buttons & bit))
            continue;
        const auto which = StandardButton(bit);
        OrvelButton *button = addButton(standardText(which), which, ::accepts(which));
        d->standard.append({ button, which });
    }
}

OrvelDialog::StandardButtons OrvelDialog::standardButtons() const
{
    StandardButtons all;
    for (const auto &pair : std::as_const(d->standard))
        all |= pair.second;
    return all;
}

OrvelButton *OrvelDialog::button(StandardButton which) const
{
    for (const auto &pair : std::as_const(d->standard))
        if (pair.second == which)
            return pair.first;
    return nullptr;
}

QList<OrvelButton *> OrvelDialog::buttons() const
{
    return d->buttons;
}

OrvelButton *OrvelDialog::addButton(const QString &text, int result, bool accepting)
{
    auto button = new OrvelButton(text, d->buttonRow);
    button->setStyleName(QStringLiteral("CommonDialogButton"));
    connect(button, &OrvelButton::clicked, this,
            [this, result, accepting] { finish(result, accepting); });
    // Between the two stretches, so the row stays centred.
    d->buttonPolicy->insertItem(d->buttonPolicy->count() - 1, button);
    d->buttons.append(button);
    return button;
}

int OrvelDialog::result() const
{
    return d->result;
}

int OrvelDialog::exec(OrvelApplicationWindow *window)
{
    QPointer<OrvelDialog> self(this);
    QEventLoop loop;
    d->loop = &loop;
    appear(window, deletionPolicy());
    loop.exec(QEventLoop::DialogExec);
    if (!self)
        return Rejected;
    d->loop = nullptr;
    return d->result;
}

void OrvelDialog::accept()
{
    finish(Accepted, true);
}

void OrvelDialog::reject()
{
    finish(Rejected, false);
}

void OrvelDialog::finish(int result, bool accepting)
{
    done(result);
    if (accepting)
        Q_EMIT accepted();
    else
        Q_EMIT rejected();
}

void OrvelDialog::done(int result)
{
    d->result = result;
    if (d->loop)
        d->loop->quit();
    disappear();
    Q_EMIT finished(result);
}

QRectF OrvelDialog::placement(const QRectF &screen) const
{
    const qreal width = screen.width() - 32;
    const qreal height = qMin(screen.height() - 32,
                              effectiveSizeHint(Qt::PreferredSize, QSizeF(width, -1)).height());
    return QRectF(screen.left() + 16, screen.top() + (screen.height() - height) / 2, width, height);
}

void OrvelDialog::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().panel);
    painter->drawRoundedRect(rect(), 16, 16);
    painter->restore();
}
