// The results screen: its controls, which view a tree selection shows, and the ticks kept in step
// across the tree, the file list and the thumbnails.
#include "ui/resultsscreen.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "makerlibs/gildpaint.h"
#include "ui/categorytree.h"
#include "ui/fontpool.h"
#include "ui/imgbutton.h"
#include "ui/listviewcheck.h"
#include "ui/maincontrols.h"
#include "ui/paginggroup.h"
#include "ui/photoview.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {
namespace {

constexpr std::array<const char*, backup::kGroupCount> kCategoryIcons = {
    "cameraroll.png", "photostream.png", "msgattach.png", "jpeg.png", "png.png",
    "bmp.png",        "gif.png",         "tiff.png",      "mov.png",  "mp3.png",
    "mp4.png",        "videos.png",      "3gp.png"};

QString BareLabel(int category) {
    return QString::fromStdU16String(
        std::u16string(backup::kMediaGroups[static_cast<std::size_t>(category)].label));
}

bool IsPhotoCategory(int category) {
    return category >= 0 && category < ResultsScreen::kPhotoCategories;
}

}  // namespace

// The controls are created in their stacking and focus order.
ResultsScreen::ResultsScreen(QWidget& window) : window_(window) {
    backButton_ =
        AddImageButton(window, MainControls::kBackId, QStringLiteral("home.png"), 30, -25, 4);
    recoverButton_ = AddImageButton(window, MainControls::kRecoverId, QStringLiteral("recover.png"),
                                    -30, -25, 4);
    ShowCommands(false);
    CreateTree(window);
    CreateViews(window);
    paging_ = std::make_unique<PagingGroup>(window, [this] { return Pane(currentView_); });
    connect(backButton_, &QAbstractButton::clicked, this, &ResultsScreen::backClicked);
    connect(recoverButton_, &QAbstractButton::clicked, this, &ResultsScreen::recoverClicked);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { OnShowCategory(item); });
}

ResultsScreen::~ResultsScreen() = default;

void ResultsScreen::CreateTree(QWidget& window) {
    tree_ = new CTreeViewEx1(&window);
    SetControlId(*tree_, MainControls::kTreeId);
    tree_->setGeometry(2, 114, 213, 465);
    QTreeWidgetItem* root =
        tree_->InsertItem(nullptr, CTreeViewEx1::kRootCategory, QStringLiteral("  "));
    root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    for (int category = 0; category < backup::kGroupCount; ++category) {
        tree_->InsertItem(
            root, category, BareLabel(category),
            SkinImage(QString::fromLatin1(kCategoryIcons[static_cast<std::size_t>(category)])));
    }
    root->setExpanded(true);
    tree_->hide();
}

void ResultsScreen::CreateViews(QWidget& window) {
    fileList_ = new CListViewCheck1(&window);
    SetControlId(*fileList_, MainControls::kFileListId);
    fileList_->setGeometry(QRect(QPoint(218, 114), QPoint(984 - 1, 579 - 1)));
    fileList_->SetRowHeight(30);
    fileList_->hide();

    devicePanel_ = new CStaticLabel1(&window, MainControls::kDevicePanelId);
    devicePanel_->setGeometry(218, 114, 756, 464);
    devicePanel_->hide();
}

CPhotoViewDlg* ResultsScreen::Pane(int category) const {
    return IsPhotoCategory(category) ? panes_[static_cast<std::size_t>(category)].get() : nullptr;
}

// ---- Entering and leaving ----

void ResultsScreen::ShowScanning(backup::ScanResults& results, const backup::BackupInfo& device) {
    results_ = &results;
    devicePanel_->SetBackupInfo(device);  // hidden until the scan is complete
    SetRootText(QString::fromStdU16String(device.deviceName));
    tree_->SetItemState(tree_->RootItem(), kStateUnchecked);
    tree_->show();
}

void ResultsScreen::SetRootText(const QString& deviceName) {
    tree_->SetItemText(tree_->RootItem(), deviceName);
    const QFontMetrics metrics(FontPool().Font(font_code::kLargerBold));
    const bool tooWide = metrics.horizontalAdvance(deviceName) > kRootToolTipWidth;
    tree_->SetRootToolTip(tooWide ? deviceName : QString());
}

void ResultsScreen::ShowScanFinished() {
    ShowCommands(true);
    scanComplete_ = true;
    tree_->setCurrentItem(tree_->RootItem());
    ShowRoot();
    devicePanel_->show();
}

