// Recovery: copies the ticked items into a new time-stamped folder, one sub-folder per group.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "backup/media.h"
#include "backup/worker.h"

namespace pixhaven::backup {

// A ticked item whose file could not be written, and why.
enum class FailureCause {
    SourceUnreadable,   // the stored file is missing or cannot be read
    DestinationFailed,  // the destination could not be written
    KeyUnusable,        // an encrypted backup's file whose key does not unwrap
    NotDecryptable,     // its padding or size does not check out
};

struct RecoveryFailure {
    std::filesystem::path source;
    std::filesystem::path destination;
    FailureCause cause = FailureCause::SourceUnreadable;
    std::error_code error;  // the system's reason, when it gave one
};

// What one recovery did with the ticked items it handled. Written by the worker, read once it
// has ended.
struct RecoveryOutcome {
    int written = 0;
    std::vector<RecoveryFailure> failures;
};

struct RecoveryContext {
    ScanResults& results;  // read only, but for the ticks the views may change meanwhile
    std::filesystem::path outputFolder;
    WorkerControl& control;
    WorkerObserver& observer;
    int total = 0;  // ticked items when the recovery started
    RecoveryOutcome outcome;
};

// Ticked items over the groups that have results, in tree order.
int CountCheckedItems(const ScanResults& results);

// The output folder that MakeOutputFolder made, or why it could not make one.
struct OutputFolder {
    std::filesystem::path path;  // empty on failure
    std::error_code error;
};

// Creates chosen folder / "PXHVN" + local "%Y%m%d%H%M%S". A second recovery within the same second
// gets "-2", "-3"... appended instead of sharing the first one's folder. Nothing is created when
// the chosen folder is missing, not a folder or not writable.
OutputFolder MakeOutputFolder(const std::filesystem::path& chosenFolder);

// Copies the ticked items of one group; returns the group's ticked count, or -1 on a stop. A name
// already taken in the group folder gives way to "name (2).ext", "name (3).ext"...
int RecoverGroup(RecoveryContext& recovery, int group);

// "Recovering finished, %d files have been recovered." and, when some could not be copied, how
// many.
std::u16string RecoverySummary(const RecoveryOutcome& outcome);

// One line for a failed copy: the stored file and the reason, in plain words.
std::string DescribeFailure(const RecoveryFailure& failure);

}  // namespace pixhaven::backup
