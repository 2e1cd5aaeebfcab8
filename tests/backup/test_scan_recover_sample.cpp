// Scan then recover a whole generated backup, as the window does it: every recovered file equals
// its source, the backup is left as it was, and a backup whose stored files are all gone still
// scans.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "backup/workers.h"
#include "tests/support/scan_session.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;

// Content and modification time of every file below `folder`.
std::map<fs::path, std::pair<std::string, fs::file_time_type>> Snapshot(const fs::path& folder) {
    std::map<fs::path, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path()] = {test::ReadFile(entry.path()), entry.last_write_time()};
        }
    }
    return files;
}

using Session = test::SessionRun;

samplegen::BackupReport MakeBackup(const test::TempDir& dir) {
    samplegen::SampleOptions options;
    options.out = dir / "root";
    options.preset = samplegen::SamplePreset::Small;
    return samplegen::GenerateSampleRoot(options).backups.front();
}

TEST(ScanAndRecover, CopiesAreExactAndTheBackupIsUntouched) {
    test::TempDir dir;
    const samplegen::BackupReport backup = MakeBackup(dir);
    const auto before = Snapshot(backup.folder);
    Session run(backup.folder, *ReadManifest(backup.folder / "Manifest.mbdb"));
    run.Scan();
    fs::create_directories(dir / "out");
    const fs::path output = run.RecoverEverything(dir / "out");

    int copied = 0;
    for (const auto& group : run.results.groups) {
        for (const auto& item : group) {
            const auto source = before.find(item->file.path);
            if (source == before.end()) {
                continue;  // a stored file the backup lacks: handled, not copied
            }
            bool found = false;
            for (const auto& entry : fs::recursive_directory_iterator(output)) {
                found = found || (entry.is_regular_file() &&
                                  test::ReadFile(entry.path()) == source->second.first);
            }
            EXPECT_TRUE(found) << item->file.path;
            ++copied;
        }
    }
    EXPECT_GT(copied, 20);
    EXPECT_EQ(run.results.done, run.results.total);
    // Same-named files of one group are all kept: as many files as the summary says.
    EXPECT_EQ(run.recovered.written, copied);
    EXPECT_EQ(run.recovered.failures.size(), static_cast<std::size_t>(run.results.total - copied));
    EXPECT_EQ(std::count_if(fs::recursive_directory_iterator(output), {},
                            [](const auto& entry) { return entry.is_regular_file(); }),
              copied);
    EXPECT_EQ(Snapshot(backup.folder), before);
}

TEST(ScanAndRecover, BackupWhoseStoredFilesAreAllMissing) {
    test::TempDir dir;
    const samplegen::BackupReport backup = MakeBackup(dir);
    for (const auto& record : backup.records) {
        fs::remove(backup.StoredFile(record));
    }
    Session run(backup.folder, *ReadManifest(backup.folder / "Manifest.mbdb"));
    run.Scan();
    // Groups without a signature test still take their items; the tested ones find nothing.
    EXPECT_GT(run.results.taken[kCameraRoll], 0);
    EXPECT_GT(run.results.taken[kMov], 0);
    for (int group : {kJpg, kBmp, kGif}) {
        EXPECT_EQ(run.results.taken[group], 0) << group;
    }
    for (int group : {kPng, kTiff}) {
        EXPECT_EQ(run.results.counted[group], 0) << group;
    }
    fs::create_directories(dir / "out");
    const fs::path output = run.RecoverEverything(dir / "out");
    EXPECT_EQ(run.results.done, run.results.total);  // every ticked item handled
    for (const auto& entry : fs::recursive_directory_iterator(output)) {
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }
    EXPECT_EQ(run.observer.Finished().back(), kOperationRecovering);
}

}  // namespace
}  // namespace pixhaven::backup
