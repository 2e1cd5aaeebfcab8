// The scan and recovery thread bodies, and the thread object a window keeps for the one worker
// that may run at a time.
#pragma once

#include <functional>
#include <thread>

#include "backup/recovery.h"
#include "backup/scan.h"

namespace pixhaven::backup {

// Thread bodies; both return 1 and end by posting their finished message to the viewer.
int ScanWorker(ScanContext& scan);
int RecoveryWorker(RecoveryContext& recovery);

// Owns the worker thread. Its existence is the "worker mark".
class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread();  // asks nothing: the owner must have stopped and joined it
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Signals the run event and starts `body` (false when a worker already runs or the thread
    // cannot be created).
    bool Start(WorkerControl& control, std::function<void()> body);
    bool Running() const { return thread_.joinable(); }
    // Sets the stop flag and signals the run event, so that a paused worker wakes and ends.
    static void RequestStop(WorkerControl& control);
    // Waits for the thread to end. Whoever serves the viewer's blocking calls must keep serving
    // them while waiting (see the viewer's contract).
    void Join();

private:
    std::thread thread_;
};

}  // namespace pixhaven::backup
