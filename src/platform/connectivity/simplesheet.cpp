#include "simplesheet.h"

#include "orvelbutton.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "orvelprogressindicator.h"

namespace Ovrin {

class SimpleSheetPrivate
{
public:
    OrvelStylableWidget *header = nullptr;
    OrvelButton *accept = nullptr;
    OrvelButton *reject = nullptr;
    OrvelLabel *title = nullptr;
    OrvelProgressIndicator *spinner = nullptr;
    bool accepted = false;
};

SimpleSheet::SimpleSheet()
    : d(new SimpleSheetPrivate)
{
    d->header = new OrvelStylableWidget;
    d->header->setStyleName(QStringLiteral("CommonSheetHeader"));
    d->header->setObjectName(QStringLiteral("SimpleSheetHeader"));
    auto layout = new OrvelLayout(d->header);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Horizontal);
    policy->setSpacing(8);

    d->reject = new OrvelButton(d->header);
    d->reject->setStyleName(QStringLiteral("CommonSheetHeaderButtonInverted"));
    d->reject->setObjectName(QStringLiteral("SimpleSheetRejectButton"));
    d->title = new OrvelLabel(d->header);
    d->title->setStyleName(QStringLiteral("CommonSheetTitle"));
    // Long titles (a device name) wrap onto a second line of the bar.
    d->title->setWordWrap(true);
    d->title->setAlignment(Qt::AlignCenter);
    QSizePolicy titlePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    d->title->setSizePolicy(titlePolicy);
    d->spinner = new OrvelProgressIndicator(d->header, OrvelProgressIndicator::spinnerType);
    d->spinner->setUnknownDuration(true);
    d->spinner->setStyleName(QStringLiteral("CommonSheetHeaderSpinner"));
    d->spinner->hide();
    d->accept = new OrvelButton(d->header);
    d->accept->setStyleName(QStringLiteral("CommonSheetHeaderButton"));
    d->accept->setObjectName(QStringLiteral("SimpleSheetAcceptButton"));

    policy->addItem(d->reject);
    policy->addItem(d->title);
    policy->setStretchFactor(d->title, 1);
    policy->addItem(d->spinner);
    policy->addItem(d->accept);
    setHeaderWidget(d->header);

    connect(d->accept, &OrvelButton::clicked, this, [this] { accept(); });
    connect(d->reject, &OrvelButton::clicked, this, [this] { reject(); });
}

SimpleSheet::~SimpleSheet()
{
    delete d;
}

QString SimpleSheet::title() const
{
    return d->title->text();
}

void SimpleSheet::setTitle(const QString &title)
{
    d->title->setText(title);
}

void SimpleSheet::setAcceptLabel(const QString &label)
{
    d->accept->setText(label);
}

void SimpleSheet::setRejectLabel(const QString &label)
{
    d->reject->setText(label);
}

void SimpleSheet::setAcceptEnabled(bool enabled)
{
    d->accept->setEnabled(enabled);
}

bool SimpleSheet::isAcceptEnabled() const
{
    return d->accept->isEnabled();
}

void SimpleSheet::setContent(QGraphicsWidget *content)
{
    setCentralWidget(content);
}

QGraphicsWidget *SimpleSheet::content() const
{
    return centralWidget();
}

void SimpleSheet::setProgressIndicatorVisible(bool visible)
{
    d->spinner->setVisible(visible);
}

bool SimpleSheet::isProgressIndicatorVisible() const
{
    return d->spinner->isVisibleTo(d->header);
}

bool SimpleSheet::isAccepted() const
{
    return d->accepted;
}

OrvelButton *SimpleSheet::acceptButton() const
{
    return d->accept;
}

OrvelButton *SimpleSheet::rejectButton() const
{
    return d->reject;
}

void SimpleSheet::accept()
{
    done(true);
}

void SimpleSheet::reject()
{
    done(false);
}

void SimpleSheet::done(bool accepted)
{
    d->accepted = accepted;
    disappear();
    if (accepted)
        Q_EMIT this->accepted();
    else
        Q_EMIT rejected();
}

void SimpleSheet::createContent() { }

} // namespace Ovrin