void ResultsScreen::ShowCommands(bool shown) {
    SetShown({backButton_, recoverButton_}, shown);
}

void ResultsScreen::Hide() {
    SetShown({fileList_, tree_, backButton_, recoverButton_}, false);
    paging_->SetShown(false);
    currentView_ = -1;
}

void ResultsScreen::Discard() {
    fileList_->ClearAll();
    devicePanel_->hide();
    devicePanel_->ClearBackupInfo();
    // Panes wait for their loaders as they go, before the items they draw are freed.
    for (auto& pane : panes_) {
        pane.reset();
    }
    results_ = &noResults_;
    scanComplete_ = false;
    currentItem_ = tree_->RootItem();
}

void ResultsScreen::ResetTree() {
    for (int category = 0; category < backup::kGroupCount; ++category) {
        QTreeWidgetItem* item = tree_->CategoryItem(category);
        tree_->SetItemText(item, BareLabel(category));
        tree_->SetHasResults(item, false);
        tree_->SetItemState(item, kStateUnchecked);
    }
    tree_->SetItemState(tree_->RootItem(), kStateUnchecked);
    tree_->SetRootToolTip({});
    tree_->setCurrentItem(tree_->RootItem());
}

void ResultsScreen::Paint(QPainter& painter, int windowWidth) const {
    painter.setPen(QColor(0xDE, 0xDE, 0xDE));
    painter.drawLine(215, 114, 215, 579);
    painter.drawLine(2, 579, windowWidth - 1, 579);
}

void ResultsScreen::SetGroupLabel(int group, const QString& text) {
    QTreeWidgetItem* item = tree_->CategoryItem(group);
    if (item == nullptr) {
        return;
    }
    tree_->SetItemText(item, text);
    tree_->SetHasResults(item, true);
    // A category gets its check box once it has something to tick. One ticked through the root
    // while it was being collected takes the tick now: the worker, blocked in this call, is done
    // with its list.
    if (CTreeViewEx1::ItemState(item) == 0) {
        tree_->SetItemState(item, kStateUnchecked);
    } else if (CTreeViewEx1::ItemState(item) == kStateChecked) {
        SetCategoryChecks(group, true);
    }
}

// ---- Showing a category ----

void ResultsScreen::OnShowCategory(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    const CategoryData category = CTreeViewEx1::ItemData(item);
    if (category.index == CTreeViewEx1::kRootCategory) {
        ShowRoot();
        return;
    }
    if (!category.hasResults) {
        return;
    }
    currentItem_ = item;
    fileList_->SetHeaderCheck(CTreeViewEx1::ItemState(item) == kStateChecked);
    fileList_->ClearAll();
    devicePanel_->hide();
    if (IsPhotoCategory(category.index)) {
        ShowPane(category.index);
    } else {
        ShowFileList(category.index);
    }
}

void ResultsScreen::ShowRoot() {
    if (scanComplete_) {
        devicePanel_->show();
    }
    paging_->SetShown(false);
    fileList_->hide();
    HidePanes();
    currentItem_ = tree_->RootItem();
}

void ResultsScreen::ShowPane(int category) {
    HidePanes(category);
    fileList_->hide();
    paging_->SetShown(Items(category).size() >
                      static_cast<std::size_t>(CPhotoViewDlg::kTilesPerPage));
    currentView_ = category;
    auto& pane = panes_[static_cast<std::size_t>(category)];
    if (!pane) {
        pane = std::make_unique<CPhotoViewDlg>(PaneDesignFor(category), Items(category), *paging_,
                                               &window_);
    }
    paging_->ShowPageOf(*pane);
    pane->show();
    pane->raise();
    pane->StartLoading();
}

void ResultsScreen::ShowFileList(int category) {
    HidePanes();
    paging_->SetShown(false);
    currentView_ = category;
    fileList_->AddColumn(QStringLiteral("Name"), 300);
    fileList_->AddColumn(QStringLiteral("Size"), 465);
    const auto& items = Items(category);
    for (std::size_t index = 0; index < items.size(); ++index) {
        const backup::MediaItem& item = *items[index];
        const int row =
            fileList_->InsertRow(QString::fromStdU16String(item.displayName),
                                 QString::fromStdU16String(fsize_format(item.size, 0, 0)));
        fileList_->SetRowData(row, QVariant::fromValue(static_cast<qulonglong>(index)));
        fileList_->SetRowCheck(row, item.checked.load() != 0);
    }
    if (fileList_->RowCount() > 0) {
        fileList_->SelectRow(0);
    }
    fileList_->show();
}

