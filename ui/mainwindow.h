// The program's main window: a frameless 985 x 670 dialog painted from the skin that lists the
// backups, scans one, shows its media by category and copies the ticked files out.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "backup/discovery.h"
#include "backup/manifest.h"
#include "backup/media.h"
#include "backup/scansession.h"
#include "ui/maincontrols.h"
#include "ui/photoview.h"
#include "ui/picture.h"
#include "ui/windowthreadobserver.h"

class QEventLoop;
class QTreeWidgetItem;

namespace pixhaven::ui {

class CImgButton;
class CListViewCheck1;
class CListViewExBackups;
class PagingGroup;
class ProgressScreen;
class CStaticLabel1;
class CTreeViewEx1;

// How the window checks for and applies an update. `checkUpdate` runs on a thread of its own and
// returns non-zero when an update is available; `launchUpdater` runs on the window's thread.
struct UpdateServices {
    std::function<int()> checkUpdate;
    std::function<void()> launchUpdater;
};

// What the window asks of the desktop; tests replace each with something that needs no person.
struct DesktopServices {
    // The folder the backups live under; empty means the user's own backup root.
    std::filesystem::path backupRoot;
    // The program's version as the settings hold it, for the about box.
    QString version;
    // Runs a modal box (message, system warning, about) and returns its result.
    std::function<int(QDialog& box)> runModal;
    // Asks for the folder to recover into; an empty text means cancelled.
    std::function<QString(QWidget* owner, const QString& title)> chooseFolder;
    // Opens a web address or a folder.
    std::function<void(const QString& target)> openAddress;
    std::function<void(const QString& folder)> openFolder;
};

class CMainDlg : public QDialog, private GroupLabelDisplay {
    Q_OBJECT
public:
    static constexpr int kWidth = 985;
    static constexpr int kHeight = 670;
    static constexpr int kDragStripHeight = 28;
    static constexpr int kUpdateTimerPeriodMs = 1000;
    static constexpr int kPageSize = 100;
    static constexpr int kRootToolTipWidth = 140;

    using enum MainControls::Id;
    enum MenuId : int {
        kMenuHome = 20000,
        kMenuHelp = 20003,
        kMenuCheckUpdate = 20004,
        kMenuAbout = 20005,
        kMenuExit = 20006,
    };
    enum Screen : int { kHomeScreen = 0, kResultsScreen = 1 };

