// The program's main window: a frameless 985 x 670 dialog painted from the skin. It is the shell
// around three screens (the home screen's backup list, the results screen's tree and views, the
// progress strip of a running worker): it owns the open backup and its worker, switches between
// the screens, and runs the frame, the menu and the update check.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "backup/scansession.h"
#include "ui/maincontrols.h"
#include "ui/picture.h"

class QEventLoop;

namespace pixhaven::ui {

class CPhotoViewDlg;
class HomeScreen;
class ProgressScreen;
class ResultsScreen;
class WindowThreadObserver;

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

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 985;
    static constexpr int kHeight = 670;
    static constexpr int kDragStripHeight = 28;
    static constexpr int kUpdateTimerPeriodMs = 1000;

    using enum MainControls::Id;
    using enum MainControls::MenuCommand;
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
    int CurrentView() const;
    bool WorkerRunning() const { return session_ && session_->WorkerRunning(); }
    bool ScanComplete() const;
    // The open backup's results; empty ones while none is open.
    const backup::ScanResults& Results() const;
    backup::ScanResults& Results();
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
    // Building
    void CentreOnScreen();
    void CreateFrameButtons();
    void CreateScreens();

    // Painting
    void RenderBackground();
    void SwitchScreen(Screen screen);

    // Scanning and recovering
    void HandleWindowMessage(int message, quintptr wParam, qintptr lParam);
    void OnStartScan();
    void OnWorkerFinished(int message);
    void OnScanFinished();
    void OnRecover();
    void StartRecovery(const std::filesystem::path& chosenFolder);
    void OnRecoverFinished();
    void OnBack();

    // Ending the worker and the results
    void EndWorker();
    void WaitForWorkerWhileServing();
    void DiscardResults();

    // Menu, boxes and the update check
    void OnMenu();
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

    // The screens place their controls on the window, which deletes the controls; the screens
    // hold their logic.
    std::unique_ptr<HomeScreen> home_;
    std::unique_ptr<ResultsScreen> results_;
    std::unique_ptr<ProgressScreen> progress_;

    // The open backup borrows the observer and the picture maker, and the results screen borrows
    // its results: the destructor ends the worker and discards the results before any goes.
    DecodedPictureFactory pictures_;
    std::unique_ptr<WindowThreadObserver> observer_;
    std::unique_ptr<backup::ScanSession> session_;
    std::filesystem::path noOutputFolder_;
    QEventLoop* windDownLoop_ = nullptr;  // waits for the finished message of a stopped worker

    int updateTimer_ = 0;
    std::optional<QPoint> dragOffset_;  // cursor to window corner, while moving by hand
    std::jthread updateThread_;         // joined before the window goes
};

}  // namespace pixhaven::ui
