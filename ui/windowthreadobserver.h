// The main window's worker observer: a scan or recovery reports through it, and each report runs
// on the window's thread while the worker waits for it.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <string>

#include "backup/worker.h"

namespace pixhaven::ui {

// What the window shows of a running worker; called on the window's thread only.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void SetProgress(int percent) = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void ShowPauseAndStop() = 0;
};

// Where the window names the groups a scan has filled; called on the window's thread only. A
// group's list is the worker's until it labels the group.
class GroupLabelDisplay {
public:
    virtual ~GroupLabelDisplay() = default;
    virtual void SetGroupLabel(int group, const QString& text) = 0;
};

class WindowThreadObserver final : public backup::WorkerObserver {
public:
    // `window` receives the finished messages and runs the reports; `progress` and `labels` show
    // them.
    WindowThreadObserver(QObject& window, ProgressDisplay& progress, GroupLabelDisplay& labels);

    void ShowProgress(int percent) override;
    void ShowStatus(const std::u16string& text) override;
    void LabelGroup(int group, const std::u16string& text) override;
    void ShowPauseAndStop() override;
    // Posted as WM_SCAN_FINISHED and WM_RECOVER_FINISHED.
    void ScanFinished() override;
    void RecoveryFinished() override;

    // Once detached, reports are dropped without waiting for the window, so a window that is
    // winding the worker down never has to serve them. The finished message is still posted.
    void Detach() { detached_ = true; }
    void Attach() { detached_ = false; }
    bool Detached() const { return detached_; }

private:
    template <typename Report>
    void RunOnWindow(Report report);

    QObject& window_;  // outlives the worker: the window ends it before going
    ProgressDisplay& progress_;
    GroupLabelDisplay& labels_;
    std::atomic<bool> detached_{false};
};

}  // namespace pixhaven::ui