    explicit CMainDlg(UpdateServices services, QWidget* parent = nullptr);
    CMainDlg(UpdateServices services, DesktopServices desktop, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Whether a press at `point` (client pixels) moves the window.
    static bool IsInDragStrip(QPoint point);

    // The running update timer, 0 once it has fired.
    int UpdateTimerId() const { return updateTimer_; }

    // What tests look at.
    Screen CurrentScreen() const { return screen_; }
    int CurrentView() const { return currentView_; }
    bool WorkerRunning() const { return session_ && session_->WorkerRunning(); }
    bool ScanComplete() const { return scanComplete_; }
    // The open backup's results; empty ones while none is open.
    const backup::ScanResults& Results() const {
        return session_ ? session_->Results() : noResults_;
    }
    backup::ScanResults& Results() { return session_ ? session_->Results() : noResults_; }
    CPhotoViewDlg* Pane(int category) const;
    const std::filesystem::path& OutputFolder() const {
        return session_ ? session_->RecoveryFolder() : noOutputFolder_;
    }
    int RecoveredCount() const { return Results().done.load(); }
    // What the last recovery wrote and could not write; none before the first.
    const backup::RecoveryOutcome* LastRecovery() const {
        return session_ ? session_->LastRecovery() : nullptr;
    }

    // The menu's commands, as the pop-up menu runs them.
    void RunMenuCommand(int id);
    // Close, Exit and the window's close request: winds down a worker, discards the results and
    // ends the dialog.
    void Close(int result);
    // The window's close request: Close with result 0.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // GroupLabelDisplay
    void SetGroupLabel(int group, const QString& text) override;

    // Building
    void CentreOnScreen();
    void CreateControls();
    void CreateImageButtons();
    void CreateTree();
    void CreateLists();
    void ConnectCommands();
    void ListBackupsOfRoot();

    // Painting
    void RenderBackground();
    void PaintHome(QPainter& painter) const;
    void PaintResultLines(QPainter& painter) const;
    void Redraw();

    // Commands
    void OnStartScan();
    bool LoadSelectedBackup();
    void SetRootText(const QString& deviceName);
    void ShowScanningScreen();
    void StartScanWorker();
    void OnScanFinished();
    void OnShowCategory(QTreeWidgetItem* item);
    void ShowRoot();
    void ShowPane(int category);
    void ShowFileList(int category);
    void HidePanes(int except = -1);
    void OnRecover();
    void StartRecoveryWorker(const std::filesystem::path& chosenFolder);
    void OnRecoverFinished();
    void OnBack();
    void OnMenu();

    // Checks
    void OnListCheckChanged(int row, bool checked);
    void OnTreeCheckChanged(quintptr handle, bool checked);
    void OnThumbCheckChanged(int category);
    void SetCategoryChecks(int category, bool checked);
    void RecomputeCategory(int category);
    void RecomputeRoot();
    std::vector<std::unique_ptr<backup::MediaItem>>& Items(int category);

    // Results and workers
    void HandleWindowMessage(int message, quintptr wParam, qintptr lParam);
    void EndWorker();
    void WaitForWorkerWhileServing();
    void DiscardResults();
    void ResetTree();
    void ShowHomeScreen();
    int RunModal(QDialog& box);
    int ShowMessage(int icon, int buttons, const QString& text, const QString& linkCaption = {},
                    const QString& linkTarget = {});
    void StartUpdateCheck();
    void OnUpdateChecked(quintptr result);

    UpdateServices services_;
    DesktopServices desktop_;
    QPixmap background_;
    bool redraw_ = true;
    Screen screen_ = kHomeScreen;
    std::filesystem::path backupRoot_;
    std::optional<backup::BackupInfo> selectedBackup_;
    int currentView_ = -1;
    QTreeWidgetItem* currentItem_ = nullptr;  // whose content is shown
    bool scanComplete_ = false;

    // Controls: children of the window, which deletes them.
    CImgButton* closeButton_ = nullptr;
    CImgButton* minimiseButton_ = nullptr;
    CImgButton* menuButton_ = nullptr;
    CImgButton* startScanButton_ = nullptr;
    CImgButton* backButton_ = nullptr;
    CImgButton* recoverButton_ = nullptr;
    CListViewExBackups* backupList_ = nullptr;
    CTreeViewEx1* tree_ = nullptr;
    CListViewCheck1* fileList_ = nullptr;
    CStaticLabel1* devicePanel_ = nullptr;

    // Each places its controls on the window.
    std::unique_ptr<ProgressScreen> progress_;
    std::unique_ptr<PagingGroup> paging_;

    // The open backup borrows the observer and the picture maker; the panes borrow its results.
    // Each is declared after what it borrows, so it is ended first.
    DecodedPictureFactory pictures_;
    std::unique_ptr<WindowThreadObserver> observer_;
    std::unique_ptr<backup::ScanSession> session_;
    std::array<std::unique_ptr<CPhotoViewDlg>, 8> panes_;
    backup::ScanResults noResults_;  // what the window shows while no backup is open
    std::filesystem::path noOutputFolder_;
    QEventLoop* windDownLoop_ = nullptr;  // waits for the finished message of a stopped worker

    int updateTimer_ = 0;
    std::optional<QPoint> dragOffset_;  // cursor to window corner, while moving by hand
    std::jthread updateThread_;         // joined before the window goes
};

}  // namespace pixhaven::ui
