// What scan and recovery workers share with the front end that starts them: the run event, the
// stop flag, the operation, and the observer they report to.
#pragma once

#include <atomic>
#include <string>

#include "platform/event.h"
#include "ui/windowmessages.h"

namespace pixhaven::backup {

enum Operation : int { kOperationNone = 0, kOperationScanning = 1, kOperationRecovering = 2 };
inline constexpr int kStopRequested = -1;

// What a running scan or recovery tells its front end. A window's implementation makes these
// blocking calls into its own thread; none may be made while that thread waits for the worker.
class WorkerObserver {
public:
    virtual ~WorkerObserver() = default;
    // Percent label "%d%%" and progress bar position.
    virtual void ShowProgress(int percent) = 0;
    // Status label during recovery: "Recovering: " + destination.
    virtual void ShowStatus(const std::u16string& text) = 0;
    // Category tree text "%s (%d)" and the group's has-results mark.
    virtual void LabelGroup(int group, const std::u16string& text) = 0;
    // The pause and stop buttons, once the scan's counting is done.
    virtual void ShowPauseAndStop() = 0;
    // The worker's last acts, after a normal end or a stop: must not block.
    virtual void ScanFinished() = 0;
    virtual void RecoveryFinished() = 0;
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
