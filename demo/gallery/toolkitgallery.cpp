#include "dialoghelperwidget.h"
#include "drilldownitem.h"
#include "gallery.h"
#include "orvelabstractcellcreator.h"
#include "orvelaction.h"
#include "orvelapplicationwindow.h"
#include "orvelbutton.h"
#include "orvelcontentitem.h"
#include "orvelimagewidget.h"
#include "orvellabel.h"
#include "orvellayout.h"
#include "orvellinearlayoutpolicy.h"
#include "orvellist.h"
#include "orvelmessagebox.h"
#include "orvelobjectmenu.h"
#include "orvelprogressindicator.h"
#include "orvelseparator.h"
#include "orveltextedit.h"
#include "orvelwidgetrecycler.h"
#include "simplecheckboxlabel.h"
#include "simpleframe.h"
#include "simpleinformationbanner.h"
#include "simplesheet.h"
#include "toolkittesting.h"

#include <QStandardItemModel>

using namespace ToolkitTesting;

namespace {

class DeviceCellCreator : public OrvelAbstractCellCreator
{
public:
    OrvelWidget *createCell(const QModelIndex &index, OrvelWidgetRecycler &recycler) const override
    {
        auto cell
            = qobject_cast<OrvelContentItem *>(recycler.take(QStringLiteral("OrvelContentItem")));
        if (!cell)
            cell = new OrvelContentItem(OrvelContentItem::IconAndTwoTextLabels);
        updateCell(index, cell);
        return cell;
    }
    void updateCell(const QModelIndex &index, OrvelWidget *cell) const override
    {
        auto item = static_cast<OrvelContentItem *>(cell);
        item->setTitle(index.data().toString());
        item->setSubtitle(index.data(Qt::ToolTipRole).toString());
        item->setIconId(index.data(Qt::DecorationRole).toString());
        const int rows = index.model()->rowCount(index.parent());
        item->setLayoutPosition(rows < 2               ? OrvelContentItem::DefaultPosition
                                    : index.row() == 0 ? OrvelContentItem::VerticalTopPosition
                                    : index.row() < rows - 1
                                    ? OrvelContentItem::VerticalCenterPosition
                                    : OrvelContentItem::VerticalBottomPosition);
    }
};

QStandardItem *device(const QString &name, const QString &detail, const QString &icon)
{
    auto item = new QStandardItem(name);
    item->setData(detail, Qt::ToolTipRole);
    item->setData(icon, Qt::DecorationRole);
    return item;
}

// A page in a column layout on the window.
struct Page
{
    OrvelSceneWindow *window = new OrvelSceneWindow;
    OrvelLinearLayoutPolicy *column;
    explicit Page(OrvelApplicationWindow *app)
    {
        auto layout = new OrvelLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        column = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
        window->appear(app, OrvelSceneWindow::DestroyWhenDone);
    }
    template<typename W> W *add(W *widget, Qt::Alignment alignment = {})
    {
        widget->setParentItem(window);
        column->addItem(widget, alignment);
        return widget;
    }
};

OrvelStylableWidget *header(const QString &title, OrvelButton **switchButton)
{
    auto panel = new OrvelStylableWidget;
    panel->setStyleName(QStringLiteral("CommonPanel"));
    panel->setViewType(QStringLiteral("background"));
    auto layout = new OrvelLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto row = new OrvelLinearLayoutPolicy(layout, Qt::Horizontal);
    auto icon = new OrvelImageWidget(QStringLiteral("icon-m-bluetooth"), panel);
    icon->setStyleName(QStringLiteral("CommonMainIcon"));
    row->addItem(icon, Qt::AlignCenter);
    auto label = new OrvelLabel(title, panel);
    label->setStyleName(QStringLiteral("CommonSingleTitle"));
    row->addItem(label);
    row->addStretch();
    auto button = new OrvelButton(panel);
    button->setViewType(OrvelButton::switchType);
    button->setStyleName(QStringLiteral("CommonRightSwitch"));
    button->setCheckable(true);
    row->addItem(button, Qt::AlignCenter);
    *switchButton = button;
    return panel;
}

void toolkitWidgets(Gallery &gallery)
{
    OrvelApplicationWindow app;
    Page page(&app);
    OrvelButton *onOff;
    page.add(header(QStringLiteral("Bluetooth"), &onOff));
    onOff->setChecked(true);
    auto title = page.add(new OrvelLabel(QStringLiteral("Name from outside: <b>x</b>&amp;")));
    title->setStyleName(QStringLiteral("CommonTitle"));
    page.add(new OrvelSeparator);
    auto body = page.add(new OrvelLabel(
        QStringLiteral("Body text wraps over several lines when it is too long for one line of the "
                       "handset's portrait screen.")));
    body->setStyleName(QStringLiteral("CommonBodyText"));
    body->setWordWrap(true);
    auto edit = page.add(
        new OrvelTextEdit(OrvelTextEdit::FreeTextContentType, QStringLiteral("My phone")));
    edit->setStyleName(QStringLiteral("CommonSingleInputFieldLabeled"));
    auto empty = page.add(new OrvelTextEdit);
    empty->setPrompt(QStringLiteral("Type a PIN code"));
    empty->setStyleName(QStringLiteral("CommonSingleInputFieldLabeled"));
    auto off = new OrvelButton;
    page.add(
        new Ovrin::SimpleCheckBoxLabel(off, QStringLiteral("Switch off"), OrvelButton::switchType));
    auto on = new OrvelButton;
    page.add(
        new Ovrin::SimpleCheckBoxLabel(on, QStringLiteral("Switch on"), OrvelButton::switchType));
    on->setChecked(true);
    auto push = page.add(new OrvelButton(QStringLiteral("Remove pairing")), Qt::AlignHCenter);
    push->setStyleName(QStringLiteral("CommonSingleButton"));
    auto inverted = page.add(new OrvelButton(QStringLiteral("Connect")), Qt::AlignHCenter);
    inverted->setStyleName(QStringLiteral("CommonSingleButtonInverted"));
    auto disabled = page.add(new OrvelButton(QStringLiteral("Disabled")), Qt::AlignHCenter);
    disabled->setEnabled(false);
    auto spinner = page.add(new OrvelProgressIndicator, Qt::AlignHCenter);
    spinner->setUnknownDuration(true);
    auto bar = page.add(new OrvelProgressIndicator(nullptr, OrvelProgressIndicator::barType),
                        Qt::AlignHCenter);
    bar->setValue(60);
    auto unknown
        = page.add(new OrvelImageWidget(QStringLiteral("icon-m-no-such-icon")), Qt::AlignHCenter);
    unknown->setStyleName(QStringLiteral("CommonMainIcon"));
    gallery.save(&app, QStringLiteral("toolkit-widgets"));
}

void toolkitListMenuAndMessageBox(Gallery &gallery)
{
    OrvelApplicationWindow app;
    Page page(&app);
    QStandardItemModel model;
    auto paired = new QStandardItem(QStringLiteral("Paired devices"));
    paired->appendRow(device(QStringLiteral("Car kit"), QStringLiteral("Connected"),
                             QStringLiteral("icon-m-bluetooth-carkit")));
    paired->appendRow(device(QStringLiteral("Headset <b>"), QStringLiteral("Trusted"),
                             QStringLiteral("icon-m-common-handsfree")));
    auto other = new QStandardItem(QStringLiteral("Other devices"));
    other->appendRow(device(QStringLiteral("Laptop"), QStringLiteral("00:11:22:33:44:55"),
                            QStringLiteral("icon-m-bluetooth-laptop")));
    other->appendRow(device(QStringLiteral("Phone"), QStringLiteral("00:11:22:33:44:66"),
                            QStringLiteral("icon-m-common-phone")));
    other->appendRow(device(QStringLiteral("Printer"), QStringLiteral("00:11:22:33:44:77"),
                            QStringLiteral("icon-m-common-printer")));
    other->appendRow(device(QStringLiteral("Keyboard"), QStringLiteral("00:11:22:33:44:88"),
                            QStringLiteral("icon-m-common-keyboard")));
    model.appendRow(paired);
    model.appendRow(other);
    auto list = page.add(new OrvelList);
    list->setCellCreator(new DeviceCellCreator);
    list->setShowGroups(true);
    list->setSelectionMode(OrvelList::SingleSelection);
    list->setItemModel(&model);
    settle();
    list->selectItem(model.index(0, 0, model.index(0, 0)));
    gallery.save(&app, QStringLiteral("toolkit-list"));

    for (const QString &text : { QStringLiteral("Disconnect"), QStringLiteral("Remove pairing"),
                                 QStringLiteral("Set as untrusted"), QStringLiteral("Block") }) {
        auto action = new OrvelAction(text, list);
        action->setLocation(OrvelAction::ObjectMenuLocation);
        list->addAction(action);
    }
    auto menu = new OrvelObjectMenu(list);
    menu->setCursorPosition(QPointF(240, 200));
    menu->appear(&app, OrvelSceneWindow::DestroyWhenDone);
    gallery.save(&app, QStringLiteral("toolkit-objectmenu"));
    menu->disappear();

    auto box
        = new OrvelMessageBox(QStringLiteral("Receive file?"),
                              QStringLiteral("Phone wants to send you holiday-photo.jpg. Accept?"),
                              QMessageBox::Yes | QMessageBox::No);
    box->setIconId(QStringLiteral("icon-m-bluetooth"));
    box->appear(&app, OrvelSceneWindow::DestroyWhenDone);
    gallery.save(&app, QStringLiteral("toolkit-messagebox"));
}

void companionSheet(Gallery &gallery)
{
    OrvelApplicationWindow app;
    Ovrin::SimpleSheet sheet;
    sheet.setStyleName(QStringLiteral("Inverted"));
    sheet.setTitle(QStringLiteral("Pair with Headset"));
    sheet.setAcceptLabel(QStringLiteral("Pair"));
    sheet.setRejectLabel(QStringLiteral("Cancel"));
    sheet.setProgressIndicatorVisible(true);
    auto content = new OrvelWidget;
    auto layout = new OrvelLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto column = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    auto frame = new Ovrin::SimpleFrame(QStringLiteral("Passcode"), content);
    auto edit = new OrvelTextEdit(OrvelTextEdit::NumberContentType, QStringLiteral("0000"));
    edit->setStyleName(QStringLiteral("CommonSingleInputFieldLabeled"));
    frame->setContent(edit);
    column->addItem(frame);
    auto spacer = new OrvelStylableWidget(content);
    spacer->setStyleName(QStringLiteral("CommonLargeSpacer"));
    column->addItem(spacer);
    auto trust = new OrvelButton;
    trust->setStyleName(QStringLiteral("CommonRightSwitch"));
    column->addItem(new Ovrin::SimpleCheckBoxLabel(trust, QStringLiteral("Trusted"),
                                                   OrvelButton::switchType, content));
    trust->setChecked(true);
    sheet.setContent(new Ovrin::DialogHelperWidget(content));
    sheet.appear(&app);
    gallery.save(&sheet, QStringLiteral("companion-sheet"));
    sheet.setAcceptEnabled(false);
    sheet.setProgressIndicatorVisible(false);
    gallery.save(&app, QStringLiteral("companion-sheet-disabled"));
}

void companionSettingsWithBanner(Gallery &gallery)
{
    OrvelApplicationWindow app;
    Page page(&app);
    OrvelButton *onOff;
    page.add(header(QStringLiteral("Bluetooth"), &onOff));
    onOff->setChecked(true);
    auto frame = page.add(new Ovrin::SimpleFrame(QStringLiteral("My device")));
    auto column = new OrvelWidget;
    auto layout = new OrvelLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    auto policy = new OrvelLinearLayoutPolicy(layout, Qt::Vertical);
    auto name = new Ovrin::DrillDownItem(column);
    name->setTitle(QStringLiteral("Name"));
    name->setSubtitle(QStringLiteral("Ovrin handset"));
    policy->addItem(name);
    auto visible = new OrvelButton;
    policy->addItem(new Ovrin::SimpleCheckBoxLabel(visible, QStringLiteral("Visible"),
                                                   OrvelButton::switchType, column));
    frame->setContent(column);
    page.add(new OrvelSeparator);
    auto devices = page.add(new Ovrin::DrillDownItem);
    devices->setTitle(QStringLiteral("Devices"));
    page.add(new OrvelSeparator);
    auto status = new OrvelButton;
    page.add(new Ovrin::SimpleCheckBoxLabel(status, QStringLiteral("Show in status menu"),
                                            OrvelButton::switchType));
    status->setChecked(true);
    page.column->addStretch();
    settle();
    gallery.save(&app, QStringLiteral("companion-settings"));
    Ovrin::SimpleInformationBanner::show(QStringLiteral("Connecting to Car kit failed"),
                                         QStringLiteral("icon-m-bluetooth"));
    gallery.save(&app, QStringLiteral("companion-banner"));
}
} // namespace

void Gallery::toolkit()
{
    toolkitWidgets(*this);
    toolkitListMenuAndMessageBox(*this);
    companionSheet(*this);
    companionSettingsWithBanner(*this);
}
