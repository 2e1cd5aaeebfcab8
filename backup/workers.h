// The scan and recovery thread bodies, and the thread object a window keeps for the one worker
// that may run at a time.
#pragma once

#include <functional>
#include <thread>

#include "backup/recovery.h"
#include "backup/scan.h"

namespace pixhaven::backup {

// Thread bodies; both return 1 and end by telling their observer they finished. Each
// starts its own counters, so the window need not: the scan sets total and done to 0 before
// counting; the recovery sets done to 0 and total (recovery.total and results.total) to the
// ticked count at its start, and starts a new outcome.
int ScanWorker(ScanContext& scan);
int RecoveryWorker(RecoveryContext& recovery);

// Owns the worker thread. Its existence is the "worker mark".
class WorkerThread {
public:
    WorkerThread() = default;
    // Joins a thread that still runs instead of terminating the program. The owner should have
    // stopped and joined it first: a paused worker, or one blocked in an observer call that nobody
    // serves, would hold the destructor forever.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Signals the run event and starts `body` (false when a worker already runs or the thread
    // cannot be created).
    bool Start(WorkerControl& control, std::function<void()> body);
    bool Running() const { return thread_.joinable(); }
    // Sets the stop flag and signals the run event, so that a paused worker wakes and ends.
    static void RequestStop(WorkerControl& control);
    // Waits for the thread to end. Whoever serves the observer's blocking calls must keep serving
    // them while waiting (see the observer's contract).
    void Join();

private:
    std::thread thread_;
};

}  // namespace pixhaven::backup
