// The paging controls: built on the window, shown as one, sending the page commands to a pane.
#include "ui/paginggroup.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

#include "ui/maincontrols.h"
#include "ui/staticlabel.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {

PagingGroup::PagingGroup(QWidget& window, std::function<CPhotoViewDlg*()> currentPane)
    : window_(window), currentPane_(std::move(currentPane)) {
    prevPage_ = new QPushButton(QStringLiteral("<<"), &window);
    SetControlId(*prevPage_, MainControls::kPrevPageId);
    prevPage_->setGeometry(238, 552, 20, 20);
    pageLabel_ = new CStaticLink(&window, MainControls::kPageLabelId);
    pageLabel_->setGeometry(258, 554, 40, 18);
    nextPage_ = new QPushButton(QStringLiteral(">>"), &window);
    SetControlId(*nextPage_, MainControls::kNextPageId);
    nextPage_->setGeometry(298, 552, 20, 20);
    pageEdit_ = new QLineEdit(&window);
    SetControlId(*pageEdit_, MainControls::kPageEditId);
    pageEdit_->setGeometry(328, 552, 50, 20);
    pageEdit_->setMaxLength(19);
    pageEdit_->setValidator(new QIntValidator(0, std::numeric_limits<int>::max(), pageEdit_));
    goPage_ = new QPushButton(QStringLiteral("Go"), &window);
    SetControlId(*goPage_, MainControls::kGoPageId);
    goPage_->setGeometry(383, 551, 20, 20);
    for (QPushButton* button : {prevPage_, nextPage_, goPage_}) {
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(prevPage_, &QPushButton::clicked, this, [this] { SendCommand(WM_PAGE_PREV); });
    connect(nextPage_, &QPushButton::clicked, this, [this] { SendCommand(WM_PAGE_NEXT); });
    connect(goPage_, &QPushButton::clicked, this, [this] { SendCommand(WM_PAGE_GOTO); });
    SetShown(false);
}

void PagingGroup::SetShown(bool shown) {
    ui::SetShown({prevPage_, pageLabel_, nextPage_, pageEdit_, goPage_}, shown);
}

void PagingGroup::ShowPageOf(const CPhotoViewDlg& pane) {
    pageLabel_->SetText(pane.PageText());
    pageEdit_->setText(pane.PageNumberText());
}

void PagingGroup::SetPageText(const QString& text) {
    pageLabel_->SetText(text);
}

void PagingGroup::SetPagingEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{prevPage_, nextPage_, pageEdit_, goPage_}) {
        control->setEnabled(enabled);
    }
}

void PagingGroup::SendCommand(int message) {
    CPhotoViewDlg* pane = currentPane_();
    if (pane == nullptr) {
        return;
    }
    quintptr page = 0;
    if (message == WM_PAGE_GOTO) {
        bool ok = false;
        const int number = pageEdit_->text().left(19).toInt(&ok);
        page = ok && number > 0 ? static_cast<quintptr>(number) : 0;
    }
    SendWindowMessage(pane, message, page);
}

}  // namespace pixhaven::ui
