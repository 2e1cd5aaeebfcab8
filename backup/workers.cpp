// The scan and recovery thread bodies, and the thread that runs one of them while the window
// keeps serving its calls.
#include "backup/workers.h"

#include <array>
#include <system_error>
#include <utility>

namespace pixhaven::backup {
namespace {

std::array<int, kGroupCount> CountAllGroups(ScanContext& scan) {
    std::array<int, kGroupCount> counts{};
    for (const int group : kGroupWorkOrder) {
        counts[static_cast<std::size_t>(group)] = CountGroup(scan, group);
    }
    return counts;
}

void CollectCountedGroups(ScanContext& scan, const std::array<int, kGroupCount>& counts) {
    for (const int group : kGroupWorkOrder) {
        if (counts[static_cast<std::size_t>(group)] != 0 && CollectGroup(scan, group) == -1) {
            return;
        }
    }
}

void RecoverGroupsWithResults(RecoveryContext& recovery) {
    for (const int group : kGroupWorkOrder) {
        if (recovery.results.hasResults[static_cast<std::size_t>(group)] &&
            RecoverGroup(recovery, group) == -1) {
            return;
        }
    }
}

}  // namespace

int ScanWorker(ScanContext& scan) {
    scan.control.operation = kOperationScanning;
    scan.results.total = 0;
    scan.results.done = 0;
    const auto counts = CountAllGroups(scan);
    scan.observer.ShowPauseAndStop();
    CollectCountedGroups(scan, counts);
    scan.observer.ScanFinished();
    return 1;
}

int RecoveryWorker(RecoveryContext& recovery) {
    recovery.control.operation = kOperationRecovering;
    recovery.total = CountCheckedItems(recovery.results);
    recovery.results.total = recovery.total;
    recovery.results.done = 0;
    recovery.outcome = {};
    RecoverGroupsWithResults(recovery);
    recovery.observer.RecoveryFinished();
    return 1;
}

WorkerThread::~WorkerThread() {
    // Joining, rather than letting std::thread terminate the program, is the last resort of an
    // owner that forgot to stop its worker; a paused worker would hold this forever.
    Join();
}

bool WorkerThread::Start(WorkerControl& control, std::function<void()> body) {
    if (Running()) {
        return false;
    }
    control.run.Set();
    control.stop = 0;
    try {
        thread_ = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WorkerThread::RequestStop(WorkerControl& control) {
    control.stop = kStopRequested;
    control.run.Set();
}

void WorkerThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace pixhaven::backup
