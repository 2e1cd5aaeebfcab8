// What scan and recovery workers share with the window that starts them: the run event, the stop
// flag, the operation, and the viewer they report to.
#pragma once

#include <atomic>
#include <string>

#include "backup/windowmessages.h"
#include "platform/event.h"

namespace pixhaven::backup {

using pixhaven::WM_RECOVER_FINISHED;
using pixhaven::WM_SCAN_FINISHED;

enum Operation : int { kOperationNone = 0, kOperationScanning = 1, kOperationRecovering = 2 };
inline constexpr int kStopRequested = -1;

// The window side of a worker. The window's implementation makes these blocking calls into its
// own thread; none may be made while that thread waits for the worker.
class WorkerViewer {
public:
    virtual ~WorkerViewer() = default;
    // Percent label "%d%%" and progress bar position.
    virtual void ShowProgress(int percent) = 0;
    // Status label during recovery: "Recovering: " + destination.
    virtual void ShowStatus(const std::u16string& text) = 0;
    // Category tree text "%s (%d)" and the group's has-results mark.
    virtual void LabelGroup(int group, const std::u16string& text) = 0;
    // The pause and stop buttons, once the scan's counting is done.
    virtual void ShowPauseAndStop() = 0;
    // WM_SCAN_FINISHED or WM_RECOVER_FINISHED, posted: must not block.
    virtual void PostFinished(int message) = 0;
};

// Run event (reset = paused), stop flag and operation of the one worker that may run.
struct WorkerControl {
    platform::ManualResetEvent run;
    std::atomic<int> stop{0};
    std::atomic<int> operation{kOperationNone};

    // Waits while paused; true when the worker must stop.
    bool WaitAndCheckStop() {
        run.Wait();
        return stop.load() == kStopRequested;
    }
};

}  // namespace pixhaven::backup