void ResultsScreen::HidePanes(int except) {
    for (std::size_t category = 0; category < panes_.size(); ++category) {
        CPhotoViewDlg* pane = panes_[category].get();
        if (pane != nullptr && static_cast<int>(category) != except && !pane->isHidden()) {
            pane->StopLoading();
            pane->hide();
        }
    }
}

// ---- Ticks ----

void ResultsScreen::HandleCheckMessage(int message, quintptr wParam, qintptr lParam) {
    if (message == WM_LIST_CHECK_CHANGED) {
        OnListCheckChanged(static_cast<int>(wParam), lParam != 0);
    } else if (message == WM_TREE_CHECK_CHANGED) {
        OnTreeCheckChanged(wParam, lParam != 0);
    } else if (message >= WM_THUMB_CHECK_CHANGED &&
               message < WM_THUMB_CHECK_CHANGED + kPhotoCategories) {
        OnThumbCheckChanged(message - WM_THUMB_CHECK_CHANGED);
    }
}

std::vector<std::unique_ptr<backup::MediaItem>>& ResultsScreen::Items(int category) {
    return Results().groups[static_cast<std::size_t>(category)];
}

void ResultsScreen::OnListCheckChanged(int row, bool checked) {
    if (currentView_ < kPhotoCategories || currentItem_ != tree_->CategoryItem(currentView_)) {
        return;
    }
    auto& items = Items(currentView_);
    const QVariant rowData = fileList_->RowData(row);
    const auto index = static_cast<std::size_t>(rowData.toULongLong());
    if (rowData.isValid() && index < items.size()) {
        items[index]->checked = checked ? 1 : 0;
    }
    tree_->SetItemState(currentItem_, fileList_->HeaderChecked() ? kStateChecked : kStateUnchecked);
    RecomputeRoot();
    tree_->viewport()->update();
}

void ResultsScreen::OnTreeCheckChanged(quintptr handle, bool checked) {
    const QTreeWidgetItem* item = tree_->ItemFromHandle(handle);
    const int category = item != nullptr ? CTreeViewEx1::ItemData(item).index : -1;
    // A category without results may still be filled by the scan worker: its list is the
    // worker's until the worker labels it, and SetGroupLabel then applies the tick.
    if (category < 0 || category >= backup::kGroupCount ||
        !CTreeViewEx1::ItemData(item).hasResults) {
        return;
    }
    SetCategoryChecks(category, checked);
    if (CPhotoViewDlg* pane = Pane(category)) {
        pane->RefreshChecks();
    }
    if (!IsPhotoCategory(category) && category == currentView_ && item == currentItem_) {
        fileList_->SetHeaderCheck(checked);
        for (int row = 0; row < fileList_->RowCount(); ++row) {
            fileList_->SetRowCheck(row, checked);
        }
        fileList_->viewport()->update();
    }
}

void ResultsScreen::OnThumbCheckChanged(int category) {
    RecomputeCategory(category);
    RecomputeRoot();
    tree_->viewport()->update();
}

void ResultsScreen::SetCategoryChecks(int category, bool checked) {
    for (const auto& media : Items(category)) {
        media->checked = checked ? 1 : 0;
    }
}

void ResultsScreen::RecomputeCategory(int category) {
    const auto& items = Items(category);
    const bool all = std::all_of(items.begin(), items.end(),
                                 [](const auto& item) { return item->checked.load() != 0; });
    tree_->SetItemState(tree_->CategoryItem(category), all ? kStateChecked : kStateUnchecked);
}

void ResultsScreen::RecomputeRoot() {
    // Only categories with results count, as in the tree's own rule: after Back every category
    // is unticked, and an empty one must not keep the root unticked for good.
    bool anyUnchecked = false;
    for (int category = 0; category < backup::kGroupCount; ++category) {
        const QTreeWidgetItem* item = tree_->CategoryItem(category);
        anyUnchecked |= CTreeViewEx1::ItemData(item).hasResults &&
                        CTreeViewEx1::ItemState(item) == kStateUnchecked;
    }
    tree_->SetItemState(tree_->RootItem(), anyUnchecked ? kStateUnchecked : kStateChecked);
}

}  // namespace pixhaven::ui
