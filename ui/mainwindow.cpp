// The main window: skin background and texts, the home screen's backup list, the scan and
// recovery workers and their progress controls, the results screen's tree, panes and file list,
// and the update check that follows start-up.
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <initializer_list>

#include "backup/backupmanifest.h"
#include "makerlibs/gildpaint.h"
#include "makerlibs/gildpaint_draw.h"
#include "ui/aboutbox.h"
#include "ui/backuplist.h"
#include "ui/categorytree.h"
#include "ui/fontpool.h"
#include "ui/imgbutton.h"
#include "ui/listviewcheck.h"
#include "ui/msgbox.h"
#include "ui/paginggroup.h"
#include "ui/programfolders.h"
#include "ui/progressscreen.h"
#include "ui/staticlabel.h"
#include "ui/threadhandoff.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {
namespace {

const QString kTitle = QStringLiteral("Quillmark Pixhaven");
const QRect kTitleBox(35, 4, 300, 20);
const QRect kPromptBox(87, 170, 610, 20);
const QRect kListFrame(86, 207, 805, 353);
const QRect kHintBox(90, 570, 700, 20);
const QString kPrompt =
    QStringLiteral("Select one iTunes backup file of your iOS device below and click StartScan.");
const QString kEmptyHint = QStringLiteral(
    "If your iOS device is not listed here,it's probably because your iOS device has not been "
    "synchronized with iTunes.");
const QString kSelectDevice = QStringLiteral("Please select a device in the list above to scan.");
const QString kManifestFailed = QStringLiteral("Parse Mainfest.mbdb failed!");
const QString kEncryptedBackup =
    QString::fromUtf8(backup::kEncryptedBackupMessage.data(),
                      static_cast<qsizetype>(backup::kEncryptedBackupMessage.size()));
const QString kNoOutputFolder = QStringLiteral("Cannot create the recovery folder in %1.");
const QString kSelectFiles = QStringLiteral("Please select the file(s) you want to recover.");
const QString kBackQuestion =
    QStringLiteral("Are you sure to go back? If Back, the scanning results will not be saved.");

// Points at 96 dots per inch, as pixel heights.
constexpr int kTitlePixels = 12;   // 9 points
constexpr int kPromptPixels = 16;  // 12 points
constexpr int kHintPixels = 13;    // 10 points
constexpr int kPhotoCategories = 8;

constexpr std::array<const char*, backup::kGroupCount> kCategoryIcons = {
    "cameraroll.png", "photostream.png", "msgattach.png", "jpeg.png", "png.png",
    "bmp.png",        "gif.png",         "tiff.png",      "mov.png",  "mp3.png",
    "mp4.png",        "videos.png",      "3gp.png"};

QString BareLabel(int category) {
    return QString::fromStdU16String(
        std::u16string(backup::kMediaGroups[static_cast<std::size_t>(category)].label));
}

bool IsPhotoCategory(int category) {
    return category >= 0 && category < kPhotoCategories;
}

DesktopServices CompleteDesktop(DesktopServices desktop) {
    if (!desktop.runModal) {
        desktop.runModal = [](QDialog& box) { return box.exec(); };
    }
    if (!desktop.chooseFolder) {
        desktop.chooseFolder = [](QWidget* owner, const QString& title) {
            return QFileDialog::getExistingDirectory(owner, title);
        };
    }
    if (!desktop.openAddress) {
        desktop.openAddress = OpenAddressWithDesktop;
    }
    if (!desktop.openFolder) {
        desktop.openFolder = OpenFolderWithDesktop;
    }
    return desktop;
}

}  // namespace

CMainDlg::CMainDlg(UpdateServices services, QWidget* parent)
    : CMainDlg(std::move(services), DesktopServices{}, parent) {}

