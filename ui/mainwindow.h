// The program's main window: a frameless 985 x 670 dialog painted from the skin, moved by its top
// strip, which checks for an update one second after it appears.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <functional>
#include <optional>
#include <thread>

namespace pixhaven::ui {

class CImgButton;

// How the window checks for and applies an update. `checkUpdate` runs on a thread of its own and
// returns non-zero when an update is available; `launchUpdater` runs on the window's thread.
struct UpdateServices {
    std::function<int()> checkUpdate;
    std::function<void()> launchUpdater;
};

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 985;
    static constexpr int kHeight = 670;
    static constexpr int kDragStripHeight = 28;
    static constexpr int kCloseId = 1000;
    static constexpr int kUpdateTimerPeriodMs = 1000;

    explicit CMainDlg(UpdateServices services, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Whether a press at `point` (client pixels) moves the window.
    static bool IsInDragStrip(QPoint point);

    // The running update timer, 0 once it has fired.
    int UpdateTimerId() const { return updateTimer_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void CreateControls();
    void RenderBackground();
    void StartUpdateCheck();
    void OnUpdateChecked(quintptr result);

    UpdateServices services_;
    QPixmap background_;
    bool redraw_ = true;
    CImgButton* closeButton_ = nullptr;  // owned by the window as its child
    int updateTimer_ = 0;
    std::optional<QPoint> dragOffset_;  // cursor to window corner, while moving by hand
    std::jthread updateThread_;         // joined before the window goes
};

}  // namespace pixhaven::ui
