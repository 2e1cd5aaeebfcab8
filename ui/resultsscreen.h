// The main window's results screen: the category tree, the view of the chosen category (a preview
// pane, the file list or, for the device itself, the device panel), the paging controls, and the
// back and recover buttons. It keeps the ticks of tree, file list and thumbnails in step with the
// items' check flags.
#pragma once

#include <QObject>
#include <array>
#include <memory>
#include <vector>

#include "backup/discovery.h"
#include "backup/media.h"
#include "ui/windowthreadobserver.h"

class QPainter;
class QTreeWidgetItem;

namespace pixhaven::ui {

class CImgButton;
class CListViewCheck1;
class CPhotoViewDlg;
class CStaticLabel1;
class CTreeViewEx1;
class PagingGroup;

class ResultsScreen final : public QObject, public GroupLabelDisplay {
    Q_OBJECT
public:
    static constexpr int kPhotoCategories = 8;
    // A device name wider than this gets the tree's tooltip.
    static constexpr int kRootToolTipWidth = 140;

    // Creates the screen's controls on `window`, hidden.
    explicit ResultsScreen(QWidget& window);
    ~ResultsScreen() override;

    // The tree, titled with `device`'s name, over `results` while a scan fills them; the results
    // are shown until Discard.
    void ShowScanning(backup::ScanResults& results, const backup::BackupInfo& device);
    // The finished scan: the device panel, and the back and recover buttons.
    void ShowScanFinished();
    // Back and recover, offered while no worker runs.
    void ShowCommands(bool shown);
    // Leaves the screen: the tree, the file list, the paging controls and the commands go; the
    // device panel and the panes went with Discard.
    void Hide();
    // Drops the panes, the file list's rows and the device; the screen then shows empty results.
    // The results shown before may be freed after.
    void Discard();
    // The categories' bare names and empty ticks again.
    void ResetTree();
    // The lines between tree, views and the strip below them.
    void Paint(QPainter& painter, int windowWidth) const;

    // WM_LIST_CHECK_CHANGED, WM_TREE_CHECK_CHANGED and WM_THUMB_CHECK_CHANGED from the screen's
    // controls; other messages are left alone.
    void HandleCheckMessage(int message, quintptr wParam, qintptr lParam);

    // GroupLabelDisplay
    void SetGroupLabel(int group, const QString& text) override;

    // The results shown; empty ones while no scan is shown.
    backup::ScanResults& Results() { return *results_; }
    const backup::ScanResults& Results() const { return *results_; }
    int CurrentView() const { return currentView_; }
    bool ScanComplete() const { return scanComplete_; }
    CPhotoViewDlg* Pane(int category) const;

signals:
    void backClicked();
    void recoverClicked();

private:
    void CreateTree(QWidget& window);
    void CreateViews(QWidget& window);
    void SetRootText(const QString& deviceName);

    // Showing a category
    void OnShowCategory(QTreeWidgetItem* item);
    void ShowRoot();
    void ShowPane(int category);
    void ShowFileList(int category);
    void HidePanes(int except = -1);

    // Ticks
    void OnListCheckChanged(int row, bool checked);
    void OnTreeCheckChanged(quintptr handle, bool checked);
    void OnThumbCheckChanged(int category);
    void SetCategoryChecks(int category, bool checked);
    void RecomputeCategory(int category);
    void RecomputeRoot();
    std::vector<std::unique_ptr<backup::MediaItem>>& Items(int category);

    QWidget& window_;
    backup::ScanResults noResults_;  // what the screen shows while no scan is shown
    backup::ScanResults* results_ = &noResults_;
    int currentView_ = -1;                    // the category last shown, -1 on the home screen
    QTreeWidgetItem* currentItem_ = nullptr;  // whose content is shown
    bool scanComplete_ = false;

    // Children of the window, which deletes them.
    CImgButton* backButton_ = nullptr;
    CImgButton* recoverButton_ = nullptr;
    CTreeViewEx1* tree_ = nullptr;
    CListViewCheck1* fileList_ = nullptr;
    CStaticLabel1* devicePanel_ = nullptr;
    // The panes borrow the paging group and the results' items, so they go first.
    std::unique_ptr<PagingGroup> paging_;
    std::array<std::unique_ptr<CPhotoViewDlg>, kPhotoCategories> panes_;
};

}  // namespace pixhaven::ui