CMainDlg::CMainDlg(UpdateServices services, DesktopServices desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      services_(std::move(services)),
      desktop_(CompleteDesktop(std::move(desktop))) {
    setWindowTitle(kTitle);
    setWindowIcon(ApplicationIcon());
    setFixedSize(kWidth, kHeight);
    // The skin paints every pixel; nothing of the desktop's palette shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    CentreOnScreen();
    CreateControls();
    GroupLabelDisplay& labels = *this;
    observer_ = std::make_unique<WindowThreadObserver>(*this, *progress_, labels);
    ConnectCommands();
    ListBackupsOfRoot();
    updateTimer_ = startTimer(kUpdateTimerPeriodMs);
}

CMainDlg::~CMainDlg() {
    EndWorker();
    DiscardResults();
}

void CMainDlg::CentreOnScreen() {
    if (parentWidget() == nullptr && QGuiApplication::primaryScreen() != nullptr) {
        move(QGuiApplication::primaryScreen()->availableGeometry().center() - rect().center());
    }
}

bool CMainDlg::IsInDragStrip(QPoint point) {
    return point.y() >= 0 && point.y() < kDragStripHeight && point.x() >= 0 && point.x() < kWidth;
}

CPhotoViewDlg* CMainDlg::Pane(int category) const {
    return IsPhotoCategory(category) ? panes_[static_cast<std::size_t>(category)].get() : nullptr;
}

// ---- Building ----

void CMainDlg::CreateControls() {
    CreateImageButtons();
    CreateTree();
    CreateLists();
    progress_ = std::make_unique<ProgressScreen>(*this, session_);
    paging_ = std::make_unique<PagingGroup>(*this, [this] { return Pane(currentView_); });
}

void CMainDlg::CreateImageButtons() {
    closeButton_ = AddImageButton(*this, kCloseId, QStringLiteral("close.png"), -1, 0, 3);
    minimiseButton_ = AddImageButton(*this, kMinimiseId, QStringLiteral("min.png"), -34, 0, 3);
    menuButton_ = AddImageButton(*this, kMenuId, QStringLiteral("menu.png"), -65, 0, 3);
    startScanButton_ =
        AddImageButton(*this, kStartScanId, QStringLiteral("startscan.png"), 420, -25, 4);
    backButton_ = AddImageButton(*this, kBackId, QStringLiteral("home.png"), 30, -25, 4);
    recoverButton_ = AddImageButton(*this, kRecoverId, QStringLiteral("recover.png"), -30, -25, 4);
    SetShown({backButton_, recoverButton_}, false);
}

void CMainDlg::CreateTree() {
    tree_ = new CTreeViewEx1(this);
    SetControlId(*tree_, kTreeId);
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

void CMainDlg::CreateLists() {
    backupList_ = new CListViewExBackups(this);
    SetControlId(*backupList_, kBackupListId);
    backupList_->setGeometry(QRect(QPoint(87, 208), QPoint(891 - 1, 560 - 1)));
    backupList_->AddColumn(QStringLiteral("DeviceName"), 250);
    backupList_->AddColumn(QStringLiteral("Last Backup Date"), 250);
    backupList_->AddColumn(QStringLiteral("Serial Number"), 290);

    fileList_ = new CListViewCheck1(this);
    SetControlId(*fileList_, kFileListId);
    fileList_->setGeometry(QRect(QPoint(218, 114), QPoint(984 - 1, 579 - 1)));
    fileList_->SetRowHeight(30);
    fileList_->hide();

    devicePanel_ = new CStaticLabel1(this, kDevicePanelId);
    devicePanel_->setGeometry(218, 114, 756, 464);
    devicePanel_->hide();
}

void CMainDlg::ConnectCommands() {
    connect(closeButton_, &QAbstractButton::clicked, this, [this] { Close(kCloseId); });
    connect(minimiseButton_, &QAbstractButton::clicked, this, [this] { showMinimized(); });
    connect(menuButton_, &QAbstractButton::clicked, this, &CMainDlg::OnMenu);
    connect(startScanButton_, &QAbstractButton::clicked, this, &CMainDlg::OnStartScan);
    connect(backButton_, &QAbstractButton::clicked, this, &CMainDlg::OnBack);
    connect(recoverButton_, &QAbstractButton::clicked, this, &CMainDlg::OnRecover);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { OnShowCategory(item); });
}

void CMainDlg::ListBackupsOfRoot() {
    backupRoot_ = desktop_.backupRoot.empty() ? backup::FindBackupRoot() : desktop_.backupRoot;
    Folders().backupRoot = backupRoot_;
    backupList_->SetBackupRows(backup::ListBackups(backupRoot_));
    startScanButton_->setVisible(backupList_->RowCount() > 0);
}

// ---- Painting ----

void CMainDlg::RenderBackground() {
    background_ = QPixmap(size() * devicePixelRatioF());
    background_.setDevicePixelRatio(devicePixelRatioF());
    background_.fill(Qt::white);
    QPainter painter(&background_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage skin = SkinImage(QStringLiteral("mainbg.png"));
    if (!skin.isNull()) {
        painter.drawImage(rect(), skin);
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(get_font(QStringLiteral("Arial"), kTitlePixels, 400));
    painter.setPen(Qt::white);
    painter.drawText(kTitleBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, kTitle);
    if (screen_ == kHomeScreen) {
        PaintHome(painter);
    } else {
        PaintResultLines(painter);
    }
    redraw_ = false;
}

void CMainDlg::PaintHome(QPainter& painter) const {
    constexpr int kFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter.setFont(get_font(QStringLiteral("Arial"), kPromptPixels, 700));
    painter.setPen(QColor(0x66, 0x66, 0x66));
    painter.drawText(kPromptBox, kFlags, kPrompt);
    painter.setPen(QColor(0xCB, 0xCB, 0xCB));
    painter.drawRect(kListFrame.adjusted(0, 0, -1, -1));
    if (backupList_->RowCount() == 0) {
        painter.setFont(get_font(QStringLiteral("Arial"), kHintPixels, 400));
        painter.setPen(QColor(0xC0, 0x6B, 0x07));
        painter.drawText(kHintBox, kFlags, kEmptyHint);
    }
}

void CMainDlg::PaintResultLines(QPainter& painter) const {
    painter.setPen(QColor(0xDE, 0xDE, 0xDE));
    painter.drawLine(215, 114, 215, 579);
    painter.drawLine(2, 579, width() - 1, 579);
}

void CMainDlg::Redraw() {
    redraw_ = true;
    update();
}

void CMainDlg::paintEvent(QPaintEvent* /*event*/) {
    if (redraw_ || background_.devicePixelRatio() != devicePixelRatioF()) {
        RenderBackground();
    }
    QPainter(this).drawPixmap(0, 0, background_);
}

// ---- Messages ----

bool CMainDlg::event(QEvent* event) {
    if (const WindowMessageEvent* message = WindowMessageEvent::From(event)) {
        HandleWindowMessage(message->Message(), message->WParam(), message->LParam());
        return true;
    }
    return QDialog::event(event);
}

void CMainDlg::HandleWindowMessage(int message, quintptr wParam, qintptr lParam) {
    if (message == WM_SCAN_FINISHED || message == WM_RECOVER_FINISHED) {
        // The finished message is the worker's last act, so the thread is about to return.
        if (session_) {
            session_->FinishWorker();
        }
        if (windDownLoop_ != nullptr) {
            windDownLoop_->quit();
        } else if (message == WM_SCAN_FINISHED) {
            OnScanFinished();
        } else {
            OnRecoverFinished();
        }
    } else if (message == WM_LIST_CHECK_CHANGED) {
        OnListCheckChanged(static_cast<int>(wParam), lParam != 0);
    } else if (message == WM_TREE_CHECK_CHANGED) {
        OnTreeCheckChanged(wParam, lParam != 0);
    } else if (message >= WM_THUMB_CHECK_CHANGED &&
               message < WM_THUMB_CHECK_CHANGED + kPhotoCategories) {
        OnThumbCheckChanged(message - WM_THUMB_CHECK_CHANGED);
    } else if (message == WM_UPDATE_CHECKED) {
        OnUpdateChecked(wParam);
    }
}

// ---- Worker reports ----

void CMainDlg::SetGroupLabel(int group, const QString& text) {
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

void CMainDlg::SetCategoryChecks(int category, bool checked) {
    for (const auto& media : Items(category)) {
        media->checked = checked ? 1 : 0;
    }
}

// ---- Start scan ----

void CMainDlg::OnStartScan() {
    if (WorkerRunning() || !LoadSelectedBackup()) {
        return;
    }
    const QString name = QString::fromStdU16String(selectedBackup_->deviceName);
    SetRootText(name);
    ShowScanningScreen();
    StartScanWorker();
}

bool CMainDlg::LoadSelectedBackup() {
    const int row = backupList_->SelectedRow();
    if (row < 0) {
        ShowMessage(CMsgBox::kWarning, CMsgBox::kOk, kSelectDevice);
        return false;
    }
    if (backupList_->RowInfo(row) == nullptr) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warnning"), kSelectDevice,
                        QMessageBox::Ok, this);
        RunModal(box);
        return false;
    }
    selectedBackup_ = *backupList_->RowInfo(row);
    // Manifest.mbdb when the backup has one, else the modern Manifest.db.
    backup::ScanSession::Opened opened = backup::ScanSession::Open(
        backupRoot_ / backupList_->Row(row)->folderName, *observer_, pictures_);
    if (opened.problem == backup::ManifestProblem::Encrypted) {
        ShowMessage(CMsgBox::kError, CMsgBox::kOk, kEncryptedBackup);
        return false;
    }
    if (!opened.session || opened.session->GetManifest().empty()) {
        ShowMessage(CMsgBox::kError, CMsgBox::kOk, kManifestFailed);
        return false;
    }
    session_ = std::move(opened.session);
    return true;
}

void CMainDlg::SetRootText(const QString& deviceName) {
    tree_->SetItemText(tree_->RootItem(), deviceName);
    const QFontMetrics metrics(FontPool().Font(font_code::kLargerBold));
    const bool tooWide = metrics.horizontalAdvance(deviceName) > kRootToolTipWidth;
    tree_->SetRootToolTip(tooWide ? deviceName : QString());
}

void CMainDlg::ShowScanningScreen() {
    tree_->SetItemState(tree_->RootItem(), kStateUnchecked);
    tree_->show();
    backupList_->hide();
    startScanButton_->hide();
    progress_->ShowScanning();
    screen_ = kResultsScreen;
    Redraw();
}

void CMainDlg::StartScanWorker() {
    observer_->Attach();
    session_->StartScan();
}

void CMainDlg::OnScanFinished() {
    progress_->HideAfterScan();
    backButton_->show();
    recoverButton_->show();
    scanComplete_ = true;
    if (selectedBackup_) {
        devicePanel_->SetBackupInfo(*selectedBackup_);
    }
    tree_->setCurrentItem(tree_->RootItem());
    ShowRoot();
    devicePanel_->show();
}

// ---- Show category ----

void CMainDlg::OnShowCategory(QTreeWidgetItem* item) {
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

void CMainDlg::ShowRoot() {
    if (scanComplete_) {
        devicePanel_->show();
    }
    paging_->SetShown(false);
    fileList_->hide();
    HidePanes();
    currentItem_ = tree_->RootItem();
}

void CMainDlg::ShowPane(int category) {
    HidePanes(category);
    fileList_->hide();
    paging_->SetShown(Items(category).size() > static_cast<std::size_t>(kPageSize));
    currentView_ = category;
    auto& pane = panes_[static_cast<std::size_t>(category)];
    if (!pane) {
        pane = std::make_unique<CPhotoViewDlg>(PaneDesignFor(category), Items(category), *paging_,
                                               this);
    }
    paging_->ShowPageOf(*pane);
    pane->show();
    pane->raise();
    pane->StartLoading();
}

void CMainDlg::ShowFileList(int category) {
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

void CMainDlg::HidePanes(int except) {
    for (std::size_t category = 0; category < panes_.size(); ++category) {
        CPhotoViewDlg* pane = panes_[category].get();
        if (pane != nullptr && static_cast<int>(category) != except && !pane->isHidden()) {
            pane->StopLoading();
            pane->hide();
        }
    }
}

// ---- Checks ----

std::vector<std::unique_ptr<backup::MediaItem>>& CMainDlg::Items(int category) {
    return Results().groups[static_cast<std::size_t>(category)];
}

void CMainDlg::OnListCheckChanged(int row, bool checked) {
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

void CMainDlg::OnTreeCheckChanged(quintptr handle, bool checked) {
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

void CMainDlg::OnThumbCheckChanged(int category) {
    RecomputeCategory(category);
    RecomputeRoot();
    tree_->viewport()->update();
}

void CMainDlg::RecomputeCategory(int category) {
    const auto& items = Items(category);
    const bool all = std::all_of(items.begin(), items.end(),
                                 [](const auto& item) { return item->checked.load() != 0; });
    tree_->SetItemState(tree_->CategoryItem(category), all ? kStateChecked : kStateUnchecked);
}

void CMainDlg::RecomputeRoot() {
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

// ---- Recover ----

void CMainDlg::OnRecover() {
    if (WorkerRunning() || !session_) {
        return;
    }
    if (backup::CountCheckedItems(Results()) == 0) {
        ShowMessage(CMsgBox::kWarning, CMsgBox::kOk, kSelectFiles);
        return;
    }
    const QString chosen = desktop_.chooseFolder(this, QDir::currentPath());
    if (chosen.isEmpty() || !QDir::isAbsolutePath(chosen)) {
        return;
    }
    StartRecoveryWorker(std::filesystem::path(chosen.toStdU16String()));
}

void CMainDlg::StartRecoveryWorker(const std::filesystem::path& chosenFolder) {
    // The folder may have gone or become read-only since it was picked.
    observer_->Attach();
    const backup::OutputFolder output = session_->StartRecovery(chosenFolder);
    if (output.path.empty()) {
        ShowMessage(CMsgBox::kError, CMsgBox::kOk,
                    kNoOutputFolder.arg(QString::fromStdU16String(chosenFolder.u16string())));
        return;
    }
    recoverButton_->hide();
    backButton_->hide();
    progress_->ShowRecovering();
}

void CMainDlg::OnRecoverFinished() {
    progress_->HideAfterRecovery();
    recoverButton_->show();
    backButton_->show();
    const QString folder = QString::fromStdU16String(OutputFolder().u16string());
    const backup::RecoveryOutcome& outcome = *session_->LastRecovery();
    const bool complete = outcome.failures.empty();
    ShowMessage(complete ? CMsgBox::kSuccess : CMsgBox::kWarning,
                CMsgBox::kOk | CMsgBox::kFolderLink,
                QString::fromStdU16String(backup::RecoverySummary(outcome)),
                QStringLiteral("SaveFile:") + folder, folder);
}

// ---- Back, close and discarding ----

void CMainDlg::OnBack() {
    if (WorkerRunning() || ShowMessage(CMsgBox::kInformation, CMsgBox::kYes | CMsgBox::kNo,
                                       kBackQuestion) != CMsgBox::kYesResult) {
        return;
    }
    DiscardResults();
    ResetTree();
    ShowHomeScreen();
}

void CMainDlg::ResetTree() {
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

void CMainDlg::ShowHomeScreen() {
    SetShown({fileList_, tree_, backButton_, recoverButton_}, false);
    paging_->SetShown(false);
    startScanButton_->setVisible(backupList_->RowCount() > 0);
    backupList_->show();
    progress_->ResetProgress();
    currentView_ = -1;
    screen_ = kHomeScreen;
    Redraw();
}

void CMainDlg::DiscardResults() {
    fileList_->ClearAll();
    devicePanel_->hide();
    devicePanel_->ClearBackupInfo();
    // Panes wait for their loaders as they go, before the items they draw are freed.
    for (auto& pane : panes_) {
        pane.reset();
    }
    session_.reset();
    scanComplete_ = false;
    currentItem_ = tree_->RootItem();
}

// Stops a running worker and waits for it while still serving the reports it may be blocked in:
// the worker's results are freed next, so it has to be gone first.
void CMainDlg::EndWorker() {
    if (!WorkerRunning()) {
        return;
    }
    observer_->Detach();
    session_->Stop();
    WaitForWorkerWhileServing();
}

void CMainDlg::WaitForWorkerWhileServing() {
    QEventLoop loop;
    windDownLoop_ = &loop;
    // The finished message may already be queued; the loop then ends at its first turn.
    while (WorkerRunning()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    windDownLoop_ = nullptr;
}

void CMainDlg::Close(int result) {
    EndWorker();
    DiscardResults();
    done(result);
}

// The window's close request, which the dialog turns into a reject, would otherwise end the dialog
// without winding a worker down.
void CMainDlg::reject() {
    Close(0);
}

// Escape leaves the window and its results alone: a stray key must not throw away a scan.
void CMainDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- Menu and boxes ----

void CMainDlg::OnMenu() {
    QMenu menu(this);
    const std::array<std::pair<int, const char*>, 5> items = {{{kMenuHome, "Home"},
                                                               {kMenuHelp, "Help"},
                                                               {kMenuCheckUpdate, "Check Update"},
                                                               {kMenuAbout, "About"},
                                                               {kMenuExit, "Exit"}}};
    for (const auto& [id, text] : items) {
        menu.addAction(QString::fromLatin1(text))->setData(id);
    }
    if (const QAction* chosen = menu.exec(QCursor::pos())) {
        RunMenuCommand(chosen->data().toInt());
    }
}

void CMainDlg::RunMenuCommand(int id) {
    switch (id) {
        case kMenuHome:
            desktop_.openAddress(CAboutBox::HomePage());
            break;
        case kMenuHelp:
            desktop_.openAddress(CAboutBox::HomePage() + QStringLiteral("pixhaven/"));
            break;
        case kMenuCheckUpdate:
            if (services_.launchUpdater) {
                services_.launchUpdater();
            }
            break;
        case kMenuAbout: {
            CAboutBox about(desktop_.version, this);
            about.SetLinkOpener(desktop_.openAddress);
            RunModal(about);
            break;
        }
        case kMenuExit:
            Close(0);
            break;
        default:
            break;
    }
}

int CMainDlg::RunModal(QDialog& box) {
    return desktop_.runModal(box);
}

int CMainDlg::ShowMessage(int icon, int buttons, const QString& text, const QString& linkCaption,
                          const QString& linkTarget) {
    CMsgBox box(this);
    box.Prepare(icon, buttons, text, linkCaption, linkTarget);
    box.SetLinkOpener(desktop_.openFolder);
    return RunModal(box);
}

// ---- Update check ----

void CMainDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != updateTimer_ || updateTimer_ == 0) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(updateTimer_);
    updateTimer_ = 0;
    StartUpdateCheck();
}

void CMainDlg::StartUpdateCheck() {
    if (!services_.checkUpdate || updateThread_.joinable()) {
        return;
    }
    // The thread reaches the window only through the application object and a guarded pointer
    // that is read on the window's own thread, so a window that has gone gets nothing.
    QPointer<CMainDlg> window(this);
    updateThread_ = std::jthread([check = services_.checkUpdate, window] {
        const int result = check();
        InvokeOnThreadOf(QCoreApplication::instance(), [window, result] {
            if (window) {
                PostWindowMessage(window, WM_UPDATE_CHECKED, static_cast<quintptr>(result));
            }
        });
    });
}

void CMainDlg::OnUpdateChecked(quintptr result) {
    if (result != 0 && services_.launchUpdater) {
        services_.launchUpdater();
    }
}

// ---- Moving the window ----

void CMainDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !IsInDragStrip(point)) {
        QDialog::mousePressEvent(event);
        return;
    }
    // The window system moves the window where it can; elsewhere follow the cursor by hand.
    if (windowHandle() == nullptr || !windowHandle()->startSystemMove()) {
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    event->accept();
}

void CMainDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CMainDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragOffset_.reset();
    }
    QDialog::mouseReleaseEvent(event);
}

}  // namespace pixhaven::ui
