// The main window's progress strip while a scan or recovery runs: the progress bar, the busy
// picture and text, the percent and status labels, and the pause, continue and stop buttons that
// steer the worker.
#pragma once

#include <QObject>
#include <memory>

#include "backup/scansession.h"
#include "ui/windowthreadobserver.h"

class QProgressBar;

namespace pixhaven::ui {

class CAnimateImg;
class CAnimateStr;
class CImgButton;
class CStaticLabel;

class ProgressScreen final : public QObject, public ProgressDisplay {
    Q_OBJECT
public:
    // Creates the controls on `window`, hidden. `session` is the window's open backup, if any,
    // whose worker the buttons steer.
    ProgressScreen(QWidget& window, const std::unique_ptr<backup::ScanSession>& session);

    void ShowScanning();
    void ShowRecovering();
    void HideAfterScan();
    void HideAfterRecovery();
    // Back on the home screen the bar starts again from nothing.
    void ResetProgress();

    // ProgressDisplay
    void SetProgress(int percent) override;
    void SetStatusText(const QString& text) override;
    void ShowPauseAndStop() override;

private:
    void CreateButtons(QWidget& window);
    void CreateProgressControls(QWidget& window);
    bool WorkerRunning() const;
    void SetBusyAnimations(bool running);
    void OnPause();
    void OnContinue();
    void SetPaused(bool paused);
    void OnStop();

    const std::unique_ptr<backup::ScanSession>& session_;
    // Children of the window, which deletes them.
    CImgButton* pauseButton_ = nullptr;
    CImgButton* continueButton_ = nullptr;
    CImgButton* stopButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    CAnimateImg* busyPicture_ = nullptr;
    CAnimateStr* busyText_ = nullptr;
    CStaticLabel* percentLabel_ = nullptr;
    CStaticLabel* statusLabel_ = nullptr;
};

}  // namespace pixhaven::ui
