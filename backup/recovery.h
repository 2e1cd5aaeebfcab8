// Recovery: copies the ticked items into a new time-stamped folder, one sub-folder per group.
#pragma once

#include <filesystem>

#include "backup/media.h"
#include "backup/worker.h"

namespace pixhaven::backup {

struct RecoveryContext {
    ScanResults& results;  // read only, but for the ticks the views may change meanwhile
    std::filesystem::path outputFolder;
    WorkerControl& control;
    WorkerViewer& viewer;
    int total = 0;  // ticked items when the recovery started
};

// Ticked items over the groups that have results, in tree order.
int CountCheckedItems(const ScanResults& results);

// Creates chosen folder / "PXHVN" + local "%Y%m%d%H%M%S" and returns its path (its creation's
// outcome is not checked: copies into a missing folder fail and are counted all the same).
std::filesystem::path MakeOutputFolder(const std::filesystem::path& chosenFolder);

// Copies the ticked items of one group; returns the group's ticked count, or -1 on a stop.
int RecoverGroup(RecoveryContext& recovery, int group);

}  // namespace pixhaven::backup
